#include "stores/simeon.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/trace.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterSimeon;

class SimeonFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vesk-sim-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string put(const std::string& bytes) const {
        const fs::path p = dir / "export.simeon";
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

    fs::path dir;
};

std::vector<Entry> readAll(IterBase& reader) {
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 100000) out.push_back(reader.nextEntry());
    return out;
}

/// Full Name|E-Mail|Nickname|Business Phone|Business City of each entry.
std::vector<std::string> dumpAll(IterBase& reader) {
    std::vector<std::string> out;
    for (const Entry& e : readAll(reader)) {
        out.push_back(e[Field::FullName] + "|" + e[Field::Email] + "|" + e[Field::Nickname] + "|" +
                      e[Field::BusinessPhone] + "|" + e[Field::BusinessCity]);
    }
    return out;
}

struct SimeonCase {
    const char* label;
    std::string text;
    std::vector<std::string> expected;
};

void PrintTo(const SimeonCase& c, std::ostream* os) {
    *os << c.label;
}

class SimeonRecords : public SimeonFiles, public ::testing::WithParamInterface<SimeonCase> {};

TEST_P(SimeonRecords, ReadAsEntries) {
    testing::TestRun run;
    IterSimeon reader(run, put(GetParam().text));
    EXPECT_EQ(dumpAll(reader), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimeonRecords,
    ::testing::Values(
        SimeonCase{
            "namesAliasPhone", "Name=Ann Lee\tAlias=ann\tPhone=123\n", {"Ann Lee||ann|123|"}},
        SimeonCase{"bothEmailSpellings",
                   "Name=Ann\tEmail=ann@x.org\r\nName=Bob\temail=bob@x.org\r\n",
                   {"Ann|ann@x.org|||", "Bob|bob@x.org|||"}},
        SimeonCase{"addressIsTheBusinessCity", "Name=Ann\tAddress=Bern\n", {"Ann||||Bern"}},
        // Groups have no place in a flat export; the entry comes empty and the book drops it.
        SimeonCase{"groupRecordIsEmpty",
                   "Name=Team\tmember=ann\tmember=bob\nName=Ann\tPhone=1\n",
                   {"||||", "Ann|||1|"}},
        SimeonCase{"otherKeysIgnoredExactly",
                   "Name=Ann\tFirstName=Annie\tLastName=Lee\tNickName=x\tEMAIL=no\n",
                   {"Ann||||"}},
        SimeonCase{"nameInsideAValueStartsNoRecord",
                   "Name=Ann\tNote=see Name=Bob\tPhone=1\n",
                   {"Ann|||1|"}},
        SimeonCase{"valueHoldingEqualsKeepsTheRest",
                   "Name=Ann\tUrl=http://x.org/?a=b\tEmail=ann@x.org\tPhone=1\n",
                   {"Ann|ann@x.org||1|"}},
        SimeonCase{"valueWithTabAndContinuationLine",
                   "Name=Ann\tAddress=Main St\tBern\nName=Bob\n",
                   {"Ann||||Main St\tBern", "Bob||||"}},
        SimeonCase{"pairsOnSeveralLines",
                   "Name=Ann\tAlias=ann\nEmail=ann@x.org\n\nName=Bob\n",
                   {"Ann|ann@x.org|ann||", "Bob||||"}},
        SimeonCase{
            "headerBeforeTheFirstRecord", "Simeon address book export\nName=Ann\n", {"Ann||||"}},
        SimeonCase{"nonAsciiUtf8", "Name=J\xC3\xBCrgen\n", {"J\xC3\xBCrgen||||"}},
        SimeonCase{"nonAsciiLegacy", "Name=M\xFCller\n", {"M\xC3\xBCller||||"}},
        SimeonCase{"noRecordAtAll", "nothing here\n", {}}, SimeonCase{"empty", "", {}}),
    [](const auto& param) { return std::string(param.param.label); });

TEST_F(SimeonFiles, LargeExportIsReadToTheEnd) {
    testing::TestRun run;
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "Name=Person " + std::to_string(i) + "\tEmail=p" + std::to_string(i) +
                "@x.org\tPhone=555-" + std::to_string(i) + "\r\n";
    }
    ASSERT_GT(text.size(), 32766u * 2);
    IterSimeon reader(run, put(text));
    const auto entries = readAll(reader);
    ASSERT_EQ(entries.size(), 2000u);
    EXPECT_EQ(entries.back()[Field::Email], "p1999@x.org");
    EXPECT_EQ(entries.back()[Field::BusinessPhone], "555-1999");
}

TEST_F(SimeonFiles, RewindStartsOverAndMaskHoldsTheFilledFields) {
    testing::TestRun run;
    IterSimeon reader(run, put("Name=Ann\tPhone=1\nName=Bob\n"));
    EXPECT_EQ(readAll(reader).size(), 2u);
    reader.rewind();
    const auto again = readAll(reader);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].mask.count(), 5u);
    EXPECT_FALSE(again[0].mask.test(static_cast<std::size_t>(Field::HomePhone)));
}

TEST_F(SimeonFiles, ImportDropsTheGroupAndKeepsThePeople) {
    testing::TestRun run;
    IterSimeon reader(run, put("Name=Team\tmember=ann\nName=Ann Lee\tEmail=ann@x.org\n"));
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 1);
    EXPECT_EQ(book.entryAt(0)[Field::FullName], "Ann Lee");
}

TEST_F(SimeonFiles, UnopenableFileIsReported) {
    RecordingPrompt rec;
    MemorySettingsStore runStore;
    RunContext run{rec, runStore};
    const std::string missing = (dir / "missing.simeon").string();
    IterSimeon reader(run, missing);
    EXPECT_TRUE(reader.atEnd());
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].text, "File cannot be opened");
    EXPECT_EQ(rec.messages[0].caption, missing);
}

TEST_F(SimeonFiles, AtEndTracesThePosition) {
    testing::TestRun run;
    RecordingTraceSink sink;
    run.setTraceSink(&sink);
    IterSimeon reader(run, put("Name=Ann\n"));
    reader.atEnd();
    EXPECT_NE(sink.text.find("Debug: Position is 0 Buffer Size is 9\n"), std::string::npos)
        << sink.text;
}

}  // namespace
}  // namespace vesk
