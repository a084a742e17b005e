#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "model/to_file.h"
#include "platform/file_io.h"
#include "platform/interrupt.h"
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
        m_text << e[Field::FullName] << '\n';
        return true;
    }
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

/// Writes `count` entries of `name` as one line each.
bool writeLines(TextWriter& writer, const std::string& name, int count) {
    std::vector<Entry> entries(static_cast<std::size_t>(count), testing::contact(name));
    testing::ScriptedReader reader("r", std::move(entries));
    return writer.fromStart(reader);
}

TEST_F(FileOutput, StreamsABookLargerThanItsBufferInChunks) {
    testing::TestRun run;
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "old";
    const std::string name = std::string(700, 'x') + "\xC3\xA9";
    TextWriter writer(run, target.string());
    ASSERT_TRUE(writeLines(writer, name, 2000));
    std::string expected;
    for (int i = 0; i < 2000; ++i) expected += name + "\r\n";
    EXPECT_EQ(slurp(target), expected);
    EXPECT_EQ(slurp(dir / "book.txt.bak"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

/// The largest file this process may write, lowered for one test: a write beyond it fails
/// (EFBIG) as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(FileOutput, AWriteFailingMidStreamKeepsTheOldFileAndLeavesNoTemporary) {
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "precious";
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    TextWriter writer(run, target.string());
    bool ok = true;
    {
        // Several chunks go out before the file reaches the limit.
        const FileSizeLimit limit(3 * TextOut::kChunk + 100);
        ok = writeLines(writer, std::string(1000, 'y'), 4000);
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(writer.succeeded());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "File write Error");
    EXPECT_EQ(slurp(target), "precious");
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(dir)) names.insert(item.path().filename());
    EXPECT_EQ(names, std::set<std::string>{"book.txt"});
}

TEST_F(FileOutput, MissingFolderFailsWithoutLeavingFiles) {
    const WriteResult r = writeFileAtomically((dir / "no" / "such" / "f.txt").string(), "x");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(fs::is_empty(dir));
}

/// Two files staged and then replaced together, as a book and its index are.
WriteResult writeTogether(const fs::path& a, std::string_view aBytes, const fs::path& b,
                          std::string_view bBytes) {
    StagedFile first, second;
    WriteResult r = first.stage(a.string(), aBytes);
    if (r.ok) r = second.stage(b.string(), bBytes);
    if (r.ok) r = commitStaged({&first, &second});
    return r;
}

TEST_F(FileOutput, FilesWrittenTogetherAreAllReplacedOrNone) {
    const fs::path book = dir / "book.pmr";
    const fs::path index = dir / "book.pm!";
    std::ofstream(book) << "old book";
    std::ofstream(index) << "old index";
    ASSERT_TRUE(writeTogether(book, "new book", index, "new index").ok);
    EXPECT_EQ(slurp(book), "new book");
    EXPECT_EQ(slurp(index), "new index");
    EXPECT_EQ(slurp(dir / "book.pmr.bak"), "old book");

    // The second file cannot be made: the first stays as it was, and no temporary is left.
    fs::remove(index);
    fs::create_directories(index / "inside");
    const WriteResult r = writeTogether(book, "newer", index, "x");
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

/// Names in `dir` other than `keep`: temporaries left behind would show here.
std::vector<std::string> othersIn(const fs::path& dir, std::vector<std::string> keep) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) found.push_back(name);
    }
    return found;
}

TEST_F(FileOutput, OnlyRegularFilesAreReplaced) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink(dir / "pipe", dir / "link-to-pipe");
    fs::create_directory(dir / "folder");
    for (const char* name : {"pipe", "link-to-pipe", "folder"}) {
        SCOPED_TRACE(name);
        const WriteResult r = writeFileAtomically((dir / name).string(), "new");
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(dir / "pipe")));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-pipe"));
    EXPECT_EQ(othersIn(dir, {"pipe", "link-to-pipe", "folder"}), std::vector<std::string>{});
    EXPECT_EQ(destinationProblem("/dev/null"), "not a regular file (a device, a pipe or a socket)");
    EXPECT_EQ(destinationProblem((dir / "folder").string()), "Is a directory");
    EXPECT_EQ(destinationProblem((dir / "absent").string()), "");
}

TEST_F(FileOutput, ARewrittenFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "old";
    ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    ASSERT_TRUE(writeFileAtomically(target.string(), "new").ok);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(slurp(target), "new");
}

TEST_F(FileOutput, SameFileSeesThroughLinksAndOtherPaths) {
    const fs::path a = dir / "a.txt";
    std::ofstream(a) << "x";
    fs::create_symlink(a, dir / "sym.txt");
    fs::create_hard_link(a, dir / "hard.txt");
    std::ofstream(dir / "b.txt") << "x";
    EXPECT_TRUE(sameFile(a.string(), (dir / "sym.txt").string()));
    EXPECT_TRUE(sameFile(a.string(), (dir / "hard.txt").string()));
    EXPECT_TRUE(sameFile(a.string(), (dir / "." / "a.txt").string()));
    EXPECT_FALSE(sameFile(a.string(), (dir / "b.txt").string()));
    EXPECT_FALSE(sameFile(a.string(), (dir / "absent.txt").string()));
}

TEST_F(FileOutput, FilesReplacedTogetherAreAllPutBackWhenOneFails) {
    const fs::path a = dir / "a.txt";
    const fs::path c = dir / "c.txt";  // new: removed again
    const fs::path b = dir / "b.txt";
    std::ofstream(a) << "old a";
    StagedFile sa, sc, sb;
    ASSERT_TRUE(sa.stage(a.string(), "new a").ok);
    ASSERT_TRUE(sc.stage(c.string(), "new c").ok);
    ASSERT_TRUE(sb.stage(b.string(), "new b").ok);
    // Something takes b's place after it was staged: its rename fails.
    fs::create_directories(b / "inside");
    int failed = -2;
    bool restored = false;
    const WriteResult r = commitStaged({&sa, &sc, &sb}, true, &failed, &restored);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Is a directory"), std::string::npos) << r.error;
    EXPECT_EQ(failed, 2);
    EXPECT_TRUE(restored);
    EXPECT_EQ(slurp(a), "old a");
    EXPECT_FALSE(fs::exists(c));
    EXPECT_EQ(othersIn(dir, {"a.txt", "b.txt"}), std::vector<std::string>{});
}

TEST_F(FileOutput, FilesReplacedTogether) {
    const fs::path a = dir / "a.txt";
    const fs::path b = dir / "b.txt";
    std::ofstream(a) << "old a";
    StagedFile sa, sb;
    ASSERT_TRUE(sa.stage(a.string(), "new a").ok);
    ASSERT_TRUE(sb.stage(b.string(), "new b").ok);
    int failed = -2;
    ASSERT_TRUE(commitStaged({&sa, &sb}, false, &failed).ok);
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(slurp(a), "new a");
    EXPECT_EQ(slurp(b), "new b");
    EXPECT_EQ(othersIn(dir, {"a.txt", "b.txt"}), std::vector<std::string>{});
}

TEST_F(FileOutput, AnInterruptedWriteLeavesTheOldFileAndNoTemporary) {
    installInterruptHandler();
    const fs::path target = dir / "book.txt";
    std::ofstream(target) << "old";
    std::raise(SIGINT);
    ASSERT_TRUE(interruptRequested());
    const WriteResult r = writeFileAtomically(target.string(), std::string(3 << 20, 'x'));
    clearInterrupt();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(slurp(target), "old");
    EXPECT_EQ(othersIn(dir, {"book.txt"}), std::vector<std::string>{});
}

TEST_F(FileOutput, ASecondSignalRemovesTheTemporaryAndEnds) {
    const fs::path temp = dir / "book.txt.AbC123";
    std::ofstream(temp) << "half";
    EXPECT_EXIT(
        {
            installInterruptHandler();
            TemporaryFile t(temp.string());
            std::raise(SIGTERM);
            std::raise(SIGTERM);
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
    EXPECT_FALSE(fs::exists(temp));
}

TEST_F(FileOutput, SpoolingStopsAtTheLimit) {
    struct Case {
        std::string input;
        bool ok;
    } cases[] = {{"Ann|a@x\n", true}, {"", true}, {std::string(100, 'z'), false}};
    for (const Case& c : cases) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], c.input.data(), c.input.size()),
                  static_cast<ssize_t>(c.input.size()));
        ::close(fds[1]);
        TemporaryFile temp;
        const SpoolResult r = spoolToFile(fds[0], 64, temp, ".tst");
        ::close(fds[0]);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.tooLarge, !c.ok);
        if (c.ok) {
            EXPECT_EQ(slurp(temp.path()), c.input);
            EXPECT_EQ(fs::path(temp.path()).extension(), ".tst");
        } else {
            EXPECT_EQ(r.error, "more than 64 bytes, the most Vesk reads");
            EXPECT_TRUE(temp.path().empty());
        }
    }
}

}  // namespace
}  // namespace vesk
