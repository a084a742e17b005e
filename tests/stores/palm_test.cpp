#include "stores/palm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterPALM;

// address.dat files are built here from the documented layout: no real one is at hand.
std::string le(std::uint32_t v, int width = 4) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}
std::string cstr(const std::string& s) {
    if (s.size() < 255) return static_cast<char>(s.size()) + s;
    return "\xFF" + le(static_cast<std::uint32_t>(s.size()), 2) + s;
}

const std::vector<int> kTypes = {1, 1, 1, 5, 5, 5, 5, 1, 5, 1, 5, 1, 5, 1, 5,
                                 1, 5, 5, 5, 5, 5, 5, 5, 6, 1, 5, 5, 5, 5, 1};

/// One record: `strings` fills the string fields by field number, `status` the status field.
std::string record(const std::map<int, std::string>& strings, std::uint32_t status = 0) {
    std::string out;
    for (int i = 0; i < 30; ++i) {
        out += le(static_cast<std::uint32_t>(kTypes[static_cast<std::size_t>(i)]));
        if (kTypes[static_cast<std::size_t>(i)] == 5) {
            const auto it = strings.find(i);
            out += le(0) + cstr(it == strings.end() ? "" : it->second);
        } else {
            out += le(i == 1 ? status : 0);
        }
    }
    return out;
}

std::string palmFile(const std::vector<std::string>& records) {
    std::string out("\x00\x01\x42\x41", 4);
    out += cstr("C:\\Palm\\LeeA\\address\\address.dat") + cstr("Custom 1\x0c") + le(17) + le(2);
    out += le(0) + le(1) + le(0) + cstr("Business") + cstr("Bus");
    out += le(1) + le(2) + le(0) + cstr("Personal") + cstr("Pers");
    out += le(54) + le(30) + le(0) + le(1) + le(2) + le(30, 2);
    for (int t : kTypes) out += le(static_cast<std::uint32_t>(t), 2);
    out += le(static_cast<std::uint32_t>(records.size() * 30));
    for (const auto& r : records) out += r;
    return out;
}

std::vector<Entry> readAll(const std::string& path, testing::TestRun& run) {
    IterPALM reader(run, path);
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 1000) out.push_back(reader.nextEntry());
    return out;
}

TEST(PalmReader, MapsTheRecordStringsByPosition) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string longNote(300, 'n');
    const auto path =
        dir.file("address.dat", palmFile({record({{3, "Lee"},
                                                  {4, "Ann"},
                                                  {5, "Boss"},
                                                  {6, "Acme"},
                                                  {8, "555-1"},
                                                  {10, "555-2"},
                                                  {12, "555-3"},
                                                  {14, "unused"},
                                                  {16, "ann@acme.example"},
                                                  {17, "1 Road"},
                                                  {18, "Town"},
                                                  {19, "ST"},
                                                  {20, "12345"},
                                                  {21, "Land"},
                                                  {22, longNote},
                                                  {25, "custom"}}),
                                          record({{6, "No Names Inc"}}), record({{3, "Lee"}}),
                                          record({{4, "M\xfcller"}})}));
    const auto entries = readAll(path, run);
    ASSERT_EQ(entries.size(), 4u);
    const Entry& e = entries[0];
    EXPECT_EQ(e[Field::FullName], "Ann Lee");
    EXPECT_EQ(e[Field::Nickname], "Ann Lee");
    EXPECT_EQ(e[Field::Title], "Boss");
    EXPECT_EQ(e[Field::Organization], "Acme");
    EXPECT_EQ(e[Field::BusinessPhone], "555-1");
    EXPECT_EQ(e[Field::HomePhone], "555-2");
    EXPECT_EQ(e[Field::BusinessFax], "555-3");
    EXPECT_EQ(e[Field::Email], "ann@acme.example");
    EXPECT_EQ(e[Field::BusinessStreet], "1 Road");
    EXPECT_EQ(e[Field::BusinessCity], "Town");
    EXPECT_EQ(e[Field::BusinessState], "ST");
    EXPECT_EQ(e[Field::BusinessPostalCode], "12345");
    EXPECT_EQ(e[Field::BusinessCountry], "Land");
    EXPECT_EQ(e[Field::Notes], longNote);
    for (const auto& f : e.allFields()) EXPECT_NE(f, "unused");
    // Names join only the parts that are there.
    EXPECT_EQ(entries[1][Field::FullName], "");
    EXPECT_EQ(entries[1][Field::Organization], "No Names Inc");
    EXPECT_EQ(entries[2][Field::FullName], "Lee");
    EXPECT_EQ(entries[3][Field::FullName], "M\xc3\xbcller");
    EXPECT_EQ(run.diagnostics().count(), 0);
}

TEST(PalmReader, SkipsDeletedRecords) {
    testing::TempDir dir;
    testing::TestRun run;
    const auto path = dir.file(
        "address.dat", palmFile({record({{3, "Gone"}}, IterPALM::kDeleted), record({{3, "Kept"}}),
                                 record({{3, "Gone too"}}, IterPALM::kDeleted | 0x02)}));
    const auto entries = readAll(path, run);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Kept");
}

TEST(PalmReader, TruncatedOrForeignFilesEndWithoutRunningPastTheEnd) {
    testing::TempDir dir;
    const std::string whole = palmFile({record({{3, "One"}}), record({{3, "Two"}, {22, "note"}})});
    const std::string headerOnly = palmFile({});
    struct Case {
        const char* label;
        std::string bytes;
        std::size_t entries;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"whole", whole, 2, false},
        {"second record cut in its note", whole.substr(0, whole.size() - 40), 2, true},
        {"first record cut", whole.substr(0, headerOnly.size() + 20), 0, true},
        {"header cut", whole.substr(0, 30), 0, true},
        {"another .dat file", "just some data file\n", 0, true},
        {"empty", "", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testing::TestRun run;
        const auto entries = readAll(dir.file("address.dat", c.bytes), run);
        EXPECT_EQ(entries.size(), c.entries);
        EXPECT_EQ(run.diagnostics().count() > 0, c.reported);
        if (c.entries == 2) {
            EXPECT_EQ(entries[1][Field::FullName], "Two");
        }
    }
}

TEST(PalmReader, HugeCountsInTheHeaderAreNotTrusted) {
    testing::TempDir dir;
    testing::TestRun run;
    std::string bytes = palmFile({record({{3, "One"}})});
    // The record count claims far more records than the file holds.
    const std::size_t countAt = bytes.size() - record({{3, "One"}}).size() - 4;
    bytes.replace(countAt, 4, le(0xFFFFFFF0u));
    const auto entries = readAll(dir.file("address.dat", bytes), run);
    EXPECT_EQ(entries.size(), 1u);
}

TEST(PalmReader, ListsTheUsersUnderThePalmFolder) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir.path() / "LeeA" / "address");
    std::filesystem::create_directories(dir.path() / "BrownB" / "address");
    std::filesystem::create_directories(dir.path() / "NoBook");
    testing::spit(dir.path() / "LeeA" / "address" / "address.dat", palmFile({}));
    testing::spit(dir.path() / "BrownB" / "address" / "address.dat", palmFile({}));
    const auto users = iterators::palmUsers(dir.path().string());
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "BrownB");
    EXPECT_EQ(users[1].name, "LeeA");
    EXPECT_EQ(users[1].addressBook, (dir.path() / "LeeA" / "address" / "address.dat").string());
}

}  // namespace
}  // namespace vesk
