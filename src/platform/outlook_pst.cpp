#include "platform/outlook_pst.h"

// Debian's headers announce libbfio support without shipping libbfio's header; Vesk opens files
// by name only.
#include <libpff/features.h>
#undef LIBPFF_HAVE_BFIO
#include <iconv.h>
#include <libpff.h>

#include <cerrno>
#include <map>
#include <string_view>
#include <vector>

#include "platform/wab_file.h"
#include "text/text_io.h"

namespace vesk::outlook {

namespace {

constexpr std::uint32_t kContainerClass = 0x3613;
constexpr std::uint32_t kDisplayName = 0x3001;
/// PidLidDistributionListOneOffMembers: every member as a one-off entry identifier.
constexpr std::uint32_t kOneOffMembers = 0x8054;
constexpr std::uint32_t kUnicodeFlag = 0x8000;
constexpr std::uint32_t kMessageCodePage = 0x3FFD;   // PR_MESSAGE_CODEPAGE
constexpr std::uint32_t kInternetCodePage = 0x3FDE;  // PR_INTERNET_CPID
constexpr std::uint32_t kStoreCodePage = 0x66C3;     // PR_CODE_PAGE_ID
constexpr int kWesternCodePage = 1252;
constexpr int kUtf8CodePage = 65001;

/// The Windows code page that 8-bit text of a message in code page `cp` was stored in: an
/// internet code page (a Japanese message says ISO-2022-JP) names its Windows counterpart.
int windowsCodePage(int cp) {
    static const std::map<int, int> counterparts = {
        {50220, 932},  {50221, 932},  {50222, 932},  {51932, 932},  {20932, 932},  {52936, 936},
        {54936, 936},  {51949, 949},  {51950, 950},  {28591, 1252}, {20127, 1252}, {28592, 1250},
        {28595, 1251}, {20866, 1251}, {21866, 1251}, {28597, 1253}, {28599, 1254}, {28598, 1255},
        {38598, 1255}, {28596, 1256}, {28594, 1257}, {28603, 1257}, {28605, 1252},
    };
    const auto it = counterparts.find(cp);
    return it == counterparts.end() ? cp : it->second;
}

/// 8-bit text of code page `cp` as UTF-8, up to its first NUL; bytes the code page does not
/// decode become U+FFFD, and a code page this system does not know reads as Windows-1252.
std::string fromCodePage(std::string_view bytes, int cp) {
    bytes = bytes.substr(0, bytes.find('\0'));
    if (cp == kUtf8CodePage && isValidUtf8(bytes)) return std::string(bytes);
    if (cp <= 0 || cp == kWesternCodePage || cp == kUtf8CodePage) return windows1252ToUtf8(bytes);
    iconv_t cd = iconv_open("UTF-8", ("CP" + std::to_string(cp)).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return windows1252ToUtf8(bytes);
    std::string out;
    std::string in(bytes);
    char* from = in.data();
    std::size_t left = in.size();
    char buffer[256];
    while (left > 0) {
        char* to = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t done = iconv(cd, &from, &left, &to, &room);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            appendUtf8(out, 0xFFFD);  // an invalid or cut sequence: pass one byte
            ++from;
            --left;
        }
    }
    iconv_close(cd);
    return out;
}

/// The MAPI property behind each object-model property the readers ask for; e-mail addresses
/// and the whole home and business addresses are named properties, which libpff maps.
const std::map<std::string_view, std::uint32_t>& contactProperties() {
    static const std::map<std::string_view, std::uint32_t> table = {
        {"FullName", 0x3001},
        {"NickName", 0x3A4F},
        {"Email1Address", 0x8083},
        {"Email2Address", 0x8093},
        {"Email3Address", 0x80A3},
        {"HomeTelephoneNumber", 0x3A09},
        {"BusinessTelephoneNumber", 0x3A08},
        {"CompanyName", 0x3A16},
        {"HomeAddress", 0x801A},
        {"HomeAddressStreet", 0x3A5D},
        {"HomeAddressCity", 0x3A59},
        {"HomeAddressPostalCode", 0x3A5B},
        {"HomeAddressState", 0x3A5C},
        {"HomeAddressCountry", 0x3A5A},
        {"HomeFaxNumber", 0x3A25},
        {"MobileTelephoneNumber", 0x3A1C},
        {"WebPage", 0x3A50},
        {"BusinessAddress", 0x801B},
        {"BusinessAddressStreet", 0x3A29},
        {"BusinessAddressCity", 0x3A27},
        {"BusinessAddressPostalCode", 0x3A2A},
        {"BusinessAddressState", 0x3A28},
        {"BusinessAddressCountry", 0x3A26},
        {"BusinessHomePage", 0x3A51},
        {"BusinessFaxNumber", 0x3A24},
        {"PagerNumber", 0x3A21},
        {"JobTitle", 0x3A17},
        {"Department", 0x3A18},
        {"Profession", 0x3A46},
        {"ManagerName", 0x3A4E},
        {"AssistantName", 0x3A30},
        {"FirstName", 0x3A06},
        {"MiddleName", 0x3A44},
        {"LastName", 0x3A11},
        {"Title", 0x3A45},
        {"OfficeLocation", 0x3A19},
        {"Spouse", 0x3A48},
        {"Body", 0x1000},
    };
    return table;
}

std::uint32_t u32At(std::string_view bytes, std::size_t pos) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[pos + i]);
    return v;
}

/// The values of a stored multi-valued binary property; none when its offsets do not fit.
std::vector<std::string> splitMultiValue(std::string_view data) {
    std::vector<std::string> out;
    if (data.size() < 4) return out;
    const std::uint32_t count = u32At(data, 0);
    if (count > (data.size() - 4) / 4) return out;
    const std::size_t end = data.size();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t from = u32At(data, 4 + 4 * std::size_t{i});
        const std::size_t to = i + 1 < count ? u32At(data, 8 + 4 * std::size_t{i}) : end;
        if (from > to || to > end) return {};
        out.emplace_back(data.substr(from, to - from));
    }
    return out;
}

[[noreturn]] void fail(const char* interfaceName, const std::string& description) {
    throw AutomationError(kFail, interfaceName, "Vesk", description);
}

[[noreturn]] void readOnly(const char* interfaceName) {
    fail(interfaceName, "The Outlook data file is only read here.");
}

/// The open file; items keep it alive.
struct PffFile {
    libpff_file_t* file = nullptr;
    /// The store's code page, for 8-bit text of items that do not name theirs (0: none).
    int codePage = 0;
    ~PffFile() {
        if (!file) return;
        libpff_file_close(file, nullptr);
        libpff_file_free(&file, nullptr);
    }
};

/// One libpff item, freed with its holder.
class PffItem {
  public:
    PffItem(std::shared_ptr<PffFile> file, libpff_item_t* item)
        : m_file(std::move(file)), m_item(item) {}
    ~PffItem() { libpff_item_free(&m_item, nullptr); }
    PffItem(const PffItem&) = delete;
    PffItem& operator=(const PffItem&) = delete;

    libpff_item_t* get() const { return m_item; }
    const std::shared_ptr<PffFile>& file() const { return m_file; }

    /// The record entry of property `id` in the first record set, or nullptr.
    libpff_record_entry_t* entry(std::uint32_t id) const {
        libpff_record_set_t* set = nullptr;
        if (libpff_item_get_record_set_by_index(m_item, 0, &set, nullptr) != 1) return nullptr;
        libpff_record_entry_t* e = nullptr;
        const int found = libpff_record_set_get_entry_by_type(
            set, id, 0, &e, LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE, nullptr);
        libpff_record_set_free(&set, nullptr);
        return found == 1 ? e : nullptr;
    }

    /// Property `id` as text; "" when absent or not text. 8-bit text (older files) is decoded
    /// here with the item's code page: libpff would use one code page for the whole file, fixed
    /// when the item is first read.
    std::string text(std::uint32_t id) const {
        libpff_record_entry_t* e = entry(id);
        if (!e) return {};
        std::string out;
        std::uint32_t type = 0;
        std::size_t size = 0;
        if (libpff_record_entry_get_value_type(e, &type, nullptr) == 1 && type == 0x001E) {
            out = fromCodePage(data(e), codePage());
        } else if (type == 0x001F &&
                   libpff_record_entry_get_data_as_utf8_string_size(e, &size, nullptr) == 1 &&
                   size > 0) {
            std::vector<std::uint8_t> buffer(size);
            if (libpff_record_entry_get_data_as_utf8_string(e, buffer.data(), size, nullptr) == 1) {
                out.assign(reinterpret_cast<const char*>(buffer.data()));
            }
        }
        libpff_record_entry_free(&e, nullptr);
        return out;
    }

    /// Property `id` as a number; `fallback` when absent or not a 32-bit number.
    int number(std::uint32_t id, int fallback) const {
        libpff_record_entry_t* e = entry(id);
        if (!e) return fallback;
        std::uint32_t value = 0;
        const bool ok = libpff_record_entry_get_data_as_32bit_integer(e, &value, nullptr) == 1;
        libpff_record_entry_free(&e, nullptr);
        return ok ? static_cast<int>(value) : fallback;
    }

    /// The Windows code page of the item's 8-bit text: its own, else the store's, else Western.
    int codePage() const {
        if (m_codePage == 0) {
            int cp = number(kMessageCodePage, 0);
            if (cp <= 0) cp = windowsCodePage(number(kInternetCodePage, 0));
            if (cp <= 0) cp = m_file->codePage;
            m_codePage = cp > 0 ? cp : kWesternCodePage;
        }
        return m_codePage;
    }

    /// Property `id` as the values of a multi-valued binary property. The stored form is read
    /// here (a count, the values' offsets, the values): this libpff gives no values for it.
    std::vector<std::string> binaries(std::uint32_t id) const {
        libpff_record_entry_t* e = entry(id);
        if (!e) return {};
        std::string bytes = data(e);
        libpff_record_entry_free(&e, nullptr);
        return splitMultiValue(bytes);
    }

    std::uint8_t type() const {
        std::uint8_t t = 0;
        libpff_item_get_type(m_item, &t, nullptr);
        return t;
    }

  private:
    static std::string data(libpff_record_entry_t* e) {
        std::size_t size = 0;
        std::string bytes;
        if (libpff_record_entry_get_data_size(e, &size, nullptr) == 1 && size > 0) {
            bytes.resize(size);
            if (libpff_record_entry_get_data(e, reinterpret_cast<std::uint8_t*>(bytes.data()), size,
                                             nullptr) != 1)
                bytes.clear();
        }
        return bytes;
    }

    std::shared_ptr<PffFile> m_file;
    libpff_item_t* m_item;
    mutable int m_codePage = 0;
};

/// The code page the message store names for its 8-bit text (0: none).
int storeCodePage(const std::shared_ptr<PffFile>& file) {
    libpff_item_t* store = nullptr;
    if (libpff_file_get_message_store(file->file, &store, nullptr) != 1) return 0;
    const PffItem item(file, store);
    int cp = item.number(kMessageCodePage, 0);
    if (cp <= 0) cp = item.number(kStoreCodePage, 0);
    if (cp <= 0) cp = windowsCodePage(item.number(kInternetCodePage, 0));
    return cp;
}

using Pff = std::shared_ptr<PffItem>;

class PstContact : public ContactItem {
  public:
    explicit PstContact(Pff item) : m_item(std::move(item)) {}
    std::string get(std::string_view property) override {
        const auto it = contactProperties().find(property);
        return it == contactProperties().end() ? std::string() : m_item->text(it->second);
    }
    void set(std::string_view, const std::string&) override { readOnly("_ContactItem"); }
    std::string entryId() override {
        std::uint32_t id = 0;
        libpff_item_get_identifier(m_item->get(), &id, nullptr);
        return std::to_string(id);
    }
    std::shared_ptr<FormDescription> formDescription() override { return nullptr; }
    void save() override { readOnly("_ContactItem"); }
    void close(int) override {}

  private:
    Pff m_item;
};

class OneOffEntry : public AddressEntry {
  public:
    explicit OneOffEntry(std::string address) : m_address(std::move(address)) {}
    std::string address() override { return m_address; }
    std::string id() override { return {}; }

  private:
    std::string m_address;
};

class OneOffRecipient : public Recipient {
  public:
    OneOffRecipient(std::string name, std::string address)
        : m_name(std::move(name)), m_entry(std::make_shared<OneOffEntry>(std::move(address))) {}
    std::shared_ptr<AddressEntry> addressEntry() override { return m_entry; }
    std::string name() override { return m_name; }

  private:
    std::string m_name;
    std::shared_ptr<AddressEntry> m_entry;
};

class PstDistList : public DistListItem {
  public:
    explicit PstDistList(Pff item) : m_item(std::move(item)) {
        for (const std::string& id : m_item->binaries(kOneOffMembers)) {
            std::string name;
            std::string address;
            if (parseOneOffEntryId(id, name, address))
                m_members.push_back(std::make_shared<OneOffRecipient>(name, address));
        }
    }
    std::string dlName() override { return m_item->text(kDisplayName); }
    void setDLName(const std::string&) override { readOnly("_DistListItem"); }
    int memberCount() override { return static_cast<int>(m_members.size()); }
    std::shared_ptr<Recipient> getMember(int index) override {
        if (index < 1 || index > memberCount())
            throw AutomationError(kInvalidArgument, "_DistListItem");
        return m_members[static_cast<std::size_t>(index - 1)];
    }
    void addMembers(Recipients&) override { readOnly("_DistListItem"); }
    void save() override { readOnly("_DistListItem"); }
    void display() override {}

  private:
    Pff m_item;
    std::vector<std::shared_ptr<Recipient>> m_members;
};

class PstItem : public Item {
  public:
    explicit PstItem(Pff item) : m_item(std::move(item)) {}
    std::shared_ptr<ContactItem> queryContact() override {
        if (m_item->type() != LIBPFF_ITEM_TYPE_CONTACT) return nullptr;
        return std::make_shared<PstContact>(m_item);
    }
    std::shared_ptr<DistListItem> queryDistList() override {
        if (m_item->type() != LIBPFF_ITEM_TYPE_DISTRIBUTION_LIST) return nullptr;
        return std::make_shared<PstDistList>(m_item);
    }

  private:
    Pff m_item;
};

class PstFolder;

class PstItems : public Items {
  public:
    explicit PstItems(Pff folder) : m_folder(std::move(folder)) {
        if (libpff_folder_get_number_of_sub_messages(m_folder->get(), &m_count, nullptr) != 1)
            m_count = 0;
    }
    int count() override { return m_count; }
    std::shared_ptr<Item> item(int index) override {
        libpff_item_t* message = nullptr;
        if (index < 1 || index > m_count ||
            libpff_folder_get_sub_message(m_folder->get(), index - 1, &message, nullptr) != 1)
            fail("_Items", "An item of the Outlook data file cannot be read.");
        return std::make_shared<PstItem>(std::make_shared<PffItem>(m_folder->file(), message));
    }
    std::shared_ptr<Item> add(int) override { readOnly("_Items"); }
    std::shared_ptr<Item> find(const std::string&) override { return nullptr; }
    std::shared_ptr<MAPIFolder> parent() override;

  private:
    Pff m_folder;
    int m_count = 0;
};

class PstFolders : public Folders {
  public:
    explicit PstFolders(Pff folder) : m_folder(std::move(folder)) {
        if (libpff_folder_get_number_of_sub_folders(m_folder->get(), &m_count, nullptr) != 1)
            m_count = 0;
    }
    int count() override { return m_count; }
    std::shared_ptr<MAPIFolder> item(int index) override;
    std::shared_ptr<MAPIFolder> add(const std::string&) override { readOnly("_Folders"); }

  private:
    Pff m_folder;
    int m_count = 0;
};

class PstFolder : public MAPIFolder, public std::enable_shared_from_this<PstFolder> {
  public:
    explicit PstFolder(Pff folder) : m_folder(std::move(folder)) {}
    std::shared_ptr<Items> items() override { return std::make_shared<PstItems>(m_folder); }
    std::shared_ptr<Folders> folders() override { return std::make_shared<PstFolders>(m_folder); }
    std::string name() override { return m_folder->text(kDisplayName); }
    std::shared_ptr<MAPIFolder> parent() override { return nullptr; }
    const Pff& pff() const { return m_folder; }

  private:
    Pff m_folder;
};

std::shared_ptr<MAPIFolder> PstItems::parent() {
    return std::make_shared<PstFolder>(m_folder);
}

std::shared_ptr<MAPIFolder> PstFolders::item(int index) {
    libpff_item_t* sub = nullptr;
    if (index < 1 || index > m_count ||
        libpff_folder_get_sub_folder(m_folder->get(), index - 1, &sub, nullptr) != 1)
        fail("_Folders", "A folder of the Outlook data file cannot be read.");
    return std::make_shared<PstFolder>(std::make_shared<PffItem>(m_folder->file(), sub));
}

bool holdsSomething(const Pff& folder) {
    int messages = 0;
    int folders = 0;
    libpff_folder_get_number_of_sub_messages(folder->get(), &messages, nullptr);
    libpff_folder_get_number_of_sub_folders(folder->get(), &folders, nullptr);
    return messages > 0 || folders > 0;
}

/// The mailbox's Contacts folder: of the folders of contact items, breadth first, the first that
/// holds something (an empty search folder may come before it), else the first.
Pff findContactsFolder(const std::shared_ptr<PffFile>& file) {
    libpff_item_t* root = nullptr;
    if (libpff_file_get_root_folder(file->file, &root, nullptr) != 1) return nullptr;
    std::vector<Pff> level = {std::make_shared<PffItem>(file, root)};
    Pff first;
    for (int depth = 0; depth < 16 && !level.empty(); ++depth) {
        std::vector<Pff> next;
        for (const Pff& folder : level) {
            if (folder->text(kContainerClass).starts_with("IPF.Contact")) {
                if (holdsSomething(folder)) return folder;
                if (!first) first = folder;
            }
            int count = 0;
            if (libpff_folder_get_number_of_sub_folders(folder->get(), &count, nullptr) != 1)
                continue;
            for (int i = 0; i < count; ++i) {
                libpff_item_t* sub = nullptr;
                if (libpff_folder_get_sub_folder(folder->get(), i, &sub, nullptr) == 1)
                    next.push_back(std::make_shared<PffItem>(file, sub));
            }
        }
        level = std::move(next);
    }
    return first;
}

class PstNameSpace : public NameSpace {
  public:
    explicit PstNameSpace(std::shared_ptr<PffFile> file) : m_file(std::move(file)) {}
    void logon(const std::string&) override {}
    void logoff() override {}
    std::shared_ptr<MAPIFolder> getDefaultFolder(int folder) override {
        if (folder != kFolderContacts) fail("_NameSpace", "Only the Contacts folder is read.");
        Pff contacts = findContactsFolder(m_file);
        if (!contacts) fail("_NameSpace", "The Outlook data file holds no Contacts folder.");
        return std::make_shared<PstFolder>(std::move(contacts));
    }
    std::shared_ptr<AddressLists> addressLists() override {
        fail("_NameSpace", "An Outlook data file has no address lists; read its Contacts folder.");
    }
    std::shared_ptr<Item> getItemFromID(const std::string&) override { readOnly("_NameSpace"); }
    std::shared_ptr<Recipient> currentUser() override { return nullptr; }

  private:
    std::shared_ptr<PffFile> m_file;
};

class PstApplication : public Application {
  public:
    explicit PstApplication(std::shared_ptr<PffFile> file) : m_file(std::move(file)) {}
    std::shared_ptr<NameSpace> getNamespace(const std::string&) override {
        return std::make_shared<PstNameSpace>(m_file);
    }
    std::shared_ptr<Item> createItem(int) override { readOnly("_Application"); }

  private:
    std::shared_ptr<PffFile> m_file;
};

std::string oneOffText(std::string_view bytes, std::size_t& pos, bool wide) {
    std::string raw;
    if (wide) {
        while (pos + 1 < bytes.size() && (bytes[pos] != '\0' || bytes[pos + 1] != '\0')) {
            raw += bytes.substr(pos, 2);
            pos += 2;
        }
        pos += 2;
        return wab::utf16leToUtf8(raw);
    }
    while (pos < bytes.size() && bytes[pos] != '\0') raw += bytes[pos++];
    ++pos;
    return windows1252ToUtf8(raw);
}

}  // namespace

bool parseOneOffEntryId(const std::string& entryId, std::string& name, std::string& address) {
    // Flags (4), the one-off provider's UID (16), version (2), flags (2), then the display name,
    // the address type and the address, each NUL-terminated.
    static constexpr std::string_view kOneOffUid(
        "\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02", 16);
    const std::string_view bytes(entryId);
    if (bytes.size() < 24 || bytes.substr(4, 16) != kOneOffUid) return false;
    const std::uint32_t flags =
        static_cast<unsigned char>(bytes[22]) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[23])) << 8);
    const bool wide = (flags & kUnicodeFlag) != 0;
    std::size_t pos = 24;
    name = oneOffText(bytes, pos, wide);
    oneOffText(bytes, pos, wide);
    address = oneOffText(bytes, pos, wide);
    return true;
}

ApplicationFactory pstApplication(std::string fileName) {
    return [fileName]() -> std::shared_ptr<Application> {
        if (fileName.empty()) {
            fail("Outlook.Application",
                 "MS Outlook is read from its data file here: name the .pst or .ost file.");
        }
        auto file = std::make_shared<PffFile>();
        if (libpff_file_initialize(&file->file, nullptr) != 1) file->file = nullptr;
        if (!file->file ||
            libpff_file_open(file->file, fileName.c_str(), LIBPFF_OPEN_READ, nullptr) != 1) {
            if (file->file) libpff_file_free(&file->file, nullptr);
            fail("Outlook.Application", fileName + " cannot be read as an Outlook data file.");
        }
        file->codePage = storeCodePage(file);
        return std::make_shared<PstApplication>(file);
    };
}

}  // namespace vesk::outlook
