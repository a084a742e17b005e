#include "formats/ldif.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "parsing/ldif_records.h"
#include "parsing/tagged_file.h"
#include "platform/prompt.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterFile;
using testing::drain;
using testing::entryNamed;
using testing::memberNames;
using testing::trace;

std::string readTrace(const std::string& text) {
    auto reader = IterFile::fromText(text, IterFile::Ldif);
    return trace(drain(*reader));
}

struct ReadCase {
    const char* name;
    const char* input;
    const char* expected;  // trace(): "kind:Full Name:E-Mail:Nickname | ..."
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class LdifReadCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(LdifReadCases, GivesTheseEntries) {
    EXPECT_EQ(readTrace(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Records, LdifReadCases,
    ::testing::Values(
        // A group's last member must not run on into the next group; the person between them
        // and the second group survive.
        ReadCase{"GroupsAroundAPerson",
                 "dn: cn=A\nobjectclass: groupOfNames\ncn: A\nmember: cn=X,mail=x@e\n"
                 "member: cn=Y,mail=y@e\n\n"
                 "dn: cn=P,mail=p@e\ncn: P\nmail: p@e\n\n"
                 "dn: cn=B\nobjectclass: groupOfNames\ncn: B\nmember: cn=Z,mail=z@e\n",
                 "13:A:: | 0:X:x@e: | 0:Y:y@e: | 237::: | 0:P:p@e: | 13:B:: | 0:Z:z@e: | "
                 "237:::"},
        // The classes may come right after the dn (Thunderbird, this writer) or last (older
        // writers, this writer before).
        ReadCase{"ClassesFirstOrLast",
                 "dn: cn=P,mail=p@e\nobjectclass: top\nobjectclass: person\ncn: P\nmail: p@e\n\n"
                 "dn: cn=Q,mail=q@e\ncn: Q\nmail: q@e\nobjectclass: top\nobjectclass: person\n\n"
                 "dn: cn=G\ncn: G\nmember: cn=P,mail=p@e\nobjectclass: groupOfNames\n",
                 "0:P:p@e: | 0:Q:q@e: | 13:G:: | 0:P:p@e: | 237:::"},
        // A group without members does not swallow the record after it.
        ReadCase{"EmptyGroup",
                 "dn: cn=G\nobjectclass: groupOfNames\ncn: G\n\n"
                 "dn: cn=P,mail=p@e\ncn: P\nmail: p@e\n",
                 "13:G:: | 237::: | 0:P:p@e:"},
        ReadCase{"FirstRecordMayBeAGroup",
                 "dn: cn=G\nobjectClass: GroupOfNames\ncn: G\nmember: mail=m@e\n",
                 "13:G:: | 0::m@e: | 237:::"},
        ReadCase{"MemberWithoutMailFallsBackToItsName",
                 "dn: cn=G\nobjectclass: groupOfNames\ncn: G\nmember: cn=Ann Lee\n",
                 "13:G:: | 0:Ann Lee:: | 237:::"},
        ReadCase{"EscapedMemberReference",
                 "dn: cn=G\nobjectclass: groupOfNames\ncn: G\n"
                 "member: cn=Smith\\, John,mail=j@e\n",
                 "13:G:: | 0:Smith, John:j@e: | 237:::"},
        // Thunderbird leaves the comma of a "Last, First" name unescaped.
        ReadCase{"UnescapedCommaInMemberReference",
                 "dn: cn=G\nobjectclass: groupOfNames\ncn: G\n"
                 "member: cn=Torres, Michelle,mail=m.torres@x.org\n"
                 "member: cn=Lee,Ann\nmember: cn=Bo,\n",
                 "13:G:: | 0:Torres, Michelle:m.torres@x.org: | 0:Lee,Ann:: | 0:Bo:: | 237:::"},
        // A member named only by its record's whole DN (any case), also before that record.
        ReadCase{"MemberNamedByItsRecordsDn",
                 "dn: cn=G\nobjectclass: groupOfNames\ncn: G\nmember: UID=mt,ou=People,dc=x\n"
                 "member: uid=nobody,dc=x\n\n"
                 "dn: uid=mt,ou=people,dc=x\nobjectclass: inetOrgPerson\ncn: Michelle Torres\n"
                 "mail: m@x\n",
                 "13:G:: | 0:Michelle Torres:m@x: | 237::: | 0:Michelle Torres:m@x:"},
        ReadCase{"CnOnTheFirstLine", "cn: Ann\nmail: ann@e\n", "0:Ann:ann@e:"},
        ReadCase{"AnySpacingAndCase", "dn: cn=Ann\nCN:Ann\nMail:    ann@e\nXMozillaNickName:an\n",
                 "0:Ann:ann@e:an"},
        ReadCase{"MailKeepsItsLastWord", "cn: Ann\nmail: Ann Lee <x> ann@e\n", "0:Ann:ann@e:"},
        ReadCase{"NameFromTheDnWhenThereIsNoCn", "dn: cn=Ann Lee,mail=ann@e\nsn: Lee\n",
                 "0:Ann Lee:ann@e:"},
        ReadCase{"VersionLineAndCommentsAreNotEntries",
                 "version: 1\n\n# exported\n#  by hand\n\ndn: cn=A\ncn: A\n\n\n\n", "0:A::"},
        ReadCase{"FoldedCommentIsSkippedWhole", "# a comment\n that goes on\ncn: A\n", "0:A::"},
        ReadCase{"Base64AndFolding", "dn:: Y249SsO8cmdlbg==\ncn:: SsO8\n cmdlbg==\nmail: j\n @e\n",
                 "0:Jürgen:j@e:"},
        ReadCase{"Latin1InsideBase64", "cn:: TfxsbGVy\n", "0:Müller::"},
        ReadCase{"AttributeOptionsAreIgnored", "cn;lang-de: Ann\n", "0:Ann::"},
        ReadCase{"UrlValuesAreNotRead", "cn: Ann\nmail:< file:///etc/passwd\n", "0:Ann::"},
        ReadCase{"ChangeRecordsAreSkipped",
                 "dn: cn=Old\nchangetype: delete\n\ndn: cn=Add\nchangetype: add\ncn: Add\n",
                 "0:Add::"},
        ReadCase{"ContainersAreNotContacts",
                 "dn: ou=People,dc=e\nobjectclass: organizationalUnit\nou: People\n\n"
                 "dn: cn=A,ou=People,dc=e\nobjectclass: inetOrgPerson\ncn: A\nou: Sales\n",
                 "0:A::"},
        ReadCase{"BlankLinesWithSpacesSeparateToo", "cn: A\n\n   \n\ncn: B\n", "0:A:: | 0:B::"},
        ReadCase{"LineWithoutColonIsIgnored", "cn: A\ngarbage\nmail: a@e\n", "0:A:a@e:"},
        ReadCase{"NothingButBlanks", "\n\n\n", ""}, ReadCase{"Empty", "", ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(LdifReader, ReadsBothAttributeFamiliesIntoTheirFields) {
    struct Row {
        const char* line;
        Field field;
        const char* value;
    };
    const Row rows[] = {
        {"mozillaHomeStreet: 1 Home Rd", Field::HomeStreet, "1 Home Rd"},
        {"postalAddress: 1 Home Rd $ Flat 2", Field::HomeStreet, "1 Home Rd\nFlat 2"},
        {"homeStreet: 1 Home Rd", Field::HomeStreet, "1 Home Rd"},
        {"mozillaHomeState: BE", Field::HomeState, "BE"},
        {"mozillaHomeLocalityName: Bern", Field::HomeCity, "Bern"},
        {"mozillaHomePostalCode: 3000", Field::HomePostalCode, "3000"},
        {"mozillaHomeCountryName: CH", Field::HomeCountry, "CH"},
        {"street: 2 Work Rd", Field::BusinessStreet, "2 Work Rd"},
        {"streetaddress: 2 Work Rd", Field::BusinessStreet, "2 Work Rd"},
        {"l: Basel", Field::BusinessCity, "Basel"},
        {"locality: Basel", Field::BusinessCity, "Basel"},
        {"st: BS", Field::BusinessState, "BS"},
        {"postalCode: 4000", Field::BusinessPostalCode, "4000"},
        {"c: CH", Field::BusinessCountry, "CH"},
        {"countryname: CH", Field::BusinessCountry, "CH"},
        {"mobile: 079", Field::CellularPhone, "079"},
        {"cellphone: 079", Field::CellularPhone, "079"},
        {"pager: 1", Field::Pager, "1"},
        {"pagerphone: 1", Field::Pager, "1"},
        {"fax: 2", Field::BusinessFax, "2"},
        {"facsimiletelephonenumber: 2", Field::BusinessFax, "2"},
        {"homeFacsimileTelephoneNumber: 3", Field::HomeFax, "3"},
        {"mozillaNickname: nick", Field::Nickname, "nick"},
        {"mozillaHomeUrl: http://h/", Field::HomeWebPage, "http://h/"},
        {"homeurl: http://h/", Field::HomeWebPage, "http://h/"},
        {"mozillaWorkUrl: http://w/", Field::BusinessWebPage, "http://w/"},
        {"workurl: http://w/", Field::BusinessWebPage, "http://w/"},
        {"labeledURI: http://w/ our site", Field::BusinessWebPage, "http://w/"},
        {"company: Acme", Field::Organization, "Acme"},
        {"department: Sales", Field::Department, "Sales"},
        {"telephoneNumber: 5", Field::BusinessPhone, "5"},
        {"homePhone: 6", Field::HomePhone, "6"},
        {"givenName: Ann", Field::FirstName, "Ann"},
        {"surname: Lee", Field::LastName, "Lee"},
        {"title: Boss", Field::JobTitle, "Boss"},
        {"description: hi", Field::Notes, "hi"},
    };
    for (const Row& row : rows) {
        auto reader = IterFile::fromText(std::string("cn: X\n") + row.line + "\n", IterFile::Ldif);
        const auto entries = drain(*reader);
        ASSERT_EQ(entries.size(), 1u) << row.line;
        EXPECT_EQ(entries[0][row.field], row.value) << row.line;
        EXPECT_TRUE(entries[0].mask.test(static_cast<std::size_t>(row.field))) << row.line;
    }
}

TEST(LdifReader, SecondEmailAndBirthdayBecomeExtras) {
    auto reader = IterFile::fromText(
        "dn: cn=Ann,mail=a@x.org\nobjectclass: person\ncn: Ann\nmail: a@x.org\n"
        "mozillaSecondEmail: a2@x.org\nbirthyear: 1980\nbirthmonth: 5\nbirthday: 17\n\n"
        "dn: cn=Bob\ncn: Bob\nbirthmonth: 12\nbirthday: 31\n\n",
        IterFile::Ldif);
    const std::vector<Entry> entries = drain(*reader);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extras, (std::vector<Extra>{{ExtraKind::Email, "a2@x.org", {}},
                                                     {ExtraKind::Birthday, "1980-05-17", {}}}));
    EXPECT_EQ(entries[1].extras, (std::vector<Extra>{{ExtraKind::Birthday, "--12-31", {}}}));
}

TEST(LdifReader, NetscapeHomeAddressWinsOverMozillaOne) {
    auto reader = IterFile::fromText(
        "cn: X\nmozillaHomeStreet: moz\npostalAddress: ns\nmozillaHomeStreet2: second\n",
        IterFile::Ldif);
    EXPECT_EQ(drain(*reader).at(0)[Field::HomeStreet], "ns\nsecond");
}

TEST(LdifReader, MaskHoldsOnlyFieldsItCanFill) {
    auto reader = IterFile::fromText("", IterFile::Ldif);
    const FieldMask mask = reader->formatMask();
    for (const Field f : {Field::Profession, Field::Manager, Field::Assistant, Field::MiddleName,
                          Field::Title, Field::Office, Field::Spouse}) {
        EXPECT_FALSE(mask.test(static_cast<std::size_t>(f))) << fieldName(static_cast<int>(f));
    }
    EXPECT_EQ(mask.count(), 27u);
}

TEST(LdifReader, ProgressRunsToOne) {
    auto reader = IterFile::fromText("cn: A\n\ncn: B\n", IterFile::Ldif);
    EXPECT_FLOAT_EQ(reader->progress(), 0.0f);
    drain(*reader);
    EXPECT_FLOAT_EQ(reader->progress(), 1.0f);
}

TEST(LdifReader, MissingFileIsReportedAndReadsNothing) {
    RecordingPrompt recorder;
    MemorySettingsStore runStore;
    RunContext run{recorder, runStore};
    IterFile reader(run, "/nonexistent/vesk/book.ldif", IterFile::Ldif);
    EXPECT_TRUE(reader.atEnd());
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "file cannot be opened!");
    EXPECT_EQ(recorder.messages[0].caption, "/nonexistent/vesk/book.ldif");
}

TEST(LdifReader, ThunderbirdStyleFileWithGroupBeforeItsMembers) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("ldif/thunderbird.ldif"), IterFile::Ldif);
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 3);
    const Entry* j = entryNamed(book, "Jürgen Müller");
    ASSERT_NE(j, nullptr);
    const Entry& e = *j;
    EXPECT_EQ(e[Field::FirstName], "Jürgen");
    EXPECT_EQ(e[Field::LastName], "Müller");
    EXPECT_EQ(e[Field::Nickname], "jm");
    EXPECT_EQ(e[Field::Email], "juergen@example.org");
    EXPECT_EQ(e[Field::BusinessPhone], "+49 30 1234");
    EXPECT_EQ(e[Field::HomePhone], "+49 30 5678");
    EXPECT_EQ(e[Field::CellularPhone], "+49 170 1");
    EXPECT_EQ(e[Field::Pager], "555");
    EXPECT_EQ(e[Field::BusinessFax], "+49 30 9999");
    EXPECT_EQ(e[Field::HomeStreet], "Hauptstraße 1\nHinterhaus");
    EXPECT_EQ(e[Field::HomeCity], "Berlin");
    EXPECT_EQ(e[Field::HomeState], "BE");
    EXPECT_EQ(e[Field::HomePostalCode], "10115");
    EXPECT_EQ(e[Field::HomeCountry], "Germany");
    EXPECT_EQ(e[Field::BusinessStreet], "Work Road 5");
    EXPECT_EQ(e[Field::BusinessCity], "Potsdam");
    EXPECT_EQ(e[Field::BusinessState], "BB");
    EXPECT_EQ(e[Field::BusinessPostalCode], "14467");
    EXPECT_EQ(e[Field::BusinessCountry], "DE");
    EXPECT_EQ(e[Field::JobTitle], "Engineer");
    EXPECT_EQ(e[Field::Department], "R&D");
    EXPECT_EQ(e[Field::Organization], "Example GmbH");
    EXPECT_EQ(e[Field::BusinessWebPage], "http://example.org/");
    EXPECT_EQ(e[Field::HomeWebPage], "http://juergen.example.org/");
    EXPECT_EQ(e[Field::Notes], "Met at the fair.\nCall after 6pm.");
    EXPECT_EQ(e.revisionTime, 1213818826);

    const Entry* bob = entryNamed(book, "Bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ((*bob)[Field::Email], "bob@example.org");
    EXPECT_EQ(memberNames(book, "Team"), "Ann Lee,Jürgen Müller");
    EXPECT_EQ(memberNames(book, "Empty list"), "");
}

TEST(LdifReader, ThunderbirdMemberWithACommaJoinsTheRightPerson) {
    // Before, the member's name was cut at the comma and its address lost, so the first
    // contact whose name held "Torres" joined the list.
    testing::TestRun run;
    auto reader = IterFile::fromText(
        "dn: cn=Ava Torres,mail=ava@x.org\ncn: Ava Torres\nmail: ava@x.org\n\n"
        "dn: cn=Torres, Michelle,mail=m.torres@x.org\ncn: Torres, Michelle\n"
        "mail: m.torres@x.org\n\n"
        "dn: cn=Team\nobjectclass: groupOfNames\ncn: Team\n"
        "member: cn=Torres, Michelle,mail=m.torres@x.org\n"
        "member: cn=Torres,mail=new@x.org\n",
        IterFile::Ldif);
    NewAdbook book(run);
    book.fromIter(*reader, false);
    // The member whose DN names no record is a contact of its own, not Ava.
    EXPECT_EQ(book.entryCount(), 3);
    EXPECT_EQ(book.membersAdded(), 1);
    EXPECT_EQ(memberNames(book, "Team"), "Torres,Torres, Michelle");
}

TEST(LdifReader, NetscapeFourStyleFile) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("ldif/netscape4.ldif"), IterFile::Ldif);
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 1);
    const Entry& e = *book.entryPtr(0);
    EXPECT_EQ(e[Field::FullName], "Carol Smith");
    EXPECT_EQ(e[Field::Nickname], "carol");
    EXPECT_EQ(e[Field::Organization], "Acme");
    EXPECT_EQ(e[Field::BusinessCity], "Springfield");
    EXPECT_EQ(e[Field::BusinessState], "IL");
    EXPECT_EQ(e[Field::BusinessStreet], "1 Main St");
    EXPECT_EQ(e[Field::BusinessPostalCode], "62701");
    EXPECT_EQ(e[Field::BusinessCountry], "USA");
    EXPECT_EQ(e[Field::BusinessFax], "555-0102");
    EXPECT_EQ(e[Field::Pager], "555-0103");
    EXPECT_EQ(e[Field::CellularPhone], "555-0104");
    EXPECT_EQ(e[Field::HomeWebPage], "http://carol.example.com/");
    EXPECT_EQ(e[Field::BusinessWebPage], "http://acme.example.com/");
    EXPECT_EQ(e[Field::Department], "Sales");
    EXPECT_EQ(e[Field::Notes], "Likes tea");
    EXPECT_EQ(memberNames(book, "Friends"), "Carol Smith");
}

TEST(LdifReader, EarlyNetscapeXnavNamesAreTheirXmozillaNames) {
    const std::string text =
        "dn: cn=Ann Lee,mail=ann@example.org\nobjectclass: person\ncn: Ann Lee\n"
        "mail: ann@example.org\nxnavnickname: annie\nxnavunknownthing: x\n";
    EXPECT_EQ(readTrace(text), "0:Ann Lee:ann@example.org:annie");
}

// Files written by Thunderbird and by other programs' LDIF exports, when they are at hand.
class LdifSamples : public ::testing::Test {
  protected:
    void load(const std::string& name) {
        const std::string path = testing::samplePath("ldif/" + name);
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not available: " << path;
        IterFile reader(run, path, IterFile::Ldif);
        book.fromIter(reader, false);
    }
    testing::TestRun run;
    NewAdbook book{run};
};

TEST_F(LdifSamples, ThunderbirdFullAttributeSet) {
    load("tb-basic_ldif_addressbook.ldif");
    if (IsSkipped()) return;
    ASSERT_EQ(book.entryCount(), 1);
    const Entry& e = *book.entryPtr(0);
    EXPECT_EQ(e[Field::FullName], "Display Name");
    EXPECT_EQ(e[Field::FirstName], "First");
    EXPECT_EQ(e[Field::LastName], "Last");
    EXPECT_EQ(e[Field::Nickname], "Nickname");
    EXPECT_EQ(e[Field::Email], "primaryemail@host.invalid");
    EXPECT_EQ(e[Field::BusinessPhone], "123-456-7890");
    EXPECT_EQ(e[Field::HomePhone], "234-567-8901");
    EXPECT_EQ(e[Field::BusinessFax], "345-678-9012");
    EXPECT_EQ(e[Field::Pager], "456-789-0123");
    EXPECT_EQ(e[Field::CellularPhone], "567-890-1234");
    EXPECT_EQ(e[Field::HomeStreet], "Home Address Line 1\nHome Address Line 2");
    EXPECT_EQ(e[Field::HomeCity], "Home City");
    EXPECT_EQ(e[Field::HomeState], "Home State");
    EXPECT_EQ(e[Field::HomePostalCode], "Home Zip");
    EXPECT_EQ(e[Field::HomeCountry], "Home Country");
    EXPECT_EQ(e[Field::BusinessStreet], "Work Address Line 1\nWork Address Line 2");
    EXPECT_EQ(e[Field::BusinessCity], "Work City");
    EXPECT_EQ(e[Field::BusinessState], "Work State");
    EXPECT_EQ(e[Field::BusinessPostalCode], "Work Zip");
    EXPECT_EQ(e[Field::BusinessCountry], "Work Country");
    EXPECT_EQ(e[Field::JobTitle], "Job Title");
    EXPECT_EQ(e[Field::Department], "Department");
    EXPECT_EQ(e[Field::Organization], "Organization Name");
    EXPECT_EQ(e[Field::BusinessWebPage], "http://127.0.0.1");
    EXPECT_EQ(e[Field::HomeWebPage], "http://localhost");
    EXPECT_EQ(e[Field::Notes], "Notes line 1\nNotes line 2\nNotes line 3\nNotes line 4");
    EXPECT_EQ(e.revisionTime, 1213818826);
}

TEST_F(LdifSamples, GroupBeforeItsMember) {
    load("tb-browser-import.ldif");
    if (IsSkipped()) return;
    ASSERT_EQ(book.entryCount(), 1);
    EXPECT_EQ((*book.entryPtr(0))[Field::Email], "contact1@invalid");
    EXPECT_EQ(memberNames(book, "list"), "contact number one");
}

TEST_F(LdifSamples, LabeledUriWithoutATrailingBlankLine) {
    load("tb-bug_263304.ldif");
    if (IsSkipped()) return;
    ASSERT_EQ(book.entryCount(), 1);
    EXPECT_EQ((*book.entryPtr(0))[Field::BusinessWebPage], "http://127.0.0.1");
}

TEST_F(LdifSamples, ThunderbirdExportWithBase64Values) {
    load("tb-export.ldif");
    if (IsSkipped()) return;
    ASSERT_EQ(book.entryCount(), 2);
    const Entry* two = entryNamed(book, "contact number two");
    ASSERT_NE(two, nullptr);
    // The book strips one pair of enclosing quotes from a value; the reader keeps them.
    EXPECT_EQ((*two)[Field::JobTitle], "worker");
    EXPECT_EQ((*two)[Field::Notes], "here's some unicode text…");
    EXPECT_EQ(memberNames(book, "new list"), "contact number one");
}

TEST_F(LdifSamples, CrLfExportWithOtherAttributeSpellings) {
    load("turba-importCRLF.ldif");
    if (IsSkipped()) return;
    ASSERT_EQ(book.entryCount(), 2);
    const Entry* c = entryNamed(book, "Charlie Brown");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ((*c)[Field::FirstName], "Charles");
    EXPECT_EQ((*c)[Field::Nickname], "Chuck");
    EXPECT_EQ((*c)[Field::Email], "brown@school.edu");
    EXPECT_EQ((*c)[Field::JobTitle], "Senior Systems Programmer");
    EXPECT_EQ((*c)[Field::Organization], "School University");
    EXPECT_EQ((*c)[Field::Department], "CUIT");
    EXPECT_EQ((*c)[Field::HomeStreet], "12 west 57 street\nApt 2076");
    EXPECT_EQ((*c)[Field::BusinessStreet], "12 West 55th Street\nRoom 22");
    EXPECT_EQ((*c)[Field::Notes], "hi mom\n");
    ASSERT_NE(entryNamed(book, "John Smith"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Writing

std::string written(const std::vector<Entry>& entries) {
    testing::TestRun run;
    ToLDIF writer(run, "unused.ldif");
    for (const Entry& e : entries) writer.write(e);
    return writer.text();
}

// The classes follow the dn, as Thunderbird writes them: abook joins records of one cn otherwise.
TEST(LdifWriter, PlainPersonPutsItsClassesRightAfterTheDn) {
    Entry e = testing::contact("Ann Lee", "ann@example.org", "an");
    e[Field::Organization] = "Acme";
    e[Field::FirstName] = "Ann";
    e[Field::LastName] = "Lee";
    e[Field::HomePhone] = "555-1";
    EXPECT_EQ(written({e}),
              "dn: cn=Ann Lee,mail=ann@example.org\n"
              "objectclass: top\n"
              "objectclass: person\n"
              "objectclass: organizationalPerson\n"
              "objectclass: inetOrgPerson\n"
              "objectclass: mozillaAbPersonAlpha\n"
              "cn:Ann Lee\n"
              "xmozillanickname:an\n"
              "mail:ann@example.org\n"
              "o: Acme\n"
              "givenname:Ann\n"
              "sn:Lee\n"
              "homephone:555-1\n"
              "\n");
}

TEST(LdifWriter, HomeAndBusinessAddressesGoUnderTheirOwnAttributes) {
    Entry e = testing::contact("A");
    e[Field::HomeCity] = "Bern";
    e[Field::BusinessCity] = "Basel";
    e[Field::HomeStreet] = "1 Home Rd";
    e[Field::BusinessStreet] = "2 Work Rd";
    e[Field::HomeFax] = "1";
    e[Field::BusinessFax] = "2";
    e[Field::BusinessWebPage] = "http://w/";
    const std::string text = written({e});
    for (const char* line : {"\nmozillaHomeLocalityName:Bern\n", "\nlocality:Basel\n",
                             "\nmozillaHomeStreet:1 Home Rd\n", "\nstreetaddress:2 Work Rd\n",
                             "\nfacsimiletelephonenumber:2\n", "\nhomeFacsimileTelephoneNumber:1\n",
                             "\nworkurl:http://w/\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
}

TEST(LdifWriter, UnsafeValuesAreBase64AndDnSpecialsEscaped) {
    Entry e = testing::contact("Smith, John+Co", "j@e");
    e[Field::Notes] = "line 1\nline 2";
    e[Field::Department] = " leading blank";
    e[Field::JobTitle] = ":colon";
    e[Field::Organization] = "<angle";
    e[Field::HomeCity] = "Zürich";
    const std::string text = written({e});
    EXPECT_NE(text.find("dn: cn=Smith\\, John\\+Co,mail=j@e\n"), std::string::npos) << text;
    EXPECT_NE(text.find("description:: " + ldif::encodeBase64("line 1\nline 2") + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("ou:: " + ldif::encodeBase64(" leading blank") + "\n"), std::string::npos);
    EXPECT_NE(text.find("title:: " + ldif::encodeBase64(":colon") + "\n"), std::string::npos);
    EXPECT_NE(text.find("o:: " + ldif::encodeBase64("<angle") + "\n"), std::string::npos);
    EXPECT_NE(text.find("mozillaHomeLocalityName:: " + ldif::encodeBase64("Zürich") + "\n"),
              std::string::npos);
    // Every line is an attribute line: nothing spills out of a value.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_TRUE(line.empty() || line.find(':') != std::string::npos) << line;
        start = end + 1;
    }
}

TEST(LdifWriter, GroupWithMembersAndFolderMarkersSkipped) {
    EXPECT_EQ(written({markerEntry(KindFolderBegin, "Work"), markerEntry(KindListBegin, "Team"),
                       testing::contact("Ann", "ann@e"), testing::contact("", "bob@e"),
                       markerEntry(KindListEnd, "Team"), markerEntry(KindFolderEnd, "Work")}),
              "dn: cn=Team\n"
              "objectclass: groupOfNames\n"
              "cn:Team\n"
              "member:cn=Ann,mail=ann@e\n"
              "member:mail=bob@e\n"
              "\n");
}

TEST(LdifWriter, Base64AndDnHelpers) {
    const struct {
        const char* plain;
        const char* b64;
    } vectors[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& v : vectors) {
        EXPECT_EQ(ldif::encodeBase64(v.plain), v.b64);
        EXPECT_EQ(ldif::decodeBase64(v.b64), v.plain);
    }
    for (const std::string name : {"Smith, John", "a+b=c", "\"q\" <x> ;\\", " lead", "trail ",
                                   "#hash", "Jürgen", "two\nlines"}) {
        const std::string dn = "cn=" + ldif::escapeDnValue(name) + ",mail=x@e";
        EXPECT_EQ(ldif::dnComponent(dn, "cn"), name) << dn;
        EXPECT_EQ(ldif::dnComponent(dn, "MAIL"), "x@e") << dn;
    }
}

TEST(LdifWriter, RoundTripKeepsEveryFieldItWrites) {
    testing::TestRun run;
    testing::TempDir dir;
    NewAdbook source(run);
    Entry full = testing::contact("Müller, Jürgen", "jm@example.de", "jü");
    const FieldMask mask = ldif::supportedFields();
    for (int i = 0; i < kFieldCount; ++i) {
        if (!mask.test(static_cast<std::size_t>(i)) || !full.at(i).empty()) continue;
        full.at(i) = fieldName(i) + " ünï, ;\"quoted\"";
    }
    full[Field::Notes] = "first line\n\nafter a blank line\n: colon line";
    full[Field::HomeStreet] = " 1 Leading St\nFloor 2";
    full[Field::BusinessStreet] = "<Tower>, 3rd floor";
    full[Field::JobTitle] = "Иван's boss ";
    source.addEntry(full);
    source.addEntry(testing::contact("Ann Lee", "ann@example.org"));
    DistList* list = source.addList("Team, A+B");
    list->addMember(source.entryPtr(0));
    list->addMember(source.entryPtr(1));

    const std::string path = dir.file("book.ldif");
    ToLDIF writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));
    // LF line ends: abook keeps the CR of CR LF and then joins records into others.
    EXPECT_EQ(testing::slurp(path).find('\r'), std::string::npos);

    IterFile reader(run, path, IterFile::Ldif);
    NewAdbook back(run);
    back.fromIter(reader, false);
    ASSERT_EQ(back.entryCount(), 2);
    const Entry* e = entryNamed(back, "Müller, Jürgen");
    ASSERT_NE(e, nullptr);
    for (int i = 0; i < kFieldCount; ++i) {
        if (!mask.test(static_cast<std::size_t>(i))) continue;
        EXPECT_EQ(e->at(i), source.entryPtr(0)->at(i)) << fieldName(i);
    }
    EXPECT_EQ(memberNames(back, "Team, A+B"), "Ann Lee,Müller, Jürgen");
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

/// `count` numbered people named only by their whole dn, CR LF ended, then `tail`.
std::string numberedPeople(int count, const std::string& tail) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        out += "dn: uid=u" + n + ",dc=example\r\nobjectclass: person\r\ncn: Person " + n +
               "\r\nmail: p" + n + "@example.org\r\ndescription: " + std::string(60, 'n') +
               "\r\n\r\n";
    }
    return out + tail;
}

TEST(LdifLargeFile, ReadsWholeInEveryPassAndAGroupFindsItsFirstPeople) {
    // What the reader went past is given back to the system as it reads on; a second pass and
    // a group at the end naming the first people by their dn must still see them, not zeros.
    constexpr int kPeople = 40000;  // about 5 MB: several steps given back
    const std::string group =
        "dn: cn=Team\r\nobjectclass: groupOfNames\r\ncn: Team\r\nmember: uid=u0,dc=example\r\n"
        "member: uid=u1,dc=example\r\n\r\n";
    testing::TempDir dir;
    testing::TestRun run;
    for (const std::string& tail : {std::string(), group}) {
        SCOPED_TRACE(tail.empty() ? "people only" : "a group at the end");
        IterFile r(run, dir.file("in.ldif", numberedPeople(kPeople, tail)), IterFile::Ldif);
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(pass);
            std::vector<Entry> got;
            r.rewind();
            while (!r.atEnd()) got.push_back(r.nextEntry());
            ASSERT_EQ(got.size(), static_cast<std::size_t>(kPeople) + (tail.empty() ? 0 : 4));
            for (int i = 0; i < kPeople; i += 997) {
                const Entry& e = got[static_cast<std::size_t>(i)];
                EXPECT_EQ(e[Field::FullName], "Person " + std::to_string(i));
                EXPECT_EQ(e[Field::Email], "p" + std::to_string(i) + "@example.org");
            }
            EXPECT_EQ(got[kPeople - 1][Field::FullName], "Person " + std::to_string(kPeople - 1));
            if (tail.empty()) continue;
            EXPECT_EQ(got[kPeople + 1][Field::FullName], "Person 0");
            EXPECT_EQ(got[kPeople + 2][Field::FullName], "Person 1");
        }
        EXPECT_FALSE(r.sourceFailed());
    }
}

}  // namespace
}  // namespace vesk
