#include "stores/outlook.h"

#include <cstdio>
#include <utility>

#include "platform/outlook_pst.h"

namespace vesk {

namespace {

using outlook::AutomationError;
using outlook::use;

/// The kind of every contact Outlook's readers deliver.
constexpr EntryKind kOutlookContact = static_cast<EntryKind>(1);

std::string format(const char* pattern, long long value) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

/// Rows 8 to 33 of the field table (the address rows 7 and 15 are read apart).
const std::vector<std::pair<Field, const char*>>& plainRows() {
    static const std::vector<std::pair<Field, const char*>> rows = {
        {Field::HomeCity, "HomeAddressCity"},   {Field::HomePostalCode, "HomeAddressPostalCode"},
        {Field::HomeState, "HomeAddressState"}, {Field::HomeCountry, "HomeAddressCountry"},
        {Field::HomeFax, "HomeFaxNumber"},      {Field::CellularPhone, "MobileTelephoneNumber"},
        {Field::HomeWebPage, "WebPage"},
    };
    return rows;
}

const std::vector<std::pair<Field, const char*>>& businessRows() {
    static const std::vector<std::pair<Field, const char*>> rows = {
        {Field::BusinessCity, "BusinessAddressCity"},
        {Field::BusinessPostalCode, "BusinessAddressPostalCode"},
        {Field::BusinessState, "BusinessAddressState"},
        {Field::BusinessCountry, "BusinessAddressCountry"},
        {Field::BusinessWebPage, "BusinessHomePage"},
        {Field::BusinessFax, "BusinessFaxNumber"},
        {Field::Pager, "PagerNumber"},
        {Field::JobTitle, "JobTitle"},
        {Field::Department, "Department"},
    };
    return rows;
}

const std::vector<std::pair<Field, const char*>>& personRows() {
    static const std::vector<std::pair<Field, const char*>> rows = {
        {Field::Profession, "Profession"},
        {Field::Manager, "ManagerName"},
        {Field::Assistant, "AssistantName"},
        {Field::FirstName, "FirstName"},
        {Field::MiddleName, "MiddleName"},
        {Field::LastName, "LastName"},
        {Field::Title, "Title"},
        {Field::Office, "OfficeLocation"},
    };
    return rows;
}

/// What the writer sets after the first save, in its order (Notes go into the item's Body).
const std::vector<std::pair<const char*, Field>>& writtenProperties() {
    static const std::vector<std::pair<const char*, Field>> rows = {
        {"Email1Address", Field::Email},
        {"CompanyName", Field::Organization},
        {"HomeTelephoneNumber", Field::HomePhone},
        {"BusinessTelephoneNumber", Field::BusinessPhone},
        {"HomeAddressStreet", Field::HomeStreet},
        {"HomeAddressCity", Field::HomeCity},
        {"HomeAddressPostalCode", Field::HomePostalCode},
        {"HomeAddressState", Field::HomeState},
        {"HomeAddressCountry", Field::HomeCountry},
        {"HomeFaxNumber", Field::HomeFax},
        {"MobileTelephoneNumber", Field::CellularPhone},
        {"WebPage", Field::HomeWebPage},
        {"BusinessAddressStreet", Field::BusinessStreet},
        {"BusinessAddressCity", Field::BusinessCity},
        {"BusinessAddressPostalCode", Field::BusinessPostalCode},
        {"BusinessAddressState", Field::BusinessState},
        {"BusinessAddressCountry", Field::BusinessCountry},
        {"BusinessHomePage", Field::BusinessWebPage},
        {"BusinessFaxNumber", Field::BusinessFax},
        {"PagerNumber", Field::Pager},
        {"JobTitle", Field::JobTitle},
        {"Department", Field::Department},
        {"Profession", Field::Profession},
        {"ManagerName", Field::Manager},
        {"AssistantName", Field::Assistant},
        {"MiddleName", Field::MiddleName},
        {"Title", Field::Title},
        {"OfficeLocation", Field::Office},
        {"Spouse", Field::Spouse},
        {"Body", Field::Notes},
    };
    return rows;
}

void readRows(outlook::ContactItem& item, Entry& e,
              const std::vector<std::pair<Field, const char*>>& rows) {
    for (const auto& [field, property] : rows) e[field] = item.get(property);
}

/// What the user is told once when Outlook cannot be reached.
std::string unreachableText(const AutomationError& error) {
    if (!error.description().empty()) return error.description();
    return "Outlook cannot be reached (" + format("%08llx", error.code()) + " " +
           outlook::codeMeaning(error.code()) + ").";
}

}  // namespace

void dumpAutomationError(RunContext& run, const AutomationError& error) {
    run.diagnostic("Oops - hit an error!\n");
    run.diagnostic(format("\a\tCode = %08llx\n", error.code()));
    run.diagnostic("\a\tCode meaning = " + outlook::codeMeaning(error.code()) + "\n");
    run.diagnostic("\a\tSource = " + error.source() + "\n");
    run.diagnostic("\a\tDescription = " + error.description() + "\n");
}

OutlookSession logOnToOutlook(RunContext& run, const outlook::ApplicationFactory& factory,
                              bool traced) {
    OutlookSession s;
    if (traced) run.trace(2, "Accessing Outlook Application", "Debug");
    if (!factory) throw AutomationError(outlook::kClassNotRegistered, "Outlook.Application");
    s.application = factory();
    if (traced) run.trace(0, "Getting Outlook's MAPI Namespace", "Debug");
    s.nameSpace = use(s.application, "_Application").getNamespace("MAPI");
    if (traced) run.trace(0, "Attempting to log on", "Debug");
    use(s.nameSpace, "_NameSpace").logon("");
    return s;
}

void readContactItem(RunContext& run, outlook::ContactItem& item, Entry& e, int& checkpoint) {
    checkpoint = 100;
    const char* emails[] = {"Email1Address", "Email2Address", "Email3Address"};
    const int emailCheckpoints[] = {110, 120, 123};
    for (int i = 0; i < 3 && e[Field::Email].empty(); ++i) {
        e[Field::Email] = item.get(emails[i]);
        if (!e[Field::Email].empty()) checkpoint = emailCheckpoints[i];
    }

    run.trace(0, "Reading Name", "Debug");
    checkpoint = 200;
    e[Field::FullName] = item.get("FullName");
    if (!e[Field::FullName].empty()) {
        checkpoint = 210;
    } else {
        e[Field::FullName] = item.get("NickName");
        if (!e[Field::FullName].empty()) checkpoint = 220;
    }
    if (e[Field::FullName].empty()) e[Field::FullName] = e[Field::Email];

    checkpoint = 300;
    e[Field::Nickname] = item.get("NickName");
    if (!e[Field::Nickname].empty()) checkpoint = 310;
    run.trace(0, "Reading Home Telephone Number", "Debug");
    checkpoint = 400;
    e[Field::HomePhone] = item.get("HomeTelephoneNumber");
    if (!e[Field::HomePhone].empty()) checkpoint = 410;
    run.trace(0, "Reading Business Telephone Number", "Debug");
    checkpoint = 500;
    e[Field::BusinessPhone] = item.get("BusinessTelephoneNumber");
    if (!e[Field::BusinessPhone].empty()) checkpoint = 510;
    run.trace(0, "Reading Company Name", "Debug");
    e[Field::Organization] = item.get("CompanyName");

    run.trace(0, "Reading other attributes", "Debug");
    if (!item.get("HomeAddress").empty()) e[Field::HomeStreet] = item.get("HomeAddressStreet");
    readRows(item, e, plainRows());
    if (!item.get("BusinessAddress").empty())
        e[Field::BusinessStreet] = item.get("BusinessAddressStreet");
    readRows(item, e, businessRows());
    e[Field::Notes].clear();
    readRows(item, e, personRows());
    // The contact's own notes are its Body; the form's description is the same for every item.
    e[Field::Notes] = item.get("Body");
    e[Field::Spouse] = item.get("Spouse");
    e.sourceId = item.entryId();
    run.trace(0, "All entries were read successfully", "");
}

IterOLLI::IterOLLI(RunContext& /*run*/, std::shared_ptr<outlook::DistListItem> list)
    : m_list(std::move(list)) {}

bool IterOLLI::rewind() {
    m_memberIndex = 1;
    return true;
}

Entry IterOLLI::nextEntry() {
    Entry e;
    const int index = m_memberIndex++;
    std::shared_ptr<outlook::Recipient> member = use(m_list, "_DistListItem").getMember(index);
    e[Field::Nickname] = use(use(member, "Recipient").addressEntry(), "AddressEntry").address();
    return e;
}

bool IterOLLI::atEnd() {
    return m_memberIndex > use(m_list, "_DistListItem").memberCount();
}

std::string IterOLLI::name() {
    return use(m_list, "_DistListItem").dlName();
}

namespace iterators {

IterOL::IterOL(RunContext& run, const outlook::ApplicationFactory& factory) : m_run(run) {
    try {
        m_namespace = logOnToOutlook(run, factory, true).nameSpace;
        run.trace(0, "About to open Contacts Folder", "Vesk Debug");
        m_folder = use(m_namespace, "_NameSpace").getDefaultFolder(outlook::kFolderContacts);
        openFolder();
    } catch (const AutomationError& error) {
        dumpAutomationError(run, error);
        m_failed = true;
        run.report(Severity::Error, unreachableText(error), "Vesk");
    }
    rewind();
}

IterOL::IterOL(RunContext& run, std::shared_ptr<outlook::MAPIFolder> folder)
    : m_folder(std::move(folder)), m_run(run) {
    try {
        openFolder();
    } catch (const AutomationError& error) {
        dumpAutomationError(run, error);
        m_failed = true;
        run.report(Severity::Error, unreachableText(error), "Vesk");
    }
    rewind();
}

void IterOL::openFolder() {
    m_run.trace(0, "About to read items in Contacts Folder", "Vesk Debug");
    m_items = use(m_folder, "MAPIFolder").items();
    m_subfolders = use(m_folder, "MAPIFolder").folders();
    hasFolders = use(m_subfolders, "_Folders").count() != 0;
}

IterOL::~IterOL() {
    if (!m_namespace) return;
    m_run.trace(0, "About to log off of Outlook's MAPI namespace", "Debug");
    try {
        m_namespace->logoff();
    } catch (const AutomationError& error) {
        dumpAutomationError(m_run, error);
    }
}

bool IterOL::rewind() {
    m_itemIndex = 1;
    m_folderIndex = 1;
    return true;
}

Entry IterOL::nextEntry() {
    Entry e;
    e.kind = kOutlookContact;
    if (atEnd()) return e;
    int checkpoint = 0;
    try {
        m_run.trace(0, format("Reading item %lld", m_itemIndex), "Vesk Debug");
        // The index moves on first, so that an item that cannot be taken is not taken forever.
        std::shared_ptr<outlook::Item> item = use(m_items, "_Items").item(m_itemIndex++);
        m_run.trace(0, "Item Loaded. Assigning to current item variable", "Vesk Debug");
        std::shared_ptr<outlook::ContactItem> contact = use(item, "_Item").queryContact();
        m_run.trace(0, "Reading E-Mail Address", "Vesk Debug");
        if (!contact) {
            // Only a distribution list can be read as a list later; other items are skipped.
            if (auto list = item->queryDistList()) m_pending.push_back(std::move(list));
            return e;
        }
        readContactItem(m_run, *contact, e, checkpoint);
    } catch (const AutomationError&) {
        const std::string text =
            format("An Error occurred in importing Outlook Data at Checkpoint %lld", checkpoint);
        m_run.trace(0, text, "Vesk");
        m_run.note(Severity::Warning, text, Where{{}, 0, -1, e[Field::FullName]});
    }
    return e;
}

IterBase* IterOL::nextFolder() {
    if (foldersDone()) return nullptr;
    std::shared_ptr<outlook::MAPIFolder> folder = m_subfolders->item(m_folderIndex++);
    m_folderReader = std::make_unique<IterOL>(m_run, std::move(folder));
    return m_folderReader.get();
}

IterBase* IterOL::nextList() {
    if (m_pending.empty()) return nullptr;
    std::shared_ptr<outlook::DistListItem> list = std::move(m_pending.back());
    m_pending.pop_back();
    m_listReader = std::make_unique<IterOLLI>(m_run, std::move(list));
    return m_listReader.get();
}

bool IterOL::atEnd() {
    return m_failed || !m_items || m_itemIndex > m_items->count();
}

bool IterOL::foldersDone() {
    return m_failed || !m_subfolders || m_folderIndex > m_subfolders->count();
}

bool IterOL::listsDone() {
    return m_pending.empty();
}

std::string IterOL::name() {
    return m_folder ? m_folder->name() : std::string();
}

float IterOL::progress() {
    const int count = m_items && !m_failed ? m_items->count() : 0;
    if (count <= 0) return 1.0f;
    return static_cast<float>(m_itemIndex) / static_cast<float>(count);
}

IterPAB::IterPAB(RunContext& run, const outlook::ApplicationFactory& factory) : m_run(run) {
    try {
        m_namespace = logOnToOutlook(run, factory, true).nameSpace;
        run.trace(0, "About to open Address List collection", "Vesk Debug");
        m_lists = use(m_namespace, "_NameSpace").addressLists();
        m_entries =
            use(use(m_lists, "AddressLists").item("Contacts"), "AddressList").addressEntries();
        run.trace(0, "About to read items in Contacts Folder", "Vesk Debug");
    } catch (const AutomationError& error) {
        dumpAutomationError(run, error);
        m_failed = true;
        run.report(Severity::Error, unreachableText(error), "Vesk");
    }
    rewind();
}

IterPAB::~IterPAB() {
    if (!m_namespace) return;
    try {
        m_namespace->logoff();
    } catch (const AutomationError& error) {
        dumpAutomationError(m_run, error);
    }
}

bool IterPAB::rewind() {
    m_entryIndex = 1;
    return true;
}

bool IterPAB::atEnd() {
    return m_failed || !m_entries || m_entryIndex > m_entries->count();
}

float IterPAB::progress() {
    const int count = m_entries && !m_failed ? m_entries->count() : 0;
    if (count <= 0) return 1.0f;
    return static_cast<float>(m_entryIndex) / static_cast<float>(count);
}

Entry IterPAB::nextEntry() {
    Entry e;
    e.kind = kOutlookContact;
    if (atEnd()) return e;
    int checkpoint = 0;
    try {
        m_run.trace(0, format("Reading item %lld", m_entryIndex), "Vesk Debug");
        std::shared_ptr<outlook::AddressEntry> entry = m_entries->item(m_entryIndex++);
        m_run.trace(0, "Item Loaded. Assigning to current item variable", "Vesk Debug");
        const std::string id = use(entry, "AddressEntry").id();
        if (id.size() < kEntryIdStart + kEntryIdLength) {
            m_run.note(Severity::Warning,
                       "An address entry without a contact behind it was skipped: " + id);
            return e;
        }
        std::shared_ptr<outlook::Item> item =
            m_namespace->getItemFromID(id.substr(kEntryIdStart, kEntryIdLength));
        std::shared_ptr<outlook::ContactItem> contact = item ? item->queryContact() : nullptr;
        if (!contact) return e;
        readContactItem(m_run, *contact, e, checkpoint);
    } catch (const AutomationError&) {
        const std::string text =
            format("An Error occurred in importing Outlook Data at Checkpoint %lld", checkpoint);
        m_run.trace(0, text, "Vesk");
        m_run.note(Severity::Warning, text, Where{{}, 0, -1, e[Field::FullName]});
    }
    return e;
}

}  // namespace iterators

ToOutlook::ToOutlook(RunContext& run, const outlook::ApplicationFactory& factory) : ToBase(run) {
    try {
        m_session = logOnToOutlook(run, factory, false);
        m_mail =
            use(use(m_session.application, "_Application").createItem(outlook::kMailItem), "_Item")
                .queryMail();
        std::shared_ptr<outlook::MAPIFolder> folder =
            m_session.nameSpace->getDefaultFolder(outlook::kFolderContacts);
        enterFolder(folder);
        wantsFolders = true;
        if (use(m_folders, "_Folders").count() == 0) wantsFolders = false;
    } catch (const AutomationError& error) {
        dumpAutomationError(run, error);
        m_failed = true;
        run.report(Severity::Error, unreachableText(error), "Vesk");
    }
    wantsLists = false;
}

void ToOutlook::enterFolder(const std::shared_ptr<outlook::MAPIFolder>& folder) {
    m_items = use(folder, "MAPIFolder").items();
    m_folders = folder->folders();
}

bool ToOutlook::write(Entry e) {
    if (m_failed) return false;
    try {
        if (e.kind == KindFolderBegin) return writeFolderBegin(e);
        if (e.kind == KindFolderEnd) return writeFolderEnd();
        if (e.kind == KindListBegin || e.kind == KindListEnd || m_inList) return writeListEntry(e);
        return writeContact(e);
    } catch (const AutomationError& error) {
        dumpAutomationError(run(), error);
        ++m_refused;
        return false;
    }
}

bool ToOutlook::writeFolderBegin(const Entry& e) {
    const std::string& name = e[Field::FullName];
    outlook::Folders& folders = use(m_folders, "_Folders");
    const int count = folders.count();
    for (int i = 1; i <= count; ++i) {
        std::shared_ptr<outlook::MAPIFolder> folder = folders.item(i);
        if (folder && folder->name() == name) {
            enterFolder(folder);
            return true;
        }
    }
    enterFolder(folders.add(name));
    return true;
}

bool ToOutlook::writeFolderEnd() {
    std::shared_ptr<outlook::MAPIFolder> written = use(m_items, "_Items").parent();
    enterFolder(use(written, "MAPIFolder").parent());
    return true;
}

bool ToOutlook::writeContact(const Entry& e) {
    std::shared_ptr<outlook::ContactItem> item =
        use(use(m_items, "_Items").add(), "_Item").queryContact();
    outlook::ContactItem& contact = use(item, "_ContactItem");
    contact.set("NickName", e[Field::Nickname]);
    contact.set("FirstName", e[Field::FirstName]);
    contact.set("LastName", e[Field::LastName]);
    contact.set("FullName", e[Field::FullName]);
    contact.save();
    for (const auto& [property, field] : writtenProperties()) contact.set(property, e[field]);
    contact.close(outlook::kSave);
    return true;
}

bool ToOutlook::writeListEntry(const Entry& e) {
    outlook::Recipients& recipients = use(use(m_mail, "_MailItem").recipients(), "Recipients");
    if (e.kind == KindListBegin) {
        // A list of its own for every list: never an unrelated item found by its subject.
        m_list = use(use(m_items, "_Items").add(outlook::kDistributionListItem), "_Item")
                     .queryDistList();
        m_mail->setSubject(e[Field::FullName]);
        while (recipients.count() > 0) recipients.remove(1);
        m_inList = true;
        return true;
    }
    if (e.kind == KindListEnd) {
        m_inList = false;
        if (!m_list) return false;
        m_list->setDLName(m_mail->subject());
        if (recipients.count() > 0) {
            recipients.resolveAll();
            m_list->addMembers(recipients);
        }
        m_list->save();
        m_list.reset();
        return true;
    }
    // A member by its address, else by its name.
    const std::string& who = !e[Field::Email].empty()      ? e[Field::Email]
                             : !e[Field::FullName].empty() ? e[Field::FullName]
                                                           : e[Field::Nickname];
    if (!who.empty()) recipients.add(who);
    return true;
}

bool ToOutlook::finish() {
    if (m_failed) return false;
    try {
        use(m_session.nameSpace, "_NameSpace").logoff();
    } catch (const AutomationError& error) {
        dumpAutomationError(run(), error);
    }
    if (m_refused > 0) {
        run().report(Severity::Error,
                     format("Outlook refused %lld of the entries written to it.", m_refused),
                     "Vesk");
        return false;
    }
    return true;
}

namespace {

std::unique_ptr<IterBase> readOutlook(const FormatArgs& a) {
    return std::make_unique<iterators::IterOL>(a.run, outlook::pstApplication(a.fileName));
}

std::unique_ptr<ToBase> writeOutlook(const FormatArgs& a) {
    return std::make_unique<ToOutlook>(
        a.run, outlook::unavailableOutlook("MS Outlook cannot be written on this system."));
}

}  // namespace

const FormatInfo& outlookFormat() {
    static const FormatInfo info = {
        .id = "outlook",
        .displayName = "Microsoft Outlook",
        .extensions = {"pst", "ost"},
        .applications = {Application::Outlook},
        .reads = true,
        .writes = true,
        .writesHere = false,
        .holdsFolders = true,
        .holdsLists = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .reader = &readOutlook,
        .writer = &writeOutlook,
        .docsPage = "outlook.md",
    };
    return info;
}

}  // namespace vesk
