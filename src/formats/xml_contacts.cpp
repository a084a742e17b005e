#include "formats/xml_contacts.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

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
    // An element's leading text may be kept in the element itself (parse_embed_pcdata).
    if (node.type() == pugi::node_element) out += node.value();
    for (pugi::xml_node n = node.first_child(); n;) {
        const pugi::xml_node_type type = n.type();
        if (type == pugi::node_pcdata || type == pugi::node_cdata || type == pugi::node_element) {
            out += n.value();
        }
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

/// The Agent fields kept in an element of their own, one element each.
constexpr std::pair<Field, std::string_view> kAgentElements[] = {
    {Field::FullName, "fn"}, {Field::Email, "email"}, {Field::Nickname, "nickname"},
    {Field::Notes, "notes"}, {Field::Title, "title"},
};

/// True when one of the node's attributes named `name` has `value`.
bool hasAttribute(const pugi::xml_node& node, std::string_view name, std::string_view value) {
    for (const pugi::xml_attribute& a : node.attributes()) {
        if (a.name() == name && a.value() == value) return true;
    }
    return false;
}

bool hasAttributeNamed(const pugi::xml_node& node, std::string_view name) {
    for (const pugi::xml_attribute& a : node.attributes()) {
        if (a.name() == name) return true;
    }
    return false;
}

/// A value without a context is a home one.
template <class Take>
void takeByContext(const pugi::xml_node& node, Field home, Field work, Take& take) {
    if (hasAttribute(node, "context", "Home") || !hasAttributeNamed(node, "context")) {
        take(home, node);
    }
    if (hasAttribute(node, "context", "Work")) take(work, node);
}

template <class Take>
void takePhone(const pugi::xml_node& tel, Take& take) {
    const bool home = hasAttribute(tel, "context", "Home");
    const bool work = hasAttribute(tel, "context", "Work");
    if (home) take(Field::HomePhone, tel);
    if (work) take(Field::BusinessPhone, tel);
    if (hasAttribute(tel, "type", "fax")) {
        if (home || !hasAttributeNamed(tel, "context")) take(Field::HomeFax, tel);
        if (work) take(Field::BusinessFax, tel);
    }
    if (hasAttribute(tel, "type", "mobile")) take(Field::CellularPhone, tel);
    if (hasAttribute(tel, "type", "pager")) take(Field::Pager, tel);
}

}  // namespace

bool loadXmlFile(RunContext& run, pugi::xml_document& doc, const std::string& fileName,
                 std::string& bytes, unsigned moreOptions) {
    // parse_doctype stays off: the DOCTYPE is skipped, so neither a DTD nor its entities count.
    const unsigned options =
        (pugi::parse_default | moreOptions) & ~static_cast<unsigned>(pugi::parse_doctype);
    // Read through the text layer, which refuses folders: pugixml's own loader sizes its buffer
    // by seeking to the end, which for a folder asks for 2^63 bytes.
    std::optional<std::string> read = readFileBytes(fileName);
    pugi::xml_parse_result result;
    if (read) {
        bytes = std::move(*read);
        // The tree's texts point into the bytes themselves: nothing is copied.
        result = doc.load_buffer_inplace(bytes.data(), bytes.size(), options);
    }
    std::string reason = !read ? "File cannot be opened" : result ? "" : result.description();
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
    const bool agent = format == kAgent;
    // An Agent contact's values are each an element's only text: kept in the element, they
    // need no node of their own.
    if (!loadXmlFile(run, m_doc, fileName, m_bytes, agent ? pugi::parse_embed_pcdata : 0)) return;
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
    // One walk over the children in document order; each field takes the first element that
    // fits it, as the field queries of the writer would pick it.
    Entry e;
    FieldMask found;
    const auto take = [&](Field field, const pugi::xml_node& node) {
        if (found.test(static_cast<std::size_t>(field))) return;
        found.set(static_cast<std::size_t>(field));
        e[field] = deepText(node);
    };
    for (const pugi::xml_node& child : contact.children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view name = child.name();
        if (name == "org") {
            for (const pugi::xml_node& part : child.children("orgname")) {
                take(Field::Organization, part);
            }
        } else if (name == "adr") {
            for (const pugi::xml_node& part : child.children("value")) {
                takeByContext(part, Field::HomeStreet, Field::BusinessStreet, take);
            }
        } else if (name == "tel") {
            takePhone(child, take);
        } else if (name == "url") {
            takeByContext(child, Field::HomeWebPage, Field::BusinessWebPage, take);
        } else {
            for (const auto& [field, element] : kAgentElements) {
                if (name == element) take(field, child);
            }
        }
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

namespace {

/// What stands for value `slot` while a template is rendered; no template holds it.
std::string slotMark(std::size_t slot) {
    return "{{vesk-value-" + std::to_string(slot) + "}}";
}

/// Splits text rendered with slotMark()s into its fixed pieces and the slots between them.
xml::Layout layoutOf(const std::string& rendered) {
    xml::Layout layout;
    layout.pieces.clear();
    constexpr std::string_view kOpen = "{{vesk-value-";
    std::size_t from = 0;
    while (true) {
        const std::size_t mark = rendered.find(kOpen, from);
        const std::size_t close = rendered.find("}}", mark);
        if (mark == std::string::npos || close == std::string::npos) break;
        layout.pieces.push_back(rendered.substr(from, mark - from));
        layout.slots.push_back(std::stoul(rendered.substr(mark + kOpen.size())));
        from = close + 2;
    }
    layout.pieces.push_back(rendered.substr(from));
    return layout;
}

/// An element rendered as pugixml saves it as a child of the address book.
std::string rendered(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "   ", pugi::format_default, pugi::encoding_utf8, 1);
    return out.str();
}

std::string savedText(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "   ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

/// Agent's own lists keep their members' lines under this element.
constexpr const char* kMembers = "outboundaddresslist";

}  // namespace

namespace xml {

void escapeText(std::string& out, std::string_view value) {
    // A value ends at a NUL, as the C string it was kept in did.
    value = value.substr(0, value.find('\0'));
    std::size_t from = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool control = c < 32 && c != '\t' && c != '\n' && c != '\r';
        if (!control && c != '&' && c != '<' && c != '>') continue;
        out.append(value.substr(from, i - from));
        from = i + 1;
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += "&#";
            out += static_cast<char>('0' + c / 10);
            out += static_cast<char>('0' + c % 10);
            out += ';';
        }
    }
    out.append(value.substr(from));
}

void Layout::fill(std::string& out, const std::vector<std::string_view>& values) const {
    for (std::size_t i = 0; i < slots.size(); ++i) {
        out += pieces[i];
        if (slots[i] < values.size()) escapeText(out, values[slots[i]]);
    }
    out += pieces.back();
}

}  // namespace xml

ToXML::ToXML(RunContext& run, std::string fileName, const std::string& templateFolder)
    : ToFile(run, std::move(fileName)) {
    wantsLists = true;
    takesViews = true;
    // An Agent book is written anew, not merged.
    mergesExisting = false;
    // pugixml has always written this file with LF line ends.
    m_text.keepLfLineEnds();
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
    std::string agentBytes;  // the documents' texts live in these
    std::string skeletonBytes;
    pugi::xml_document templates;
    pugi::xml_document doc;
    if (!loadXmlFile(run, templates, agent, agentBytes) ||
        !loadXmlFile(run, doc, skeleton, skeletonBytes)) {
        return;
    }
    const pugi::xml_node contact = templates.select_node(kAgentContacts).node();
    m_ready = doc.child("addressbook") && contact;
    if (!m_ready) {
        run.report(Severity::Error, "Failed to load file:\nThe templates hold no address book",
                   agent, Where{agent});
        return;
    }
    layOut(doc, contact, templates.select_node(kAgentLists).node());
}

void ToXML::layOut(pugi::xml_document& doc, const pugi::xml_node& contact,
                   const pugi::xml_node& list) {
    // Each template is rendered once by pugixml with marks where the values go; the items are
    // then written as text, laid out exactly as pugixml lays out the whole document.
    m_emptyBook = savedText(doc);
    doc.child("addressbook").append_child("vesk-items");
    const std::string book = savedText(doc);
    const std::size_t items = book.find("<vesk-items />");
    m_head = book.substr(0, book.rfind('\n', items) + 1);
    m_tail = book.substr(book.find('\n', items) + 1);

    pugi::xml_document scratch;
    pugi::xml_node copy = scratch.append_copy(contact);
    for (std::size_t i = 0; i < agentQueries().size(); ++i) {
        const pugi::xpath_node target = copy.select_node(agentQueries()[i].second);
        if (target) target.node().text().set(slotMark(i).c_str());
    }
    m_contactLayout = layoutOf(rendered(copy));

    if (!list || !list.child(kMembers)) return;
    m_listMembers = list.child(kMembers).text().get();
    pugi::xml_node listCopy = scratch.append_copy(list);
    listCopy.child("fn").text().set(slotMark(0).c_str());
    // Untouched, an empty member element is saved as "<outboundaddresslist />".
    m_emptyListLayout = layoutOf(rendered(listCopy));
    listCopy.child(kMembers).text().set(slotMark(1).c_str());
    m_listLayout = layoutOf(rendered(listCopy));
    m_listsWritable = true;
}

void ToXML::putItem(const xml::Layout& layout, const std::vector<std::string_view>& values) {
    if (!m_started) m_text.append(m_head);
    m_started = true;
    m_item.clear();
    layout.fill(m_item, values);
    m_text.append(m_item);
}

bool ToXML::writeView(const Entry& e) {
    if (!m_ready) return false;
    const EntryKind kind = e.kind;
    if (!m_inList && kind == EntryKind::ListBegin) {
        if (!m_listsWritable) return false;
        m_inList = true;
        m_listName = std::as_const(e)[Field::FullName];
        m_members = m_listMembers;
        m_membersSet = false;
        return true;
    }
    if (m_inList) {
        if (kind == EntryKind::ListEnd) {
            putList();
            return true;
        }
        // Agent keeps one member a line; a NUL ends the text, as it ended the C string. Once a
        // member is in, the text before the new line holds none: only the new line is searched.
        const std::size_t from = m_membersSet ? m_members.size() : 0;
        if (!m_members.empty()) m_members += "\n";
        m_members += memberLine(e);
        m_members.resize(std::min(m_members.size(), m_members.find('\0', from)));
        m_membersSet = true;
        return true;
    }
    if (kind != EntryKind::Contact) return false;
    std::vector<std::string_view>& values = m_values;
    values.clear();
    for (const auto& [field, query] : agentQueries()) values.push_back(std::as_const(e)[field]);
    putItem(m_contactLayout, values);
    return true;
}

void ToXML::putList() {
    m_inList = false;
    putItem(m_membersSet ? m_listLayout : m_emptyListLayout, {m_listName, m_members});
}

void ToXML::end() {
    if (!m_ready) return;
    if (m_inList) putList();
    m_text.append(m_started ? m_tail : m_emptyBook);
}

bool ToXML::finish() {
    if (!m_ready) {
        m_succeeded = false;
        return false;
    }
    return ToFile::finish();
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
