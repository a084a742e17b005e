#include "formats/xml_contacts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/program_files.h"
#include "registry/registry.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<IterBase> readerOf(testing::TestRun& run, const std::string& id,
                                   const std::string& path) {
    const FormatInfo* format = Registry::builtIn().byId(id);
    return format->reader(FormatArgs{.run = run, .fileName = path, .baseName = {}});
}

std::vector<Entry> contactsOf(IterBase& reader) {
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 1000) out.push_back(reader.nextEntry());
    return out;
}

/// "List name: member|address, ..." for each list of an Agent reader.
std::vector<std::string> listsOf(IterBase& reader) {
    std::vector<std::string> out;
    while (!reader.listsDone()) {
        IterBase* list = reader.nextList();
        if (!list) break;
        std::string line = list->name() + ":";
        // The list reader gives an empty entry after a quoted item; the import drops those.
        for (const Entry& m : contactsOf(*list)) {
            if (m.isEmpty()) continue;
            line += " " + m[Field::FullName] + "|" + m[Field::Email];
        }
        out.push_back(line);
    }
    return out;
}

const char* const kAgentBook = R"(<?xml version="1.0" encoding="utf-8"?>
<addressbook>
  <contact>
    <fn>Chris Beck</fn>
    <email context="Work">chris@work.example</email>
    <email context="Home">chris@home.example</email>
    <tel>555-0000</tel>
    <tel type="fax">555-0001</tel>
    <tel context="Work">555-0002</tel>
    <tel type="mobile">555-0003</tel>
    <adr><value>1 Plain Road</value></adr>
    <adr><value context="Work">2 Office Park</value></adr>
    <url>http://plain.example</url>
    <org><orgname>Forte</orgname></org>
    <notes>Line one
Line <b>two</b></notes>
  </contact>
  <contact type="outboundmailinglist">
    <fn>Friends</fn>
    <outboundaddresslist>Ann Lee &lt;ann@example.com&gt;
bob@example.com
"Lee, Carl" &lt;carl@example.com&gt;</outboundaddresslist>
  </contact>
  <contact type="outboundmailinglist">
    <outboundaddresslist>nameless@example.com</outboundaddresslist>
  </contact>
</addressbook>
)";

TEST(AgentXmlReader, ReadsAContactAndAList) {
    testing::TempDir dir;
    testing::TestRun run;
    auto reader = readerOf(run, "agent_xml", dir.file("contacts.xml", kAgentBook));
    const auto contacts = contactsOf(*reader);
    ASSERT_EQ(contacts.size(), 1u);
    const Entry& e = contacts[0];
    EXPECT_EQ(e[Field::FullName], "Chris Beck");
    EXPECT_EQ(e[Field::Email], "chris@work.example");  // the first e-mail element
    EXPECT_EQ(e[Field::HomePhone], "");                // a context-less tel is no Home Phone
    EXPECT_EQ(e[Field::HomeFax], "555-0001");          // ...but a context-less fax is a Home Fax
    EXPECT_EQ(e[Field::BusinessPhone], "555-0002");
    EXPECT_EQ(e[Field::CellularPhone], "555-0003");
    EXPECT_EQ(e[Field::HomeStreet], "1 Plain Road");  // a context-less address is at home
    EXPECT_EQ(e[Field::BusinessStreet], "2 Office Park");
    EXPECT_EQ(e[Field::HomeWebPage], "http://plain.example");
    EXPECT_EQ(e[Field::Organization], "Forte");
    EXPECT_EQ(e[Field::Notes], "Line one\nLine two");
    EXPECT_EQ(listsOf(*reader),
              std::vector<std::string>{"Friends: Ann Lee|ann@example.com |bob@example.com "
                                       "Lee, Carl|carl@example.com"});
    EXPECT_EQ(run.diagnostics().count(), 0);
}

TEST(XmlReaders, BadFilesGiveNothingAndAreReported) {
    testing::TempDir dir;
    std::string deep = "<addressbook><contact><fn>deep</fn>";
    for (int i = 0; i < 500; ++i) deep += "<a>";
    for (int i = 0; i < 500; ++i) deep += "</a>";
    deep += "</contact></addressbook>";
    struct Case {
        const char* label;
        const char* id;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"missing", "agent_xml", dir.file("missing.xml")},
        {"a folder", "windows_contact", dir.path().string()},
        {"not XML", "agent_xml", dir.file("bad.xml", "<addressbook><contact><fn>x</contact>")},
        {"cut short", "windows_contact",
         dir.file("cut.contact", "<?xml version=\"1.0\"?><c:contact xmlns:c=\"x\"><c:Notes>")},
        {"nested too deep", "agent_xml", dir.file("deep.xml", deep)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::TestRun run;
        auto reader = readerOf(run, c.id, c.path);
        EXPECT_TRUE(contactsOf(*reader).empty());
        EXPECT_TRUE(listsOf(*reader).empty());
        EXPECT_EQ(run.diagnostics().count(Severity::Error), 1);
    }
}

TEST(XmlReaders, TheDoctypeIsNotHonoured) {
    testing::TempDir dir;
    const std::string secret = dir.file("secret.txt", "SECRET");
    const std::string file =
        dir.file("hostile.xml",
                 "<?xml version=\"1.0\"?>\n<!DOCTYPE addressbook [\n"
                 "<!ENTITY ext SYSTEM \"file://" +
                     secret +
                     "\">\n"
                     "<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
                     "]>\n<addressbook><contact><fn>&ext;</fn><notes>&b;</notes>"
                     "<email>x&amp;y@example.com</email></contact></addressbook>");
    testing::TestRun run;
    auto reader = readerOf(run, "agent_xml", file);
    const auto contacts = contactsOf(*reader);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0][Field::FullName].find("SECRET"), std::string::npos);
    EXPECT_EQ(contacts[0][Field::Notes].find("aaaa"), std::string::npos);
    EXPECT_EQ(contacts[0][Field::Email], "x&y@example.com");  // XML's own entities still count
}

TEST(WindowsContactReader, TakesThePreferredItemsFirst) {
    testing::TempDir dir;
    const std::string file = dir.file("ann.contact", R"(<?xml version="1.0" encoding="UTF-8"?>
<w:contact xmlns:w="http://schemas.microsoft.com/Contact" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
 <w:NameCollection><w:Name><w:FormattedName>Ann Lee</w:FormattedName><w:NickName>annie</w:NickName>
  <w:GivenName>Ann</w:GivenName><w:FamilyName>Lee</w:FamilyName></w:Name></w:NameCollection>
 <w:EmailAddressCollection>
  <w:EmailAddress><w:Address>old@example.com</w:Address></w:EmailAddress>
  <w:EmailAddress xsi:nil="true"/>
  <w:EmailAddress><w:Address>ann@example.com</w:Address>
   <w:LabelCollection><w:Label>Preferred</w:Label></w:LabelCollection></w:EmailAddress>
 </w:EmailAddressCollection>
 <w:PhoneNumberCollection>
  <w:PhoneNumber><w:Number>555-1</w:Number><w:LabelCollection><w:Label>Voice</w:Label></w:LabelCollection></w:PhoneNumber>
  <w:PhoneNumber><w:Number>555-2</w:Number><w:LabelCollection><w:Label>Cellular</w:Label></w:LabelCollection></w:PhoneNumber>
  <w:PhoneNumber><w:Number>555-3</w:Number><w:LabelCollection><w:Label>Business</w:Label><w:Label>Fax</w:Label></w:LabelCollection></w:PhoneNumber>
  <w:PhoneNumber><w:Number>555-4</w:Number><w:LabelCollection><w:Label>Voice</w:Label><w:Label>Preferred</w:Label></w:LabelCollection></w:PhoneNumber>
 </w:PhoneNumberCollection>
 <w:PhysicalAddressCollection>
  <w:PhysicalAddress><w:Street>1 Home Lane</w:Street><w:Locality>Hometown</w:Locality></w:PhysicalAddress>
  <w:PhysicalAddress><w:Street>2 Work St</w:Street><w:Locality>Worktown</w:Locality><w:PostalCode>12345</w:PostalCode>
   <w:LabelCollection><w:Label>Business</w:Label></w:LabelCollection></w:PhysicalAddress>
  <w:PhysicalAddress><w:Street>3 Second Home</w:Street></w:PhysicalAddress>
 </w:PhysicalAddressCollection>
</w:contact>
)");
    testing::TestRun run;
    auto reader = readerOf(run, "windows_contact", file);
    const auto contacts = contactsOf(*reader);
    ASSERT_EQ(contacts.size(), 1u);
    const Entry& e = contacts[0];
    EXPECT_EQ(e[Field::FullName], "Ann Lee");
    EXPECT_EQ(e[Field::Nickname], "annie");
    EXPECT_EQ(e[Field::LastName], "Lee");
    EXPECT_EQ(e[Field::Email], "ann@example.com");
    EXPECT_EQ(e[Field::HomePhone], "555-4");
    EXPECT_EQ(e[Field::CellularPhone], "555-2");
    EXPECT_EQ(e[Field::BusinessFax], "555-3");
    EXPECT_EQ(e[Field::HomeStreet], "1 Home Lane");
    EXPECT_EQ(e[Field::HomeCity], "Hometown");
    EXPECT_EQ(e[Field::BusinessStreet], "2 Work St");
    EXPECT_EQ(e[Field::BusinessPostalCode], "12345");
    EXPECT_TRUE(listsOf(*reader).empty());
}

TEST(XmlReaders, ReadTheRealSamples) {
    const fs::path samples = VESK_SAMPLES_DIR;
    if (!fs::exists(samples / "contact")) GTEST_SKIP() << "no samples";
    struct Case {
        const char* file;
        const char* id;
        const char* name;
        const char* mail;
    };
    const std::vector<Case> cases = {
        {"contact/kdepim-sample1.contact", "windows_contact", "Redacted Name",
         "redacted-email@gmail.com"},
        {"contact/kdepim-sample2.contact", "windows_contact", "John Anon",
         "sampleaddress@yahoo.com"},
        {"contact/kdepim-sample3.contact", "windows_contact", "dialup.email@juno.com",
         "dialup.email@juno.com"},
        {"contact/kdepim-sample4.contact", "windows_contact", "RandomPhoto", ""},
        {"contact/kdepim-test1.contact", "windows_contact", "John Doe", "sample-email@kde.org"},
        {"forte/forte-spec-example-contact.xml", "agent_xml", "Chris Beck", "chris@work.com"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (!fs::exists(samples / c.file)) continue;
        testing::TestRun run;
        auto reader = readerOf(run, c.id, (samples / c.file).string());
        const auto contacts = contactsOf(*reader);
        ASSERT_EQ(contacts.size(), 1u);
        EXPECT_EQ(contacts[0][Field::FullName], c.name);
        EXPECT_EQ(contacts[0][Field::Email], c.mail);
        EXPECT_EQ(run.diagnostics().count(), 0);
    }
    const fs::path forte = samples / "forte/forte-spec-example-contact.xml";
    if (!fs::exists(forte)) return;
    testing::TestRun run;
    auto reader = readerOf(run, "agent_xml", forte.string());
    const Entry e = reader->nextEntry();
    EXPECT_EQ(e[Field::BusinessFax], "858.555.1212");
    EXPECT_EQ(e[Field::Pager], "858.555.1213");
    EXPECT_EQ(e[Field::CellularPhone], "858.999.3000");
    EXPECT_EQ(e[Field::Notes], "Directions to office:\nL on Main\nR on South\n2nd Driveway");
}

TEST(AgentXmlWriter, RoundTripsNonAsciiMultiLineValuesAndLists) {
    testing::TempDir dir;
    testing::TestRun run;
    Entry ann = testing::contact("Zoë Ñúñez", "zoe@example.com", "zoë");
    ann[Field::Notes] = "first line\nsecond «line» & <more>";
    ann[Field::HomeFax] = "555-9";
    ann[Field::Organization] = "Ærø AB";
    Entry bare = testing::contact("", "bare@example.com");
    testing::ScriptedReader source("book", {ann, bare});
    source.list("Friends, old", {testing::contact("Lee, Carl", "carl@example.com"),
                                 testing::contact("", "nameless@example.com"),
                                 testing::contact("Zoë", "zoe@example.com")});
    const std::string out = dir.file("out.xml");
    ToXML writer(run, out);
    ASSERT_TRUE(writer.fromStart(source));
    ASSERT_TRUE(writer.succeeded());

    testing::TestRun back;
    auto reader = readerOf(back, "agent_xml", out);
    const auto contacts = contactsOf(*reader);
    ASSERT_EQ(contacts.size(), 2u);
    for (const auto& [field, value] : std::vector<std::pair<Field, std::string>>{
             {Field::FullName, "Zoë Ñúñez"},
             {Field::Email, "zoe@example.com"},
             {Field::Nickname, "zoë"},
             {Field::Notes, "first line\nsecond «line» & <more>"},
             {Field::HomeFax, "555-9"},
             {Field::Organization, "Ærø AB"},
             {Field::HomePhone, ""},  // the template's sample texts are gone
             {Field::Title, ""}}) {
        EXPECT_EQ(contacts[0][field], value);
    }
    EXPECT_EQ(contacts[1][Field::Email], "bare@example.com");
    EXPECT_EQ(listsOf(*reader),
              std::vector<std::string>{"Friends, old: Lee, Carl|carl@example.com "
                                       "|nameless@example.com Zoë|zoe@example.com"});
    EXPECT_EQ(testing::slurp(out).find("Sample"), std::string::npos);
}

TEST(AgentXmlWriter, MissingOrBrokenTemplatesWriteNothing) {
    testing::TempDir dir;
    const fs::path broken = dir.path() / "broken";
    fs::create_directories(broken);
    testing::spit(broken / "agent.xml", "<addressbook><contact>");
    testing::spit(broken / "agentskeleton.xml", "<addressbook/>");
    for (const fs::path& folder : {dir.path() / "empty", broken}) {
        SCOPED_TRACE(folder.string());
        fs::create_directories(folder);
        testing::TestRun run;
        const std::string out = dir.file("out.xml");
        ToXML writer(run, out, folder.string());
        testing::ScriptedReader source("book", {testing::contact("Ann", "ann@example.com")});
        EXPECT_FALSE(writer.fromStart(source));
        EXPECT_FALSE(writer.succeeded());
        EXPECT_FALSE(fs::exists(out));
        EXPECT_GE(run.diagnostics().count(Severity::Error), 1);
    }
}

/// The fields of an Agent contact and where the template holds each.
const std::vector<std::pair<Field, const char*>> kAgentPaths = {
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

/// The book as a pugixml document of template copies saved whole: the layout Agent books
/// have always had. Members are plain "Name <address>" lines.
std::string savedWhole(const std::vector<Entry>& entries) {
    pugi::xml_document templates;
    pugi::xml_document doc;
    templates.load_file(findProgramFile("agent.xml").c_str());
    doc.load_file(findProgramFile("agentskeleton.xml").c_str());
    const pugi::xml_node contactTemplate =
        templates.select_node("/addressbook/contact[not(@type)]").node();
    const pugi::xml_node listTemplate =
        templates.select_node("/addressbook/contact[@type='outboundmailinglist']").node();
    pugi::xml_node root = doc.child("addressbook");
    pugi::xml_node members;
    for (const Entry& e : entries) {
        if (!members && e.kind == EntryKind::ListBegin) {
            pugi::xml_node list = root.append_copy(listTemplate);
            list.child("fn").text().set(e[Field::FullName].c_str());
            members = list.child("outboundaddresslist");
        } else if (members && e.kind == EntryKind::ListEnd) {
            members = pugi::xml_node();
        } else if (members) {
            const std::string& name = e[Field::FullName];
            const std::string& mail = e[Field::Email];
            std::string text = members.text().get();
            if (!text.empty()) text += "\n";
            text += name.empty() ? mail : mail.empty() ? name : name + " <" + mail + ">";
            members.text().set(text.c_str());
        } else {
            pugi::xml_node contact = root.append_copy(contactTemplate);
            for (const auto& [field, path] : kAgentPaths) {
                contact.select_node(path).node().text().set(e[field].c_str());
            }
        }
    }
    std::ostringstream out;
    doc.save(out, "   ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

Entry listMarker(EntryKind kind, const std::string& name) {
    Entry e;
    e.kind = kind;
    e[Field::FullName] = name;
    return e;
}

TEST(AgentXmlWriter, WritesTheBookAsTheWholeDocumentIsSaved) {
    Entry odd = testing::contact("A & B <c> \"d\" 'e'", "x@y.z", "tab\there");
    odd[Field::Notes] = std::string("ctl \x01\x1f\x7f; cr\r, crlf\r\n, nul") + '\0' + "gone";
    odd[Field::Organization] = "Ærø AB";
    odd[Field::Title] = "]]> ;&amp;";
    Entry full = testing::contact("Full", "full@x.org");
    int n = 0;
    for (const auto& [field, path] : kAgentPaths) full[field] = "v" + std::to_string(n++);
    const Entry empty = testing::contact("", "");
    const auto begin = listMarker(EntryKind::ListBegin, "Friends & <co>");
    const auto end = listMarker(EntryKind::ListEnd, "Friends & <co>");
    const std::vector<std::pair<std::string, std::vector<Entry>>> cases = {
        {"nothing", {}},
        {"values to escape", {odd, full, empty}},
        {"lists",
         {begin, testing::contact("Ann", "ann@x.org"), empty, testing::contact("", "b@x.org"), end,
          odd, listMarker(EntryKind::ListBegin, "Empty"), listMarker(EntryKind::ListEnd, "Empty")}},
        {"a list of one empty member", {begin, empty, end}},
        {"a NUL in a member ends the text there, later members follow",
         {begin, testing::contact("Ann", "ann@x.org"),
          testing::contact(std::string("Bo") + '\0' + "b", "bob@x.org"),
          testing::contact("Cid", "cid@x.org"), end}},
        {"a list left open", {full, begin, testing::contact("Ann", "ann@x.org")}},
    };
    for (const auto& [name, entries] : cases) {
        SCOPED_TRACE(name);
        testing::TempDir dir;
        testing::TestRun run;
        const std::string out = dir.file("out.xml");
        ToXML writer(run, out);
        for (const Entry& e : entries) writer.write(e);
        ASSERT_TRUE(writer.finish());
        EXPECT_EQ(testing::slurp(out), savedWhole(entries));
    }
}

/// The concatenated text under a node, as a reader of the document finds it.
std::string textUnder(const pugi::xml_node& node) {
    std::string out;
    for (const pugi::xpath_node& t : node.select_nodes(".//text()")) out += t.node().value();
    return out;
}

TEST(AgentXmlReader, TakesTheFirstElementFittingEachField) {
    // Elements in every order, with and without their context, in several groups.
    const std::string book = R"(<addressbook>
 <contact><fn>One</fn><fn>Second fn</fn><tel type="fax">fax, no context</tel>
  <tel context="Work" type="fax">work fax</tel><tel context="Home">home</tel>
  <tel type="pager" context="Home">pager at home</tel><tel type="mobile">mobile</tel>
  <org><name>x</name></org><org><orgname>Org <b>bold</b> end</orgname><orgname>2</orgname></org>
  <adr><value context="Work">work street</value></adr><adr><value>plain street</value>
  <value context="Home">home street</value></adr><url context="Other">other</url>
  <url>plain url</url><url context="Work">work url</url><x:notes>prefixed</x:notes>
  <notes><![CDATA[cdata <notes>]]></notes><title/><email>a@b.c</email></contact>
 <contact><tel context="Home" type="fax">home fax</tel><tel context="Work">w</tel>
  <tel context="Home">h</tel><adr><value context="Home">h</value></adr><nickname>n</nickname></contact>
 <contact type="other"><fn>not a contact</fn></contact>
</addressbook>)";
    testing::TempDir dir;
    const std::string path = dir.file("book.xml");
    testing::spit(path, book);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(book.c_str()));
    const pugi::xpath_node_set contacts = doc.select_nodes("/addressbook/contact[not(@type)]");

    testing::TestRun run;
    auto reader = readerOf(run, "agent_xml", path);
    const auto entries = contactsOf(*reader);
    ASSERT_EQ(entries.size(), contacts.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (const auto& [field, query] : kAgentPaths) {
            SCOPED_TRACE(std::to_string(i) + " " + query);
            const pugi::xpath_node found = contacts[i].node().select_node(query);
            EXPECT_EQ(entries[i][field], found ? textUnder(found.node()) : "");
        }
    }
    EXPECT_EQ(entries[0][Field::Organization], "Org bold end");
    EXPECT_EQ(entries[0][Field::HomeFax], "fax, no context");
}

}  // namespace
}  // namespace vesk
