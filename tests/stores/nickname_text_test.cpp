#include "stores/nickname_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "model/adbook.h"
#include "parsing/tagged_file.h"
#include "platform/prompt.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterPine;
using iterators::IterTXT;
using testing::slurp;

std::vector<Entry> readAll(IterBase& reader) {
    std::vector<Entry> out;
    // A reader that never reaches its end would hang the test; no input here has 1000 items.
    while (!reader.atEnd() && out.size() < 1000) out.push_back(reader.nextEntry());
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

/// The contacts a reader gives (list markers left out).
Pairs namesAndAddresses(IterBase& reader) {
    Pairs out;
    for (const Entry& e : readAll(reader)) {
        if (!e.isMarker()) out.emplace_back(e[Field::FullName], e[Field::Email]);
    }
    return out;
}

std::string samplesDir() {
    if (const char* env = std::getenv("VESK_SAMPLES_DIR")) return env;
    return VESK_SAMPLES_DIR;
}

/// Each test's files in a fresh folder.
class FileTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
};

// ---------------------------------------------------------------------------------------------
// The item parser, through a reader given its text.

struct ItemCase {
    const char* label;
    std::string text;
    Pairs expected;
};

void PrintTo(const ItemCase& c, std::ostream* os) {
    *os << c.label;
}

class TextItems : public ::testing::TestWithParam<ItemCase> {};

TEST_P(TextItems, GiveNameAndAddress) {
    testing::TestRun run;
    IterTXT reader(run, {}, IterTXT::kModeGiven, "list", GetParam().text);
    EXPECT_EQ(namesAndAddresses(reader), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextItems,
    ::testing::Values(
        ItemCase{"nameThenAngleAddress", "Ann Lee <annlee>\n", {{"Ann Lee", "annlee"}}},
        // The scan stops at ">", so the line feed left behind is an item of its own.
        ItemCase{"quotedNameLeavesEmptyItem",
                 "\"Ann Lee\" <annlee>\n",
                 {{"Ann Lee", "annlee"}, {"", ""}}},
        ItemCase{"bareAddress", "annlee\n", {{"", "annlee"}}},
        ItemCase{"bareAddressWithoutLineEnd", "annlee", {{"", "annlee"}}},
        ItemCase{"commaOutsideQuotesSplits",
                 "ann@x.org, bob@x.org\n",
                 {{"", "ann@x.org"}, {"", "bob@x.org"}}},
        ItemCase{"commaInsideQuotesDoesNot",
                 "\"Lee, Ann\" <annlee>, bob@x.org\n",
                 {{"Lee, Ann", "annlee"}, {"", ""}, {"", "bob@x.org"}}},
        ItemCase{"addressBeforeQuotedName", "annlee \"Ann Lee\"\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"addressAfterQuotedName", "\"Ann Lee\" annlee\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"nameAfterAngleAddress", "<annlee> Ann Lee\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"angleAddressThenQuotedName",
                 "<annlee> \"Ann Lee\"\n",
                 {{"Ann Lee", "annlee"}, {"", ""}}},
        ItemCase{"noBlankBeforeAngle", "Ann Lee<annlee>\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"noBlankAfterQuote", "\"Ann Lee\"annlee\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"extraBlanksBeforeAngle", "Ann Lee   <annlee>\n", {{"Ann Lee", "annlee"}}},
        ItemCase{"eudoraAliasLine",
                 "alias jhd1 \"Joe Davidson1\"<jhd@radix.net>\n",
                 {{"Joe Davidson1", "jhd@radix.net"}, {"", ""}}},
        // A comment after a complete item is not a second contact.
        ItemCase{"commentAfterItemDropped",
                 "\"Ann\" <ann@x.org> (work)\nbob@x.org\n",
                 {{"Ann", "ann@x.org"}, {"", ""}, {"", "bob@x.org"}}},
        ItemCase{"emptyAngleAddress", "\"Ann\" <>\n", {{"Ann", ""}, {"", ""}}},
        ItemCase{"escapedQuoteInName",
                 "\"Ann \\\"Bud\\\" Lee\" <ann@x.org>",
                 {{"Ann \"Bud\" Lee", "ann@x.org"}}},
        ItemCase{"escapedSeparatorsInAddress",
                 "\"Ann\" <a\\>b\\,c\\<d@x.org>",
                 {{"Ann", "a>b,c<d@x.org"}}},
        ItemCase{"plainBackslashIsData",
                 "\"DOMAIN\\user\" <DOMAIN\\user>",
                 {{"DOMAIN\\user", "DOMAIN\\user"}}},
        ItemCase{"escapedTrailingBackslash", "\"Ann\\\\\" <ann@x.org>", {{"Ann\\", "ann@x.org"}}},
        ItemCase{"unclosedQuote", "\"Ann\n", {{"Ann", "\"Ann"}}},
        ItemCase{"blankLinesAreEmptyItems", "a\n\nb\n", {{"", "a"}, {"", ""}, {"", "b"}}},
        ItemCase{
            "nonAscii",
            "\"J\xC3\xBCrgen M\xC3\xBCller\" <j@x.de>, \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD <i@x.ru>",
            {{"J\xC3\xBCrgen M\xC3\xBCller", "j@x.de"},
             {"", ""},
             {"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "i@x.ru"}}},
        ItemCase{"empty", "", {}}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(IterTXT, KeepsOnlyNameAndAddressInItsMaskAndTheGivenName) {
    testing::TestRun run;
    IterTXT reader(run, {}, IterTXT::kModeGiven, "Friends", "Ann <a@x.org>");
    EXPECT_EQ(reader.name(), "Friends");
    const Entry e = reader.nextEntry();
    EXPECT_EQ(e.mask.count(), 2u);
    EXPECT_TRUE(e.mask.test(static_cast<std::size_t>(Field::FullName)));
    EXPECT_TRUE(e.mask.test(static_cast<std::size_t>(Field::Email)));
}

using TextFiles = FileTest;

TEST_F(TextFiles, PegasusListSkipsOnlyItsHeaderLines) {
    testing::TestRun run;
    const std::string path = dir.file(
        "friends.pml", "\\TITLE Friends\r\n\\NOSIG Y\r\nAnn <a@x.org>\r\nDOMAIN\\user\r\n");
    IterTXT reader(run, path, IterTXT::kModePegasus);
    EXPECT_EQ(reader.name(), "");
    const Pairs expected{{"Ann", "a@x.org"}, {"", "DOMAIN\\user"}};
    EXPECT_EQ(namesAndAddresses(reader), expected);
    reader.rewind();
    EXPECT_EQ(namesAndAddresses(reader), expected);
}

TEST_F(TextFiles, PegasusListWithoutHeaderKeepsItsFirstMember) {
    testing::TestRun run;
    IterTXT reader(run, dir.file("plain.pml", "ann@x.org\nbob@x.org\n"), IterTXT::kModePegasus);
    const Pairs expected{{"", "ann@x.org"}, {"", "bob@x.org"}};
    EXPECT_EQ(namesAndAddresses(reader), expected);
}

TEST_F(TextFiles, PegasusListFileIsAListNamedByItsTitle) {
    // The members come between the begin and end of one list named by "\TITLE" (by the file
    // name when there is none); imported, they are the list's members and the book's contacts.
    testing::TestRun run;
    const std::pair<std::string, std::string> files[] = {
        {"friends.pml", "\\TITLE Good Friends\r\n\\NOSIG Y\r\nAnn <a@x.org>\r\nbob@x.org\r\n"},
        {"club.pml", "\"Ann\" <a@x.org>\nbob@x.org"},
    };
    for (const auto& [name, text] : files) {
        IterTXT reader(run, dir.file(name, text), IterTXT::kModePegasus);
        const std::string title = name == "club.pml" ? "club" : "Good Friends";
        std::vector<std::string> kinds;
        for (const Entry& e : readAll(reader)) {
            if (e.isMarker() || !e.isEmpty()) {
                kinds.push_back(std::to_string(toNumber(e.kind)) + ":" + e[Field::FullName]);
            }
        }
        EXPECT_EQ(kinds, (std::vector<std::string>{"13:" + title, "0:Ann", "0:", "237:" + title}));

        NewAdbook book(run);
        book.fromStart(reader);
        EXPECT_EQ(book.entryCount(), 2) << name;
        EXPECT_EQ(book.membersAdded(), 2) << name;
        ASSERT_EQ(book.listCount(), 1) << name;
        EXPECT_EQ(book.listAt(0)->name(), title);
        EXPECT_EQ(book.listAt(0)->entryCount(), 2);
    }
}

TEST_F(TextFiles, PlainListDecodesLegacyBytesAndUtf8Alike) {
    testing::TestRun run;
    IterTXT legacy(run, dir.file("legacy.txt", "\"J\xFCrgen\" <j@x.de>\r\n"), IterTXT::kModePlain);
    IterTXT utf8(run, dir.file("utf8.txt", "\"J\xC3\xBCrgen\" <j@x.de>\r\n"), IterTXT::kModePlain);
    EXPECT_EQ(namesAndAddresses(legacy), namesAndAddresses(utf8));
    utf8.rewind();
    EXPECT_EQ(utf8.nextEntry()[Field::FullName], "J\xC3\xBCrgen");
}

TEST_F(TextFiles, UnopenableFileIsReportedAndReadsNothing) {
    RecordingPrompt rec;
    MemorySettingsStore runStore;
    RunContext run{rec, runStore};
    const std::string missing = dir.file("missing.txt");
    IterTXT text(run, missing, IterTXT::kModePlain);
    IterPine pine(run, missing);
    EXPECT_TRUE(text.atEnd());
    EXPECT_TRUE(pine.atEnd());
    ASSERT_EQ(rec.messages.size(), 2u);
    for (const auto& m : rec.messages) {
        EXPECT_EQ(m.text, "file cannot be opened!");
        EXPECT_EQ(m.caption, missing);
    }
}

TEST(TextSamples, PegasusDistributionList) {
    testing::TestRun run;
    const fs::path path = fs::path(samplesDir()) / "pegasus" / "mabconvert-LIST5029.PML";
    if (!fs::exists(path)) GTEST_SKIP() << "sample not available: " << path;
    IterTXT reader(run, path.string(), IterTXT::kModePegasus);
    const Pairs expected{{"", "Joe Davidson2-1"}, {"", "Joe Davidson1-3"}};
    EXPECT_EQ(namesAndAddresses(reader), expected);
}

TEST(TextSamples, EudoraNicknameFileReadAsAList) {
    testing::TestRun run;
    const fs::path path = fs::path(samplesDir()) / "eudora" / "mabconvert-EudoraSampleFile.txt";
    if (!fs::exists(path)) GTEST_SKIP() << "sample not available: " << path;
    IterTXT reader(run, path.string(), IterTXT::kModePlain);
    const Pairs got = namesAndAddresses(reader);
    const Pairs::value_type joe{"Joe Davidson1", "jhd@radix.net"};
    const Pairs::value_type joe2a{"Joe Davidson2a", "j.davidson@ieee.org"};
    EXPECT_NE(std::find(got.begin(), got.end(), joe), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), joe2a), got.end());
}

// ---------------------------------------------------------------------------------------------
// Pine

std::string dump(const Entry& e) {
    std::string kind = e.kind == KindListBegin ? "begin" : e.kind == KindListEnd ? "end" : "";
    return kind + "|" + e[Field::Nickname] + "|" + e[Field::FullName] + "|" + e[Field::Email] +
           "|" + e[Field::Notes];
}

struct PineCase {
    const char* label;
    std::string text;
    std::vector<std::string> expected;  // dump() of each entry
};

void PrintTo(const PineCase& c, std::ostream* os) {
    *os << c.label;
}

class PineBooks : public FileTest, public ::testing::WithParamInterface<PineCase> {};

TEST_P(PineBooks, ReadAsEntries) {
    testing::TestRun run;
    IterPine reader(run, dir.file("book.addressbook", GetParam().text));
    std::vector<std::string> got;
    for (const Entry& e : readAll(reader)) got.push_back(dump(e));
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PineBooks,
    ::testing::Values(
        PineCase{"fiveFields",
                 "ann\tAnn Lee\tann@x.org\tsent-ann\tmet in Bern\n",
                 {"|ann|Ann Lee|ann@x.org|met in Bern"}},
        PineCase{"fewerFields",
                 "ann\tAnn Lee\r\nbob\tBob\tbob@x.org",
                 {"|ann|Ann Lee||", "|bob|Bob|bob@x.org|"}},
        PineCase{"continuationJoinsWithoutItsLeadingSpaces",
                 "ann\tAnn Lee\tann@x.org\t\tfirst part\n   , second part\nbob\tBob\tbob@x.org\n",
                 {"|ann|Ann Lee|ann@x.org|first part, second part", "|bob|Bob|bob@x.org|"}},
        PineCase{"fieldRunsIntoContinuation",
                 "ann\tAnn\n   Lee\tann@x.org\n",
                 {"|ann|AnnLee|ann@x.org|"}},
        PineCase{"blankLinesInBetween",
                 "\nann\tAnn\tann@x.org\n\n  \nbob\tBob\tbob@x.org\n\n",
                 {"|ann|Ann|ann@x.org|", "|bob|Bob|bob@x.org|"}},
        PineCase{"longLineKeptWhole",
                 "ann\tAnn\tann@x.org\t\t" + std::string(400, 'n') + "\nbob\tBob\n",
                 {"|ann|Ann|ann@x.org|" + std::string(400, 'n'), "|bob|Bob||"}},
        PineCase{"listInParentheses",
                 "team\tThe Team\t(ann, \"Bob B\" <bob@x.org>,\n   carl@x.org)\t\tnote\n",
                 {"begin||The Team||", "|ann|||", "||Bob B|bob@x.org|", "|||carl@x.org|",
                  "end||The Team||"}},
        PineCase{"emptyList", "none\tNone\t()\n", {"begin||None||", "end||None||"}},
        PineCase{"nonAscii",
                 "j\xC3\xBC\tJ\xC3\xBCrgen M\xC3\xBCller\tj@x.de\n",
                 {"|j\xC3\xBC|J\xC3\xBCrgen M\xC3\xBCller|j@x.de|"}},
        PineCase{"deletedEntriesAreSkipped",
                 "#DELETED-03/05/07#ann\tAnn\tann@x.org\nbob\tBob\tbob@x.org\n"
                 "#DELETED-03/05/07#team\tTeam\t(bob)\n",
                 {"|bob|Bob|bob@x.org|"}},
        PineCase{"empty", "", {}}),
    [](const auto& param) { return std::string(param.param.label); });

using PineFiles = FileTest;

TEST_F(PineFiles, RewindReadsTheBookAgain) {
    testing::TestRun run;
    IterPine reader(run, dir.file("book", "ann\tAnn\tann@x.org\nteam\tTeam\t(ann)\n"));
    const std::size_t first = readAll(reader).size();
    EXPECT_EQ(first, 4u);
    reader.rewind();
    EXPECT_EQ(readAll(reader).size(), first);
}

TEST_F(PineFiles, ListSurvivesTheImportWithItsMembers) {
    testing::TestRun run;
    IterPine reader(run, dir.file("book",
                                  "ann\tAnn Lee\tann@x.org\n"
                                  "team\tTeam\t(ann,bob@x.org)\n"
                                  "bob\tBob Roe\tbob@x.org\n"));
    NewAdbook book(run);
    book.fromIter(reader, false);
    EXPECT_EQ(book.entryCount(), 2);
    ASSERT_EQ(book.listCount(), 1);
    DistList* team = book.listAt(0);
    EXPECT_EQ(team->name(), "Team");  // as the user named it, not by its nickname
    ASSERT_EQ(team->members().size(), 2u);
    EXPECT_EQ((*team->members()[0])[Field::FullName], "Ann Lee");
    EXPECT_EQ((*team->members()[1])[Field::FullName], "Bob Roe");
}

TEST_F(PineFiles, AListOfAddressesKeepsItsMembersAsContacts) {
    // Members the book has no entry for are people all the same; two lists that share a
    // nickname stay two lists, each named by its full name (or its nickname without one).
    testing::TestRun run;
    IterPine reader(run, dir.file("book",
                                  "team\tThe Team\t(ann@x.org,\"Bob Roe\" <bob@y.org>)\n"
                                  "team\tOther Team\t(cy@z.org)\n"
                                  "solo\t\t(ann@x.org)\n"));
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 3);
    EXPECT_EQ(book.membersAdded(), 3);
    const auto members = [&](const std::string& list) {
        const int pos = book.listIndex(list);
        if (pos < 0) return std::string("<no list>");
        std::string out;
        for (const Entry* m : book.listAt(pos)->members()) {
            out += (*m)[Field::FullName] + " " + (*m)[Field::Email] + ";";
        }
        return out;
    };
    EXPECT_EQ(members("The Team"), " ann@x.org;Bob Roe bob@y.org;");
    EXPECT_EQ(members("Other Team"), " cy@z.org;");
    EXPECT_EQ(members("solo"), " ann@x.org;");
    EXPECT_EQ(book.listCount(), 3);
}

TEST_F(PineFiles, EntriesClaimOnlyThePineFields) {
    testing::TestRun run;
    IterPine reader(run, dir.file("book", "ann\tAnn\tann@x.org\n"));
    const Entry e = reader.nextEntry();
    EXPECT_EQ(e.mask.count(), 4u);
    EXPECT_FALSE(e.mask.test(static_cast<std::size_t>(Field::HomePhone)));
}

// ---------------------------------------------------------------------------------------------
// ToTXT

Entry person(const std::string& full, const std::string& mail, const std::string& nick = {}) {
    Entry e;
    e[Field::FullName] = full;
    e[Field::Email] = mail;
    e[Field::Nickname] = nick;
    return e;
}

TEST(ToTXT, EudoraFormWritesAliasAndNoteLines) {
    testing::TestRun run;
    ToTXT writer(run, "", "", "alias ");
    Entry ann = person("Ann", "annlee", "an");
    ann[Field::HomeCity] = "Bern";
    writer.write(ann);
    writer.write(person("Bob", "bob@x.org", "bo"));
    // Eudora joins a note to its alias by their key: both lines name the contact alike.
    EXPECT_EQ(writer.text(),
              "alias \"Ann\" <annlee>\n"
              "note \"Ann\" <city:Bern>\n"
              "alias \"Bob\" <bob@x.org>\n");
}

TEST(ToTXT, EudoraNoteLineHasTheKeyOfItsAliasLine) {
    struct Case {
        const char* full;
        const char* mail;
        const char* nick;
        const char* key;
    };
    const Case cases[] = {
        {"Ann Lee", "ann@x.org", "annie", "Ann Lee"},  // a nickname of its own
        {"Ann Lee", "ann@x.org", "", "Ann Lee"},       // no nickname
        {"", "ann@x.org", "annie", "annie"},           // no name: the nickname, then the address
        {"", "ann@x.org", "", "ann@x.org"},
    };
    for (const Case& c : cases) {
        testing::TestRun run;
        ToTXT writer(run, "", "", "alias ");
        Entry e = person(c.full, c.mail, c.nick);
        e[Field::HomePhone] = "555";
        writer.write(e);
        EXPECT_EQ(writer.text(), std::string("alias \"") + c.key + "\" <" + c.mail + ">\nnote \"" +
                                     c.key + "\" <phone:555>\n")
            << c.full << "/" << c.nick;
    }
}

TEST(ToTXT, EudoraNoteTagsComeInTheirFixedOrderThenTheNotes) {
    testing::TestRun run;
    const std::pair<Field, const char*> tagged[] = {
        {Field::BusinessPhone, "phone2"},
        {Field::Organization, "company"},
        {Field::HomePhone, "phone"},
        {Field::FirstName, "first"},
        {Field::LastName, "last"},
        {Field::HomeStreet, "address"},
        {Field::HomeCity, "city"},
        {Field::HomeState, "state"},
        {Field::HomeCountry, "country"},
        {Field::HomePostalCode, "zip"},
        {Field::HomeFax, "fax"},
        {Field::CellularPhone, "mobile"},
        {Field::HomeWebPage, "web"},
        {Field::JobTitle, "title"},
        {Field::BusinessStreet, "address2"},
        {Field::BusinessCity, "city2"},
        {Field::BusinessState, "state2"},
        {Field::BusinessCountry, "country2"},
        {Field::BusinessPostalCode, "zip2"},
        {Field::BusinessFax, "fax2"},
        {Field::Pager, "mobile2"},
        {Field::BusinessWebPage, "web2"},
    };
    Entry e = person("Ann", "a@x.org", "an");
    std::string expected = "alias \"Ann\" <a@x.org>\nnote \"Ann\" ";
    for (const auto& [field, tag] : tagged) {
        e[field] = std::string("v-") + tag;
        expected += std::string("<") + tag + ":v-" + tag + ">";
    }
    e[Field::Notes] = "likes tea";
    expected += "likes tea\n";
    ToTXT writer(run, "", "", "alias ");
    writer.write(e);
    EXPECT_EQ(writer.text(), expected);

    ToTXT notesOnly(run, "", "", "alias ");
    Entry n = person("Bob", "b@x.org");
    n[Field::Notes] = "x";
    notesOnly.write(n);
    EXPECT_EQ(notesOnly.text(), "alias \"Bob\" <b@x.org>\nnote \"Bob\" x\n");
}

TEST(ToTXT, EudoraValuesCannotBreakTheirLines) {
    testing::TestRun run;
    Entry e = person("Ann \"Bud\"\nLee", "ann@x.org", "a\"n");
    e[Field::Organization] = "A > B";
    e[Field::HomeStreet] = "Main St 1\r\nFlat 2";
    e[Field::Notes] = "line one\nline two";
    ToTXT writer(run, "", "", "alias ");
    writer.write(e);
    // Eudora keeps line breaks of a note as ETX (0x03); it has no escape for ">" or a quote.
    EXPECT_EQ(writer.text(),
              "alias \"Ann Bud Lee\" <ann@x.org>\n"
              "note \"Ann Bud Lee\" <company:A  B><address:Main St 1\x03"
              "Flat 2>line one\x03line two\n");
}

TEST(ToTXT, PlainAndPegasusFormsWriteOneLinePerEntry) {
    testing::TestRun run;
    ToTXT plain(run, "", "", "");
    ToTXT pegasus(run, "", "\\TITLE Friends\n", "");
    for (ToTXT* w : {&plain, &pegasus}) {
        w->write(person("Lee, Ann", "ann@x.org", "an"));
        w->write(markerEntry(KindListBegin, "Team"));
    }
    EXPECT_EQ(plain.text(), "\"Lee, Ann\" <ann@x.org>\n");
    EXPECT_EQ(pegasus.text(), "\\TITLE Friends\n\"Lee, Ann\" <ann@x.org>\n");
}

TEST(ToTXT, QuotingLeavesPlainValuesAlone) {
    EXPECT_EQ(quoteListName("Lee, Ann <work>"), "Lee, Ann <work>");
    EXPECT_EQ(quoteListName("DOMAIN\\user"), "DOMAIN\\user");
    EXPECT_EQ(quoteListName("Ann \"Bud\""), "Ann \\\"Bud\\\"");
    EXPECT_EQ(quoteListName("ends\\"), "ends\\\\");
    EXPECT_EQ(quoteListName("two\r\nlines"), "two lines");
    EXPECT_EQ(quoteListAddress("ann@x.org"), "ann@x.org");
    EXPECT_EQ(quoteListAddress("a>b,c"), "a\\>b\\,c");
}

class ToTXTFiles : public FileTest {};

TEST_F(ToTXTFiles, FileLinesEndInOneCrLf) {
    testing::TestRun run;
    const std::string path = dir.file("list.txt");
    ToTXT writer(run, path, "", "");
    writer.write(person("Ann", "a@x.org"));
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(slurp(path), "\"Ann\" <a@x.org>\r\n");
}

struct RoundTripCase {
    const char* label;
    std::string header;
    int mode;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.label;
}

class TextRoundTrip : public FileTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(TextRoundTrip, NamesAndAddressesComeBack) {
    testing::TestRun run;
    const std::vector<std::pair<std::string, std::string>> values = {
        {"J\xC3\xBCrgen M\xC3\xBCller", "j\xC3\xBC@x.de"},
        {"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "ivan@x.ru"},
        {"Lee, Ann", "ann@x.org"},
        {"Ann \"Bud\" Lee", "bud@x.org"},
        {"DOMAIN\\user", "DOMAIN\\user"},
        {"back\\\\slash\\\"", "odd>,<\"@x.org\\"},
        {"No Address", ""},
    };
    const std::string path = dir.file("round.txt");
    ToTXT writer(run, path, GetParam().header, "");
    for (const auto& [full, mail] : values) writer.write(person(full, mail));
    Entry twoLines = person("Two\nLines", "two@x.org");
    writer.write(twoLines);
    ASSERT_TRUE(writer.finish());

    IterTXT reader(run, path, GetParam().mode);
    Pairs got;
    for (const auto& [full, mail] : namesAndAddresses(reader)) {
        if (!full.empty() || !mail.empty()) got.emplace_back(full, mail);
    }
    Pairs expected(values.begin(), values.end());
    // A line holds one contact, so a line break inside a name comes back as a blank.
    expected.emplace_back("Two Lines", "two@x.org");
    EXPECT_EQ(got, expected);
}

INSTANTIATE_TEST_SUITE_P(Forms, TextRoundTrip,
                         ::testing::Values(RoundTripCase{"plain", "", IterTXT::kModePlain},
                                           RoundTripCase{"pegasus", "\\TITLE Friends\n",
                                                         IterTXT::kModePegasus}),
                         [](const auto& param) { return std::string(param.param.label); });

/// Reads a Eudora nickname file the way Eudora does: the alias name in quotes, the address
/// in angle brackets, note values by their "<tag:" up to ">", ETX as a line break.
std::map<std::string, std::string> eudoraRead(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    auto undoEtx = [](std::string v) {
        for (char& c : v) {
            if (c == '\x03') c = '\n';
        }
        return v;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("alias \"", 0) == 0) {
            const std::size_t q = line.find('"', 7);
            out["alias"] = line.substr(7, q - 7);
            const std::size_t lt = line.find('<', q);
            out["mail"] = line.substr(lt + 1, line.find('>', lt) - lt - 1);
        } else if (line.rfind("note \"", 0) == 0) {
            const std::size_t q = line.find('"', 6);
            out["nick"] = line.substr(6, q - 6);
            std::string rest = line.substr(q + 2);
            std::size_t lt;
            while ((lt = rest.find('<')) == 0) {
                const std::size_t colon = rest.find(':');
                const std::size_t gt = rest.find('>');
                out[rest.substr(1, colon - 1)] = undoEtx(rest.substr(colon + 1, gt - colon - 1));
                rest.erase(0, gt + 1);
            }
            out["notes"] = undoEtx(rest);
        }
    }
    return out;
}

TEST_F(ToTXTFiles, EudoraFormRoundTripsThroughEudorasReadingRules) {
    testing::TestRun run;
    const std::string path = dir.file("nndbase.txt");
    Entry e = person("J\xC3\xBCrgen M\xC3\xBCller", "j@x.de", "j\xC3\xBC");
    e[Field::HomeCity] = "Z\xC3\xBCrich";
    e[Field::HomeStreet] = "Bahnhofstr. 1\nPostfach 7";
    e[Field::Organization] = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD & Co";
    e[Field::Notes] = "first line\r\nsecond line";
    ToTXT writer(run, path, "", "alias ");
    writer.write(e);
    ASSERT_TRUE(writer.finish());
    auto got = eudoraRead(slurp(path));
    EXPECT_EQ(got["alias"], e[Field::FullName]);
    EXPECT_EQ(got["mail"], "j@x.de");
    EXPECT_EQ(got["nick"], got["alias"]);  // the key that joins the note to its alias
    EXPECT_EQ(got["city"], "Z\xC3\xBCrich");
    EXPECT_EQ(got["address"], e[Field::HomeStreet]);
    EXPECT_EQ(got["company"], e[Field::Organization]);
    EXPECT_EQ(got["notes"], "first line\nsecond line");
}

TEST_F(ToTXTFiles, EudoraFileReadsBackWithTheDetailsOfEveryContact) {
    testing::TestRun run;
    const std::string path = dir.file("nndbase.txt");
    Entry ann = person("Ann Lee", "ann@x.org", "annie");
    ann[Field::HomePhone] = "111";
    Entry bob = person("Bob Roe", "bob@x.org");
    bob[Field::Notes] = "met in Bern";
    Entry cy = person("", "cy@x.org", "cy");
    cy[Field::HomeCity] = "Basel";
    ToTXT writer(run, path, "", "alias ");
    for (const Entry& e : {ann, bob, cy}) writer.write(e);
    ASSERT_TRUE(writer.finish());

    iterators::IterFile reader(run, path, iterators::IterFile::Eudora);
    NewAdbook back(run);
    back.fromStart(reader);
    ASSERT_EQ(back.entryCount(), 3);
    const auto field = [&](const std::string& mail, Field f) -> std::string {
        for (int i = 0; i < back.entryCount(); ++i) {
            if (back.entryAt(i)[Field::Email] == mail) return back.entryAt(i)[f];
        }
        return std::string("<missing>");
    };
    EXPECT_EQ(field("ann@x.org", Field::FullName), "Ann Lee");
    EXPECT_EQ(field("ann@x.org", Field::HomePhone), "111");
    EXPECT_EQ(field("bob@x.org", Field::Notes), "met in Bern");
    EXPECT_EQ(field("cy@x.org", Field::HomeCity), "Basel");
}

TEST_F(ToTXTFiles, EudoraFormDeletesTheTocBesideTheFileOnceItIsReplaced) {
    testing::TestRun run;
    const std::string txt = dir.file("nndbase.txt", "old");
    const std::string toc = dir.file("nndbase.toc", "index");
    const std::string other = dir.file("other.toc", "keep");
    ToTXT writer(run, txt, "", "alias ");
    writer.write(testing::contact("Ann", "a@x"));
    EXPECT_TRUE(fs::exists(toc)) << "nothing is written yet";
    ASSERT_TRUE(writer.finish());
    EXPECT_FALSE(fs::exists(toc));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_NE(slurp(txt), "old");
}

TEST_F(ToTXTFiles, AFailedEudoraWriteKeepsTheToc) {
    testing::TestRun run;
    // A folder where the nickname file should be: the new file cannot take its place.
    fs::create_directories(dir.path() / "nndbase.txt" / "inside");
    const std::string toc = dir.file("nndbase.toc", "index");
    ToTXT writer(run, dir.file("nndbase.txt"), "", "alias ");
    writer.write(testing::contact("Ann", "a@x"));
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(slurp(toc), "index");
}

TEST_F(ToTXTFiles, OtherFormsLeaveTheTocAlone) {
    testing::TestRun run;
    const std::string toc = dir.file("list.toc", "index");
    ToTXT plain(run, dir.file("list.txt", ""), "", "");
    ToTXT pegasus(run, dir.file("list.pml"), "\\TITLE list\n", "");
    for (ToTXT* writer : {&plain, &pegasus}) {
        writer->write(testing::contact("Ann", "a@x"));
        ASSERT_TRUE(writer->finish());
    }
    EXPECT_TRUE(fs::exists(toc));
}

TEST_F(ToTXTFiles, TocOfAFileWithoutExtensionIsNotLookedForInItsFolderName) {
    testing::TestRun run;
    fs::create_directories(dir.path() / "Mail.old");
    const std::string parentToc = dir.file("Mail.toc", "unrelated");
    ToTXT writer(run, dir.file("Mail.old/nicknames"), "", "alias ");
    writer.write(testing::contact("Ann", "a@x"));
    ASSERT_TRUE(writer.finish());
    EXPECT_TRUE(fs::exists(parentToc));
}

TEST(ToTXT, TocNameTakesTheLastExtensionOfTheFileNameOnly) {
    EXPECT_EQ(ToTXT::eudoraTocName("C:\\Eudora\\nndbase.txt"), "C:\\Eudora\\nndbase.toc");
    EXPECT_EQ(ToTXT::eudoraTocName("/home/u/my.nicks.txt"), "/home/u/my.nicks.toc");
    EXPECT_EQ(ToTXT::eudoraTocName("C:\\Mail.old\\nicknames"), "");
    EXPECT_EQ(ToTXT::eudoraTocName("/home/u.x/nicknames"), "");
    EXPECT_EQ(ToTXT::eudoraTocName(""), "");
}

}  // namespace
}  // namespace vesk
