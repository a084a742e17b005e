#include "platform/wab_file.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "platform/wine_registry.h"
#include "text/text_io.h"

namespace vesk::wab {

namespace {

constexpr std::string_view kMagic(
    "\x9C\xCB\xCB\x8D\x13\x75\xD2\x11\x91\x58\x00\xC0\x4F\x79\x56\xA4", 16);
constexpr std::size_t kIndexDescriptor = 0x18;
constexpr std::uint32_t kMultiValued = 0x1000;

/// Little-endian numbers out of the file's bytes, every read checked against the end.
class Reader {
  public:
    Reader(std::string_view bytes, std::size_t pos, std::size_t end)
        : m_bytes(bytes), m_pos(pos), m_end(std::min(end, bytes.size())) {
        if (pos > m_end) m_ok = false;
    }
    std::uint32_t u32() {
        if (!m_ok || m_end - m_pos < 4) {
            m_ok = false;
            return 0;
        }
        std::uint32_t v = 0;
        for (std::size_t i = 4; i-- > 0;)
            v = (v << 8) | static_cast<unsigned char>(m_bytes[m_pos + i]);
        m_pos += 4;
        return v;
    }
    std::string_view bytes(std::uint32_t n) {
        if (!m_ok || m_end - m_pos < n) {
            m_ok = false;
            return {};
        }
        std::string_view out = m_bytes.substr(m_pos, n);
        m_pos += n;
        return out;
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= m_end; }
    std::size_t pos() const { return m_pos; }

  private:
    std::string_view m_bytes;
    std::size_t m_pos;
    std::size_t m_end;
    bool m_ok = true;
};

std::string string8(std::string_view bytes) {
    return windows1252ToUtf8(bytes.substr(0, bytes.find('\0')));
}

PropValue valueOf(std::uint32_t tag, std::string_view data) {
    PropValue v;
    v.tag = tag;
    switch (propType(tag)) {
        case PT_UNICODE:
            v.text = utf16leToUtf8(data);
            break;
        case PT_STRING8:
            v.text = string8(data);
            break;
        case PT_LONG:
            if (data.size() >= 4) {
                Reader r(data, 0, 4);
                v.number = static_cast<std::int32_t>(r.u32());
            }
            break;
        default:
            v.binary = std::string(data);
    }
    return v;
}

/// The values of one record's data block.
bool readValues(Reader& r, std::vector<PropValue>& out) {
    while (r.ok() && !r.atEnd()) {
        const std::uint32_t tag = r.u32();
        if ((tag & kMultiValued) == 0) {
            const std::uint32_t length = r.u32();
            const std::string_view data = r.bytes(length);
            if (r.ok()) out.push_back(valueOf(tag, data));
            continue;
        }
        const std::uint32_t count = r.u32();
        r.u32();  // the total length
        PropValue v;
        v.tag = tag;
        for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
            const std::uint32_t length = r.u32();
            v.binaries.emplace_back(r.bytes(length));
        }
        if (r.ok()) out.push_back(std::move(v));
    }
    return r.ok();
}

bool readRecord(std::string_view bytes, std::size_t offset, FileRecord& record) {
    Reader header(bytes, offset, bytes.size());
    std::uint32_t h[8];
    for (std::uint32_t& x : h) x = header.u32();
    if (!header.ok() || h[0] != 1) return false;
    record.kind = h[1];
    record.id = h[2];
    const std::uint32_t tagBytes = h[5];
    // The tag array repeats in the data block; only the data block is read.
    if (header.bytes(tagBytes).empty() && tagBytes != 0) return false;
    Reader data(bytes, header.pos(), header.pos() + std::size_t{h[7]});
    if (bytes.size() - header.pos() < h[7]) return false;
    return readValues(data, record.props);
}

std::uint32_t objectType(const FileRecord& r) {
    if (r.kind == kRecordFolder) return MAPI_ABCONT;
    const PropValue* v = r.find(PR_OBJECT_TYPE);
    return v ? static_cast<std::uint32_t>(v->number) : static_cast<std::uint32_t>(MAPI_MAILUSER);
}

struct Store {
    std::vector<FileRecord> records;
    std::map<std::uint32_t, std::size_t> byId;

    const FileRecord* record(std::uint32_t id) const {
        const auto it = byId.find(id);
        return it == byId.end() ? nullptr : &records[it->second];
    }

    /// The live records a list or folder names (0x66001102), each once, leaving out the ones
    /// that are gone: folders keep the ids of deleted contacts in that list.
    std::vector<std::uint32_t> members(const FileRecord& r) const {
        std::vector<std::uint32_t> ids;
        const PropValue* v = r.find(PR_WAB_DL_ENTRIES);
        if (!v) return ids;
        for (const std::string& id : v->binaries) {
            const std::uint32_t member = recordIdOf(id);
            const FileRecord* m = record(member);
            if (!m || m->kind == kRecordFolder || member == r.id) continue;
            if (std::find(ids.begin(), ids.end(), member) == ids.end()) ids.push_back(member);
        }
        return ids;
    }
};

/// The value of column `tag` in record `r`: converted to the requested string width, or a
/// PT_ERROR value when the record does not have it.
PropValue column(const FileRecord& r, std::uint32_t tag) {
    if (tag == PR_ENTRYID) return PropValue{tag, {}, entryIdOf(r.id), 0, {}};
    if (tag == PR_OBJECT_TYPE) {
        return PropValue{tag, {}, {}, static_cast<std::int32_t>(objectType(r)), {}};
    }
    for (const PropValue& v : r.props) {
        if (propId(v.tag) != propId(tag)) continue;
        const bool text = (v.type() == PT_UNICODE || v.type() == PT_STRING8) &&
                          (propType(tag) == PT_UNICODE || propType(tag) == PT_STRING8);
        if (!text && v.type() != propType(tag)) break;
        PropValue out = v;
        out.tag = tag;
        return out;
    }
    return PropValue{
        changeType(tag, PT_ERROR), {}, {}, static_cast<std::int32_t>(MAPI_E_NOT_FOUND), {}};
}

class RowsTable : public Table {
  public:
    RowsTable(std::shared_ptr<const Store> store, std::vector<std::uint32_t> ids)
        : m_store(std::move(store)), m_ids(std::move(ids)) {}

    HRESULT setColumns(const std::vector<std::uint32_t>& tags) override {
        m_columns = tags;
        return S_OK;
    }
    HRESULT queryColumns(std::vector<std::uint32_t>& tags) override {
        tags = m_columns;
        return S_OK;
    }
    HRESULT getRowCount(std::uint32_t& count) override {
        count = static_cast<std::uint32_t>(m_ids.size());
        return S_OK;
    }
    HRESULT seekRowToBeginning() override {
        m_cursor = 0;
        return S_OK;
    }
    HRESULT queryRows(int count, std::vector<Row>& rows) override {
        rows.clear();
        for (int i = 0; i < count && m_cursor < m_ids.size(); ++i, ++m_cursor) {
            const FileRecord& r = *m_store->record(m_ids[m_cursor]);
            Row row;
            for (std::uint32_t tag : m_columns) row.push_back(column(r, tag));
            rows.push_back(std::move(row));
        }
        return S_OK;
    }

  private:
    std::shared_ptr<const Store> m_store;
    std::vector<std::uint32_t> m_ids;
    std::vector<std::uint32_t> m_columns;
    std::size_t m_cursor = 0;
};

class FileContainer : public Container {
  public:
    FileContainer(std::shared_ptr<const Store> store, std::vector<std::uint32_t> ids,
                  std::vector<std::uint32_t> folders = {})
        : m_store(std::move(store)), m_ids(std::move(ids)), m_folders(std::move(folders)) {}

    HRESULT getProps(const std::vector<std::uint32_t>&, std::vector<PropValue>&) override {
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT setProps(const std::vector<PropValue>&, std::vector<PropProblem>&) override {
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT saveChanges(std::uint32_t) override { return MAPI_E_NO_SUPPORT; }
    HRESULT getContentsTable(std::uint32_t, std::unique_ptr<Table>& table) override {
        table = std::make_unique<RowsTable>(m_store, m_ids);
        return S_OK;
    }
    HRESULT getHierarchyTable(std::uint32_t, std::unique_ptr<Table>& table) override {
        table = std::make_unique<RowsTable>(m_store, m_folders);
        return S_OK;
    }
    HRESULT openEntry(const std::string& entryId, std::shared_ptr<Container>& out) override {
        const FileRecord* r = m_store->record(recordIdOf(entryId));
        if (!r) return MAPI_E_NOT_FOUND;
        if (objectType(*r) != static_cast<std::uint32_t>(MAPI_DISTLIST) && r->kind != kRecordFolder)
            return MAPI_E_NO_SUPPORT;
        out = std::make_shared<FileContainer>(m_store, m_store->members(*r));
        return S_OK;
    }
    HRESULT createEntry(const std::string&, std::uint32_t, std::shared_ptr<PropObject>&) override {
        return MAPI_E_NO_SUPPORT;
    }

  private:
    std::shared_ptr<const Store> m_store;
    std::vector<std::uint32_t> m_ids;
    std::vector<std::uint32_t> m_folders;
};

class FileAddressBook : public AddressBook {
  public:
    explicit FileAddressBook(std::shared_ptr<const Store> store) : m_store(std::move(store)) {}

    HRESULT getPAB(std::string& entryId) override {
        entryId = entryIdOf(0);
        return S_OK;
    }
    HRESULT openEntry(const std::string& entryId, std::shared_ptr<Container>& out) override {
        if (recordIdOf(entryId) != 0) return FileContainer(m_store, {}).openEntry(entryId, out);
        // The top level holds the folders and what no folder holds.
        std::vector<std::uint32_t> folders;
        std::set<std::uint32_t> inFolder;
        for (const FileRecord& r : m_store->records) {
            if (r.kind != kRecordFolder) continue;
            folders.push_back(r.id);
            for (std::uint32_t id : m_store->members(r)) inFolder.insert(id);
        }
        std::vector<std::uint32_t> ids;
        for (const FileRecord& r : m_store->records) {
            if (r.kind != kRecordFolder && inFolder.count(r.id) == 0) ids.push_back(r.id);
        }
        out = std::make_shared<FileContainer>(m_store, std::move(ids), std::move(folders));
        return S_OK;
    }

  private:
    std::shared_ptr<const Store> m_store;
};

class FileWabObject : public WabObject {
  public:
    HRESULT allocateBuffer(std::size_t) override { return S_OK; }
};

class FileLibrary : public Library {
  public:
    explicit FileLibrary(std::string defaultFile) : m_default(std::move(defaultFile)) {}

    bool load(std::string&) override { return true; }
    HRESULT wabOpen(const WabParams& params, std::shared_ptr<AddressBook>& addressBook,
                    std::shared_ptr<WabObject>& wabObject) override {
        const std::string& file = params.fileName.empty() ? m_default : params.fileName;
        if (file.empty()) return MAPI_E_NOT_FOUND;
        const std::optional<std::string> bytes = readFileBytes(file);
        if (!bytes) return MAPI_E_NOT_FOUND;
        auto store = std::make_shared<Store>();
        std::string error;
        if (!parseWabFile(*bytes, store->records, error)) return E_FAIL;
        for (std::size_t i = 0; i < store->records.size(); ++i) {
            store->byId.emplace(store->records[i].id, i);
        }
        addressBook = std::make_shared<FileAddressBook>(store);
        wabObject = std::make_shared<FileWabObject>();
        return S_OK;
    }

  private:
    std::string m_default;
};

class UnavailableLibrary : public Library {
  public:
    explicit UnavailableLibrary(std::string error) : m_error(std::move(error)) {}
    bool load(std::string& error) override {
        error = m_error;
        return false;
    }
    HRESULT wabOpen(const WabParams&, std::shared_ptr<AddressBook>&,
                    std::shared_ptr<WabObject>&) override {
        return E_FAIL;
    }

  private:
    std::string m_error;
};

}  // namespace

const PropValue* FileRecord::find(std::uint32_t tag) const {
    for (const PropValue& v : props) {
        if (v.tag == tag) return &v;
    }
    return nullptr;
}

bool parseWabFile(std::string_view bytes, std::vector<FileRecord>& records, std::string& error) {
    records.clear();
    if (!bytes.starts_with(kMagic)) {
        error = "This is not a Windows Address Book file";
        return false;
    }
    Reader d(bytes, kIndexDescriptor, bytes.size());
    const std::uint32_t reserved = d.u32();
    d.u32();
    const std::uint32_t offset = d.u32();
    std::uint32_t count = d.u32();
    if (!d.ok() || offset > bytes.size()) {
        error = "The Windows Address Book file is cut short";
        return false;
    }
    // Entries of 8 bytes: never more than the table reserves or the file holds.
    count =
        std::min({count, reserved / 8, static_cast<std::uint32_t>((bytes.size() - offset) / 8)});
    Reader index(bytes, offset, bytes.size());
    std::map<std::uint32_t, bool> seen;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t id = index.u32();
        const std::uint32_t at = index.u32();
        FileRecord r;
        if (!readRecord(bytes, at, r) || r.id != id || seen[id]) continue;
        seen[id] = true;
        records.push_back(std::move(r));
    }
    return true;
}

std::string entryIdOf(std::uint32_t id) {
    std::string out(4, '\0');
    for (char c : std::to_string(id)) {
        out.push_back(c);
        out.push_back('\0');
    }
    out.append(2, '\0');
    return out;
}

std::uint32_t recordIdOf(std::string_view entryId) {
    if (entryId.size() == 4) {
        Reader r(entryId, 0, 4);
        return r.u32();
    }
    if (entryId.size() < 6 || entryId.substr(0, 4) != std::string_view("\0\0\0\0", 4)) return 0;
    const std::string digits = utf16leToUtf8(entryId.substr(4));
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const unsigned long long id = std::stoull(digits);
    return id > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(id);
}

std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string defaultWabFile(RunContext& run) {
    std::string path;
    if (ReadRegistryValue(run.settings(), RootKey::CurrentUser,
                          "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
                          path) != kErrorSuccess ||
        path.empty())
        return {};
    const std::string prefix = run.state<Environment>().winePrefix();
    return prefix.empty() ? std::string() : mapWinePath(path, prefix);
}

std::shared_ptr<Library> fileLibrary(std::string defaultFile) {
    return std::make_shared<FileLibrary>(std::move(defaultFile));
}

std::shared_ptr<Library> unavailableLibrary(std::string error) {
    return std::make_shared<UnavailableLibrary>(std::move(error));
}

}  // namespace vesk::wab
