// What the command line says about the files it writes (merged or replaced, which file of a
// synchronisation changed), and what it does when asked to stop.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "app/cli/command_line.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "support/command_line_fixture.h"
#include "support/line_format.h"
#include "support/temp_dir.h"

namespace vesk::cli {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;

/// The command line run in-process over the line format (.tst), with its streams captured.
class FileCommands : public testing::CommandLineFixture {
  protected:
    /// The last line of the summary.
    std::string lastLine() {
        std::string text = err.str();
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }
};

TEST_F(FileCommands, TheSummarySaysWhetherTheDestinationWasMergedOrReplaced) {
    spit(file("in.tst"), "Ann|a@x\n");
    const std::string dest = file("out.tst");
    const std::string bak = dest + ".bak";
    struct Case {
        const char* name;
        std::string before;  // "" : no destination yet
        bool replace;
        std::string said;  // the last line of the summary
    } cases[] = {
        {"new file", "", false, "vesk: wrote 1 contact(s) to " + dest},
        {"merged", "Bob|b@x\nCid|c@x\n", false,
         "vesk: merged with what " + dest + " already held (2 contact(s), the old one is " + bak +
             ")"},
        // Bytes in which the reader finds nothing: nothing was merged.
        {"not read", "no bar on this line\n", false,
         "vesk: could not read the existing file; replaced it, the old one is " + bak},
        {"--replace", "Bob|b@x\n", true, "vesk: replaced " + dest + ", the old one is " + bak},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dest);
        fs::remove(bak);
        if (!c.before.empty()) spit(dest, c.before);
        std::vector<std::string> args = {"convert", file("in.tst"), dest};
        if (c.replace) args.insert(args.begin() + 1, "--replace");
        ASSERT_EQ(vesk(args), kExitDone) << err.str();
        EXPECT_EQ(lastLine(), c.said) << err.str();
        EXPECT_EQ(err.str().find("merged with") != std::string::npos,
                  std::string(c.name) == "merged");
        if (!c.before.empty()) {
            EXPECT_EQ(slurp(bak), c.before);
        }
    }
    ASSERT_EQ(vesk({"--help"}), kExitDone);
    EXPECT_NE(
        out.str().find("except an archive (.kynt) or Forte Agent XML file, which is replaced"),
        std::string::npos);
}

TEST_F(FileCommands, ADestinationThatIsTheSourceIsRefused) {
    spit(file("book.tst"), "Ann|a@x\n");
    fs::create_symlink(file("book.tst"), file("link.tst"));
    EXPECT_EQ(vesk({"convert", file("book.tst"), file("link.tst")}), kExitFailed);
    EXPECT_EQ(slurp(file("book.tst")), "Ann|a@x\n");
    // Told on one line of stderr, as the command line tells every reported problem.
    EXPECT_NE(err.str().find("is the source file itself"), std::string::npos) << err.str();
    const std::string told = err.str();
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    EXPECT_EQ(vesk({"sync", file("book.tst"), file("link.tst")}), kExitFailed);
    EXPECT_EQ(err.str(), "vesk: " + file("book.tst") + " and " + file("link.tst") +
                             " are the same file; there is nothing to synchronise\n");
    EXPECT_FALSE(fs::exists(file("book.tst.bak")));
}

TEST_F(FileCommands, SyncThatCannotKeepTheSecondFilesBackupChangesNeither) {
    spit(file("a.tst"), "Ann|a@x\n");
    spit(file("b.tst"), "Bob|b@x\n");
    // b's backup cannot be made: b could not be put back, so neither file may change.
    fs::create_directories(file("b.tst.bak/inside"));
    EXPECT_EQ(vesk({"sync", file("a.tst"), file("b.tst")}), kExitFailed);
    EXPECT_EQ(slurp(file("a.tst")), "Ann|a@x\n");
    EXPECT_EQ(slurp(file("b.tst")), "Bob|b@x\n");
    EXPECT_NE(err.str().find("vesk: could not write " + file("b.tst")), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("; neither file was changed\n"), std::string::npos) << err.str();
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "a.tst" || name == "b.tst" || name == "a.tst.bak" ||
                    name == "b.tst.bak")
            << name;
    }
}

TEST_F(FileCommands, SyncReadsOnlyRegularFilesWithinTheBound) {
    spit(file("a.tst"), "Ann|a@x\n");
    spit(file("big.tst"), "Bob|b@x\nCid|c@x\n");
    ASSERT_EQ(::mkfifo(file("pipe.tst").c_str(), 0600), 0);
    run.maxSourceBytes = 10;
    struct Case {
        std::string second;
        std::string reason;
    } cases[] = {
        {file("big.tst"), "larger than 10 bytes, the most Vesk reads"},
        {file("pipe.tst"), "not a regular file (a device, a pipe or a socket)"},
        {file("missing.tst"), "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        EXPECT_EQ(vesk({"sync", file("a.tst"), c.second}), kExitFailed);
        EXPECT_EQ(err.str(), "vesk: cannot read " + c.second + ": " + c.reason + "\n");
    }
    EXPECT_EQ(slurp(file("a.tst")), "Ann|a@x\n");
    EXPECT_FALSE(fs::exists(file("a.tst.bak")));
}

/// Sets or clears the immutable flag; false where the system does not allow it.
bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

TEST_F(FileCommands, SyncPutsTheFirstFileBackWhenTheSecondCannotBeReplaced) {
    spit(file("a.tst"), "Ann|a@x\n");
    spit(file("b.tst"), "Bob|b@x\n");
    // An immutable file can be read and copied but not replaced, even by root.
    if (!setImmutable(file("b.tst"), true)) GTEST_SKIP() << "no immutable files here";
    const int code = vesk({"sync", file("a.tst"), file("b.tst")});
    setImmutable(file("b.tst"), false);
    EXPECT_EQ(code, kExitFailed);
    EXPECT_EQ(slurp(file("a.tst")), "Ann|a@x\n");
    EXPECT_EQ(slurp(file("b.tst")), "Bob|b@x\n");
    EXPECT_NE(err.str().find("vesk: could not write " + file("b.tst")), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("; neither file was changed\n"), std::string::npos) << err.str();
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "a.tst" || name == "b.tst" || name == "b.tst.bak") << name;
    }
}

TEST_F(FileCommands, SyncReplacesBothFilesAndKeepsTheirBackups) {
    spit(file("a.tst"), "Ann|a@x\n");
    spit(file("b.tst"), "Bob|b@x\n");
    ASSERT_EQ(vesk({"sync", file("a.tst"), file("b.tst")}), kExitDone) << err.str();
    EXPECT_EQ(slurp(file("a.tst")), slurp(file("b.tst")));
    EXPECT_EQ(slurp(file("a.tst.bak")), "Ann|a@x\n");
    EXPECT_EQ(slurp(file("b.tst.bak")), "Bob|b@x\n");
}

/// The built program, started with the settings and temporary files in the test's folder.
class FileCommandsProcess : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string file(const std::string& name) { return dir.file(name); }

    pid_t start(const std::vector<std::string>& args) {
        std::vector<std::string> env = {"VESK_CONFIG_DIR=" + file("config"),
                                        "HOME=" + dir.path().string(), "TMPDIR=" + file("tmp"),
                                        "WINEPREFIX=" + file("no-wine"), "PATH=/usr/bin:/bin"};
        fs::create_directories(file("tmp"));
        std::vector<std::string> copy = args;
        copy.insert(copy.begin(), VESK_BINARY);
        const std::string errFile = file("stderr");
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            std::vector<char*> envp;
            for (std::string& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            const int in = ::open("/dev/null", O_RDONLY);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, 0);
            ::dup2(in, 1);
            ::dup2(err, 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }
    static int finish(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(FileCommandsProcess, CtrlCOrSigtermStopsAConversionAndLeavesTheOldFile) {
    const std::string pipe = file("in.vcf");
    const std::string dest = file("out.vcf");
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        spit(dest, "BEGIN:VCARD\r\nFN:Old\r\nEND:VCARD\r\n");
        const pid_t pid = start({"convert", pipe, dest});
        // The program reads the pipe; it is told to stop while the pipe is still open.
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\n";
        for (int i = 0; i < 50; ++i) {
            ASSERT_EQ(::write(fd, card.data(), card.size()), static_cast<ssize_t>(card.size()));
        }
        ::kill(pid, signal);
        ::close(fd);
        EXPECT_EQ(finish(pid), 128 + signal) << slurp(file("stderr"));
        EXPECT_NE(slurp(file("stderr")).find("vesk: interrupted"), std::string::npos)
            << slurp(file("stderr"));
        EXPECT_EQ(slurp(dest), "BEGIN:VCARD\r\nFN:Old\r\nEND:VCARD\r\n");
        fs::remove(pipe);
        for (const auto& e : fs::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "out.vcf" || name == "stderr" || name == "tmp" || name == "config")
                << name;
        }
        EXPECT_TRUE(fs::is_empty(file("tmp"))) << "the copy of the pipe is removed";
    }
}

TEST_F(FileCommandsProcess, ACommandWritesTheSettingsOnceAndKeepsWhatItDoesNotUnderstand) {
    fs::create_directories(file("config"));
    const std::string settings = file("config/settings.reg");
    const std::string original =
        "[Software\\Vesk\\Formats]\n"
        "\"Juno\"=\"/home/ann/juno\"\n"
        "\"Later\"=future:\"a value of a later Vesk\"\n";
    spit(settings, original);
    // Saving a task writes several values.
    ASSERT_EQ(
        finish(start({"tasks", "save", "Weekly", "Other", file("a.tst"), "Other", file("b.tst")})),
        0)
        << slurp(file("stderr"));
    EXPECT_EQ(slurp(settings + ".bak"), original);
    EXPECT_EQ(slurp(settings + ".unparsed"), original);
    const std::string text = slurp(settings);
    EXPECT_NE(text.find("\"Later\"=future:\"a value of a later Vesk\"\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Juno\"=\"/home/ann/juno\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Software\\Vesk\\Automation\\Weekly]\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vesk::cli
