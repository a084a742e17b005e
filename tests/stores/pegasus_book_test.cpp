#include "stores/pegasus_book.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "operations/selection.h"
#include "platform/prompt.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterPMR;
using testing::slurp;

constexpr std::size_t kRecord = 910;

/// ASCII text as UTF-16LE bytes.
std::string utf16(std::string_view ascii) {
    std::string out;
    for (const char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

/// A record of `size` bytes with `text` put at each byte offset.
std::string record(std::vector<std::pair<std::size_t, std::string>> slots,
                   std::size_t size = kRecord) {
    std::string out(size, '\0');
    for (const auto& [offset, text] : slots) out.replace(offset, text.size(), text);
    return out;
}

std::string header(std::string_view title) {
    std::string out(128, '\0');
    out.replace(0, title.size() * 2, utf16(title));
    return out;
}

/// A book of `count` records named R0, R1, ... (mail r0@x, ...), `stride` bytes apart, cut or
/// padded to `size` bytes.
std::string numberedBook(std::size_t count, std::size_t stride, std::size_t size) {
    std::string out = header("Book");
    for (std::size_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        out += record({{2, utf16("R" + n)}, {682, utf16("r" + n + "@x")}}, stride);
    }
    out.resize(size, '\0');
    return out;
}

std::vector<Entry> readAll(IterBase& reader) {
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 1000) out.push_back(reader.nextEntry());
    return out;
}

struct SizeCase {
    const char* label;
    std::size_t records;  ///< records made
    std::size_t stride;
    std::size_t size;  ///< the file's size
    std::size_t read;  ///< records the reader finds
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.label;
}

class PegasusRecordCount : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PegasusRecordCount, ComesFromTheFileSize) {
    const SizeCase& c = GetParam();
    testing::TempDir dir;
    testing::TestRun run;
    IterPMR reader(run, dir.file("book.pmr", numberedBook(c.records, c.stride, c.size)));
    const std::vector<Entry> entries = readAll(reader);
    ASSERT_EQ(entries.size(), c.read);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i][Field::FullName], "R" + std::to_string(i));
        EXPECT_EQ(entries[i][Field::Email], "r" + std::to_string(i) + "@x");
    }
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.progress(), 1.0f);
    reader.rewind();
    EXPECT_EQ(readAll(reader).size(), c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PegasusRecordCount,
    ::testing::Values(SizeCase{"threeRecords", 3, 910, 128 + 3 * 910, 3},
                      // The last two bytes of a record are reserved.
                      SizeCase{"lastRecordWithoutReservedBytes", 2, 910, 126 + 2 * 910, 2},
                      SizeCase{"partialLastRecordIgnored", 2, 910, 126 + 910 + 500, 1},
                      // Every record after the first would be read from the wrong place.
                      SizeCase{"olderLayoutOf914", 3, 914, 128 + 3 * 914, 3},
                      SizeCase{"headerOnly", 0, 910, 128, 0},
                      SizeCase{"shorterThanAHeader", 0, 910, 60, 0},
                      SizeCase{"empty", 0, 910, 0, 0}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(PegasusReader, OneSlotFillsTwoFieldsAndTheMaskHoldsWhatIsRead) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string book = header("Friends") + record({{2, utf16("Ann Lee")},
                                                         {82, utf16("Acme")},
                                                         {162, utf16("KEY")},
                                                         {186, utf16("Main St; Bern, BE 3000;CH")},
                                                         {306, utf16("PO Box 1")},
                                                         {426, utf16("555-1234")},
                                                         {474, utf16("555-9999")},
                                                         {522, utf16("met at work")},
                                                         {682, utf16("ann@x.org")}});
    IterPMR reader(run, dir.file("book.pmr", book));
    EXPECT_EQ(reader.name(), "Friends");
    const Entry e = reader.nextEntry();
    EXPECT_EQ(e[Field::FullName], "Ann Lee");
    EXPECT_EQ(e[Field::Nickname], "Ann Lee");
    EXPECT_EQ(e[Field::Organization], "Acme");
    EXPECT_EQ(e[Field::Department], "Acme");
    EXPECT_EQ(e[Field::HomeStreet], "Main St; Bern, BE 3000;CH");
    EXPECT_EQ(e[Field::BusinessStreet], "PO Box 1");
    EXPECT_EQ(e[Field::HomePhone], "555-1234");
    EXPECT_EQ(e[Field::BusinessPhone], "555-1234");
    EXPECT_EQ(e[Field::HomeFax], "555-9999");
    EXPECT_EQ(e[Field::Notes], "met at work");
    EXPECT_EQ(e[Field::Email], "ann@x.org");
    EXPECT_TRUE(e[Field::HomeCity].empty());
    // Every field read is in the mask, the postal address included, and no other.
    FieldMask filled;
    for (int f = 0; f < kFieldCount; ++f) filled.set(static_cast<std::size_t>(f), !e.at(f).empty());
    EXPECT_EQ(e.mask, filled);
    EXPECT_TRUE(reader.atEnd());

    // A book keeps the postal address.
    NewAdbook imported(run);
    IterPMR again(run, dir.file("book.pmr"));
    imported.fromStart(again);
    ASSERT_EQ(imported.entryCount(), 1);
    EXPECT_EQ(imported.entryAt(0)[Field::BusinessStreet], "PO Box 1");
}

TEST(PegasusReader, AFullSlotEndsAtItsEdge) {
    testing::TempDir dir;
    testing::TestRun run;
    // No NUL in the name or e-mail slot: neither runs into what follows it.
    const std::string name(40, 'N');
    const std::string mail(100, 'm');
    const std::string book =
        header(std::string(64, 'T')) + record({{2, utf16(name)},
                                               {82, utf16("Org")},
                                               {682, utf16(mail)},
                                               {882, std::string(28, '\x41')}});
    IterPMR reader(run, dir.file("book.pmr", book));
    EXPECT_EQ(reader.name(), std::string(64, 'T'));
    const Entry e = reader.nextEntry();
    EXPECT_EQ(e[Field::FullName], name);
    EXPECT_EQ(e[Field::Organization], "Org");
    EXPECT_EQ(e[Field::Email], mail);
}

TEST(PegasusReader, UnopenableFileIsReportedAndGivesNothing) {
    testing::TempDir dir;
    testing::TestRun run;
    IterPMR reader(run, dir.file("missing.pmr"));
    EXPECT_TRUE(reader.atEnd());
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].caption, dir.file("missing.pmr"));
}

/// The slot at `offset` of record `n` of a written book, as text.
std::string slotOf(const std::string& book, std::size_t n, std::size_t offset, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        const std::size_t at = 128 + n * kRecord + offset + 2 * i;
        if (book[at] == 0 && book[at + 1] == 0) break;
        out.push_back(book[at + 1] == 0 ? book[at] : '?');
    }
    return out;
}

struct CutCase {
    const char* label;
    Field field;
    std::string value;
    std::size_t offset;
    std::size_t units;  ///< the slot's size
    std::string written;
};

void PrintTo(const CutCase& c, std::ostream* os) {
    *os << c.label;
}

class PegasusSlots : public ::testing::TestWithParam<CutCase> {};

TEST_P(PegasusSlots, HoldTheValueCutToTheSlotLessOne) {
    const CutCase& c = GetParam();
    testing::TempDir dir;
    testing::TestRun run;
    Entry e;
    e.at(static_cast<int>(c.field)) = c.value;
    ToPMR writer(run, dir.file("book.pmr"), "Book");
    ASSERT_TRUE(writer.write(e));
    ASSERT_TRUE(writer.finish());
    const std::string book = slurp(dir.file("book.pmr"));
    ASSERT_EQ(book.size(), 128 + kRecord);
    EXPECT_EQ(slotOf(book, 0, c.offset, c.units), c.written);
    // The slot's last character is always its NUL.
    EXPECT_EQ(book.substr(128 + c.offset + 2 * (c.units - 1), 2), std::string(2, '\0'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PegasusSlots,
    ::testing::Values(
        CutCase{"name", Field::FullName, std::string(50, 'n'), 2, 40, std::string(39, 'n')},
        CutCase{"organization", Field::Organization, std::string(45, 'o'), 82, 40,
                std::string(39, 'o')},
        CutCase{"businessPhone", Field::BusinessPhone, std::string(30, '5'), 426, 24,
                std::string(23, '5')},
        CutCase{"homeFax", Field::HomeFax, std::string(30, '6'), 474, 24, std::string(23, '6')},
        CutCase{"notes", Field::Notes, std::string(100, 't'), 522, 80, std::string(79, 't')},
        CutCase{"email", Field::Email, std::string(120, 'e'), 682, 100, std::string(99, 'e')},
        CutCase{"exactFit", Field::FullName, std::string(39, 'n'), 2, 40, std::string(39, 'n')},
        // Half a surrogate pair would be no character at all.
        CutCase{"pairAtTheCut", Field::FullName, std::string(38, 'n') + "\xF0\x9F\x98\x80", 2, 40,
                std::string(38, 'n')},
        CutCase{"pairInside", Field::FullName,
                "a\xF0\x9F\x98\x80"
                "b",
                2, 40, "a??b"},
        CutCase{"homeCityOnly", Field::HomeCity, "Bern", 186, 60, "; Bern,  ;"},
        CutCase{"businessCountryOnly", Field::BusinessCountry, "CH", 306, 60, "; ,  ;CH"},
        CutCase{"homePhoneIsNotWritten", Field::HomePhone, "555", 426, 24, ""}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(PegasusWriter, AddressLinesJoinTheFivePartsOrStayEmpty) {
    testing::TempDir dir;
    testing::TestRun run;
    Entry full;
    full[Field::HomeStreet] = "Main St";
    full[Field::HomeCity] = "Bern";
    full[Field::HomeState] = "BE";
    full[Field::HomePostalCode] = "3000";
    full[Field::HomeCountry] = "CH";
    full[Field::BusinessStreet] = "Work Rd";
    Entry none = testing::contact("Nobody");
    ToPMR writer(run, dir.file("book.pmr"), "Book");
    ASSERT_TRUE(writer.write(full));
    ASSERT_TRUE(writer.write(none));
    ASSERT_TRUE(writer.finish());
    const std::string book = slurp(dir.file("book.pmr"));
    EXPECT_EQ(slotOf(book, 0, 186, 60), "Main St; Bern, BE 3000;CH");
    EXPECT_EQ(slotOf(book, 0, 306, 60), "Work Rd; ,  ;");
    EXPECT_EQ(book.substr(128 + kRecord + 186, 240), std::string(240, '\0'));
}

TEST(PegasusWriter, IndexNumbersTheRecordsAndNamesThem) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("BOOK.PMR");
    ToPMR writer(run, path, "Book");
    std::vector<Entry> entries = {testing::contact(std::string(40, 'a')), testing::contact("Bob"),
                                  testing::contact("Cid")};
    entries[1][Field::BusinessPhone] = "0123456789012345";
    for (const Entry& e : entries) ASSERT_TRUE(writer.write(e));
    EXPECT_FALSE(writer.write(markerEntry(KindFolderBegin, "F")));
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(ToPMR::indexFileOf(path), dir.file("BOOK.PM!"));
    EXPECT_EQ(slurp(dir.file("BOOK.PMR")).size(), 128 + 3 * kRecord);
    const std::string index = slurp(dir.file("BOOK.PM!"));
    ASSERT_EQ(index.size(), 3 * 124u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string rec = index.substr(i * 124, 124);
        EXPECT_EQ(rec.substr(0, 26), std::string(26, '\0'));
        EXPECT_EQ(static_cast<std::size_t>(static_cast<unsigned char>(rec[26])), i);
        EXPECT_EQ(rec[27], '\0');
    }
    EXPECT_EQ(index.substr(28, 72), utf16(std::string(35, 'a')) + std::string(2, '\0'));
    EXPECT_EQ(index.substr(124 + 28, 6), utf16("Bob"));
    EXPECT_EQ(index.substr(124 + 100, 24), utf16("01234567890") + std::string(2, '\0'));
}

TEST(PegasusWriter, ABookOfManyChunksKeepsEveryRecordInOrder) {
    // 1000 records make more than three of the chunks the files are written in.
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("book.pmr");
    ToPMR writer(run, path, "Many");
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(writer.write(testing::contact("N" + std::to_string(i))));
    ASSERT_TRUE(writer.finish());
    const std::string book = slurp(path);
    const std::string index = slurp(ToPMR::indexFileOf(path));
    ASSERT_EQ(book.size(), 128 + 1000 * kRecord);
    ASSERT_EQ(index.size(), 1000 * 124u);
    EXPECT_EQ(book.substr(0, 8), utf16("Many"));
    for (const std::size_t i : {0u, 287u, 288u, 999u}) {
        EXPECT_EQ(slotOf(book, i, 2, 40), "N" + std::to_string(i));
        EXPECT_EQ(index.substr(i * 124 + 28, 2), "N" + std::string(1, '\0'));
    }
}

TEST(PegasusWriter, IndexFileNameFollowsTheRecordFile) {
    EXPECT_EQ(ToPMR::indexFileOf("/a/book.pmr"), "/a/book.pm!");
    EXPECT_EQ(ToPMR::indexFileOf("/a/ADDR0001.PMR"), "/a/ADDR0001.PM!");
    EXPECT_EQ(ToPMR::indexFileOf("/a.b/book"), "/a.b/book.pm!");
}

TEST(PegasusWriter, HeaderHoldsTheTitleCutToLeaveItsNul) {
    testing::TempDir dir;
    testing::TestRun run;
    ToPMR writer(run, dir.file("book.pmr"), std::string(70, 't'));
    ASSERT_TRUE(writer.finish());
    const std::string book = slurp(dir.file("book.pmr"));
    ASSERT_EQ(book.size(), 128u);
    EXPECT_EQ(book.substr(0, 126), utf16(std::string(63, 't')));
    EXPECT_EQ(book.substr(126), std::string(2, '\0'));
    EXPECT_EQ(slurp(dir.file("book.pm!")), "");
}

TEST(PegasusWriter, RoundTripKeepsAccentsAndLineBreaks) {
    testing::TempDir dir;
    testing::TestRun run;
    Entry e = testing::contact("J\xC3\xBCrgen M\xC3\xBCller", "j\xC3\xBC@x.org");
    e[Field::Organization] = "Caf\xC3\xA9 Z\xC3\xBCrich";
    e[Field::BusinessPhone] = "+41 44 123";
    e[Field::HomeFax] = "+41 44 999";
    e[Field::Notes] = "line one\nline two \xE2\x9C\x93\r\n\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";
    e[Field::HomeStreet] =
        "Hauptstra\xC3\x9F"
        "e 1\nHinterhaus";
    e[Field::HomeCity] = "Z\xC3\xBCrich";
    e[Field::BusinessStreet] = "\xF0\x9F\x8F\xA2 Tower";
    testing::ScriptedReader source("book", {e, testing::contact("Bob", "bob@x.org")});
    const std::string path = dir.file("book.pmr");
    ToPMR writer(run, path, "Book");
    ASSERT_TRUE(writer.fromStart(source));

    IterPMR reader(run, path);
    const std::vector<Entry> back = readAll(reader);
    ASSERT_EQ(back.size(), 2u);
    for (Field f : {Field::FullName, Field::Email, Field::Organization, Field::BusinessPhone,
                    Field::HomeFax, Field::Notes}) {
        EXPECT_EQ(back[0][f], e[f]) << fieldName(static_cast<int>(f));
    }
    EXPECT_EQ(back[0][Field::HomeStreet],
              "Hauptstra\xC3\x9F"
              "e 1\nHinterhaus; Z\xC3\xBCrich,  ;");
    EXPECT_EQ(back[0][Field::BusinessStreet], "\xF0\x9F\x8F\xA2 Tower; ,  ;");
    EXPECT_EQ(back[1][Field::FullName], "Bob");
}

/// The names in a Pegasus book, in file order.
std::vector<std::string> namesIn(RunContext& run, const std::string& path) {
    IterPMR reader(run, path);
    std::vector<std::string> out;
    for (const Entry& e : readAll(reader)) out.push_back(e[Field::FullName]);
    return out;
}

TEST(PegasusWriter, SavingKeepsTheExistingBookAndItsTitle) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("ADDR0001.pmr");
    testing::ScriptedReader old("old", {testing::contact("Old", "old@x.org")});
    ASSERT_TRUE(ToPMR(run, path, "My friends").fromStart(old));

    PlainBookView view(run);
    view.currentBook().addEntry(testing::contact("New", "new@x.org"));
    const SaveOutcome saved = saveToFile(path, view);
    ASSERT_EQ(saved.status, SaveStatus::Saved);
    EXPECT_TRUE(saved.mergedWithExisting);
    EXPECT_EQ(namesIn(run, path), (std::vector<std::string>{"New", "Old"}));
    IterPMR reader(run, path);
    EXPECT_EQ(reader.name(), "My friends");
    EXPECT_EQ(slurp(dir.file("ADDR0001.pm!")).size(), 2 * 124u);
    EXPECT_TRUE(fs::exists(path + ".bak"));
}

TEST(PegasusWriter, ANewBookIsTitledWithItsFileName) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Friends.pmr");
    PlainBookView view(run);
    view.currentBook().addEntry(testing::contact("Ann", "ann@x.org"));
    ASSERT_EQ(saveToFile(path, view).status, SaveStatus::Saved);
    IterPMR reader(run, path);
    EXPECT_EQ(reader.name(), "Friends");
}

TEST(PegasusWriter, AFailedWriteIsReportedAndLeavesTheBook) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("book.pmr");
    testing::ScriptedReader old("old", {testing::contact("Old", "old@x.org")});
    ASSERT_TRUE(ToPMR(run, path, "Book").fromStart(old));
    const std::string before = slurp(path);
    // The index cannot be made: neither file may change.
    fs::remove(dir.file("book.pm!"));
    fs::create_directories(dir.file("book.pm!") + "/inside");

    PlainBookView view(run);
    view.currentBook().addEntry(testing::contact("New", "new@x.org"));
    const SaveOutcome saved = saveToFile(path, view);
    EXPECT_EQ(saved.status, SaveStatus::Failed);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "File write Error");
    EXPECT_EQ(run.prompts.messages[0].caption, path);
    EXPECT_EQ(slurp(path), before);

    ToPMR nowhere(run, dir.file("no/such/folder/book.pmr"), "Book");
    EXPECT_TRUE(nowhere.write(testing::contact("A")));
    EXPECT_FALSE(nowhere.finish());
    EXPECT_FALSE(nowhere.succeeded());
}

TEST(PegasusSamples, RealBooksReadToTheEnd) {
    const char* env = std::getenv("VESK_SAMPLES_DIR");
    const fs::path samples(env && *env ? env : VESK_SAMPLES_DIR);
    if (!fs::is_directory(samples)) GTEST_SKIP() << "no samples folder";
    int files = 0;
    for (const auto& item : fs::recursive_directory_iterator(samples)) {
        std::string ext = item.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!item.is_regular_file() || ext != ".pmr") continue;
        ++files;
        SCOPED_TRACE(item.path().string());
        testing::TestRun run;
        IterPMR reader(run, item.path().string());
        NewAdbook book(run);
        book.fromStart(reader);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_GT(book.entryCount(), 0);
    }
    if (files == 0) GTEST_SKIP() << "no .pmr file among the samples";
}

}  // namespace
}  // namespace vesk
