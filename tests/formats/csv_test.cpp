#include "formats/csv.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>

#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterCSV;
using testing::slurp;
using testing::spit;
using testing::TempDir;

constexpr const char* kFixedHeader =
    "Name,E-mail Address,Nickname,Home Phone,Business Phone,Company,Home Street,Home City,"
    "Home Postal Code,Home State,Home Country,Home Fax,Mobile Phone,Personal Web Page,"
    "Business Street,Business City,Business Postal Code,Business State,Business Country,"
    "Business Web Page,Business Fax,Pager,Job Title,Department,Notes,Profession,Manager's Name,"
    "Assistant's Name,First Name,Middle Name,Last Name,Title,Office Location,Spouse,"
    "Secondary Email,Birthday\n";

int col(const IterCSV& r, Field f) {
    return r.columnMap()[static_cast<std::size_t>(f)];
}

/// Stands in for the "CSV Options" page: records what it was shown and answers from a queue
/// (an answer may edit the map first); without answers it cancels.
class ScriptedOptions : public CsvOptionsRequest {
  public:
    using Answer = std::function<bool(CsvSettings&)>;
    bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                      const std::string& /*fileName*/) override {
        shown.push_back(headings);
        if (answers.empty()) return false;
        Answer a = std::move(answers.front());
        answers.pop_front();
        return a(map);
    }
    std::vector<std::vector<std::string>> shown;
    std::deque<Answer> answers;
};

bool pressOk(CsvSettings&) {
    return true;
}

class CsvTest : public ::testing::Test {
  protected:
    CsvTest() { run.setTraceSink(&trace); }
    void SetUp() override { csvSettings(run).reset(); }
    void TearDown() override { csvSettings(run).reset(); }

    std::string file(const std::string& bytes, const std::string& name = "in.csv") {
        const std::string p = dir.file(name);
        spit(p, bytes);
        return p;
    }
    static std::vector<Entry> readAll(IterCSV& r) {
        std::vector<Entry> out;
        r.rewind();
        for (int guard = 0; !r.atEnd() && guard < 100000; ++guard) out.push_back(r.nextEntry());
        return out;
    }
    std::vector<Entry> read(const std::string& bytes, int format = kCsvFormat) {
        IterCSV r(run, file(bytes, format == kAbxFormat ? "in.abx" : "in.csv"), format);
        return readAll(r);
    }
    /// Header-string mode with "keep" set and these headings stored.
    void storeHeadings(const std::map<Field, std::string>& headings, std::uint32_t keep = 1) {
        store.writeValue(RootKey::CurrentUser, kCsvKey, "useInts", SettingValue::ofNumber(0));
        store.writeValue(RootKey::CurrentUser, kCsvKey, "keep", SettingValue::ofNumber(keep));
        for (const auto& [f, h] : headings) {
            store.writeValue(RootKey::CurrentUser, kCsvHeadingKey, fieldName(static_cast<int>(f)),
                             SettingValue::ofText(h));
        }
    }
    void storeAbsolute(std::uint32_t keep = 1) {
        store.writeValue(RootKey::CurrentUser, kCsvKey, "useInts", SettingValue::ofNumber(1));
        store.writeValue(RootKey::CurrentUser, kCsvKey, "keep", SettingValue::ofNumber(keep));
    }
    std::string stored(std::string_view key, const std::string& name) {
        SettingValue v;
        if (store.readValue(RootKey::CurrentUser, key, name, v) != kErrorSuccess) return "<absent>";
        return v.type == ValueType::Number ? "#" + std::to_string(v.number) : v.text;
    }

    TempDir dir;
    MemorySettingsStore store;
    RecordingPrompt prompts;
    RecordingTraceSink trace;
    RunContext run{prompts, store};
    ScriptedOptions options;
};

// ---------------------------------------------------------------------------------------------
// Values: RFC 4180 plus what older writers produced

struct ScanCase {
    const char* name;
    const char* text;
    std::vector<std::string> values;
    std::size_t next;  ///< where the next record starts
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.name;
}

class CsvScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(CsvScan, SplitsOneRecord) {
    const ScanCase& c = GetParam();
    const std::string_view text = c.text;
    csv::Scanner scanner(text, ',');
    std::vector<csv::Cell> cells;
    EXPECT_EQ(scanner.record(0, cells), c.next);
    std::vector<std::string> values;
    for (const csv::Cell& cell : cells) values.push_back(scanner.value(cell));
    EXPECT_EQ(values, c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CsvScan,
    ::testing::Values(
        ScanCase{"Plain", "a,b,c\nx", {"a", "b", "c"}, 6},
        ScanCase{"EmptyValues", "a,,c,\n", {"a", "", "c", ""}, 6},
        ScanCase{"QuotedComma", "\"Doe, John\",x\n", {"Doe, John", "x"}, 14},
        ScanCase{"DoubledQuotes", "\"He said \"\"hi\"\"\",x\n", {"He said \"hi\"", "x"}, 19},
        ScanCase{"OnlyQuotes", "\"\"\"\"\"\",\"\"\n", {"\"\"", ""}, 10},
        ScanCase{"LineBreakInsideQuotes", "\"one\ntwo\",x\nnext", {"one\ntwo", "x"}, 12},
        ScanCase{"UnterminatedLastLine", "Ann,ann@x.org", {"Ann", "ann@x.org"}, 13},
        ScanCase{"UnquotedSpacesKept", " a , b\n", {" a ", " b"}, 7},
        ScanCase{"BlankBeforeQuote", "a, \"b,c\" ,d\n", {"a", "b,c", "d"}, 12},
        ScanCase{"QuoteInsideUnquoted", "5'10\",x\n", {"5'10\"", "x"}, 8},
        ScanCase{"UndoubledQuotesOfOldFiles",
                 "\"Bob \"Bobby\" Jones\",x\n",
                 {"Bob \"Bobby\" Jones", "x"},
                 22},
        ScanCase{"UnclosedQuoteEndsWithItsLine", "\"abc,def\nnext,x\n", {"abc,def"}, 9},
        ScanCase{"EmptyText", "", {""}, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CsvScanner, UnclosedQuotesStayLinearAndKeepLaterLines) {
    // Every line opens a quote that nothing closes: each must end with its own line.
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "\"v" + std::to_string(i) + ",x\n";
    csv::Scanner scanner(text, ',');
    std::vector<csv::Cell> cells;
    std::size_t pos = 0;
    int records = 0;
    while (pos < text.size()) {
        const std::size_t next = scanner.record(pos, cells);
        ASSERT_GT(next, pos);
        EXPECT_EQ(scanner.value(cells[0]), "v" + std::to_string(records) + ",x");
        pos = next;
        ++records;
    }
    EXPECT_EQ(records, 2000);
    EXPECT_EQ(scanner.unclosedAt(), 0u);
}

TEST(CsvScanner, DetectsTheSeparatorFromTheFirstLine) {
    EXPECT_EQ(csv::detectSeparator("Name,Email\na;b\n"), ',');
    EXPECT_EQ(csv::detectSeparator("Name;Email\na;b\n"), ';');
    EXPECT_EQ(csv::detectSeparator("Name\tEmail;x\na\tb\n"), '\t');
    EXPECT_EQ(csv::detectSeparator("\"Doe; John\",x\n"), ',');
    EXPECT_EQ(csv::detectSeparator("Primary Email\nx\n"), ',');
}

// ---------------------------------------------------------------------------------------------
// Heading search in header-string mode

struct HeadingCase {
    const char* name;
    const char* text;
    int fullName;
    int email;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HeadingCase& c, std::ostream* os) {
    *os << c.name;
}

class CsvHeadings : public CsvTest, public ::testing::WithParamInterface<HeadingCase> {};

TEST_P(CsvHeadings, FindsColumnsInTheFirstLine) {
    const HeadingCase& c = GetParam();
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "E-mail Address"}});
    IterCSV r(run, file(c.text), kCsvFormat);
    EXPECT_EQ(col(r, Field::FullName), c.fullName);
    EXPECT_EQ(col(r, Field::Email), c.email);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CsvHeadings,
    ::testing::Values(
        // "Name" in column 0 (at the start), "E-mail Address" between commas.
        HeadingCase{"WritersFixedHeader", kFixedHeader, 0, 1},
        HeadingCase{"Quoted", "\"x\",\"E-mail Address\",\"Name\"\n", 2, 1},
        HeadingCase{"SpaceAfterComma", "x, Name, E-mail Address\n", 1, 2},
        HeadingCase{"LastInLine", "x,E-mail Address,Name\n", 2, 1},
        HeadingCase{"QuotedCommaDoesNotShift", "\"Last, First\",Name,E-mail Address\n", 1, 2},
        HeadingCase{"EmptyHeadingDoesNotShift", "Name,,E-mail Address\n", 0, 2},
        HeadingCase{"OnlyColumn", "E-mail Address\n", -1, 0},
        HeadingCase{"OtherCaseAndSpacing", "NAME ,\te-mail address\n", 0, 1},
        HeadingCase{"QuotedFormWinsOverPlain", "Name,x,\"Name\",E-mail Address\n", 2, 3},
        // "Names" is no match; column 0 is only the name read when nothing names one.
        HeadingCase{"PartOfALongerHeading", "Names,E-mail Address 2,E-mail Address\n", 0, 2}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CsvTest, HeadingOnlyInADataLineGetsNoColumn) {
    storeHeadings(
        {{Field::FullName, "Name"}, {Field::Email, "E-mail Address"}, {Field::Nickname, "Nick"}});
    IterCSV r(run, file("Name,E-mail Address\nNick,x@y\n"), kCsvFormat);
    EXPECT_EQ(col(r, Field::Nickname), -1);
    const auto entries = readAll(r);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Nick");
    EXPECT_EQ(entries[0][Field::Nickname], "");
}

TEST_F(CsvTest, QuotedCommaStaysOneValueAndEmptyValueLeavesFieldEmpty) {
    storeHeadings({{Field::FullName, "Name"},
                   {Field::Email, "E-mail Address"},
                   {Field::Nickname, "Nickname"},
                   {Field::Notes, "Notes"}});
    const auto entries =
        read("Name,E-mail Address,Nickname,Notes\n\"Doe, John\",jd@x.org,,\"a, b\"\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Doe, John");
    EXPECT_EQ(entries[0][Field::Email], "jd@x.org");
    EXPECT_EQ(entries[0][Field::Nickname], "");
    EXPECT_EQ(entries[0][Field::Notes], "a, b");
    EXPECT_TRUE(options.shown.empty());
}

TEST_F(CsvTest, SecondEmailAndBirthdayColumnsBecomeExtras) {
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "Primary Email"}});
    // Thunderbird's export splits the birthday; Outlook's gives it whole.
    const auto entries = read(
        "Name,Primary Email,Secondary Email,Birth Year,Birth Month,Birth Day,Birthday\n"
        "Ann,a@x.org,a2@x.org,1980,5,17,\n"
        "Bob,b@x.org,,,,,1975-01-02\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extras, (std::vector<Extra>{{ExtraKind::Email, "a2@x.org", {}},
                                                     {ExtraKind::Birthday, "1980-05-17", {}}}));
    EXPECT_EQ(entries[1].extras, (std::vector<Extra>{{ExtraKind::Birthday, "1975-01-02", {}}}));
}

TEST_F(CsvTest, MissingNameOrAddressReopensTheOptionsOnceAndCancelReadsNothing) {
    setCsvOptionsRequest(run, &options);
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "Mail"}});
    options.answers.push_back(pressOk);
    {
        IterCSV r(run, file("Name,E-mail Address\nAnn,ann@x.org\n"), kCsvFormat);
        // Asked once at most; then the map is used as it stands.
        ASSERT_EQ(options.shown.size(), 1u);
        EXPECT_EQ(options.shown[0], (std::vector<std::string>{"Name", "E-mail Address"}));
        EXPECT_EQ(col(r, Field::FullName), 0);
        EXPECT_EQ(col(r, Field::Email), -1);
        EXPECT_EQ(readAll(r).size(), 1u);
    }
    options.shown.clear();
    csvSettings(run).reset();
    IterCSV cancelled(run, file("Name,E-mail Address\nAnn,ann@x.org\n"), kCsvFormat);
    EXPECT_EQ(options.shown.size(), 1u);
    EXPECT_TRUE(readAll(cancelled).empty());
    EXPECT_FALSE(csvSettings(run).loaded);  // read again next time
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CsvTest, EditedMapIsSearchedAfterTheOptionsPage) {
    setCsvOptionsRequest(run, &options);
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "Mail"}});
    options.answers.push_back([this](CsvSettings& map) {
        map.setHeading(static_cast<int>(Field::Email), "E-mail Address");
        return map.apply(run, CsvChoice::OnlyThisOperation);
    });
    IterCSV r(run, file("Name,E-mail Address\nAnn,ann@x.org\n"), kCsvFormat);
    EXPECT_EQ(col(r, Field::Email), 1);
    EXPECT_EQ(stored(kCsvHeadingKey, "E-Mail Address"), "Mail");  // nothing stored
}

TEST_F(CsvTest, KeepZeroShowsTheOptionsWithTheFileHeadings) {
    setCsvOptionsRequest(run, &options);
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "E-mail Address"}}, 0);
    options.answers.push_back(pressOk);
    IterCSV r(run, file("\"Name\", \"E-mail Address\" ,\"a, b\"\nAnn,ann@x.org,\n"), kCsvFormat);
    ASSERT_EQ(options.shown.size(), 1u);
    EXPECT_EQ(options.shown[0], (std::vector<std::string>{"Name", "E-mail Address", "a, b"}));
    EXPECT_EQ(readAll(r).size(), 1u);
}

TEST_F(CsvTest, FullNameFallsBackToAFreeFirstColumnOnly) {
    storeHeadings({{Field::Email, "Mail"}, {Field::Nickname, "Nick"}});
    options.answers.push_back(pressOk);
    setCsvOptionsRequest(run, &options);
    {
        IterCSV r(run, file("Who,Mail\nAnn Lee,ann@x.org\n"), kCsvFormat);
        EXPECT_EQ(col(r, Field::FullName), 0);
    }
    options.answers.push_back(pressOk);
    IterCSV r(run, file("Nick,Mail\nannie,ann@x.org\n"), kCsvFormat);
    EXPECT_EQ(col(r, Field::FullName), -1);
    EXPECT_EQ(col(r, Field::Nickname), 0);
}

// ---------------------------------------------------------------------------------------------
// Absolute-position mode and ABX

TEST_F(CsvTest, WritersFileReadsBackInAbsoluteModeWithoutStoredPositions) {
    storeAbsolute();
    store.createKey(RootKey::CurrentUser, kCsvPositionKey);
    Entry e;
    for (int i = 0; i < kFieldCount; ++i) e.at(i) = "v" + std::to_string(i);
    const std::string path = dir.file("book.csv");
    {
        ToCSV w(run, path);
        w.write(e);
        ASSERT_TRUE(w.finish());
    }
    IterCSV r(run, path, kCsvFormat);
    for (int i = 0; i < kFieldCount; ++i) EXPECT_EQ(r.columnMap()[static_cast<size_t>(i)], i);
    const auto entries = readAll(r);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].allFields(), e.allFields());
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CsvTest, MissingPositionKeyGivesOneMessageAndTheWritersOrder) {
    storeAbsolute();
    IterCSV r(run, file("a,b\nAnn,ann@x.org\n"), kCsvFormat);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Error reading data!");
    EXPECT_EQ(prompts.messages[0].caption, "Vesk");
    EXPECT_EQ(col(r, Field::Email), 1);
}

TEST_F(CsvTest, StoredPositionsPickColumns) {
    storeAbsolute();
    store.writeValue(RootKey::CurrentUser, kCsvPositionKey, "Full Name", SettingValue::ofNumber(2));
    store.writeValue(RootKey::CurrentUser, kCsvPositionKey, "E-Mail Address",
                     SettingValue::ofNumber(0));
    store.writeValue(RootKey::CurrentUser, kCsvPositionKey, "Nickname",
                     SettingValue::ofNumber(0xFFFFFFFFu));
    const auto entries = read("a,b,c\nann@x.org,annie,Ann Lee\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann Lee");
    EXPECT_EQ(entries[0][Field::Email], "ann@x.org");
    EXPECT_EQ(entries[0][Field::Nickname], "");
}

TEST_F(CsvTest, AbxUsesItsFixedColumnsAndNeverAsks) {
    setCsvOptionsRequest(run, &options);
    IterCSV r(run, std::string(VESK_FIXTURES_DIR) + "/csv/contacts.abx", kAbxFormat);
    EXPECT_TRUE(options.shown.empty());
    EXPECT_FALSE(csvSettings(run).loaded);
    const auto entries = readAll(r);
    ASSERT_EQ(entries.size(), 1u);
    const Entry& e = entries[0];
    EXPECT_EQ(e[Field::FullName], "Ann Lee");
    EXPECT_EQ(e[Field::Email], "ann@example.com");
    EXPECT_EQ(e[Field::Organization], "Acme");
    EXPECT_EQ(e[Field::HomeStreet], "1 Main");
    EXPECT_EQ(e[Field::HomeCountry], "US");
    EXPECT_EQ(e[Field::BusinessPhone], "555-1");
    EXPECT_EQ(e[Field::HomeFax], "555-5");
    EXPECT_EQ(e[Field::JobTitle], "Boss");
    EXPECT_EQ(e[Field::Notes], "A note, with a comma");
    EXPECT_EQ(e[Field::Nickname], "");
    EXPECT_FALSE(e.mask.test(static_cast<std::size_t>(Field::Nickname)));
    EXPECT_TRUE(e.mask.test(static_cast<std::size_t>(Field::FirstName)));
}

// ---------------------------------------------------------------------------------------------
// Lines and files

TEST_F(CsvTest, RecordsFollowQuotesNotLines) {
    const auto entries = read(slurp(fs::path(VESK_FIXTURES_DIR) / "csv" / "quoted.csv"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::FullName], "Doe, \"Jr\"");
    EXPECT_EQ(entries[0][Field::Nickname], "multi\nline");
    // The file ends without a line feed: its last character is read.
    EXPECT_EQ(entries[1][Field::Nickname], "x");
}

TEST_F(CsvTest, EmptyLinesAndCrLfAreSkipped) {
    const auto entries = read("Name,E-mail Address\r\n\r\nAnn,a@x\r\n\r\n\r\nBob,b@x\r\n\r\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1][Field::Email], "b@x");
}

TEST_F(CsvTest, OpenFailuresAndFilesWithoutData) {
    struct Case {
        const char* name;
        const char* bytes;  ///< nullptr: no file
        const char* message;
        bool folder = false;  ///< a folder where the file should be
    };
    const Case cases[] = {
        {"missing", nullptr, "file cannot be opened!"},
        {"folder", nullptr, "file cannot be opened!", true},
        {"empty", "", "Invalid Data!"},
        {"no line feed", "Name,E-mail Address", "Invalid Data!"},
        {"header only", "Name,E-mail Address\n", "Invalid Data!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.messages.clear();
        const std::string path =
            c.bytes ? file(c.bytes) : dir.file(c.folder ? "folder.csv" : "absent.csv");
        if (c.folder) std::filesystem::create_directory(path);
        IterCSV r(run, path, kCsvFormat);
        EXPECT_TRUE(readAll(r).empty());
        r.rewind();
        ASSERT_EQ(prompts.messages.size(), 1u);  // once, however often it is rewound
        EXPECT_EQ(prompts.messages[0].text, c.message);
        EXPECT_EQ(prompts.messages[0].caption, std::string(c.bytes ? "error" : path.c_str()));
        EXPECT_TRUE(r.atEnd());
    }
}

TEST_F(CsvTest, UnclosedQuoteIsReportedAndLaterLinesSurvive) {
    const auto entries = read("Name,E-mail Address\n\"Ann,ann@x\nBob,bob@x\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann,ann@x");
    EXPECT_EQ(entries[1][Field::FullName], "Bob");
    EXPECT_NE(trace.text.find("in.csv:2: a quoted value is not closed"), std::string::npos);
}

TEST_F(CsvTest, ABookOfManyMegabytesReadsWholeInEveryPassWithItsLineNumbers) {
    // The rows the reader went past are given back to the system as it reads on: a second pass
    // must still see them, and a message late in the file still names its line.
    constexpr std::size_t kRows = 90000;  // about 6 MB: several steps given back
    constexpr std::size_t kUnclosed = 80000;
    const std::string padding(40, 'n');
    std::string text = "Name,E-mail Address\r\n";
    for (std::size_t i = 0; i < kRows; ++i) {
        const std::string n = std::to_string(i);
        text += (i == kUnclosed ? "\"Ann " : "Person ") + n + padding + ",p" + n + "@x.org\r\n";
    }
    IterCSV r(run, file(text), kCsvFormat);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        const std::vector<Entry> got = readAll(r);
        ASSERT_EQ(got.size(), kRows);
        for (std::size_t i = 0; i < kRows; i += 997) {
            if (i == kUnclosed) continue;
            EXPECT_EQ(got[i][Field::FullName], "Person " + std::to_string(i) + padding);
            EXPECT_EQ(got[i][Field::Email], "p" + std::to_string(i) + "@x.org");
        }
        EXPECT_EQ(got[kRows - 1][Field::Email], "p" + std::to_string(kRows - 1) + "@x.org");
    }
    // The heading is line 1, so row i is line i + 2.
    EXPECT_NE(trace.text.find("in.csv:80002: a quoted value is not closed"), std::string::npos)
        << trace.text.substr(0, 500);
    EXPECT_FALSE(r.sourceFailed());
}

TEST_F(CsvTest, Utf8BomDoesNotHideTheFirstHeading) {
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "E-mail Address"}});
    const auto entries = read("\xEF\xBB\xBFName,E-mail Address\nJürgen Müller,jm@x.org\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Jürgen Müller");
}

TEST_F(CsvTest, Latin1FileIsDecoded) {
    const auto entries = read("Name,E-mail Address\nJ\xFCrgen,j@x.org\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Jürgen");
}

TEST_F(CsvTest, TabAndSemicolonFilesAreRead) {
    auto entries = read("Display Name\tPrimary Email\nAnn Lee\tann@x.org\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::Email], "ann@x.org");
    entries = read("Display Name;Primary Email\n\"Lee; Ann\";ann@x.org\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Lee; Ann");
}

TEST_F(CsvTest, MaskHoldsOnlyTheFieldsOfTheFile) {
    const auto entries = read("Name,E-mail Address,Notes\nAnn,a@x,n\n");
    ASSERT_EQ(entries.size(), 1u);
    const FieldMask& m = entries[0].mask;
    for (Field f :
         {Field::FullName, Field::Email, Field::Notes, Field::FirstName, Field::LastName}) {
        EXPECT_TRUE(m.test(static_cast<std::size_t>(f))) << fieldName(static_cast<int>(f));
    }
    EXPECT_FALSE(m.test(static_cast<std::size_t>(Field::HomePhone)));
    EXPECT_EQ(m.count(), 5u);
}

// ---------------------------------------------------------------------------------------------
// Writer

TEST_F(CsvTest, WriterLayoutQuotesEveryValueAndDoublesQuotes) {
    Entry e;
    e[Field::FullName] = "Bob \"Bobby\" Jones";
    e[Field::Email] = "bob@x.org";
    e[Field::Notes] = "a, b\nc";
    ToCSV w(run, dir.file("out.csv"));
    EXPECT_TRUE(w.write(e));
    std::string line = "\"Bob \"\"Bobby\"\" Jones\",\"bob@x.org\",";
    for (int i = 2; i < kFieldCount; ++i) {
        line += i == static_cast<int>(Field::Notes) ? "\"a, b\nc\"," : "\"\",";
    }
    line += "\"\",\"\",";  // Secondary Email, Birthday
    EXPECT_EQ(w.text(), std::string(kFixedHeader) + line + "\n");
    ASSERT_TRUE(w.finish());
    EXPECT_EQ(slurp(w.fileName()).substr(0, 6), "Name,E");
    EXPECT_NE(slurp(w.fileName()).find("Jones\",\"bob@x.org\""), std::string::npos);
    EXPECT_NE(slurp(w.fileName()).find("\"a, b\r\nc\""), std::string::npos);
}

TEST_F(CsvTest, HeaderUsesStoredHeadingsOnlyWithKeepAndNeverThePlaceholder) {
    storeHeadings({{Field::FullName, "Display Name"}, {Field::Email, "Mail, primary"}}, 0);
    EXPECT_EQ(ToCSV(run, dir.file("a.csv")).text(), kFixedHeader);

    csvSettings(run).reset();
    storeHeadings({{Field::FullName, "Display Name"}, {Field::Email, "Mail, primary"}}, 1);
    std::string expected = kFixedHeader;
    expected.replace(0, std::string("Name,E-mail Address").size(),
                     "Display Name,\"Mail, primary\"");
    const std::string header = ToCSV(run, dir.file("b.csv")).text();
    EXPECT_EQ(header, expected);
    EXPECT_EQ(header.find(kCsvPlaceholder), std::string::npos);

    csvSettings(run).reset();
    storeAbsolute();
    store.createKey(RootKey::CurrentUser, kCsvPositionKey);
    EXPECT_EQ(ToCSV(run, dir.file("c.csv")).text(), kFixedHeader);
}

Entry awkwardEntry(int n) {
    Entry e;
    const std::string values[] = {
        "Jürgen \"Jogi\" Müller",
        "Иван, Петров",
        "line one\nline two",
        "\"quoted\"",
        "trailing comma,",
        "日本語",
        " spaced ",
        "a\"\"b",
        "tab\there",
        "\"",
        ",",
        "",
    };
    for (int i = 0; i < kFieldCount; ++i) {
        e.at(i) = values[static_cast<std::size_t>(i + n) % std::size(values)];
    }
    return e;
}

TEST_F(CsvTest, RoundTripKeepsQuotesCommasLineBreaksAndNonAscii) {
    // Keep unset: the file's own headings are paired automatically.
    const std::string path = dir.file("round.csv");
    std::vector<Entry> in;
    for (int n = 0; n < 12; ++n) in.push_back(awkwardEntry(n));
    {
        ToCSV w(run, path);
        for (const Entry& e : in) w.write(e);
        ASSERT_TRUE(w.finish());
    }
    IterCSV r(run, path, kCsvFormat);
    for (int i = 0; i < kFieldCount; ++i) EXPECT_EQ(r.columnMap()[static_cast<size_t>(i)], i);
    const auto out = readAll(r);
    ASSERT_EQ(out.size(), in.size());
    for (std::size_t k = 0; k < in.size(); ++k)
        EXPECT_EQ(out[k].allFields(), in[k].allFields()) << k;
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CsvTest, RoundTripThroughABook) {
    NewAdbook book(run);
    Entry a;
    a[Field::FullName] = "Müller, Jürgen";
    a[Field::Email] = "jm@example.org";
    a[Field::Notes] = "Say \"hi\",\nthen leave";
    a[Field::HomeStreet] = "Hauptstr. 1\nHinterhaus";
    Entry b;
    b[Field::FullName] = "Иван Петров";
    b[Field::Email] = "ivan@example.ru";
    book.addEntry(a);
    book.addEntry(b);
    const std::string path = dir.file("book.csv");
    ToCSV w(run, path);
    ASSERT_TRUE(w.fromStart(book));
    IterCSV r(run, path, kCsvFormat);
    NewAdbook back(run);
    back.fromStart(r);
    ASSERT_EQ(back.entryCount(), 2);
    EXPECT_EQ(back.entryAt(0)[Field::FullName], "Müller, Jürgen");
    EXPECT_EQ(back.entryAt(0)[Field::Notes], "Say \"hi\",\nthen leave");
    EXPECT_EQ(back.entryAt(0)[Field::HomeStreet], "Hauptstr. 1\nHinterhaus");
    EXPECT_EQ(back.entryAt(1)[Field::FullName], "Иван Петров");
    EXPECT_EQ(back.entryAt(1)[Field::FirstName], "Иван");
}

// ---------------------------------------------------------------------------------------------
// The settings store

TEST_F(CsvTest, LoadsDefaultsWhenNothingIsStored) {
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    EXPECT_TRUE(s.loaded);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.keep, 0u);
    EXPECT_EQ(s.pairedCount(), 0);
    EXPECT_EQ(s.headerStrings[0], kCsvPlaceholder);
    EXPECT_EQ(s.fieldNames[33], "Spouse");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CsvTest, StoredHeadingsAreUsedWhenTheyStartWithALetterOrDigit) {
    storeHeadings({{Field::FullName, "Name"},
                   {Field::Email, "\"quoted\""},
                   {Field::Nickname, ""},
                   {Field::Notes, "2nd note"},
                   {Field::Title, "Überschrift"}});
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    EXPECT_EQ(*s.headingOf(static_cast<int>(Field::FullName)), "Name");
    EXPECT_EQ(s.headingOf(static_cast<int>(Field::Email)), nullptr);
    EXPECT_EQ(s.headingOf(static_cast<int>(Field::Nickname)), nullptr);
    EXPECT_EQ(*s.headingOf(static_cast<int>(Field::Notes)), "2nd note");
    EXPECT_EQ(*s.headingOf(static_cast<int>(Field::Title)), "Überschrift");
    EXPECT_EQ(s.keep, 1u);
}

TEST_F(CsvTest, ApplyStoresTheRegistryLayout) {
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    // The page swapped two rows: "Nickname" now sits in slot 0 with the first heading.
    std::swap(s.fieldNames[0], s.fieldNames[2]);
    s.headerStrings[0] = "Nick";
    s.headerStrings[1] = "Mail";
    ASSERT_TRUE(s.apply(run, CsvChoice::AlwaysUse));
    EXPECT_EQ(stored(kCsvKey, "useInts"), "#0");
    EXPECT_EQ(stored(kCsvKey, "keep"), "#1");
    EXPECT_EQ(stored(kCsvHeadingKey, "Nickname"), "Nick");
    EXPECT_EQ(stored(kCsvHeadingKey, "E-Mail Address"), "Mail");
    EXPECT_EQ(stored(kCsvHeadingKey, "Full Name"), "");
    EXPECT_EQ(stored(kCsvHeadingKey, "Spouse"), "");
    EXPECT_EQ(stored(kCsvPositionKey, "Full Name"), "<absent>");
    // Back in field order, each heading still with its field.
    EXPECT_EQ(s.fieldNames[0], "Full Name");
    EXPECT_EQ(*s.headingOf(static_cast<int>(Field::Nickname)), "Nick");
    EXPECT_EQ(s.headingOf(static_cast<int>(Field::FullName)), nullptr);

    ASSERT_TRUE(s.apply(run, CsvChoice::AlwaysDisplay));
    EXPECT_EQ(stored(kCsvKey, "keep"), "#0");

    // The next run reads the same map back.
    CsvSettings next;
    next.load(run);
    EXPECT_EQ(*next.headingOf(static_cast<int>(Field::Nickname)), "Nick");
    EXPECT_EQ(next.pairedCount(), 2);
}

TEST_F(CsvTest, ApplyForThisOperationOnlyStoresNothing) {
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    s.setHeading(static_cast<int>(Field::FullName), "Name");
    ASSERT_TRUE(s.apply(run, CsvChoice::OnlyThisOperation));
    EXPECT_FALSE(store.keyExists(RootKey::CurrentUser, kCsvKey));
    EXPECT_EQ(*s.headingOf(0), "Name");
}

TEST_F(CsvTest, AbsoluteApplyStoresRowNumbersAndReadsThemBack) {
    storeAbsolute(0);
    store.writeValue(RootKey::CurrentUser, kCsvPositionKey, "Full Name", SettingValue::ofNumber(1));
    store.writeValue(RootKey::CurrentUser, kCsvPositionKey, "E-Mail Address",
                     SettingValue::ofNumber(0));
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    // Rows are in column order.
    EXPECT_EQ(s.fieldNames[0], "E-Mail Address");
    EXPECT_EQ(s.fieldNames[1], "Full Name");
    ASSERT_TRUE(s.apply(run, CsvChoice::AlwaysUse));
    EXPECT_EQ(stored(kCsvPositionKey, "E-Mail Address"), "#0");
    EXPECT_EQ(stored(kCsvPositionKey, "Full Name"), "#1");
    EXPECT_EQ(stored(kCsvKey, "useInts"), "#1");
    EXPECT_EQ(s.positions[0], 1);
    EXPECT_EQ(s.positions[1], 0);
    CsvSettings next;
    next.load(run);
    EXPECT_EQ(next.positions, s.positions);
}

TEST_F(CsvTest, FailedWriteIsReportedOnce) {
    store.failWrites = true;
    CsvSettings& s = csvSettings(run);
    s.ensureLoaded(run);
    EXPECT_FALSE(s.apply(run, CsvChoice::AlwaysUse));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Error writing data!");
    EXPECT_EQ(prompts.messages[0].caption, "Vesk");
}

TEST_F(CsvTest, SettingsAreLoadedOncePerRun) {
    storeHeadings({{Field::FullName, "Name"}, {Field::Email, "E-mail Address"}});
    read("Name,E-mail Address\nAnn,a@x\n");
    storeHeadings({{Field::FullName, "Other"}});
    EXPECT_EQ(*csvSettings(run).headingOf(0), "Name");
}

// ---------------------------------------------------------------------------------------------
// Without a window: the automatic map

struct ExportCase {
    const char* file;
    std::map<Field, std::string> expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExportCase& c, std::ostream* os) {
    *os << c.file;
}

class CsvExports : public CsvTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(CsvExports, AutomaticMapReadsCommonExports) {
    const ExportCase& c = GetParam();
    IterCSV r(run, std::string(VESK_FIXTURES_DIR) + "/csv/" + c.file, kCsvFormat);
    NewAdbook book(run);
    book.fromStart(r);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(book.entryCount(), 1);
    const Entry e = book.entryAt(0);
    for (const auto& [f, v] : c.expected) {
        EXPECT_EQ(e[f], v) << fieldName(static_cast<int>(f));
    }
    // Nothing of it is stored.
    EXPECT_FALSE(store.keyExists(RootKey::CurrentUser, kCsvKey));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CsvExports,
    ::testing::Values(ExportCase{"outlook.csv",
                                 {{Field::FullName, "Jürgen Müller"},
                                  {Field::FirstName, "Jürgen"},
                                  {Field::LastName, "Müller"},
                                  {Field::Title, "Dr."},
                                  {Field::Email, "jm@example.org"},
                                  {Field::Organization, "Acme, Inc."},
                                  {Field::BusinessCountry, "Switzerland"},
                                  {Field::BusinessFax, "+41 31 000 00 01"},
                                  {Field::CellularPhone, "+41 79 000 00 00"},
                                  {Field::BusinessWebPage, "http://acme.example"},
                                  {Field::Notes, "Met at the fair.\nCall in spring, \"urgent\"."}}},
                      ExportCase{"thunderbird.csv",
                                 {{Field::FullName, "Иван Петров"},
                                  {Field::Nickname, "vanya"},
                                  {Field::Email, "ivan@example.ru"},
                                  {Field::BusinessPhone, "+7 495 000"},
                                  {Field::HomeStreet, "ул. Ленина, 1"},
                                  {Field::HomeCity, "Москва"},
                                  {Field::HomePostalCode, "101000"},
                                  {Field::JobTitle, "Engineer"},
                                  {Field::Organization, "Roga \"i\" Kopyta"},
                                  {Field::BusinessWebPage, "http://work.example"},
                                  {Field::HomeWebPage, "http://home.example"},
                                  {Field::Notes, "two\nlines"}}},
                      ExportCase{"google.csv",
                                 {{Field::FullName, "Ann Lee"},
                                  {Field::FirstName, "Ann"},
                                  {Field::LastName, "Lee"},
                                  {Field::Title, "Ms."},
                                  {Field::Nickname, "annie"},
                                  {Field::Notes, "said \"hello\""},
                                  {Field::Email, "ann@example.com"},
                                  {Field::HomeStreet, "1 Main St"},
                                  {Field::HomeCity, "Springfield"},
                                  {Field::Organization, "Example Corp"},
                                  {Field::JobTitle, "CTO"}}}),
    [](const auto& row) {
        std::string n = row.param.file;
        return n.substr(0, n.find('.'));
    });

TEST_F(CsvTest, AutomaticMapKeepsTheUsersPairings) {
    storeHeadings({{Field::Nickname, "Display Name"}}, 0);
    IterCSV r(run, file("Display Name,Primary Email,Mail\nannie,a@x,b@x\n"), kCsvFormat);
    EXPECT_EQ(col(r, Field::Nickname), 0);
    EXPECT_EQ(col(r, Field::Email), 1);
    EXPECT_EQ(col(r, Field::FullName), -1);
}

TEST_F(CsvTest, FileWithoutNameOrAddressColumnsIsReportedAndReadsNothing) {
    IterCSV r(run, file("Nom,Courriel\nJohn Doe,john at doe\nJane Doe,jane at doe\n"), kCsvFormat);
    EXPECT_TRUE(readAll(r).empty());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].text.find("\"Full Name\""), std::string::npos);
    EXPECT_FALSE(csvSettings(run).loaded);
}

TEST_F(CsvTest, AutomaticMapTable) {
    const std::pair<const char*, int> cases[] = {
        {"Name", 0},           {"\"E-mail Address\"", 1},
        {"e-mail address", 1}, {"Primary Email", 1},
        {"Display Name", 0},   {"Company", 5},
        {"Mobile Phone", 12},  {"Business Country/Region", 18},
        {"Given Name", 28},    {"Office Location", 32},
        {"Birthday", -1},      {"", -1},
    };
    for (const auto& [heading, field] : cases) {
        EXPECT_EQ(csvAutomaticField(heading), field) << heading;
    }
}

// ---------------------------------------------------------------------------------------------
// Files other programs wrote (read from the shared samples when present)

struct SampleCase {
    const char* file;
    int entries;
    const char* firstName;   ///< Full Name of the first entry, or nullptr
    const char* firstEmail;  ///< E-Mail Address of the first entry, or nullptr
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SampleCase& c, std::ostream* os) {
    *os << c.file;
}

class CsvSamples : public CsvTest, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(CsvSamples, ReadsRealExports) {
    const SampleCase& c = GetParam();
    const fs::path p = fs::path(VESK_SAMPLES_DIR) / "csv" / c.file;
    if (!fs::exists(p)) GTEST_SKIP() << "sample not present: " << p;
    IterCSV r(run, p.string(), kCsvFormat);
    NewAdbook book(run);
    book.fromStart(r);
    EXPECT_EQ(book.entryCount(), c.entries);
    if (book.entryCount() == 0) return;
    const Entry e = book.entryAt(0);
    if (c.firstName) {
        EXPECT_EQ(e[Field::FullName], c.firstName);
    }
    if (c.firstEmail) {
        EXPECT_EQ(e[Field::Email], c.firstEmail);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shared, CsvSamples,
    ::testing::Values(
        SampleCase{"horde-outlook-bug_6311.csv", 1, "John Smith", "john@example.com"},
        SampleCase{"horde-outlook-bug_6370.csv", 1, nullptr, nullptr},
        SampleCase{"horde-outlook-bug_6372.csv", 1, nullptr, nullptr},
        SampleCase{"roundcube-all.csv", 1, "Display Name", "home@example.com"},
        SampleCase{"roundcube-email.csv", 4, nullptr, "test1@domain.tld"},
        SampleCase{"roundcube-gmail.csv", 1, "Prefix Firstname Middle Lastname Suffix",
                   "home@aaa.pl"},
        SampleCase{"roundcube-outlook.csv", 1, nullptr, "test1@domain.tld"},
        SampleCase{"roundcube-tb_plain.csv", 1, "Displayname", "test@domain.tld"},
        SampleCase{"tb-basic_addressbook.csv", 1, "John Doe", "johndoe@host.invalid"},
        SampleCase{"tb-basic_csv_addressbook.csv", 2, "Jane Doe", "jane@doe.invalid"},
        SampleCase{"tb-browser-import.csv", 1, "contact number one", "contact1@invalid"},
        SampleCase{"tb-csv_no_header.csv", 2, "Jane Doe", "jane@doe.invalid"},
        SampleCase{"tb-csv_semicolon.csv", 2, "Jane Doe", "jane@doe.invalid"},
        SampleCase{"tb-export-tab.txt", 2, "contact number one", "contact1@invalid"},
        SampleCase{"tb-export.csv", 2, "contact number one", "contact1@invalid"},
        SampleCase{"tb-quote.csv", 1, "Acer America", nullptr},
        SampleCase{"tb-utf16_addressbook.csv", 1, "John Doe", "johndoe@host.invalid"}),
    [](const auto& row) {
        std::string n = row.param.file;
        n = n.substr(0, n.find('.'));
        for (char& ch : n) {
            if (ch == '-') ch = '_';
        }
        return n;
    });

TEST_F(CsvTest, SampleWithMultiLineValuesKeepsThem) {
    const fs::path p = fs::path(VESK_SAMPLES_DIR) / "csv" / "horde-outlook-bug_6372.csv";
    if (!fs::exists(p)) GTEST_SKIP() << "sample not present: " << p;
    IterCSV r(run, p.string(), kCsvFormat);
    const auto entries = readAll(r);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::BusinessStreet], "123, 12th Floor,\nMain Street");

    const fs::path q = fs::path(VESK_SAMPLES_DIR) / "csv" / "tb-export.csv";
    if (!fs::exists(q)) GTEST_SKIP() << "sample not present: " << q;
    IterCSV tb(run, q.string(), kCsvFormat);
    const auto two = readAll(tb);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1][Field::JobTitle], "\"worker\"");
}

}  // namespace
}  // namespace vesk
