// The built program run as a process, as a user runs it: exit codes, messages, the settings
// file, and whole conversions between vCard and the archive once those formats are built.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "registry/registry.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;

struct ProcessRun {
    int code = -1;
    std::string out;
    std::string err;
};

class VeskProcess : public ::testing::Test {
  protected:
    testing::TempDir dir;

    /// Runs the program with an argument vector; settings live in this test's folder, and
    /// stdin is /dev/null so nothing can wait for input.
    ProcessRun vesk(const std::vector<std::string>& args) {
        const std::string outFile = dir.file(".stdout");
        const std::string errFile = dir.file(".stderr");
        const std::string config = "VESK_CONFIG_DIR=" + dir.file("config");
        std::vector<std::string> env = {config, "HOME=" + dir.path().string(),
                                        "WINEPREFIX=" + dir.file("no-wine"), "PATH=/usr/bin:/bin"};
        std::vector<char*> argv;
        std::string program = VESK_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ProcessRun r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(outFile);
        r.err = slurp(errFile);
        return r;
    }
    std::string file(const std::string& name) { return dir.file(name); }

    static bool vcardAndArchiveBuilt() {
        const Registry& r = Registry::builtIn();
        for (const char* id : {"vcard", "kynt"}) {
            if (!r.byId(id)->reader || !r.byId(id)->writer) return false;
        }
        return true;
    }
};

constexpr const char* kCards =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xC3\xBCller;J\xC3\xBCrgen\r\n"
    "FN:J\xC3\xBCrgen M\xC3\xBCller\r\nEMAIL;INTERNET:juergen@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2;"
    "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\nFN:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n"
    "EMAIL;INTERNET:ivan@example.org\r\nEND:VCARD\r\n";

TEST_F(VeskProcess, ExitCodesAndMessagesWithoutAnyFormat) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* inErr;
        const char* inOut;
    } cases[] = {
        {{"--version"}, 0, "", "vesk "},
        {{"--help"}, 0, "", "vesk convert"},
        {{}, 0, "window", "Usage"},
        {{"/wizard"}, 1, "window", ""},
        {{"/auto"}, 1, "Invalid automation task: ", ""},
        {{"/auto", "No", "Such"}, 1, "Invalid automation task: No Such", ""},
        {{"sync", "a.vcf"}, 2, "usage", ""},
        {{"convert", "--trace", "x"}, 2, "usage", ""},
        {{"convert", "/no/such.vcf", "out.kynt"}, 1, "cannot read", ""},
        {{"definitely-not-a-file"}, 2, "no such file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
        const ProcessRun r = vesk(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    }
}

TEST_F(VeskProcess, TheSettingsFileStaysReadable) {
    ASSERT_EQ(
        vesk({"tasks", "save", "Weekly", "Eudora", "/home/ann/nndbase.txt", "Other", ""}).code, 0);
    const std::string text = slurp(file("config/settings.reg"));
    EXPECT_NE(text.find("[Software\\Vesk\\Automation\\Weekly]\n"
                        "\"from\"=multi:\"Eudora\",\"/home/ann/nndbase.txt\"\n"
                        "\"to\"=multi:\"Other\",\"\"\n"),
              std::string::npos)
        << text;
    const ProcessRun r = vesk({"tasks"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Weekly\tConvert from Eudora /home/ann/nndbase.txt to Other \n");
}

TEST_F(VeskProcess, AnUnknownDestinationTypeFailsAndWritesNothing) {
    if (!Registry::builtIn().byId("vcard")->reader)
        GTEST_SKIP() << "the vCard reader is not built yet";
    spit(file("in.vcf"), kCards);
    const ProcessRun r = vesk({"convert", file("in.vcf"), file("out.nosuchtype")});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(fs::exists(file("out.nosuchtype")));
}

TEST_F(VeskProcess, ConvertsBetweenVCardAndTheArchiveBothWays) {
    if (!vcardAndArchiveBuilt()) GTEST_SKIP() << "vCard and the archive are not built yet";
    fs::create_directories(dir.path() / "my books" / "todo");
    const std::string vcf = file("my books/todo/in put.vcf");
    spit(vcf, kCards);

    // The switch with each value an argument, the path with blanks and "/to" inside.
    ProcessRun r = vesk({"/convert", "/from", "/app", "Other", "/file", vcf, "/to", "/app", "Other",
                         "/file", file("my books/todo/book.kynt"), "/EOS"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The whole Windows form in one argument, quoted values.
    r = vesk({"/convert /from /app \"Other\" /file \"" + file("my books/todo/book.kynt") +
              "\" /to /app \"Other\" /file \"" + file("back.vcf") + "\" /EOS"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string back = slurp(file("back.vcf"));
    EXPECT_NE(back.find("J\xC3\xBCrgen M\xC3\xBCller"), std::string::npos);
    EXPECT_NE(back.find("ivan@example.org"), std::string::npos);

    r = vesk({"convert", vcf, file("plain.kynt")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("wrote 2 contact(s)"), std::string::npos) << r.err;
}

TEST_F(VeskProcess, SyncOfTwoVCardFilesEndsWithTheSameContent) {
    if (!vcardAndArchiveBuilt()) GTEST_SKIP() << "vCard and the archive are not built yet";
    spit(file("a.vcf"), kCards);
    spit(file("b.vcf"),
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann\r\nFN:Ann Lee\r\n"
         "EMAIL;INTERNET:ann@example.org\r\nEND:VCARD\r\n");
    const ProcessRun r = vesk({"/sync", file("a.vcf"), file("b.vcf")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(file("a.vcf")), slurp(file("b.vcf")));
    EXPECT_EQ(vesk({"sync", file("a.vcf"), file("b.vcf")}).code, 0);
    EXPECT_EQ(slurp(file("a.vcf")), slurp(file("b.vcf")));
}

TEST_F(VeskProcess, AStoredTaskRunsWithBothForms) {
    if (!vcardAndArchiveBuilt()) GTEST_SKIP() << "vCard and the archive are not built yet";
    spit(file("in.vcf"), kCards);
    ASSERT_EQ(
        vesk({"tasks", "save", "To archive", "Other", file("in.vcf"), "Other", file("out.kynt")})
            .code,
        0);
    ProcessRun r = vesk({"/auto", "To", "archive"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(fs::exists(file("out.kynt")));
    fs::remove(file("out.kynt"));
    r = vesk({"auto", "To archive"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(file("out.kynt")));
}

}  // namespace
}  // namespace vesk
