#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "model/to_file.h"
#include "platform/file_io.h"
#include "platform/prompt.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"
#include "text/text_io.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::slurp;

class TextWriter : public ToFile {
  public:
    TextWriter(RunContext& run, std::string name) : ToFile(run, std::move(name)) {}
    bool write(Entry e) override {
        m_text += e[Field::FullName] + "\n";
        return true;
    }
    std::string text() override { return m_text; }

  private:
    std::string m_text;
};

class FileOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vesk-out-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(FileOutput, WritesUtf8WithCrLfAndKeepsABackup) {
    testing::TestRun run;
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "old";
    testing::ScriptedReader reader("r", {testing::contact("Jürgen"), testing::contact("Иван")});
    TextWriter writer(run, target.string());
    EXPECT_TRUE(writer.mergesExisting);
    EXPECT_TRUE(writer.fromStart(reader));
    EXPECT_EQ(slurp(target), "J\xC3\xBCrgen\r\n\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n");
    EXPECT_EQ(slurp(dir / "book.txt.bak"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(FileOutput, UnwritableTargetKeepsTheOldFileAndReportsFailure) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the rename itself fail by putting a folder in the way.
        const fs::path target = dir / "book.txt";
        fs::create_directories(target / "inside");
        RecordingPrompt prompts;
        MemorySettingsStore runStore;
        RunContext run{prompts, runStore};
        testing::ScriptedReader reader("r", {testing::contact("A")});
        TextWriter writer(run, target.string());
        EXPECT_FALSE(writer.fromStart(reader));
        EXPECT_FALSE(writer.succeeded());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "File write Error");
        EXPECT_EQ(prompts.messages[0].caption, target.string());
        EXPECT_TRUE(fs::is_directory(target / "inside"));
        return;
    }
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "precious";
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    testing::ScriptedReader reader("r", {testing::contact("A")});
    TextWriter writer(run, target.string());
    EXPECT_FALSE(writer.fromStart(reader));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "File write Error");
    EXPECT_EQ(slurp(target), "precious");
}

TEST_F(FileOutput, MissingFolderFailsWithoutLeavingFiles) {
    const WriteResult r = writeFileAtomically((dir / "no" / "such" / "f.txt").string(), "x");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(FileOutput, FilesWrittenTogetherAreAllReplacedOrNone) {
    const fs::path book = dir / "book.pmr";
    const fs::path index = dir / "book.pm!";
    std::ofstream(book) << "old book";
    std::ofstream(index) << "old index";
    ASSERT_TRUE(
        writeFilesAtomically({{book.string(), "new book"}, {index.string(), "new index"}}).ok);
    EXPECT_EQ(slurp(book), "new book");
    EXPECT_EQ(slurp(index), "new index");
    EXPECT_EQ(slurp(dir / "book.pmr.bak"), "old book");

    // The second file cannot be made: the first stays as it was, and no temporary is left.
    fs::remove(index);
    fs::create_directories(index / "inside");
    const WriteResult r = writeFilesAtomically({{book.string(), "newer"}, {index.string(), "x"}});
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(slurp(book), "new book");
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(dir)) names.insert(item.path().filename());
    EXPECT_EQ(names,
              (std::set<std::string>{"book.pmr", "book.pmr.bak", "book.pm!", "book.pm!.bak"}));
}

TEST_F(FileOutput, ReadsBytesAsTheyAre) {
    const std::string bytes("a\r\n\0\xFF", 5);
    std::ofstream(dir / "raw", std::ios::binary) << bytes;
    EXPECT_EQ(readFileBytes((dir / "raw").string()), bytes);
    EXPECT_EQ(readFileBytes((dir / "missing").string()), std::nullopt);
    EXPECT_EQ(readFileBytes(dir.string()), std::nullopt);
}

TEST_F(FileOutput, ReplacesTheFileBehindASymlinkAndKeepsItsMode) {
    const fs::path real = dir / "real.txt";
    std::ofstream(real) << "old";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, dir / "link.txt");
    ASSERT_TRUE(writeFileAtomically((dir / "link.txt").string(), "new", false).ok);
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(slurp(real), "new");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
}  // namespace vesk
