#include "formats/vcard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "model/adbook.h"
#include "parsing/vcard_cards.h"
#include "platform/prompt.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterVCF;

constexpr std::int64_t kMarch2006 = 1141214400;  // 2006-03-01T12:00:00Z

class VcfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vesk-vcf-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const std::string& bytes, const std::string& name = "in.vcf") {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::vector<Entry> readAll(IterVCF& r) {
        std::vector<Entry> out;
        r.rewind();
        for (int guard = 0; !r.atEnd() && guard < 100000; ++guard) out.push_back(r.nextEntry());
        return out;
    }
    std::vector<Entry> read(const std::string& bytes) {
        IterVCF r(run, file(bytes));
        return readAll(r);
    }
    /// Writes entries with ToVCF (or ToVCard of `version`) into a file; returns its bytes.
    std::string written(const std::vector<Entry>& entries, int version = 2) {
        const fs::path p = dir / "out.vcf";
        std::unique_ptr<ToVCF> owned = version == 2
                                           ? std::make_unique<ToVCF>(run, p.string())
                                           : std::make_unique<ToVCard>(run, p.string(), version);
        ToVCF& w = *owned;
        // As the conversion loop hands them over: only what the source can hold.
        for (const Entry& e : entries) w.write(w.keepsUndated ? e.maskedFields() : e.maskedCopy());
        EXPECT_TRUE(w.finish());
        return slurp(p);
    }

    /// Writes `e` and a second card with the writer of `version`; both come back whole.
    void expectRoundTrip(const Entry& e, int version);

    fs::path dir;
    testing::TestRun run;
};

Entry fullEntry(const std::string& tag) {
    Entry e;
    for (int i = 0; i < kFieldCount; ++i) e.at(i) = tag + " " + fieldName(i);
    e.revisionTime = kMarch2006;
    return e;
}

// ---------------------------------------------------------------------------------------------
// Values beyond the fields

TEST_F(VcfTest, PropertiesNoFieldTakesBecomeExtrasAndAreWrittenBack) {
    const std::vector<Entry> cards = read(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nEMAIL;TYPE=work:ann@x.org\r\n"
        "EMAIL;TYPE=home:ann@home.org\r\nBDAY:19800517\r\nCATEGORIES:Friends\\, old,Caf\xC3\xA9\r\n"
        "UID:urn:uuid:1234\r\nX-ANNIVERSARY:2001-06-21\r\nTEL;TYPE=home:1\r\nTEL;TYPE=home:2\r\n"
        "X-SKYPE;TYPE=work:ann\\;lee\r\nPHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n"
        "item1.X-ABLabel:_$!<Other>!$_\r\nEND:VCARD\r\n");
    ASSERT_EQ(cards.size(), 1u);
    const std::vector<Extra> want = {
        {ExtraKind::Email, "ann@home.org", {}},
        {ExtraKind::Birthday, "1980-05-17", {}},
        {ExtraKind::Category, "Friends, old", {}},
        {ExtraKind::Category, "Caf\xC3\xA9", {}},
        {ExtraKind::Uid, "urn:uuid:1234", {}},
        {ExtraKind::Anniversary, "2001-06-21", {}},
        {ExtraKind::Property, "2", "TEL;TYPE=home"},
        {ExtraKind::Property, "ann\\;lee", "X-SKYPE;TYPE=work"},
        {ExtraKind::Property, "_$!<Other>!$_", "item1.X-ABLabel"},
    };
    EXPECT_EQ(cards[0].extras, want);
    EXPECT_EQ(cards[0][Field::Email], "ann@x.org");
    EXPECT_EQ(cards[0][Field::HomePhone], "1");

    // Written after the classic lines, and read back the same.
    const std::string text = written(cards);
    EXPECT_NE(text.find("EMAIL;INTERNET:ann@home.org\r\nBDAY:1980-05-17\r\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("CATEGORIES;CHARSET=UTF-8:Friends\\, old,Caf"), std::string::npos) << text;
    EXPECT_EQ(read(text)[0].extras, want);
}

TEST_F(VcfTest, AQuotedPrintableExtraIsKeptDecodedWithoutItsEncoding) {
    const std::vector<Entry> cards = read(
        "BEGIN:VCARD\nVERSION:2.1\nFN:Ann\nX-NOTE2;CHARSET=ISO-8859-1;ENCODING=QUOTED-"
        "PRINTABLE:a=E9=0D=0Ab\nEND:VCARD\n");
    ASSERT_EQ(cards.size(), 1u);
    ASSERT_EQ(cards[0].extras.size(), 1u);
    EXPECT_EQ(cards[0].extras[0].name, "X-NOTE2");
    EXPECT_EQ(cards[0].extras[0].value, "a\xC3\xA9\nb");
    EXPECT_EQ(read(written(cards))[0].extras, cards[0].extras);
}

// ---------------------------------------------------------------------------------------------
// Writer

// Empty phone lines are left out: Thunderbird takes "TEL;HOME;FAX:" for a number and loses the
// lines after it. An undated entry gets no REV.
TEST_F(VcfTest, EmptyEntryLeavesOutPhoneLinesAndAnUnknownTime) {
    Entry e;
    e.revisionTime = kMarch2006;
    EXPECT_EQ(written({e}),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nREV:2006-03-01T12:00:00Z\r\nN:;;;\r\nFN:\r\n"
              "NICKNAME:\r\nORG:;\r\nTITLE:\r\n"
              "ADR;WORK:;;;;;;\r\nADR;HOME:;;;;;;\r\nURL;HOME:\r\nURL;WORK:\r\n"
              "EMAIL;PREF;INTERNET:\r\nX-KYNT-SUPPORTED:1111111111111111111111111111111111\r\n"
              "END:VCARD\r\n");
    e.revisionTime = 0;
    EXPECT_EQ(written({e}).find("REV:"), std::string::npos);
}

TEST_F(VcfTest, PlainAsciiCardKeepsTheClassicLayout) {
    Entry e = fullEntry("x");
    for (Field f :
         {Field::Notes, Field::Profession, Field::Manager, Field::Assistant, Field::Spouse}) {
        e[f].clear();
    }
    e.mask.reset(3);  // the copy the loop hands to write() drops Home Phone
    const std::string text = written({e});
    EXPECT_EQ(text,
              "BEGIN:VCARD\r\nVERSION:2.1\r\nREV:2006-03-01T12:00:00Z\r\n"
              "N:x Last Name;x First Name;x Middle Name;x Title\r\nFN:x Full Name\r\n"
              "NICKNAME:x Nickname\r\nORG:x Organization;x Department\r\nTITLE:x Job Title\r\n"
              "TEL;WORK;VOICE:x Business Phone\r\n"
              "TEL;CELL;VOICE:x Cellular Phone\r\nTEL;PAGER;VOICE:x Pager\r\n"
              "TEL;WORK;FAX:x Business Fax\r\nTEL;HOME;FAX:x Home Fax\r\n"
              "ADR;WORK:;x Office;x Business Street Address;x Business City;x Business State;"
              "x Business Postal Code;x Business Country\r\n"
              "ADR;HOME:;;x Home Street Address;x Home City;x Home State;x Home Postal Code;"
              "x Home Country\r\nURL;HOME:x Home Web Page\r\nURL;WORK:x Business Web Page\r\n"
              "EMAIL;PREF;INTERNET:x E-Mail Address\r\n"
              "X-KYNT-SUPPORTED:1111111111111111111111111111110111\r\nEND:VCARD\r\n");
}

TEST_F(VcfTest, NotesAndTheOtherFourFieldsFollowTheEmailLine) {
    Entry e;
    e.revisionTime = kMarch2006;
    e[Field::Notes] = "Call after 5";
    e[Field::Profession] = "Carpenter";
    e[Field::Manager] = "Big Boss";
    e[Field::Assistant] = "Jenny";
    e[Field::Spouse] = "Pat";
    const std::string text = written({e});
    EXPECT_NE(text.find("EMAIL;PREF;INTERNET:\r\nNOTE:Call after 5\r\nROLE:Carpenter\r\n"
                        "X-MS-MANAGER:Big Boss\r\nX-MS-ASSISTANT:Jenny\r\nX-MS-SPOUSE:Pat\r\n"
                        "X-KYNT-SUPPORTED:"),
              std::string::npos)
        << text;
}

TEST_F(VcfTest, EncodesWhatWouldBreakALine) {
    Entry e;
    e.revisionTime = kMarch2006;
    e[Field::FullName] = "Jürgen Müller";
    e[Field::Organization] = "Smith; Jones LLP";
    e[Field::Department] = R"(R\D)";
    e[Field::HomeStreet] = "12 Main St\nApt 4";
    e[Field::Notes] = "Line 1\nLine 2 = x";
    const std::string text = written({e});
    EXPECT_NE(text.find("\r\nFN;CHARSET=UTF-8:Jürgen Müller\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nORG:Smith\\; Jones LLP;R\\\\D\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nADR;HOME;ENCODING=QUOTED-PRINTABLE:;;12 Main St=0D=0AApt 4;;;;\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Line 1=0D=0ALine 2 =3D x\r\n"),
              std::string::npos)
        << text;
}

TEST_F(VcfTest, LongQuotedPrintableLinesAreSoftBroken) {
    Entry e;
    e[Field::Notes] = std::string(300, 'E') + "\n" + std::string(200, ' ') + "é";
    const std::string text = written({e});
    std::istringstream lines(text);
    std::string line;
    int continuation = 0;
    bool inNote = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("NOTE;", 0) == 0) inNote = true;
        if (!inNote) continue;
        EXPECT_LE(line.size(), 76u) << line;
        if (line.rfind("NOTE;", 0) != 0) {
            ++continuation;
            // No reader may unfold it or take it for the END line.
            EXPECT_NE(line[0], ' ');
            EXPECT_NE(line[0], 'E');
        }
        if (line.empty() || line.back() != '=') break;
    }
    EXPECT_GT(continuation, 5);
}

TEST_F(VcfTest, MarkersAreNotCards) {
    ToVCF w(run, (dir / "m.vcf").string());
    EXPECT_FALSE(w.write(markerEntry(KindFolderBegin, "Friends")));
    EXPECT_FALSE(w.write(markerEntry(KindListEnd, "")));
    EXPECT_TRUE(w.write(testing::contact("Ann")));
    EXPECT_EQ(w.text().find("Friends"), std::string::npos);
}

TEST_F(VcfTest, Version30EscapesAndLeavesOutEmptyProperties) {
    Entry e;
    e.revisionTime = kMarch2006;
    e[Field::FullName] = "Doe, John";
    e[Field::LastName] = "Doe";
    e[Field::FirstName] = "John";
    e[Field::JobTitle] = "VP, Engineering";
    e[Field::Organization] = "Smith; Jones";
    e[Field::HomeFax] = "555-1";
    e[Field::HomeStreet] = "12 Main St\nApt 4";
    e[Field::HomeCity] = "Zürich";
    e[Field::Email] = "john@example.org";
    e[Field::Notes] = R"(C:\Data; x)";  // ";" is escaped only inside structured values
    EXPECT_EQ(written({e}, 3),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:urn:uuid:" + vcard::derivedUid(e) +
                  "\r\nN:Doe;John;;;\r\nFN:Doe\\, John\r\n"
                  "ORG:Smith\\; Jones\r\nTITLE:VP\\, Engineering\r\nTEL;TYPE=FAX,HOME:555-1\r\n"
                  "ADR;TYPE=HOME:;;12 Main St\\nApt 4;Zürich;;;\r\n"
                  "EMAIL;TYPE=INTERNET,PREF:john@example.org\r\nNOTE:C:\\\\Data; x\r\n"
                  "REV:2006-03-01T12:00:00Z\r\nEND:VCARD\r\n");
}

TEST_F(VcfTest, Version30WritesTheRequiredNameLines) {
    Entry e;
    e.revisionTime = 0;
    e[Field::Organization] = "Acme";
    EXPECT_EQ(written({e}, 3),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:urn:uuid:" + vcard::derivedUid(e) +
                  "\r\nN:;;;;\r\nFN:Acme\r\nORG:Acme\r\nEND:VCARD\r\n");
}

// Every card keeps a UID of its own: cards of one name and address get the name numbered into
// theirs, and a book larger than the first table of written UIDs still finds them all.
TEST_F(VcfTest, EveryCardWrittenGetsAUidOfItsOwn) {
    const Entry ann = testing::contact("Ann", "ann@x.org");
    const auto numbered = [&ann](int n) {
        Entry other = ann;
        other[Field::FullName] = "Ann\n" + std::to_string(n);
        return "UID:urn:uuid:" + vcard::derivedUid(other) + "\r\n";
    };
    std::vector<Entry> book = {ann, ann, ann};
    for (int i = 0; i < 3000; ++i) book.push_back(testing::contact("C" + std::to_string(i), ""));
    const std::string text = written(book, 3);
    std::set<std::string> uids;
    for (std::size_t at = text.find("UID:"); at != std::string::npos;
         at = text.find("UID:", at + 1)) {
        uids.insert(text.substr(at, text.find('\r', at) - at));
    }
    EXPECT_EQ(uids.size(), book.size());
    EXPECT_NE(text.find("UID:urn:uuid:" + vcard::derivedUid(ann) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find(numbered(2)), std::string::npos);
    EXPECT_NE(text.find(numbered(3)), std::string::npos);
}

// Lines are folded at 75 octets, never inside a UTF-8 character, and unfold to the value.
TEST_F(VcfTest, ModernLinesFoldWithoutSplittingCharacters) {
    for (const int version : {3, 4}) {
        Entry e;
        e[Field::FullName] = "A";
        e[Field::Notes] = "x" + std::string(40, 'a');
        for (int i = 0; i < 60; ++i) e[Field::Notes] += "äß€𝄞";
        const std::string text = written({e}, version);
        std::istringstream lines(text);
        std::string line;
        int continuations = 0;
        while (std::getline(lines, line)) {
            ASSERT_FALSE(line.empty());
            ASSERT_EQ(line.back(), '\r');
            line.pop_back();
            EXPECT_LE(line.size(), 75u) << line;
            if (line[0] == ' ') ++continuations;
            EXPECT_NE(static_cast<unsigned char>(line[line[0] == ' ' ? 1 : 0]) & 0xC0, 0x80u)
                << "continuation starts inside a character: " << line;
        }
        EXPECT_GT(continuations, 5);
        EXPECT_EQ(text.find("CHARSET"), std::string::npos);
        EXPECT_EQ(read(text).at(0)[Field::Notes], e[Field::Notes]);
    }
}

// Version 4.0 writes a list as a group card; its members are named by the UID of their card,
// else by their address, and a member with neither gets a card of its own.
TEST_F(VcfTest, Version40ListsComeBackAsLists) {
    const Entry ann = testing::contact("Ann Lee", "ann@example.org");
    const Entry bob = testing::contact("Bob", "bob@example.org");
    Entry cid;
    cid[Field::FullName] = "Cid";
    const std::string text = written({ann, markerEntry(KindListBegin, "Team, North"), ann, bob, cid,
                                      markerEntry(KindListEnd, "")},
                                     4);
    EXPECT_NE(text.find("KIND:group\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("FN:Team\\, North\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MEMBER:urn:uuid:" + vcard::derivedUid(ann) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("MEMBER:mailto:bob@example.org\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MEMBER:urn:uuid:" + vcard::derivedUid(cid) + "\r\n"), std::string::npos);

    const auto got = read(text);
    std::vector<std::string> trace;
    for (const Entry& g : got) {
        trace.push_back(std::to_string(toNumber(g.kind)) + ":" + g[Field::FullName] + ":" +
                        g[Field::Email]);
    }
    EXPECT_EQ(trace, (std::vector<std::string>{"0:Ann Lee:ann@example.org", "0:Cid:",
                                               "13:Team, North:", "0:Ann Lee:ann@example.org",
                                               "0::bob@example.org", "0:Cid:", "237::"}));
}

// Versions 2.1 and 3.0 hold no lists: each list is reported, its members are not written twice.
TEST_F(VcfTest, OlderVersionsReportListsAsDropped) {
    for (const int version : {2, 3}) {
        testing::TestRun own;
        const fs::path p = dir / "lists.vcf";
        std::unique_ptr<ToVCF> w = version == 2
                                       ? std::make_unique<ToVCF>(own, p.string())
                                       : std::make_unique<ToVCard>(own, p.string(), version);
        w->write(testing::contact("Ann", "ann@example.org"));
        w->write(markerEntry(KindListBegin, "Team"));
        w->write(testing::contact("Ann", "ann@example.org"));
        w->write(markerEntry(KindListEnd, ""));
        w->write(testing::contact("Bob", "bob@example.org"));
        const std::string text = w->text();
        EXPECT_EQ(text.find("FN:Ann"), text.rfind("FN:Ann")) << text;
        EXPECT_NE(text.find("FN:Bob"), std::string::npos);
        ASSERT_EQ(own.diagnostics().count(), 1);
        EXPECT_EQ(own.diagnostics().items().at(0).entry, "Team");
    }
}

// Apple's 3.0 groups are read as lists too.
TEST_F(VcfTest, AppleGroupCardsAreLists) {
    const auto got = read(
        "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nEMAIL:ann@x.org\nUID:A-1\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nX-ADDRESSBOOKSERVER-KIND:group\nFN:Friends\n"
        "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:a-1\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:gone\n"
        "END:VCARD\n");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].kind, KindListBegin);
    EXPECT_EQ(got[1][Field::FullName], "Friends");
    EXPECT_EQ(got[2][Field::Email], "ann@x.org");
    EXPECT_EQ(got[3].kind, KindListEnd);
}

// A book hands an undated entry to a vCard writer undated: no REV is made up for it.
TEST_F(VcfTest, UndatedEntriesOfABookGetNoRevision) {
    NewAdbook book(run);
    Entry undated = testing::contact("Ann", "ann@example.org");
    undated.revisionTime = 0;
    book.addEntry(undated);
    const fs::path p = dir / "book.vcf";
    for (const int version : {2, 3, 4}) {
        std::unique_ptr<ToVCF> w = version == 2
                                       ? std::make_unique<ToVCF>(run, p.string())
                                       : std::make_unique<ToVCard>(run, p.string(), version);
        ASSERT_TRUE(w->fromStart(book));
        EXPECT_EQ(slurp(p).find("REV"), std::string::npos) << version;
    }
}

// ---------------------------------------------------------------------------------------------
// Round trips

struct RoundTripCase {
    const char* name;
    std::map<Field, std::string> values;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class VcfRoundTrip : public VcfTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(VcfRoundTrip, EveryFieldComesBack) {
    Entry e = fullEntry("v");
    for (const auto& [f, v] : GetParam().values) e[f] = v;
    e.mask.reset(7).reset(33);
    e.revisionTime = -86399;  // before 1970 as well
    for (const int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        expectRoundTrip(e, version);
    }
}

void VcfTest::expectRoundTrip(const Entry& e, int version) {
    const std::string path = file("");
    {
        std::unique_ptr<ToVCF> w = version == 2 ? std::make_unique<ToVCF>(run, path)
                                                : std::make_unique<ToVCard>(run, path, version);
        w->write(e);
        Entry second = testing::contact("Second", "second@example.org");
        second.revisionTime = kMarch2006;
        w->write(second);
        ASSERT_TRUE(w->finish());
    }
    IterVCF r(run, path);
    const auto got = readAll(r);
    ASSERT_EQ(got.size(), 2u);
    const Entry handed(e);  // what write() receives: fields outside the mask are gone
    for (int i = 0; i < kFieldCount; ++i) {
        EXPECT_EQ(got[0].at(i), handed.at(i)) << fieldName(i);
    }
    EXPECT_EQ(got[0].mask, e.mask);
    EXPECT_EQ(got[0].revisionTime, e.revisionTime);
    EXPECT_EQ(got[1][Field::FullName], "Second");
    EXPECT_EQ(got[1][Field::Email], "second@example.org");
    EXPECT_EQ(got[1].revisionTime, kMarch2006);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VcfRoundTrip,
    ::testing::Values(
        RoundTripCase{"Ascii", {}},
        RoundTripCase{"NonAscii",
                      {{Field::FullName, "Jürgen Müller"},
                       {Field::FirstName, "Иван"},
                       {Field::LastName, "中文"},
                       {Field::HomeCity, "Straße"},
                       {Field::Notes, "café кириллица"}}},
        RoundTripCase{"MultiLine",
                      {{Field::Notes, "Line 1\nLine 2\n\nLine 4 after a blank\n"},
                       {Field::HomeStreet, "12 Main St\nApt 4"},
                       {Field::Office, "Bldg 5\nRoom 2"},
                       {Field::Title, "Dr.\nmed."},
                       {Field::Spouse, "Pat\nSmith"}}},
        RoundTripCase{"Separators",
                      {{Field::Organization, "Smith; Jones, LLP"},
                       {Field::Department, "R&D; \"Lab\""},
                       {Field::LastName, "a;b;c"},
                       {Field::BusinessStreet, R"(C:\Data\;x)"},
                       {Field::FullName, "Doe, John \"JD\""},
                       {Field::Notes, R"(ends with a backslash \)"}}},
        RoundTripCase{"LooksLikeSyntax",
                      {{Field::Notes, "x\nEND:VCARD\nBEGIN:VCARD\nFN:Evil\n=0D=0A =\n<list>"},
                       {Field::Manager, "=41 is not A"},
                       {Field::Nickname, "  leading blanks"},
                       {Field::Pager, "tel: 555"}}},
        RoundTripCase{"LongNonAsciiNote",
                      {{Field::Notes, std::string(60, 'x') + "\n" + std::string(150, 'E') + "ü\n" +
                                          std::string(100, ' ') + "end "}}},
        RoundTripCase{"EmptyValues",
                      {{Field::Notes, ""}, {Field::FirstName, ""}, {Field::HomeCountry, ""}}}),
    [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------------------------
// Reader

struct ReadCase {
    const char* name;
    const char* text;
    std::map<Field, std::string> expected;  ///< of the first card; unlisted fields are empty
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class VcfRead : public VcfTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(VcfRead, Fields) {
    const auto got = read(GetParam().text);
    ASSERT_FALSE(got.empty());
    for (int i = 0; i < kFieldCount; ++i) {
        const auto it = GetParam().expected.find(static_cast<Field>(i));
        EXPECT_EQ(got[0].at(i), it == GetParam().expected.end() ? "" : it->second) << fieldName(i);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcfRead,
    ::testing::Values(
        ReadCase{"FirstOccurrenceWins",
                 "BEGIN:VCARD\nFN:Ann\nFN:Bob\nNICKNAME:a\nNICKNAME:b\nEND:VCARD\n",
                 {{Field::FullName, "Ann"}, {Field::Nickname, "a"}}},
        ReadCase{"PreferredWinsOverEarlierPlain",
                 "BEGIN:VCARD\nFN:A\nEMAIL;INTERNET;WORK:work@x.org\n"
                 "EMAIL;INTERNET;HOME;TYPE=pref:home@x.org\nEND:VCARD\n",
                 {{Field::FullName, "A"}, {Field::Email, "home@x.org"}}},
        ReadCase{"NameFallbackFromN",
                 "BEGIN:VCARD\nN:Smith;John;;Dr.\nEND:VCARD\n",
                 {{Field::FullName, "Dr. John Smith"},
                  {Field::LastName, "Smith"},
                  {Field::FirstName, "John"},
                  {Field::Title, "Dr."}}},
        ReadCase{
            "NameFallbackSkipsEmptyParts",
            "BEGIN:VCARD\nN:Lee;Ann;;\nEND:VCARD\n",
            {{Field::FullName, "Ann Lee"}, {Field::LastName, "Lee"}, {Field::FirstName, "Ann"}}},
        ReadCase{"NWithOneComponent",
                 "BEGIN:VCARD\nFN:X\nN:Cher\nEND:VCARD\n",
                 {{Field::FullName, "X"}, {Field::LastName, "Cher"}}},
        ReadCase{"NSuffixJoinsTheTitle",
                 "BEGIN:VCARD\nFN:X\nN:Doe;John;Richter,James;Mr.;Sr.\nEND:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::LastName, "Doe"},
                  {Field::FirstName, "John"},
                  {Field::MiddleName, "Richter,James"},
                  {Field::Title, "Mr. Sr."}}},
        ReadCase{"OrgWithoutSeparator",
                 "BEGIN:VCARD\nFN:X\nORG:Acme\nEND:VCARD\n",
                 {{Field::FullName, "X"}, {Field::Organization, "Acme"}}},
        ReadCase{"OrgWithUnits",
                 "BEGIN:VCARD\nFN:X\nORG:Acme;Sales;East\nEND:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::Organization, "Acme"},
                  {Field::Department, "Sales;East"}}},
        ReadCase{"EmailWithOnlyInternetIsRead",
                 "BEGIN:VCARD\nFN:X\nEMAIL;INTERNET:a@x.org\nEND:VCARD\n",
                 {{Field::FullName, "X"}, {Field::Email, "a@x.org"}}},
        ReadCase{"ShortAddressStaysOnItsLine",
                 "BEGIN:VCARD\nFN:X\nADR;HOME:;;Main St 1;Bern;;3000\nURL;WORK:http://w\n"
                 "END:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::HomeStreet, "Main St 1"},
                  {Field::HomeCity, "Bern"},
                  {Field::HomePostalCode, "3000"},
                  {Field::BusinessWebPage, "http://w"}}},
        ReadCase{"AddressBoxAndExtendedJoinTheStreet",
                 "BEGIN:VCARD\nFN:X\nADR;WORK:PO 5;Suite 2;Main St;A;B;C;D\n"
                 "ADR;HOME:Box 7;Flat 3;High St;E;F;G;H\nEND:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::Office, "Suite 2"},
                  {Field::BusinessStreet, "PO 5\nMain St"},
                  {Field::BusinessCity, "A"},
                  {Field::BusinessState, "B"},
                  {Field::BusinessPostalCode, "C"},
                  {Field::BusinessCountry, "D"},
                  {Field::HomeStreet, "Box 7\nFlat 3\nHigh St"},
                  {Field::HomeCity, "E"},
                  {Field::HomeState, "F"},
                  {Field::HomePostalCode, "G"},
                  {Field::HomeCountry, "H"}}},
        ReadCase{"OldAlternatePrefixes",
                 "BEGIN:VCARD\nFN:X\nADR:WORK:;;Street;City;;;\nTEL;HOME:1\nTEL;WORK:2\n"
                 "TEL;CELL:3\nTEL;FAX:4\nEMAIL;PREF:p@x\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db\n"
                 "END:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::BusinessStreet, "Street"},
                  {Field::BusinessCity, "City"},
                  {Field::HomePhone, "1"},
                  {Field::BusinessPhone, "2"},
                  {Field::CellularPhone, "3"},
                  {Field::BusinessFax, "4"},
                  {Field::Email, "p@x"},
                  {Field::Notes, "a=b"}}},
        ReadCase{"Outlook21QuotedPrintableAndCharset",
                 "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                 "N;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
                 "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\nller\r\n"
                 "NOTE;ENCODING=QUOTED-PRINTABLE:Line 1=0D=0ALine 2=0D=0A=\r\n"
                 "Line 3 with a soft=\r\n break\r\n"
                 "TEL;WORK;VOICE;PREF:555\r\nEMAIL;PREF;INTERNET:j@x.de\r\n"
                 "ROLE:Profession\r\nX-MS-MANAGER:Boss\r\nX-MS-ASSISTANT:Help\r\n"
                 "X-MS-SPOUSE:Pat\r\nEND:VCARD\r\n",
                 {{Field::FullName, "Jürgen Müller"},
                  {Field::LastName, "Müller"},
                  {Field::FirstName, "Jürgen"},
                  {Field::Notes, "Line 1\nLine 2\nLine 3 with a soft break"},
                  {Field::BusinessPhone, "555"},
                  {Field::Email, "j@x.de"},
                  {Field::Profession, "Profession"},
                  {Field::Manager, "Boss"},
                  {Field::Assistant, "Help"},
                  {Field::Spouse, "Pat"}}},
        ReadCase{"BareQuotedPrintableAndLowerCase",
                 "begin:vcard\nversion:2.1\nfn:a b\nnote;quoted-printable;charset=utf-8:caf=C3=\n"
                 "=A9\nemail;internet:A@B\nend:vcard\n",
                 {{Field::FullName, "a b"}, {Field::Notes, "café"}, {Field::Email, "A@B"}}},
        ReadCase{"Vcard30TypesEscapesAndFolding",
                 "BEGIN:VCARD\nVERSION:3.0\nN:Doe;John;Richter\\, James;Mr.;\n"
                 "FN:Mr. John Richter\\, James Doe\nEMAIL;TYPE=INTERNET;TYPE=HOME:john@ex\n"
                 " ample.com\nTEL;TYPE=CELL:905-555-1234\nTEL;type=home,voice:905-666-1234\n"
                 "TEL;TYPE=\"work,voice\";PREF=1:1\nTEL;TYPE=WORK,FAX:2\nTEL;TYPE=HOME,FAX:3\n"
                 "TEL;TYPE=PAGER:4\n"
                 "ADR;TYPE=HOME:;;Crescent 5\\n2nd floor;Albaney\\, NY;NY;12345;USA\n"
                 "ORG:IBM\\; Co;Accounting\nURL;TYPE=WORK:http\\://www.ibm.com\n"
                 "NOTE:First\\nSecond\\, \\;\\\\ end\nX-EVOLUTION-MANAGER:Big Blue\n"
                 "X-EVOLUTION-ASSISTANT:Little Red\nX-EVOLUTION-SPOUSE:Maria\nEND:VCARD\n",
                 {{Field::FullName, "Mr. John Richter, James Doe"},
                  {Field::LastName, "Doe"},
                  {Field::FirstName, "John"},
                  {Field::MiddleName, "Richter, James"},
                  {Field::Title, "Mr."},
                  {Field::Email, "john@example.com"},
                  {Field::CellularPhone, "905-555-1234"},
                  {Field::HomePhone, "905-666-1234"},
                  {Field::BusinessPhone, "1"},
                  {Field::BusinessFax, "2"},
                  {Field::HomeFax, "3"},
                  {Field::Pager, "4"},
                  {Field::HomeStreet, "Crescent 5\n2nd floor"},
                  {Field::HomeCity, "Albaney, NY"},
                  {Field::HomeState, "NY"},
                  {Field::HomePostalCode, "12345"},
                  {Field::HomeCountry, "USA"},
                  {Field::Organization, "IBM; Co"},
                  {Field::Department, "Accounting"},
                  {Field::BusinessWebPage, "http://www.ibm.com"},
                  {Field::Notes, "First\nSecond, ;\\ end"},
                  {Field::Manager, "Big Blue"},
                  {Field::Assistant, "Little Red"},
                  {Field::Spouse, "Maria"}}},
        ReadCase{"Vcard40",
                 "BEGIN:VCARD\nVERSION:4.0\nFN:Simon Perreault\nN:Perreault;Simon;;;ing. jr\n"
                 "ORG;TYPE=work:Viagenie\nADR;TYPE=work:;Suite D2-630;2875 Laurier;\n"
                 " Quebec;QC;G1V 2M2;Canada\n"
                 "TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+1-418-656-9254;ext=102\n"
                 "TEL;VALUE=uri;TYPE=\"work,cell,voice,video,text\":tel:+1-418-262-6501\n"
                 "EMAIL;TYPE=work:simon@viagenie.ca\nURL;TYPE=home:http://nomis80.org\n"
                 "RELATED;TYPE=spouse;VALUE=text:Marie\nNOTE:a\\nb\nEND:VCARD\n",
                 {{Field::FullName, "Simon Perreault"},
                  {Field::LastName, "Perreault"},
                  {Field::FirstName, "Simon"},
                  {Field::Title, "ing. jr"},
                  {Field::Organization, "Viagenie"},
                  {Field::Office, "Suite D2-630"},
                  {Field::BusinessStreet, "2875 Laurier"},
                  {Field::BusinessCity, "Quebec"},
                  {Field::BusinessState, "QC"},
                  {Field::BusinessPostalCode, "G1V 2M2"},
                  {Field::BusinessCountry, "Canada"},
                  {Field::BusinessPhone, "+1-418-656-9254;ext=102"},
                  {Field::CellularPhone, "+1-418-262-6501"},
                  {Field::Email, "simon@viagenie.ca"},
                  {Field::HomeWebPage, "http://nomis80.org"},
                  {Field::Spouse, "Marie"},
                  {Field::Notes, "a\nb"}}},
        ReadCase{"UntypedPropertiesFillWhatIsLeft",
                 "BEGIN:VCARD\nFN:X\nTEL:1\nTEL;HOME:2\nTEL;VOICE:3\nTEL:4\n"
                 "ADR:;;Plain St;;;;\nADR;WORK:;;Work St;;;;\nURL:http://a\nURL:http://b\n"
                 "URL:http://c\nEND:VCARD\n",
                 {{Field::FullName, "X"},
                  {Field::HomePhone, "2"},
                  {Field::BusinessPhone, "1"},
                  {Field::BusinessStreet, "Work St"},
                  {Field::HomeStreet, "Plain St"},
                  {Field::HomeWebPage, "http://a"},
                  {Field::BusinessWebPage, "http://b"}}},
        ReadCase{"GroupsAndAppleLabels",
                 "BEGIN:VCARD\nVERSION:3.0\nFN:A\nitem1.EMAIL;type=INTERNET;type=pref:a@b\n"
                 "item1.X-ABLabel:_$!<Other>!$_\nitem2.X-ABRELATEDNAMES:Jenny\n"
                 "item2.X-ABLabel:_$!<Spouse>!$_\nitem3.X-ABRELATEDNAMES;type=pref:Boss\n"
                 "item3.X-ABLabel:_$!<Manager>!$_\nitem4.URL;type=pref:http\\://www.apple.ch\n"
                 "END:VCARD\n",
                 {{Field::FullName, "A"},
                  {Field::Email, "a@b"},
                  {Field::Spouse, "Jenny"},
                  {Field::Manager, "Boss"},
                  {Field::HomeWebPage, "http://www.apple.ch"}}},
        ReadCase{"InlinePhotosAreSkipped",
                 "BEGIN:VCARD\nVERSION:2.1\nFN:Photo\nPHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\n"
                 "TkVURTpub3QgYSBub3Rl\nRU1BSUw6bm8\n\nPHOTO;TYPE=JPEG;ENCODING=BASE64:\n"
                 " /9j/4AAQSk\n NOTE:x\n\nEMAIL:p@x\nKEY;X509;ENCODING=BASE64:\n"
                 "    MIIDITCC\n    ADR:x\n\n\nNOTE:real\nEND:VCARD\n",
                 {{Field::FullName, "Photo"}, {Field::Email, "p@x"}, {Field::Notes, "real"}}},
        ReadCase{"FoldedHeaderWithQuotedParameter",
                 "BEGIN:VCARD\nVERSION:3.0\nFN:A\nTEL;X-COUCHDB-UUID=\"c2fa1caa-2926-4087-897\n"
                 " 1-609cfc7354ce\";TYPE=CELL:905-666\n -1234\n"
                 "TEL;TYPE=\"COMMA,SEPARATED:INSIDE.DQUOTE\",PREF:1\nEND:VCARD\n",
                 {{Field::FullName, "A"},
                  {Field::CellularPhone, "905-666-1234"},
                  {Field::BusinessPhone, "1"}}},
        ReadCase{"CardLinesWithCarriageReturns",
                 "BEGIN:VCARD\r\r\nVERSION:3.0\r\r\nN:Surname;Name;;;\r\r\nFN:Name Surname\r\r\n"
                 "EMAIL;type=INTERNET;type=HOME:example@gmail.com\r\r\nEND:VCARD\r\r\n",
                 {{Field::FullName, "Name Surname"},
                  {Field::LastName, "Surname"},
                  {Field::FirstName, "Name"},
                  {Field::Email, "example@gmail.com"}}},
        ReadCase{"TwoOneEscapesOnlyInStructuredValues",
                 "BEGIN:VCARD\nVERSION:2.1\nN:A\\;B\\\\;C\\nD\nFN:A;B\\C\\;D:E\\\\\n"
                 "ORG:Gump Shrimp Co.;Sales Dept.\\;Manager;Fish keeper\nEND:VCARD\n",
                 {{Field::FullName, "A;B\\C\\;D:E\\\\"},
                  {Field::LastName, "A;B\\"},
                  {Field::FirstName, "C\\nD"},
                  {Field::Organization, "Gump Shrimp Co."},
                  {Field::Department, "Sales Dept.;Manager;Fish keeper"}}},
        ReadCase{"NestedAgentCardIsNotTheContact",
                 "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\n"
                 "FN:Secretary\nTEL:9\nEND:VCARD\nTEL;WORK:1\nEND:VCARD\n",
                 {{Field::FullName, "Boss"}, {Field::BusinessPhone, "1"}}},
        ReadCase{"CommentAndGarbageLinesAreIgnored",
                 "BEGIN:vCard\nVERSION:2.1\nN:;Conference Call\nFN:Conference Call\n"
                 "# This line must be ignored.\nNOTE;ENCODING=QUOTED-PRINTABLE:sharp ->=\n"
                 "#<- sharp\n# ignored too\n\n  \nEND:vCard\n",
                 {{Field::FullName, "Conference Call"},
                  {Field::FirstName, "Conference Call"},
                  {Field::Notes, "sharp ->#<- sharp"}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(VcfTest, EachCardIsReadOnItsOwn) {
    const auto got = read(
        "BEGIN:VCARD\nFN:Ann\nEMAIL:ann@x\nEND:VCARD\nBEGIN:VCARD\nFN:Bob\nFN:Bobby\n"
        "END:VCARD\nstray text between cards\nBEGIN:VCARD\nN:Cole;Cy\nEND:VCARD\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0][Field::Email], "ann@x");
    EXPECT_EQ(got[1][Field::FullName], "Bob");
    EXPECT_EQ(got[1][Field::Email], "");
    EXPECT_EQ(got[2][Field::FullName], "Cy Cole");
}

TEST_F(VcfTest, CrLfReadsLikeLf) {
    const std::string lf =
        "BEGIN:VCARD\nFN:A\nNOTE;ENCODING=QUOTED-PRINTABLE:x=\ny=0D=0Az\nEND:VCARD\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const auto a = read(lf);
    const auto b = read(crlf);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].allFields(), b[0].allFields());
    EXPECT_EQ(a[0][Field::Notes], "xy\nz");
}

TEST_F(VcfTest, SupportedFieldsMask) {
    struct Case {
        const char* value;
        std::string mask;  // text form, field 33 first
    };
    const Case cases[] = {
        {nullptr, std::string(34, '1')},
        {"0000000000000000000000000000000101", std::string(31, '0') + "101"},
        {"101", std::string(31, '0') + "101"},  // bits beyond the string are cleared
        {"1111111111111111111111111111111111"
         "0000",
         std::string(34, '1')},          // first 34 used
        {"10x1", std::string(34, '1')},  // not a mask: ignored
        {"", std::string(34, '1')},
    };
    for (const Case& c : cases) {
        std::string card = "BEGIN:VCARD\nFN:A\n";
        if (c.value) card += std::string("X-KYNT-SUPPORTED:") + c.value + "\n";
        card += "END:VCARD\n";
        const auto got = read(card);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(maskToText(got[0].mask), c.mask) << (c.value ? c.value : "(absent)");
    }
}

TEST_F(VcfTest, RevisionForms) {
    struct Case {
        const char* value;
        std::int64_t expected;  // -1: not a time, the entry keeps "now"
    };
    const Case cases[] = {
        {"2006-03-01T12:00:00Z", kMarch2006},
        {"20060301T120000Z", kMarch2006},
        {"2006-03-01T13:00:00+01:00", kMarch2006},
        {"2006-03-01T07:00:00-0500", kMarch2006},
        {"2006-03-01T12:00:00.250Z", kMarch2006},
        {"06-03-01T12:00:00Z", kMarch2006},
        {"99-12-31T00:00:00Z", 946598400},
        {"05-01-01T00:00:00Z", 1104537600},
        {"1999-12-31T00:00:00Z", 946598400},
        {"1969-12-31T23:59:59Z", -1},  // a real time: one second before 1970
        {"2006-03-01", 1141171200},
        {"20060301", 1141171200},
        {"2006-13-01T00:00:00Z", -2},
        {"--0203", -2},
        {"", -2},
        {"99999999999999999999-1-1", -2},
    };
    for (const Case& c : cases) {
        const auto got = read(std::string("BEGIN:VCARD\nFN:A\nREV:") + c.value + "\nEND:VCARD\n");
        ASSERT_EQ(got.size(), 1u);
        if (c.expected == -2) {
            EXPECT_EQ(got[0].revisionTime, 0) << c.value;  // no usable time: undated
        } else {
            EXPECT_EQ(got[0].revisionTime, c.expected) << c.value;
        }
    }
    EXPECT_EQ(vcard::formatRevision(kMarch2006), "2006-03-01T12:00:00Z");
    EXPECT_EQ(vcard::formatRevision(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(vcard::formatRevision(0), "1970-01-01T00:00:00Z");
}

TEST_F(VcfTest, TruncatedCardsKeepWhatTheyHold) {
    // A card cut off at the end of the file, and one whose END line is missing before the
    // next card: both keep their values, and the next card is not swallowed.
    const auto got = read(
        "BEGIN:VCARD\nFN:Ann\nEMAIL:ann@x\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\nBEGIN:VCARD\n"
        "FN:Cy\nNOTE;ENCODING=QUOTED-PRINTABLE:abc=");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0][Field::FullName], "Ann");
    EXPECT_EQ(got[0][Field::Email], "ann@x");
    EXPECT_EQ(got[1][Field::FullName], "Bob");
    EXPECT_EQ(got[2][Field::FullName], "Cy");
    EXPECT_EQ(got[2][Field::Notes], "abc");
}

TEST_F(VcfTest, StructuredValuesThatGiveNoPartsAreEmpty) {
    // A base64 value is not read, so a structured property gives no parts at all: the card
    // still reads, with those fields empty. The first case is the whole 23-byte file.
    for (const char* text :
         {"BEGIN:VCARD\nORG;BASE64:", "BEGIN:VCARD\nFN:A\nORG;BASE64:QQ==\nEND:VCARD\n",
          "BEGIN:VCARD\nFN:A\nN;ENCODING=B:QQ==\nEND:VCARD\n",
          "BEGIN:VCARD\nFN:A\nADR;WORK;BASE64:QQ==\nADR;HOME;BASE64:QQ==\nEND:VCARD\n"}) {
        const auto got = read(text);
        ASSERT_EQ(got.size(), 1u) << text;
        for (const Field f : {Field::Organization, Field::Department, Field::LastName,
                              Field::BusinessStreet, Field::HomeStreet, Field::HomeCountry}) {
            EXPECT_EQ(got[0][f], "") << text;
        }
    }
}

TEST_F(VcfTest, QuotesInValuesAreDataAndComeBack) {
    // vCard does not quote values: a quote in one is part of it, through a book and back.
    const std::string card =
        "BEGIN:VCARD\nVERSION:2.1\nFN:Bob Jones\nNICKNAME:\"Bobby\"\nORG:\"Quoted\" Inc\n"
        "TITLE:\"Chief\" of staff\nEND:VCARD\n";
    IterVCF reader(run, file(card));
    NewAdbook book(run);
    book.fromStart(reader);
    ASSERT_EQ(book.entryCount(), 1);
    const auto check = [](const Entry& e) {
        EXPECT_EQ(e[Field::Nickname], "\"Bobby\"");
        EXPECT_EQ(e[Field::Organization], "\"Quoted\" Inc");
        EXPECT_EQ(e[Field::JobTitle], "\"Chief\" of staff");
    };
    check(book.entryAt(0));
    const std::string out = written({book.entryAt(0)});
    EXPECT_NE(out.find("NICKNAME:\"Bobby\"\r\n"), std::string::npos);
    const auto back = read(out);
    ASSERT_EQ(back.size(), 1u);
    check(back[0]);
}

TEST_F(VcfTest, DanglingSoftBreakDoesNotEatTheEndLine) {
    const auto got = read(
        "BEGIN:VCARD\nFN:A\nORG;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=91=\n\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE:x=\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][Field::Organization], "Ñ");
    EXPECT_EQ(got[0][Field::Notes], "x");
    EXPECT_EQ(got[1][Field::FullName], "B");
}

TEST_F(VcfTest, EmptyAndCardlessFilesGiveNoEntries) {
    for (const char* text : {"", "\n\n", "VERSION:2.1\nFN:nobody\nEND:VCARD\n", "BEGIN:VCAR"}) {
        IterVCF r(run, file(text));
        EXPECT_TRUE(r.atEnd()) << text;
        EXPECT_FLOAT_EQ(r.progress(), 1.0f);
    }
}

TEST_F(VcfTest, ProgressCountsCards) {
    IterVCF r(run, file("BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n"));
    EXPECT_FLOAT_EQ(r.progress(), 0.0f);
    r.nextEntry();
    EXPECT_FLOAT_EQ(r.progress(), 0.5f);
    EXPECT_FALSE(r.atEnd());
    r.nextEntry();
    EXPECT_FLOAT_EQ(r.progress(), 1.0f);
    EXPECT_TRUE(r.atEnd());
    r.rewind();
    EXPECT_FALSE(r.atEnd());
    r.nextCard();
    EXPECT_EQ(r.nextEntry()[Field::FullName], "B");
}

TEST_F(VcfTest, FileThatCannotBeOpened) {
    fs::create_directory(dir / "folder.vcf");
    for (const char* name : {"missing.vcf", "folder.vcf"}) {
        SCOPED_TRACE(name);
        RecordingPrompt p;
        MemorySettingsStore store;
        RunContext own{p, store};
        const std::string path = (dir / name).string();
        IterVCF r(own, path);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, "File cannot be opened");
        EXPECT_EQ(p.messages[0].caption, path);
        EXPECT_EQ(p.messages[0].buttons, Buttons::Ok);
        EXPECT_TRUE(r.atEnd());
    }
}

TEST_F(VcfTest, Utf16WithoutBomAndFoldsInsideSequencesReadAsTheCard) {
    // Latin-1 text, so that every character is one UTF-16 unit.
    const std::string latin1 = "BEGIN:VCARD\r\nFN:J\xFCrgen\r\nEND:VCARD\r\n";
    std::string le;
    std::string be;
    for (char c : latin1) {
        le += {c, '\0'};
        be += {'\0', c};
    }
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"utf16le", le},
        {"utf16be", be},
        {"foldInsideUtf8", "BEGIN:VCARD\r\nFN:J\xC3\r\n \xBCrgen\r\nEND:VCARD\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = read(c.bytes);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0][Field::FullName], "J\xC3\xBCrgen");
    }
}

TEST_F(VcfTest, LatinOneFileReadsItsAccents) {
    const auto got = read("BEGIN:VCARD\nN;CHARSET=ISO-8859-1:M\xFCller;J\xFCrgen\nEND:VCARD\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::FullName], "Jürgen Müller");
}

TEST_F(VcfTest, BookImportFromFile) {
    const std::string path =
        file("BEGIN:VCARD\nFN:Zed\nEMAIL:z@x\nEND:VCARD\nBEGIN:VCARD\nFN:Amy\nEND:VCARD\n");
    IterVCF r(run, path);
    NewAdbook book(run);
    book.fromIter(r, false);
    ASSERT_EQ(book.entryCount(), 2);
    EXPECT_EQ(book.entryAt(0)[Field::FullName], "Amy");
    EXPECT_EQ(book.entryAt(1)[Field::Email], "z@x");
}

// ---------------------------------------------------------------------------------------------
// Fixtures shaped like the files of a desktop mail program (2.1), a phone (3.0), a web mail (4.0)

struct SampleExpectation {
    const char* file;
    std::size_t cards;
    std::size_t index;
    std::map<Field, std::string> fields;  ///< the fields checked
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SampleExpectation& c, std::ostream* os) {
    *os << c.file;
}

class VcfFixtures : public VcfTest, public ::testing::WithParamInterface<SampleExpectation> {};

TEST_P(VcfFixtures, ReadEveryField) {
    const fs::path path = fs::path(VESK_FIXTURES_DIR) / "vcard" / GetParam().file;
    IterVCF r(run, path.string());
    const auto got = readAll(r);
    ASSERT_EQ(got.size(), GetParam().cards);
    const Entry& e = got.at(GetParam().index);
    for (int i = 0; i < kFieldCount; ++i) {
        const auto it = GetParam().fields.find(static_cast<Field>(i));
        EXPECT_EQ(e.at(i), it == GetParam().fields.end() ? "" : it->second) << fieldName(i);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, VcfFixtures,
    ::testing::Values(
        // Every value in the charset it names, raw or quoted-printable; UTF-8 beside them.
        SampleExpectation{"charsets-per-value.vcf",
                          1,
                          0,
                          {{Field::FullName, "安藤 ロイド"},
                           {Field::LastName, "安藤"},
                           {Field::FirstName, "ロイド"},
                           {Field::Notes, "Iksiński"},
                           {Field::Organization, "Правда"},
                           {Field::JobTitle, "Simões"},
                           {Field::Email, "ando@example.jp"}}},
        SampleExpectation{"outlook-21-charset-qp.vcf",
                          1,
                          0,
                          {{Field::FullName, "Dr. Jürgen Müller"},
                           {Field::LastName, "Müller"},
                           {Field::FirstName, "Jürgen"},
                           {Field::Title, "Dr."},
                           {Field::Organization, "Müller & Söhne"},
                           {Field::Department, "Vertrieb"},
                           {Field::BusinessPhone, "+49 30 1234567"},
                           {Field::CellularPhone, "+49 171 7654321"},
                           {Field::BusinessFax, "+49 30 1234568"},
                           {Field::Office, "Raum 4"},
                           {Field::BusinessStreet, "Hauptstraße 1\nHinterhaus"},
                           {Field::BusinessCity, "Berlin"},
                           {Field::BusinessPostalCode, "10115"},
                           {Field::BusinessCountry, "Deutschland"},
                           {Field::Email, "juergen@example.de"},
                           {Field::Notes, "Erste Zeile\nZweite Zeile mit = Zeichen\nDritte Zeile"},
                           {Field::Profession, "Vertriebsleiter"},
                           {Field::Manager, "Anna Schmidt"}}},
        SampleExpectation{"phone-30-types-escapes.vcf",
                          1,
                          0,
                          {{Field::FullName, "Siobhán O'Brien"},
                           {Field::LastName, "O'Brien"},
                           {Field::FirstName, "Siobhán"},
                           {Field::MiddleName, "Marie"},
                           {Field::Title, "Ms."},
                           {Field::Nickname, "Shiv"},
                           {Field::Organization, "Example, Ltd.; Dublin"},
                           {Field::Department, "Research"},
                           {Field::Email, "siobhan@example.ie"},
                           {Field::CellularPhone, "+353 87 123 4567"},
                           {Field::HomePhone, "+353 1 234 5678"},
                           {Field::BusinessFax, "+353 1 876 5432"},
                           {Field::HomeStreet, "12 Main Street\nFlat 3"},
                           {Field::HomeCity, "Dublin"},
                           {Field::HomeState, "Leinster"},
                           {Field::HomePostalCode, "D02 X285"},
                           {Field::HomeCountry, "Ireland"},
                           {Field::Office, "Building 7"},
                           {Field::BusinessStreet, "1 Science Park"},
                           {Field::BusinessCity, "Cork"},
                           {Field::BusinessPostalCode, "T12 Y345"},
                           {Field::BusinessCountry, "Ireland"},
                           {Field::BusinessWebPage, "https://example.com/research"},
                           {Field::Notes,
                            "Met at the conference, 2019.\nPrefers e-mail; no calls before 10. "
                            "Long line folded here."},
                           {Field::Spouse, "Ciarán"}}},
        SampleExpectation{"web-40.vcf",
                          1,
                          0,
                          {{Field::FullName, "王小明"},
                           {Field::LastName, "王"},
                           {Field::FirstName, "小明"},
                           {Field::Email, "wang@example.cn"},
                           {Field::HomePhone, "+86-10-1234-5678"},
                           {Field::CellularPhone, "+86-139-0000-0000"},
                           {Field::BusinessStreet, "1 Zhongguancun St"},
                           {Field::BusinessCity, "Beijing"},
                           {Field::BusinessPostalCode, "100080"},
                           {Field::BusinessCountry, "China"},
                           {Field::JobTitle, "Engineer"},
                           {Field::Notes, "第一行\n第二行"},
                           {Field::Spouse, "李娜"}}}),
    [](const auto& param) {
        std::string n = param.param.file;
        for (char& c : n) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return n;
    });

// ---------------------------------------------------------------------------------------------
// Real files from phones, Outlook, Google, Apple, Thunderbird and others

class VcfSamples : public VcfTest, public ::testing::WithParamInterface<SampleExpectation> {};

TEST_P(VcfSamples, ReadSensibly) {
    const fs::path path = fs::path(VESK_SAMPLES_DIR) / "vcf" / GetParam().file;
    if (!fs::exists(path)) GTEST_SKIP() << "sample not present: " << path;
    IterVCF r(run, path.string());
    const auto got = readAll(r);
    ASSERT_EQ(got.size(), GetParam().cards);
    const Entry& e = got.at(GetParam().index);
    for (const auto& [f, v] : GetParam().fields) {
        EXPECT_EQ(e[f], v) << fieldName(static_cast<int>(f));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Real, VcfSamples,
    ::testing::Values(
        SampleExpectation{"ezvcard-John_Doe_MS_OUTLOOK.vcf",
                          1,
                          0,
                          {{Field::FullName, "Mr. John Richter James Doe Sr."},
                           {Field::LastName, "Doe"},
                           {Field::Title, "Mr. Sr."},
                           {Field::Organization, "IBM"},
                           {Field::Department, "Accounting"},
                           {Field::Email, "john.doe@ibm.cm"},
                           {Field::BusinessPhone, "(905) 555-1234"},
                           {Field::HomePhone, "(905) 666-1234"},
                           {Field::BusinessCity, "Albaney"},
                           {Field::HomeStreet, "Silicon Alley 5,"},
                           {Field::Profession, "Counting Money"},
                           {Field::Manager, "Big Blue"},
                           {Field::Assistant, "Jenny"},
                           {Field::BusinessWebPage, "http://www.ibm.com"}}},
        SampleExpectation{
            "ezvcard-outlook-2003.vcf",
            1,
            0,
            {{Field::FullName, "John Doe III"},
             {Field::Email, "jdoe@hotmail.com"},
             {Field::Office, "TheOffice"},
             {Field::Notes, "This is the note field!!\nSecond line\n\nThird line is empty\n"},
             {Field::Profession, "TheProfession"}}},
        SampleExpectation{"ezvcard-outlook-2007.vcf",
                          1,
                          0,
                          {{Field::FullName, "Mr. Michael Angstadt Jr."},
                           {Field::Email, "mike.angstadt@gmail.com"},
                           {Field::Spouse, "TheSpouse"},
                           {Field::HomeWebPage, "http://mikeangstadt.name"},
                           {Field::CellularPhone, "(111) 555-4444"}}},
        // Shift_JIS phones: raw values, quoted-printable ones, 3.0 with 0x5C trail bytes.
        SampleExpectation{"android-v21_japanese_1.vcf", 1, 0, {{Field::LastName, "安藤ロイド"}}},
        SampleExpectation{"android-v21_japanese_2.vcf",
                          1,
                          0,
                          {{Field::FullName, "安藤 ロイド 1"},
                           {Field::LastName, "安藤"},
                           {Field::FirstName, "ロイド1"},
                           {Field::Notes, "メモ"}}},
        SampleExpectation{
            "android-v21_multiple_entry.vcf", 3, 2, {{Field::LastName, "安藤ロイド5"}}},
        SampleExpectation{"android-v30_japanese.vcf",
                          1,
                          0,
                          {{Field::FullName, "伊能 圭一 伊予"},
                           {Field::LastName, "伊能"},
                           {Field::FirstName, "圭一"},
                           {Field::MiddleName, "伊予"}}},
        // Only a label and an id: the label is the business address.
        SampleExpectation{"kcontacts-vcard7.vcf",
                          1,
                          0,
                          {{Field::BusinessStreet,
                            "401 Park Drive  3 West\nBoston, MA 02215\nUSA\n"
                            "Herecomesyetanotherline"}}},
        SampleExpectation{"ezvcard-John_Doe_GMAIL.vcf",
                          1,
                          0,
                          {{Field::FullName, "Mr. John Richter, James Doe Sr."},
                           {Field::MiddleName, "Richter, James"},
                           {Field::Email, "john.doe@ibm.com"},
                           {Field::CellularPhone, "905-555-1234"},
                           {Field::HomePhone, "905-666-1234"},
                           {Field::Spouse, "Jenny"},
                           {Field::BusinessWebPage, "http://www.ibm.com"}}},
        SampleExpectation{"ezvcard-John_Doe_EVOLUTION.vcf",
                          1,
                          0,
                          {{Field::FullName, "Mr. John Richter, James Doe Sr."},
                           {Field::Email, "john.doe@ibm.com"},
                           {Field::CellularPhone, "905-666-1234"},
                           {Field::BusinessPhone, "905-555-1234"},
                           {Field::HomeWebPage, "http://www.ibm.com"},
                           {Field::HomeStreet, "ASB-123\n15 Crescent moon drive"},
                           {Field::HomeCountry, "United States of America"},
                           {Field::Department, "Accounting;Dungeon"},
                           {Field::Spouse, "Maria"},
                           {Field::Manager, "Big Blue"},
                           {Field::Assistant, "Little Red"}}},
        SampleExpectation{
            "ezvcard-John_Doe_IPHONE.vcf", 1, 0, {{Field::Email, "john.doe@ibm.com"}}},
        SampleExpectation{
            "ezvcard-John_Doe_MAC_ADDRESS_BOOK.vcf", 1, 0, {{Field::Email, "john.doe@ibm.com"}}},
        SampleExpectation{"ezvcard-John_Doe_ANDROID.vcf",
                          6,
                          2,
                          {{Field::FullName, "Ñ Ñ Ñ Ñ Ñ "}, {Field::CellularPhone, "123456789"}}},
        SampleExpectation{"ezvcard-gmail-list.vcf",
                          3,
                          0,
                          {{Field::FullName, "Arnold Smith"}, {Field::Email, "asmithk@gmail.com"}}},
        SampleExpectation{"ezvcard-rfc6350-example.vcf",
                          1,
                          0,
                          {{Field::FullName, "Simon Perreault"},
                           {Field::Email, "simon.perreault@viagenie.ca"},
                           {Field::BusinessCity, "Quebec"}}},
        SampleExpectation{"android-v21_complicated.vcf",
                          1,
                          0,
                          {{Field::FullName, "Joe Due"},
                           {Field::Organization, "Gump Shrimp Co."},
                           {Field::Department, "Sales Dept.;Manager;Fish keeper"},
                           {Field::Email, "forrestgump@walladalla.com"},
                           {Field::Notes, "The following note is the example from RFC 2045."}}},
        SampleExpectation{"android-v21_blackberry_photo.vcf",
                          1,
                          0,
                          {{Field::FullName, "boogie"},
                           {Field::Email, "forrestgump@walladalla.com"},
                           {Field::BusinessPhone, "+5555555"},
                           {Field::CellularPhone, "+5555556"}}},
        SampleExpectation{"android-v40_sort_as.vcf", 1, 0, {{Field::FullName, "安藤 ロイド"}}},
        SampleExpectation{"kcontacts-vcard10.vcf",
                          5,
                          3,
                          {{Field::FullName, "Dr. med. Surname Name"},
                           {Field::JobTitle, "Facharzt für Allgemeinmedizin"}}},
        SampleExpectation{"kcontacts-vcard10.vcf",
                          5,
                          1,
                          {{Field::FullName, "Field after Address broken"},
                           {Field::HomeStreet, "AAAAAAA-AäAAAAA 11"},
                           {Field::HomeCity, "Urt"},
                           {Field::HomeWebPage, "http://some-webseite.com"}}},
        SampleExpectation{"kcontacts-vcard3.vcf",
                          1,
                          0,
                          {{Field::FullName, "ian geiser"},
                           {Field::Email, "geiseri@yahoo.com"},
                           {Field::JobTitle, "VP of Engineering"},
                           {Field::Organization, "Source eXtreme"}}},
        SampleExpectation{"kcontacts-vcard4.vcf",
                          1,
                          0,
                          {{Field::Organization, "Ximian, Inc."},
                           {Field::Email, "hello@ximian.com"},
                           {Field::Notes, "Welcome to the Ximian Addressbook."}}},
        SampleExpectation{"roundcube-johndoe.vcf",
                          1,
                          0,
                          {{Field::FullName, "John Doë"},
                           {Field::LastName, "Doë"},
                           {Field::Email, "roundcube@gmail.com"},
                           {Field::BusinessPhone, "+123456789"}}},
        SampleExpectation{"roundcube-apple.vcf",
                          1,
                          0,
                          {{Field::FullName, "Apple Computer AG"},
                           {Field::BusinessCity, "Wallisellen-Zürich"},
                           {Field::HomeWebPage, "http://www.apple.ch"}}},
        SampleExpectation{
            "roundcube-utf-16_sample.vcf",
            1,
            0,
            {{Field::FullName, "Ǽgean ĽdaMonté"}, {Field::BusinessState, "Conceptión"}}},
        SampleExpectation{
            "kcontacts-vcard9.vcf",
            1,
            0,
            {{Field::LastName,
              "123ㄓㄕㄖbcde" + std::string("αβγδαβγδαβγδαβγδαβγδαβγδαβ") + "ㄤㄓㄕㄖ"}}},
        SampleExpectation{"tb-dos_vcard_addressbook.vcf",
                          1,
                          0,
                          {{Field::FullName, "Name Surname"}, {Field::Email, "example@gmail.com"}}},
        SampleExpectation{"tb-export.vcf",
                          2,
                          1,
                          {{Field::FullName, "contact number two"},
                           {Field::Email, "contact2@invalid"},
                           {Field::JobTitle, "\"worker\""}}},
        SampleExpectation{"tb-v3-binary-jpeg.vcf", 1, 0, {{Field::FullName, "Binary JPEG"}}},
        SampleExpectation{"turba-bug_9207.vcf",
                          1,
                          0,
                          {{Field::FullName, "Mr. Jan K. Schneiderö"},
                           {Field::Email, "jan@horde.org"},
                           {Field::Nickname, "yunosh"},
                           {Field::Organization, "Horde Project"},
                           {Field::Department, "äöü"},
                           {Field::HomeStreet, "Schönestr. 15\n33604 Bielefeld"},
                           {Field::BusinessCity, "Köln"},
                           {Field::Profession, "Developer (äöü)"}}}),
    [](const auto& param) {
        std::string n = std::string(param.param.file) + "_" + std::to_string(param.param.index);
        for (char& c : n) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return n;
    });

TEST_F(VcfTest, FileWithoutMarkerReadsInTheEncodingTheUserNames) {
    const fs::path path = fs::path(VESK_SAMPLES_DIR) / "vcf" / "roundcube-thebat.vcf";
    if (!fs::exists(path)) GTEST_SKIP() << "sample not present: " << path;
    // Nothing in the file names its charset: the name reads as Polish, not as "Iksiñski",
    // and the charset the user names is taken as it is.
    IterVCF plain(run, path.string());
    EXPECT_EQ(readAll(plain).at(0)[Field::LastName], "Iksiński");
    run.sourceEncoding = "ISO-8859-2";
    IterVCF polish(run, path.string());
    const auto got = readAll(polish);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::LastName], "Iksiński");
    EXPECT_EQ(got[0][Field::FullName], "Piotr Iksiński");
}

TEST_F(VcfTest, LabelFillsTheStreetOfItsKindOnlyWithoutAnAdr) {
    const struct {
        const char* label;
        const char* card;
        const char* home;
        const char* work;
    } cases[] = {
        {"workLabel", "LABEL;TYPE=WORK:1 Main St\\nBoston\n", "", "1 Main St\nBoston"},
        {"homeLabel21", "LABEL;HOME;ENCODING=QUOTED-PRINTABLE:2 Elm=0ASpringfield\n",
         "2 Elm\nSpringfield", ""},
        {"untypedIsWork", "LABEL:3 Oak\n", "", "3 Oak"},
        {"adrWins", "ADR;TYPE=HOME:;;4 Pine;Bern;;;\nLABEL;TYPE=HOME:elsewhere\n", "4 Pine", ""},
        {"eachKindApart", "ADR;TYPE=WORK:;;5 Ash;;;;\nLABEL;TYPE=HOME:6 Fir\n", "6 Fir", "5 Ash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto got =
            read(std::string("BEGIN:VCARD\nVERSION:3.0\nFN:A\n") + c.card + "END:VCARD\n");
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0][Field::HomeStreet], c.home);
        EXPECT_EQ(got[0][Field::BusinessStreet], c.work);
    }
}

TEST_F(VcfTest, EverySampleReadsWithoutLosingCards) {
    const fs::path samples = fs::path(VESK_SAMPLES_DIR) / "vcf";
    if (!fs::is_directory(samples)) GTEST_SKIP() << "samples not present";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(samples)) {
        const std::string bytes = slurp(entry.path());
        IterVCF r(run, entry.path().string());
        const auto got = readAll(r);
        EXPECT_FALSE(got.empty()) << entry.path();
        // A name, an address or an organisation: never an empty shell (a card with only a
        // label gives its address).
        for (const Entry& e : got) EXPECT_FALSE(e.isEmpty()) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 40);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

/// `count` numbered cards, CR LF ended, then `tail`.
std::string numberedCards(int count, const std::string& tail) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        out += "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:card-" + n + "\r\nFN:Person " + n +
               "\r\nEMAIL:p" + n + "@example.org\r\nNOTE:" + std::string(60, 'n') +
               "\r\nEND:VCARD\r\n";
    }
    return out + tail;
}

/// ASCII text as UTF-16LE with its byte-order mark.
std::string utf16Le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST_F(VcfTest, ABookOfManyMegabytesReadsWholeInEveryPassAndGroupFindsItsFirstCards) {
    // What the reader went past is given back to the system as it reads on; a second pass and
    // a group at the end naming the first cards must still see those cards, not zeros.
    constexpr int kCards = 40000;  // about 7 MB: several steps given back
    const std::string group =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Team\r\nMEMBER:urn:uuid:card-0\r\n"
        "MEMBER:mailto:p1@example.org\r\nEND:VCARD\r\n";
    struct Case {
        const char* name;
        std::string tail;
        bool utf16;
    };
    const Case cases[] = {{"cards only", "", false},
                          {"a group at the end", group, false},
                          {"UTF-16, decoded again when read again", "", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = numberedCards(kCards, c.tail);
        IterVCF r(run, file(c.utf16 ? utf16Le(text) : text));
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(pass);
            const std::vector<Entry> got = readAll(r);
            ASSERT_EQ(got.size(), static_cast<std::size_t>(kCards) + (c.tail.empty() ? 0 : 4));
            for (int i = 0; i < kCards; i += 997) {
                const Entry& e = got[static_cast<std::size_t>(i)];
                EXPECT_EQ(e[Field::FullName], "Person " + std::to_string(i));
                EXPECT_EQ(e[Field::Email], "p" + std::to_string(i) + "@example.org");
            }
            EXPECT_EQ(got[kCards - 1][Field::FullName], "Person " + std::to_string(kCards - 1));
            if (c.tail.empty()) continue;
            EXPECT_EQ(got[kCards + 1][Field::FullName], "Person 0");
            EXPECT_EQ(got[kCards + 2][Field::FullName], "Person 1");
        }
        EXPECT_FALSE(r.sourceFailed());
    }
}

TEST_F(VcfTest, AFileChangedBeforeTheReaderGoesBackIsReportedNotReadAsZeros) {
    const std::string path = file(numberedCards(40000, ""));
    IterVCF r(run, path);
    EXPECT_EQ(readAll(r).size(), 40000u);
    file(numberedCards(40001, ""));  // another contact added meanwhile
    const int errorsBefore = run.diagnostics().count(Severity::Error);
    const std::vector<Entry> again = readAll(r);
#if defined(__linux__)
    // Only where the memory was given back does the reader need the file again.
    EXPECT_TRUE(again.empty());
    EXPECT_TRUE(r.sourceFailed());
    EXPECT_EQ(run.diagnostics().count(Severity::Error), errorsBefore + 1);
#else
    EXPECT_EQ(again.size(), 40000u);
#endif
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(VcardUidSet, HoldsEveryUidGivenAndNoOther) {
    // Empty, short and very long UIDs, through many growths of the table.
    vcard::UidSet set;
    std::vector<std::string> uids = {"", std::string(70000, 'u'), "urn:uuid:1"};
    for (int i = 0; i < 5000; ++i) uids.push_back("card-" + std::to_string(i));
    for (const std::string& uid : uids) {
        EXPECT_FALSE(set.contains(uid)) << uid.substr(0, 20);
        set.insert(uid);
    }
    set.insert("card-7");  // a second time changes nothing
    for (const std::string& uid : uids) EXPECT_TRUE(set.contains(uid)) << uid.substr(0, 20);
    for (const std::string_view absent : {"card-5000", "card-", "urn:uuid:", "x"}) {
        EXPECT_FALSE(set.contains(absent)) << absent;
    }
    EXPECT_FALSE(set.contains(std::string(69999, 'u')));
}

}  // namespace
}  // namespace vesk
