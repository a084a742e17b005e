// CSV files as people have them: without a heading line, with the headings of other programs'
// exports (typed columns, second street lines), and paired from the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/csv.h"
#include "formats/csv_columns.h"
#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterCSV;

class CsvLayouts : public ::testing::Test {
  protected:
    void SetUp() override { csvSettings(run).reset(); }

    std::vector<Entry> readFile(const std::string& path) {
        IterCSV r(run, path, kCsvFormat);
        std::vector<Entry> out;
        r.rewind();
        for (int guard = 0; !r.atEnd() && guard < 1000; ++guard) out.push_back(r.nextEntry());
        return out;
    }
    std::vector<Entry> read(const std::string& bytes) {
        const std::string p = dir.file("in.csv");
        testing::spit(p, bytes);
        return readFile(p);
    }
    std::vector<Entry> fixture(const std::string& name) {
        return readFile(std::string(VESK_FIXTURES_DIR) + "/csv/" + name);
    }

    testing::TempDir dir;
    testing::TestRun run;
};

TEST_F(CsvLayouts, ThunderbirdFileWithoutHeadingsIsReadByContent) {
    const auto got = fixture("thunderbird-no-header.csv");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][Field::FullName], "Ann Lee");
    EXPECT_EQ(got[0][Field::FirstName], "Ann");
    EXPECT_EQ(got[0][Field::LastName], "Lee");
    EXPECT_EQ(got[0][Field::Email], "ann@example.org");
    EXPECT_EQ(got[1][Field::FullName], "João Simões");
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST_F(CsvLayouts, AbookExportReadsEveryRowAndKeepsUtf8BesideACutNote) {
    const auto got = fixture("abook-export.csv");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0][Field::FullName], "Ann Lee");
    // abook joins a person's addresses in one cell; the first is the address.
    EXPECT_EQ(got[0][Field::Email], "ann@example.org");
    EXPECT_EQ(got[0][Field::HomePhone], "555 1234");
    // The note cut inside a character leaves the other rows UTF-8.
    EXPECT_EQ(got[1][Field::FullName], "João Simões");
    EXPECT_EQ(got[1][Field::HomePhone], "+351 21 000 0000");
    EXPECT_EQ(got[2][Field::Email], "bo@example.org");
}

TEST_F(CsvLayouts, FileWithoutMarkerReadsInTheEncodingTheUserNames) {
    const std::string path = testing::samplePath("csv/tb-shiftjis_addressbook.csv");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not present: " << path;
    run.sourceEncoding = "Shift_JIS";
    const auto got = readFile(path);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::FullName], "名無しの権兵衛");
    EXPECT_EQ(got[0][Field::FirstName], "権兵衛");
}

TEST_F(CsvLayouts, HeadingLineIsNotTakenForData) {
    const auto got = read("Name,Mail\nAnn Lee,ann@example.org\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::Email], "ann@example.org");
}

TEST_F(CsvLayouts, HeaderlessCellOfSeveralAddressesKeepsThemAll) {
    const auto got = read(
        "Ann Lee,\"ann@a.example, ann@b.example,ann@c.example\"\n"
        "Bo Ek,bo@example.org\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][Field::Email], "ann@a.example");
    std::vector<std::string> further;
    for (const Extra& x : got[0].extras) {
        if (x.kind == ExtraKind::Email) further.push_back(x.value);
    }
    EXPECT_EQ(further, (std::vector<std::string>{"ann@b.example", "ann@c.example"}));
    EXPECT_EQ(got[1][Field::Email], "bo@example.org");
    EXPECT_TRUE(got[1].extras.empty());
}

TEST_F(CsvLayouts, ContentColumnsTable) {
    const struct {
        const char* label;
        std::vector<csv::Row> rows;
        bool headerless;
        std::map<Field, int> columns;
    } cases[] = {
        {"nameMailPhone",
         {{"Ann Lee", "ann@x.org", "+41 31 000 00 00"}, {"Bo", "bo@x.org", ""}},
         true,
         {{Field::FullName, 0}, {Field::Email, 1}, {Field::HomePhone, 2}}},
        {"phonesInOrder",
         {{"a@x.org", "Ann", "555 0001", "555 0002", "555 0003", "555 0004"}},
         true,
         {{Field::Email, 0},
          {Field::FullName, 1},
          {Field::HomePhone, 2},
          {Field::BusinessPhone, 3},
          {Field::CellularPhone, 4}}},
        // Notes of many words beside names of one word: the names are the name column.
        {"notesAreNoNames",
         {{"Bo", "bo@x.org", "met him at the fair in spring last year"},
          {"Ann Lee", "ann@x.org", "likes tea"},
          {"Cid", "cid@x.org", "wants the report before the board meeting next week"}},
         true,
         {{Field::FullName, 0}, {Field::Email, 1}}},
        {"headingLine", {{"Name", "E-mail"}, {"Ann", "a@x.org"}}, false, {}},
        {"noAddresses", {{"Ann", "555 0001"}, {"Bo", "555 0002"}}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(csv::looksHeaderless(c.rows), c.headerless);
        if (!c.headerless) continue;
        const csv::ColumnMap map = csv::columnsByContent(c.rows);
        for (int f = 0; f < kFieldCount; ++f) {
            const auto it = c.columns.find(static_cast<Field>(f));
            EXPECT_EQ(map[static_cast<std::size_t>(f)], it == c.columns.end() ? -1 : it->second)
                << fieldName(f);
        }
    }
}

TEST_F(CsvLayouts, CommonHeadingVariants) {
    // Roundcube's kinds of e-mail (the first column gives the address), Thunderbird's second
    // address lines, Outlook's further street lines.
    const auto got = read(
        "Display Name,Email Work,Email Home,Home Address,Home Address 2,Work Address,"
        "Work Address 2,Business Street 3\n"
        "Ann Lee,ann@work.example,ann@home.example,1 Main St,Flat 2,9 Dock Rd,,Gate B\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::Email], "ann@work.example");
    // The other kind's address is kept as a further e-mail, not dropped.
    EXPECT_EQ(got[0].extra(ExtraKind::Email), "ann@home.example");
    EXPECT_EQ(got[0][Field::HomeStreet], "1 Main St\nFlat 2");
    EXPECT_EQ(got[0][Field::BusinessStreet], "9 Dock Rd\nGate B");
}

TEST_F(CsvLayouts, GoogleTypedColumnsGoWhereEachRowsTypeSays) {
    const auto got = read(
        "First Name,Last Name,E-mail 1 - Label,E-mail 1 - Value,Phone 1 - Label,Phone 1 - Value,"
        "Phone 2 - Label,Phone 2 - Value,Address 1 - Label,Address 1 - Street,Address 1 - City,"
        "Address 1 - Postal Code,Website 1 - Label,Website 1 - Value\n"
        "Ann,Lee,* Work,ann@work.example ::: ann@home.example,Mobile,+41 79 000,Work Fax,"
        "+41 31 001,Work,9 Dock Rd,Bern,3000,Work,http://acme.example\n"
        "Bo,Ek,Home,bo@example.org,Home,+46 8 000,,,Home,1 Elm,Lund,,,\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][Field::FirstName], "Ann");
    EXPECT_EQ(got[0][Field::Email], "ann@work.example");
    EXPECT_EQ(got[0].extra(ExtraKind::Email), "ann@home.example");
    EXPECT_EQ(got[0][Field::CellularPhone], "+41 79 000");
    EXPECT_EQ(got[0][Field::BusinessFax], "+41 31 001");
    EXPECT_EQ(got[0][Field::BusinessStreet], "9 Dock Rd");
    EXPECT_EQ(got[0][Field::BusinessCity], "Bern");
    EXPECT_EQ(got[0][Field::BusinessPostalCode], "3000");
    EXPECT_EQ(got[0][Field::HomeStreet], "");
    EXPECT_EQ(got[0][Field::BusinessWebPage], "http://acme.example");
    EXPECT_EQ(got[1][Field::HomePhone], "+46 8 000");
    EXPECT_EQ(got[1][Field::HomeStreet], "1 Elm");
    EXPECT_EQ(got[1][Field::HomeCity], "Lund");
    EXPECT_EQ(got[1][Field::BusinessStreet], "");
}

TEST_F(CsvLayouts, CommandLineMapPairsHeadingsAndColumnNumbers) {
    std::string error;
    ASSERT_TRUE(setCsvCommandLineMap(run, "Correo=E-Mail Address, Nombre = full name", error));
    auto got = read("Nombre,Correo,Notas\nAna,ana@example.es,x\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::FullName], "Ana");
    EXPECT_EQ(got[0][Field::Email], "ana@example.es");
    EXPECT_TRUE(run.prompts.messages.empty());

    // Numbers from 1 name the columns of a file without headings; they win over the content.
    ASSERT_TRUE(setCsvCommandLineMap(run, "3=Notes,2=Nickname", error));
    got = read("Ann Lee,annie,likes tea,ann@example.org\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][Field::Nickname], "annie");
    EXPECT_EQ(got[0][Field::Notes], "likes tea");
    EXPECT_EQ(got[0][Field::Email], "ann@example.org");
}

TEST_F(CsvLayouts, CommandLineMapRefusesWhatPairsNothing) {
    for (const char* text : {"", "Mail", "Mail=No Such Field", "=Notes"}) {
        std::string error;
        EXPECT_FALSE(setCsvCommandLineMap(run, text, error)) << text;
        EXPECT_NE(error.find("--csv-map"), std::string::npos) << error;
    }
}

TEST_F(CsvLayouts, FileThatGivesNothingNamesTheCommandLineOption) {
    // Neither a heading nor a column of addresses: nothing to read, and the way out is named.
    EXPECT_TRUE(read("Ann Lee,555 0001\nBo Ek,555 0002\n").empty());
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_NE(run.prompts.messages[0].text.find("--csv-map"), std::string::npos);
    EXPECT_EQ(run.prompts.messages[0].text.find("\"CSV Options\" page"), std::string::npos);
}

}  // namespace
}  // namespace vesk
