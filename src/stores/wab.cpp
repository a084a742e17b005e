#include "stores/wab.h"

#include <algorithm>
#include <cstdio>

#include "platform/wab_file.h"
#include "text/text_io.h"

namespace vesk {

namespace {

using namespace vesk::wab;

std::string hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08x", static_cast<unsigned>(hr));
    return buffer;
}

/// The fields in the order the writer sets them, after PR_ADDRTYPE.
const std::vector<Field>& writtenFields() {
    static const std::vector<Field> fields = {
        Field::FullName,        Field::Email,
        Field::BusinessPhone,   Field::HomePhone,
        Field::Organization,    Field::HomeStreet,
        Field::HomeCity,        Field::HomePostalCode,
        Field::HomeState,       Field::HomeCountry,
        Field::HomeFax,         Field::CellularPhone,
        Field::HomeWebPage,     Field::BusinessStreet,
        Field::BusinessCity,    Field::BusinessPostalCode,
        Field::BusinessState,   Field::BusinessCountry,
        Field::BusinessWebPage, Field::BusinessFax,
        Field::Pager,           Field::JobTitle,
        Field::Profession,      Field::Manager,
        Field::Assistant,       Field::Spouse,
        Field::Department,      Field::Notes,
        Field::FirstName,       Field::MiddleName,
        Field::LastName,        Field::Title,
        Field::Office,          Field::Nickname,
    };
    return fields;
}

PropValue textValue(std::uint32_t tag, std::string text) {
    PropValue v;
    v.tag = tag;
    v.text = std::move(text);
    return v;
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

/// The PR_ENTRYID of a saved property object, or "".
std::string entryIdOf(PropObject& object) {
    std::vector<PropValue> values;
    if (failed(object.getProps({PR_ENTRYID}, values)) || values.empty() || values[0].isError())
        return {};
    return values[0].binary;
}

}  // namespace

std::uint32_t wabOpenFlags(const std::string& fileName, const std::string& version) {
    if (!fileName.empty()) return 0;
    return version.compare("5") >= 0 && version.compare("9") <= 0 ? WAB_ENABLE_PROFILES : 0;
}

HRESULT openWab(RunContext& run, const std::shared_ptr<Library>& library,
                const std::string& fileName, const std::string& version, WabSession& session) {
    run.trace(0, "InitWAB is being called", "Debug");
    WabParams params;
    params.fileName = fileName == "Default" ? std::string() : fileName;
    params.flags = wabOpenFlags(params.fileName, version);
    std::string error;
    if (!library || !library->load(error)) {
        run.report(Severity::Error, error, "Error loading WAB DLL");
        return E_FAIL;
    }
    if (!library->hasEntryPoint()) return E_FAIL;
    session.library = library;
    return library->wabOpen(params, session.addressBook, session.wabObject);
}

namespace iterators {

const std::vector<std::uint32_t>& IterWAB::columns() {
    static const std::vector<std::uint32_t> tags = {
        PR_ENTRYID, 0x3001001F, 0x3003001F, 0x3A4F001F, 0x3A09001F, 0x3A08001F,
        0x3A16001F, 0x3A5D001F, 0x3A59001F, 0x3A5B001F, 0x3A5C001F, 0x3A5A001F,
        0x3A25001F, 0x3A1C001F, 0x3A50001F, 0x3A29001F, 0x3A27001F, 0x3A2A001F,
        0x3A28001F, 0x3A26001F, 0x3A51001F, 0x3A24001F, 0x3A21001F, 0x3A17001F,
        0x3A18001F, 0x3004001F, 0x3A46001F, 0x3A4E001F, 0x3A30001F, 0x3A06001F,
        0x3A44001F, 0x3A11001F, 0x3A45001F, 0x3A19001F, 0x3A48001F, PR_OBJECT_TYPE,
    };
    return tags;
}

namespace {

/// Why WABOpen refused a file, in the words of the file library's codes.
std::string openFailure(HRESULT hr) {
    if (hr == MAPI_E_NOT_FOUND) return ": it does not exist or cannot be read";
    if (hr == E_FAIL) return ": it is not a Windows Address Book file";
    return {};
}

}  // namespace

IterWAB::IterWAB(RunContext& run, std::shared_ptr<Library> library, std::string fileName,
                 bool folders, std::string version)
    : m_session(std::make_shared<WabSession>()), m_run(run) {
    const HRESULT hr = openWab(run, library, fileName, version, *m_session);
    m_failed = true;
    if (hr == E_FAIL && !m_session->library) return;  // the load failure was shown
    if (failed(hr) || !m_session->addressBook) {
        run.report(Severity::Error,
                   "The Windows Address Book " + fileName + " cannot be opened" + openFailure(hr) +
                       " (" + hex(hr) + ").",
                   "Vesk", Where{fileName});
        return;
    }
    if (!open(fileName, version, folders)) {
        m_rowCount = 0;
        m_folderCount = 0;
        run.report(Severity::Error, "error in IterWAB constructor!", "Vesk", Where{fileName});
        return;
    }
    m_failed = false;
}

bool IterWAB::open(const std::string&, const std::string&, bool folders) {
    std::string pab;
    m_run.trace(0, "Get Default Address Book", "Debug");
    if (failed(m_session->addressBook->getPAB(pab))) return false;
    m_run.trace(0, "Get its container", "Debug");
    if (failed(m_session->addressBook->openEntry(pab, m_container)) || !m_container) return false;
    if (m_session->wabObject) m_session->wabObject->freeBuffer();
    m_run.trace(0, "Get List of entries", "Debug");
    if (failed(m_container->getContentsTable(MAPI_UNICODE, m_contents)) || !m_contents)
        return false;
    if (!setUpContents()) return false;
    return !folders || openFolders();
}

bool IterWAB::setUpContents() {
    if (failed(m_contents->setColumns(columns()))) return false;
    m_run.trace(0, "Get Number of Entres", "Debug");
    std::uint32_t count = 0;
    if (failed(m_contents->getRowCount(count))) return false;
    m_run.trace(0, "Find properties", "Debug");
    std::vector<std::uint32_t> set;
    if (failed(m_contents->queryColumns(set))) return false;
    m_run.trace(0, "Find top", "Debug");
    if (failed(m_contents->seekRowToBeginning())) return false;
    m_rowCount = count;
    return true;
}

bool IterWAB::openFolders() {
    m_run.trace(0, "Determine order", "Debug");
    m_run.trace(0, "Now set up the folders", "Debug");
    if (failed(m_container->getHierarchyTable(MAPI_UNICODE, m_hierarchy)) || !m_hierarchy)
        return false;
    m_run.trace(0, "Get list of Entres", "Debug");
    if (failed(m_hierarchy->setColumns({PR_ENTRYID, PR_CONTAINER_FLAGS, PR_DISPLAY_NAME})))
        return false;
    m_run.trace(0, "Fetch Columns", "Debug");
    std::uint32_t count = 0;
    if (failed(m_hierarchy->getRowCount(count))) return false;
    m_run.trace(0, "Find Properties: QueryColumns", "Debug");
    std::vector<std::uint32_t> set;
    if (failed(m_hierarchy->queryColumns(set))) return false;
    m_run.trace(0, "Start at the top", "Debug");
    if (failed(m_hierarchy->seekRowToBeginning())) return false;
    m_folderCount = count;
    hasFolders = count > 0;
    return true;
}

IterWAB::IterWAB(RunContext& run, std::shared_ptr<WabSession> session,
                 std::shared_ptr<Container> container, std::unique_ptr<Table> contents,
                 std::string name)
    : m_session(std::move(session)),
      m_container(std::move(container)),
      m_contents(std::move(contents)),
      m_name(std::move(name)),
      m_run(run) {
    if (m_contents && !setUpContents()) m_rowCount = 0;
}

bool IterWAB::rewind() {
    if (m_contents) m_contents->seekRowToBeginning();
    if (m_hierarchy) m_hierarchy->seekRowToBeginning();
    m_row = 0;
    m_folderRow = 0;
    // Lists are met again while the entries are read again.
    m_lists.clear();
    m_listCursor = 0;
    return true;
}

float IterWAB::progress() {
    if (m_rowCount == 0) return 1.0f;
    return static_cast<float>(m_row) / static_cast<float>(m_rowCount);
}

Entry IterWAB::nextEntry() {
    Entry e;
    if (atEnd()) return e;
    std::vector<Row> rows;
    if (failed(m_contents->queryRows(1, rows)) || rows.empty() ||
        rows[0].size() < columns().size()) {
        // A table that stops answering ends the reading instead of being asked forever.
        m_row = m_rowCount;
        return e;
    }
    const Row& row = rows[0];
    const PropValue& type = row[kObjectTypeColumn];
    if (!type.isError() && type.number == MAPI_DISTLIST) {
        rememberList(row);
        ++m_row;
        return e;
    }
    if (!row[0].isError() && row[0].binary.size() > 4) {
        // Bounded by the identifier's own length: it need not end in a wide NUL.
        e.sourceId = utf16leToUtf8(std::string_view(row[0].binary).substr(4));
    }
    for (int column = 1; column <= kFieldCount; ++column) {
        const PropValue& v = row[static_cast<std::size_t>(column)];
        if (v.isError()) {
            char text[96];
            std::snprintf(text, sizeof text, "Error reading property %d of row %u, name ", column,
                          static_cast<unsigned>(m_row));
            m_run.trace(0, text + (row[1].isError() ? std::string() : row[1].text), "Vesk");
            continue;
        }
        e.at(column - 1) = v.text;
    }
    ++m_row;
    return e;
}

void IterWAB::rememberList(const Row& row) {
    PendingList pending;
    pending.name = row[1].isError() ? std::string() : row[1].text;
    if (row[0].isError() || failed(m_container->openEntry(row[0].binary, pending.list)) ||
        !pending.list || failed(pending.list->getContentsTable(MAPI_UNICODE, pending.contents))) {
        pending.list.reset();
        pending.contents.reset();
    }
    m_lists.push_back(std::move(pending));
}

IterBase* IterWAB::nextFolder() {
    if (!m_hierarchy || foldersDone()) return nullptr;
    m_folderReader.reset();
    while (!foldersDone()) {
        std::vector<Row> rows;
        if (failed(m_hierarchy->queryRows(1, rows))) {
            m_run.trace(0, "Error in QueryRows\n", "Vesk");
            m_folderRow = m_folderCount;
            return nullptr;
        }
        if (rows.empty()) {
            m_run.trace(0, "Returning NULL\n", "Vesk");
            m_folderRow = m_folderCount;
            return nullptr;
        }
        ++m_folderRow;
        const Row& row = rows[0];
        if (row.size() < 3) {
            m_run.trace(0, "Something's wrong with the current row set\n", "Vesk");
            continue;
        }
        if (row[0].isError() || row[2].isError()) continue;
        std::shared_ptr<Container> folder;
        std::unique_ptr<Table> contents;
        if (failed(m_container->openEntry(row[0].binary, folder)) || !folder ||
            failed(folder->getContentsTable(MAPI_UNICODE, contents)) || !contents) {
            m_run.trace(0, "Something's wrong with the current row set\n", "Vesk");
            continue;
        }
        m_folderReader = std::make_unique<IterWAB>(m_run, m_session, std::move(folder),
                                                   std::move(contents), row[2].text);
        return m_folderReader.get();
    }
    return nullptr;
}

IterBase* IterWAB::nextList() {
    m_listReader.reset();
    if (listsDone()) return nullptr;
    PendingList& pending = m_lists[m_listCursor++];
    if (!pending.contents) {
        m_run.report(Severity::Warning, "Invalid Distribution List", "Vesk",
                     Where{{}, 0, -1, pending.name});
        return nullptr;
    }
    m_listReader = std::make_unique<IterWAB>(m_run, m_session, pending.list,
                                             std::move(pending.contents), pending.name);
    return m_listReader.get();
}

}  // namespace iterators

ToWAB::ToWAB(RunContext& run, std::shared_ptr<Library> library, std::string fileName,
             std::string version)
    : ToBase(run) {
    wantsLists = true;
    // The file named is the one written, not always the user's default store.
    const HRESULT hr = openWab(run, library, fileName, version, m_session);
    if (hr == E_FAIL && !m_session.library) {
        m_failed = true;
        return;
    }
    std::string pab;
    std::vector<PropValue> templates;
    if (failed(hr) || !m_session.addressBook || failed(m_session.addressBook->getPAB(pab)) ||
        failed(m_session.addressBook->openEntry(pab, m_container)) || !m_container ||
        failed(m_container->getProps({PR_DEF_CREATE_MAILUSER, PR_DEF_CREATE_DL}, templates)) ||
        templates.size() < 2 || templates[0].isError() || templates[1].isError()) {
        run.trace(0, "The container is faulty!", "OE error");
        run.report(Severity::Error, "The Windows Address Book cannot be written.", "Vesk");
        m_failed = true;
        return;
    }
    m_mailUserTemplate = templates[0].binary;
    m_listTemplate = templates[1].binary;
}

bool ToWAB::abandon() {
    ++m_abandoned;
    return false;
}

bool ToWAB::allocate() {
    const HRESULT hr = m_session.wabObject
                           ? m_session.wabObject->allocateBuffer(sizeof(PropValue) * 35)
                           : MAPI_E_INVALID_PARAMETER;
    if (hr == MAPI_W_ERRORS_RETURNED) {
        run().report(Severity::Warning, "Errors returned!", "Vesk");
        return true;
    }
    if (hr == MAPI_E_INVALID_PARAMETER) run().report(Severity::Error, "Zero returned!", "Vesk");
    // Without its buffer the entry cannot be stored.
    return !failed(hr);
}

bool ToWAB::write(Entry e) {
    if (m_failed) return false;
    if (e.kind == KindFolderBegin || e.kind == KindFolderEnd) return true;
    if (e.kind == KindListEnd) return endList();
    if (!allocate()) return abandon();
    if (e.kind == KindListBegin) return beginList(e);
    if (m_inList) return addMember(e);
    return writeContact(e, nullptr);
}

void ToWAB::showProblems(const std::vector<PropProblem>& problems) {
    const std::size_t shown = std::min<std::size_t>(problems.size(), 40);
    for (std::size_t i = 0; i < shown; ++i) {
        const PropProblem& p = problems[i];
        std::string text;
        switch (p.code) {
            case MAPI_E_INVALID_TYPE:
            case MAPI_E_UNEXPECTED_TYPE:
                text = "Invalid Property Type";
                break;
            case MAPI_E_BAD_CHARWIDTH:
                text = "Bad Char, Width";
                break;
            case MAPI_E_COMPUTED:
            case MAPI_E_NO_ACCESS:
                text = "Read Only";
                break;
            case MAPI_E_NOT_ENOUGH_MEMORY:
                text = "Not Enough Meemory";
                break;
            default: {
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, "Property %u has error %ld", p.index,
                              static_cast<long>(static_cast<std::int32_t>(p.code)));
                text = buffer;
            }
        }
        run().report(Severity::Warning, text, "Vesk");
    }
}

bool ToWAB::writeContact(const Entry& e, std::string* entryId) {
    std::shared_ptr<PropObject> item;
    if (failed(m_container->createEntry(m_mailUserTemplate, 0, item)) || !item) return abandon();
    std::vector<PropValue> values = {textValue(PR_ADDRTYPE, "SMTP")};
    const auto& tags = iterators::IterWAB::columns();
    for (Field f : writtenFields()) {
        values.push_back(textValue(tags[static_cast<std::size_t>(f) + 1], e[f]));
    }
    std::vector<PropProblem> problems;
    if (failed(item->setProps(values, problems))) {
        showProblems(problems);
        return abandon();
    }
    if (failed(item->saveChanges(0))) return abandon();
    const std::string id = entryIdOf(*item);
    if (!e[Field::Email].empty() && !id.empty()) m_written.emplace(lower(e[Field::Email]), id);
    if (entryId) *entryId = id;
    return true;
}

bool ToWAB::beginList(const Entry& e) {
    std::shared_ptr<PropObject> item;
    std::vector<PropProblem> problems;
    if (failed(m_container->createEntry(m_listTemplate, 0, item)) || !item) return abandon();
    if (failed(item->setProps({textValue(PR_DISPLAY_NAME, e[Field::FullName])}, problems))) {
        showProblems(problems);
        return abandon();
    }
    if (failed(item->saveChanges(0))) return abandon();
    // The members go in through the saved list, opened as a container.
    m_listObject = item;
    m_list.reset();
    const std::string id = entryIdOf(*item);
    if (!id.empty()) m_container->openEntry(id, m_list);
    m_inList = true;
    return true;
}

bool ToWAB::addMember(const Entry& e) {
    // A member is the contact already written with its address; one not written yet is made.
    std::string id;
    const auto it = m_written.find(lower(e[Field::Email]));
    if (!e[Field::Email].empty() && it != m_written.end()) {
        id = it->second;
    } else if (!writeContact(e, &id)) {
        return false;
    }
    std::shared_ptr<PropObject> member;
    if (!m_list || id.empty() || failed(m_list->createEntry(id, 0, member)) || !member)
        return abandon();
    member->saveChanges(0);
    return true;
}

bool ToWAB::endList() {
    m_inList = false;
    if (m_list) m_list->saveChanges(0);
    m_list.reset();
    m_listObject.reset();
    return true;
}

bool ToWAB::finish() {
    if (m_failed) return false;
    if (m_abandoned > 0) {
        run().report(
            Severity::Error,
            std::to_string(m_abandoned) +
                " entries could not be stored in the Windows Address Book and were left out.",
            "Vesk");
        return false;
    }
    return true;
}

namespace {

/// The detected version of the Windows Address Book: the location detection keeps for it.
std::string detectedVersion(RunContext& run) {
    std::string version;
    ReadRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                      "Outlook Express", version);
    return version;
}

std::unique_ptr<IterBase> readWab(const FormatArgs& a) {
    return std::make_unique<iterators::IterWAB>(a.run, fileLibrary(defaultWabFile(a.run)),
                                                a.fileName, true, detectedVersion(a.run));
}

std::unique_ptr<ToBase> writeWab(const FormatArgs& a) {
    return std::make_unique<ToWAB>(
        a.run, unavailableLibrary("The Windows Address Book cannot be written on this system."),
        a.fileName, detectedVersion(a.run));
}

Sniff sniffWab(std::string_view head) {
    // The head arrives decoded as 8-bit text, which ends at the magic's NUL.
    static const std::string magic = windows1252ToUtf8("\x9C\xCB\xCB\x8D\x13\x75\xD2\x11\x91\x58");
    return head.starts_with(magic) ? Sniff::Yes : Sniff::No;
}

}  // namespace

const FormatInfo& wabFormat() {
    static const FormatInfo info = {
        .id = "wab",
        .displayName = "Windows Address Book (Outlook Express)",
        .extensions = {"wab"},
        .applications = {Application::OutlookExpress},
        .reads = true,
        .writes = true,
        .writesHere = false,
        .holdsFolders = true,
        .holdsLists = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .sniff = &sniffWab,
        .reader = &readWab,
        .writer = &writeWab,
        .docsPage = "wab.md",
    };
    return info;
}

}  // namespace vesk
