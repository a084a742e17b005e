#include "formats/xml_contacts.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <string_view>

#include "platform/file_io.h"
#include "platform/program_files.h"
#include "text/text_io.h"

namespace vesk {

namespace {

/// Deeper documents are refused: no address book nests this far, and a hostile one that does
/// would make every later walk over the tree costly.
constexpr int kMaxDepth = 64;

const char* const kAgentContacts = "/addressbook/contact[not(@type)] | /contact[not(@type)]";
const char* const kAgentLists = "/addressbook/contact[@type='outboundmailinglist']";

/// The Agent field queries, relative to a contact element; reader and writer share them.
const std::vector<std::pair<Field, const char*>>& agentPaths() {
    static const std::vector<std::pair<Field, const char*>> paths = {
        {Field::FullName, "fn"},
        {Field::Email, "email"},
        {Field::Nickname, "nickname"},
        {Field::HomePhone, "tel[@context = 'Home']"},
        {Field::BusinessPhone, "tel[@context = 'Work']"},
        {Field::Organization, "org/orgname"},
        {Field::HomeStreet, "adr/value[(@context = 'Home') or not (@context)]"},
        {Field::HomeFax, "tel[(@type = 'fax') and (@context = 'Home' or not (@context))]"},
        {Field::CellularPhone, "tel[@type = 'mobile']"},
        {Field::HomeWebPage, "url[(@context = 'Home') or not (@context)]"},
        {Field::BusinessStreet, "adr/value[@context = 'Work']"},
        {Field::BusinessWebPage, "url[@context = 'Work']"},
        {Field::BusinessFax, "tel[(@type = 'fax') and (@context = 'Work')]"},
        {Field::Pager, "tel[@type = 'pager']"},
        {Field::Notes, "notes"},
        {Field::Title, "title"},
    };
    return paths;
}

/// The Agent field queries compiled once.
const std::vector<std::pair<Field, pugi::xpath_query>>& agentQueries() {
    static const std::vector<std::pair<Field, pugi::xpath_query>> queries = [] {
        std::vector<std::pair<Field, pugi::xpath_query>> out;
        for (const auto& [field, path] : agentPaths()) out.emplace_back(field, path);
        return out;
    }();
    return queries;
}

class DepthCheck : public pugi::xml_tree_walker {
  public:
    bool for_each(pugi::xml_node&) override {
        if (depth() > kMaxDepth) tooDeep = true;
        return !tooDeep;
    }
    bool tooDeep = false;
};

std::string_view localName(const pugi::xml_node& node) {
    const std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

/// The child elements of `node` whose name, without its namespace prefix, is `name`.
std::vector<pugi::xml_node> childrenNamed(const pugi::xml_node& node, std::string_view name) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element && localName(child) == name) out.push_back(child);
    }
    return out;
}

pugi::xml_node childNamed(const pugi::xml_node& node, std::string_view name) {
    const auto found = childrenNamed(node, name);
    return found.empty() ? pugi::xml_node() : found.front();
}

/// The concatenated text of an element and its descendants.
std::string deepText(const pugi::xml_node& node) {
    std::string out;
    if (!node) return out;
    for (pugi::xml_node n = node.first_child(); n;) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) out += n.value();
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != node && !n.next_sibling()) n = n.parent();
        if (!n || n == node) break;
        n = n.next_sibling();
    }
    return out;
}

/// The labels of a Windows Contacts item ("Preferred", "Business", "Cellular"...).
std::vector<std::string> labelsOf(const pugi::xml_node& item) {
    std::vector<std::string> out;
    for (const auto& label : childrenNamed(childNamed(item, "LabelCollection"), "Label")) {
        out.push_back(deepText(label));
    }
    return out;
}

bool hasLabel(const std::vector<std::string>& labels, std::string_view label) {
    return std::find(labels.begin(), labels.end(), label) != labels.end();
}

/// The items of a collection, those labelled "Preferred" first, empty ("nil") ones left out.
std::vector<pugi::xml_node> itemsOf(const pugi::xml_node& contact, std::string_view collection,
                                    std::string_view item) {
    std::vector<pugi::xml_node> items;
    for (const auto& node : childrenNamed(childNamed(contact, collection), item)) {
        if (node.first_child()) items.push_back(node);
    }
    std::stable_partition(items.begin(), items.end(), [](const pugi::xml_node& n) {
        return hasLabel(labelsOf(n), "Preferred");
    });
    return items;
}

void setIfEmpty(FieldRef field, const std::string& value) {
    if (field.empty()) field = value;
}

Field phoneField(const std::vector<std::string>& labels) {
    const bool business = hasLabel(labels, "Business");
    if (hasLabel(labels, "Cellular")) return Field::CellularPhone;
    if (hasLabel(labels, "Pager")) return Field::Pager;
    if (hasLabel(labels, "Fax")) return business ? Field::BusinessFax : Field::HomeFax;
    return business ? Field::BusinessPhone : Field::HomePhone;
}

/// A list member as Agent keeps it and as the list reader reads it back: `Name <address>`,
/// the name quoted when it holds a mark of that form.
std::string memberLine(const Entry& e) {
    std::string name = e[Field::FullName];
    const std::string& address = e[Field::Email];
    for (char& c : name) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    if (name.empty()) return address;
    if (name.find_first_of(",\"<>\\") != std::string::npos) {
        std::string quoted = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        name = quoted + "\"";
    }
    return address.empty() ? name : name + " <" + address + ">";
}

}  // namespace

bool loadXmlFile(RunContext& run, pugi::xml_document& doc, const std::string& fileName) {
    // parse_doctype stays off: the DOCTYPE is skipped, so neither a DTD nor its entities count.
    const unsigned options = pugi::parse_default & ~static_cast<unsigned>(pugi::parse_doctype);
    // Read through the text layer, which refuses folders: pugixml's own loader sizes its buffer
    // by seeking to the end, which for a folder asks for 2^63 bytes.
    const std::optional<std::string> bytes = readFileBytes(fileName);
    pugi::xml_parse_result result;
    if (bytes) result = doc.load_buffer(bytes->data(), bytes->size(), options);
    std::string reason = !bytes ? "File cannot be opened" : result ? "" : result.description();
    if (reason.empty()) {
        DepthCheck check;
        doc.traverse(check);
        if (check.tooDeep) reason = "Elements are nested too deeply";
    }
    if (reason.empty()) return true;
    doc.reset();
    run.report(Severity::Error, "Failed to load file:\n" + reason, fileName, Where{fileName});
    return false;
}

namespace iterators {

IterXML::IterXML(RunContext& run, std::string fileName, int format, ListReaderMaker lists)
    : m_format(format), m_makeList(lists), m_run(run) {
    if (!loadXmlFile(run, m_doc, fileName)) return;
    const bool agent = format == kAgent;
    const char* contacts = agent ? kAgentContacts : "/*[local-name() = 'contact']";
    for (const auto& n : m_doc.select_nodes(contacts)) m_contacts.push_back(n.node());
    if (agent && m_makeList) {
        for (const auto& n : m_doc.select_nodes(kAgentLists)) m_lists.push_back(n.node());
    }
}

bool IterXML::rewind() {
    m_nextContact = 0;
    m_nextList = 0;
    return true;
}

Entry IterXML::nextEntry() {
    if (atEnd()) return Entry{};
    const pugi::xml_node contact = m_contacts[m_nextContact++];
    return m_format == kAgent ? agentEntry(contact) : windowsEntry(contact);
}

Entry IterXML::agentEntry(const pugi::xml_node& contact) const {
    Entry e;
    for (const auto& [field, query] : agentQueries()) {
        const pugi::xpath_node found = contact.select_node(query);
        if (found) e[field] = deepText(found.node());
    }
    return e;
}

Entry IterXML::windowsEntry(const pugi::xml_node& contact) const {
    Entry e;
    for (const auto& name : itemsOf(contact, "NameCollection", "Name")) {
        setIfEmpty(e[Field::FullName], deepText(childNamed(name, "FormattedName")));
        setIfEmpty(e[Field::Nickname], deepText(childNamed(name, "NickName")));
        setIfEmpty(e[Field::FirstName], deepText(childNamed(name, "GivenName")));
        setIfEmpty(e[Field::MiddleName], deepText(childNamed(name, "MiddleName")));
        setIfEmpty(e[Field::LastName], deepText(childNamed(name, "FamilyName")));
    }
    for (const auto& mail : itemsOf(contact, "EmailAddressCollection", "EmailAddress")) {
        setIfEmpty(e[Field::Email], deepText(childNamed(mail, "Address")));
    }
    for (const auto& phone : itemsOf(contact, "PhoneNumberCollection", "PhoneNumber")) {
        setIfEmpty(e[phoneField(labelsOf(phone))], deepText(childNamed(phone, "Number")));
    }
    for (const auto& adr : itemsOf(contact, "PhysicalAddressCollection", "PhysicalAddress")) {
        const bool work = hasLabel(labelsOf(adr), "Business");
        if (!(work ? e[Field::BusinessStreet] : e[Field::HomeStreet]).empty()) continue;
        e[work ? Field::BusinessStreet : Field::HomeStreet] = deepText(childNamed(adr, "Street"));
        e[work ? Field::BusinessCity : Field::HomeCity] = deepText(childNamed(adr, "Locality"));
        e[work ? Field::BusinessState : Field::HomeState] = deepText(childNamed(adr, "Region"));
        e[work ? Field::BusinessPostalCode : Field::HomePostalCode] =
            deepText(childNamed(adr, "PostalCode"));
        e[work ? Field::BusinessCountry : Field::HomeCountry] =
            deepText(childNamed(adr, "Country"));
    }
    for (const auto& url : itemsOf(contact, "WebsiteCollection", "Website")) {
        const bool work = hasLabel(labelsOf(url), "Business");
        setIfEmpty(e[work ? Field::BusinessWebPage : Field::HomeWebPage],
                   deepText(childNamed(url, "Value")));
    }
    for (const auto& position : itemsOf(contact, "PositionCollection", "Position")) {
        setIfEmpty(e[Field::Organization], deepText(childNamed(position, "Company")));
        setIfEmpty(e[Field::JobTitle], deepText(childNamed(position, "JobTitle")));
        setIfEmpty(e[Field::Department], deepText(childNamed(position, "Department")));
    }
    e[Field::Notes] = deepText(childNamed(contact, "Notes"));
    return e;
}

IterBase* IterXML::nextList() {
    while (!listsDone()) {
        const pugi::xml_node list = m_lists[m_nextList++];
        const pugi::xml_node name = list.child("fn");
        if (!name) continue;  // a list without a name is not read
        m_list = m_makeList(m_run, deepText(name), deepText(list.child("outboundaddresslist")));
        return m_list.get();
    }
    return nullptr;
}

}  // namespace iterators

namespace {

std::string templateFile(const std::string& folder, const std::string& name) {
    if (folder.empty()) return findProgramFile(name);
    const std::string path = folder + "/" + name;
    return isFile(path) ? path : std::string();
}

}  // namespace

ToXML::ToXML(RunContext& run, std::string fileName, const std::string& templateFolder)
    : ToBase(run), m_fileName(std::move(fileName)) {
    wantsLists = true;
    const std::string agent = templateFile(templateFolder, "agent.xml");
    const std::string skeleton = templateFile(templateFolder, "agentskeleton.xml");
    if (agent.empty() || skeleton.empty()) {
        run.report(Severity::Error,
                   "Failed to load file:\nThe template " +
                       std::string(agent.empty() ? "agent.xml" : "agentskeleton.xml") +
                       " was not found beside the program",
                   m_fileName, Where{m_fileName});
        return;
    }
    if (!loadXmlFile(run, m_templates, agent) || !loadXmlFile(run, m_doc, skeleton)) return;
    m_templateContact = m_templates.select_node(kAgentContacts).node();
    m_templateList = m_templates.select_node(kAgentLists).node();
    m_root = m_doc.child("addressbook");
    m_ready = m_root && m_templateContact;
    if (!m_ready) {
        run.report(Severity::Error, "Failed to load file:\nThe templates hold no address book",
                   agent, Where{agent});
    }
}

bool ToXML::write(Entry e) {
    if (!m_ready) return false;
    const EntryKind kind = e.kind;
    if (!m_members && kind == EntryKind::ListBegin) {
        if (!m_templateList || !m_templateList.child("outboundaddresslist")) return false;
        m_list = m_root.append_copy(m_templateList);
        m_members = m_list.child("outboundaddresslist");
        m_list.child("fn").text().set(e[Field::FullName].c_str());
        return true;
    }
    if (m_members) {
        if (kind == EntryKind::ListEnd) {
            m_members = pugi::xml_node();
            return true;
        }
        std::string text = m_members.text().get();
        if (!text.empty()) text += "\n";
        m_members.text().set((text + memberLine(e)).c_str());
        return true;
    }
    if (kind != EntryKind::Contact) return false;
    pugi::xml_node contact = m_root.append_copy(m_templateContact);
    for (const auto& [field, query] : agentQueries()) {
        const pugi::xpath_node target = contact.select_node(query);
        if (target) target.node().text().set(e[field].c_str());
    }
    return true;
}

bool ToXML::finish() {
    if (!m_ready) {
        m_succeeded = false;
        return false;
    }
    std::ostringstream out;
    m_doc.save(out, "   ", pugi::format_default, pugi::encoding_utf8);
    const WriteResult result = writeFileAtomically(m_fileName, out.str());
    if (!result.ok) {
        m_run->report(Severity::Error, "File write Error", m_fileName,
                      Where{m_fileName, 0, -1, {}, result.error});
    }
    m_succeeded = result.ok;
    return result.ok;
}

namespace {

Sniff sniffAgent(std::string_view head) {
    return head.find("<addressbook") != std::string_view::npos ? Sniff::Yes : Sniff::No;
}

Sniff sniffWindowsContact(std::string_view head) {
    return head.find("schemas.microsoft.com/Contact") != std::string_view::npos ? Sniff::Yes
                                                                                : Sniff::No;
}

FieldMask agentFields() {
    FieldMask mask;
    for (const auto& item : agentPaths()) mask.set(static_cast<std::size_t>(item.first));
    return mask;
}

}  // namespace

FormatInfo agentXmlFormat() {
    return {
        .id = "agent_xml",
        .displayName = "Forte Agent XML contacts",
        .extensions = {"xml"},
        .reads = true,
        .writes = true,
        .holdsLists = true,
        .readFields = agentFields(),
        .writeFields = agentFields(),
        .sniff = &sniffAgent,
        .writer = &writerOfFile<ToXML>,
        .openFilters = {{"XML Files (Agent)", "*.xml", 12}},
        .docsPage = "agent_xml.md",
    };
}

const FormatInfo& windowsContactFormat() {
    static const FormatInfo info = {
        .id = "windows_contact",
        .displayName = "Windows Contacts",
        .extensions = {"contact"},
        .reads = true,
        .readFields = fieldsOf({Field::FullName,
                                Field::Nickname,
                                Field::FirstName,
                                Field::MiddleName,
                                Field::LastName,
                                Field::Email,
                                Field::HomePhone,
                                Field::BusinessPhone,
                                Field::CellularPhone,
                                Field::Pager,
                                Field::HomeFax,
                                Field::BusinessFax,
                                Field::HomeStreet,
                                Field::HomeCity,
                                Field::HomeState,
                                Field::HomePostalCode,
                                Field::HomeCountry,
                                Field::BusinessStreet,
                                Field::BusinessCity,
                                Field::BusinessState,
                                Field::BusinessPostalCode,
                                Field::BusinessCountry,
                                Field::HomeWebPage,
                                Field::BusinessWebPage,
                                Field::Organization,
                                Field::JobTitle,
                                Field::Department,
                                Field::Notes}),
        .sniff = &sniffWindowsContact,
        .reader = [](const FormatArgs& a) -> std::unique_ptr<IterBase> {
            return std::make_unique<iterators::IterXML>(a.run, a.fileName,
                                                        iterators::IterXML::kWindowsContact);
        },
        .openFilters = {{"Windows Contacts Files (*.contact)", "*.contact", 13}},
        .docsPage = "windows_contact.md",
    };
    return info;
}

}  // namespace vesk
