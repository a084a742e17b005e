// The command line as a user meets it: faults that reach the crash guard, failures told in
// one line with the system's reason, the progress bar, automation tasks as they are saved,
// the conventions of Linux commands ("-", --from=X, --help, missing values, extra arguments),
// `vesk show`, and the README's list of formats.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "app/cli/command_line.h"
#include "app/cli/failures.h"
#include "app/cli/show.h"
#include "operations/automation.h"
#include "platform/faults.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "support/line_format.h"
#include "support/temp_dir.h"

namespace vesk::cli {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

/// A settings store that fails the way a fault in a command would: by throwing.
class ThrowingSettings : public MemorySettingsStore {
  public:
    bool throws = false;
    bool throwStandard = true;
    bool keyExists(RootKey root, std::string_view key) override {
        if (!throws) return MemorySettingsStore::keyExists(root, key);
        if (throwStandard) throw std::runtime_error("the settings fell apart");
        throw 42;
    }
};

class Terminal : public ::testing::Test {
  protected:
    testing::TempDir dir;
    ThrowingSettings store;
    RecordingPrompt prompts;
    RunContext run{prompts, store};
    std::ostringstream out;
    std::ostringstream err;

    int vesk(const std::vector<std::string>& args, const std::string& input = "") {
        out.str("");
        err.str("");
        std::istringstream in(input);
        Streams s{out, err, testing::lineRegistry()};
        s.in = &in;
        return runIn(run, args, "9.9", s);
    }
    std::string file(const std::string& name) { return dir.file(name); }
};

TEST_F(Terminal, AnExceptionInACommandReachesTheCrashGuard) {
    struct Case {
        bool standard;
        const char* what;
    } cases[] = {{true, "the settings fell apart"}, {false, "Unknown exception"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.throws = true;
        store.throwStandard = c.standard;
        prompts.messages.clear();
        EXPECT_EQ(vesk({"tasks"}), kExitFailed);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, recoveryText(c.what));
        EXPECT_EQ(prompts.messages[0].caption, recoveryCaption(11));
        EXPECT_EQ(prompts.messages[0].buttons, Buttons::YesNo);
    }
}

TEST(ReportLine, OneLineWithTheReasonAndWithoutTheCaption) {
    struct Case {
        Diagnostic d;
        const char* caption;
        const char* line;
    } cases[] = {
        {{Severity::Error, "/b.vcf", 0, -1, "", "File write Error", "No space left on device"},
         "/b.vcf",
         "vesk: /b.vcf: File write Error: No space left on device"},
        {{Severity::Error, "x.q", 0, -1, "", "Vesk cannot write \"x.q\": nothing was written.", ""},
         "Vesk",
         "vesk: Vesk cannot write \"x.q\": nothing was written."},
        {{Severity::Error, "", 0, -1, "", "Invalid automation task: T", ""},
         "Vesk Error",
         "vesk: Invalid automation task: T"},
        {{Severity::Warning, "", 0, -1, "", "no header line", ""},
         "/a.csv",
         "vesk: /a.csv: no header line"},
        {{Severity::Warning, "/a.ldif", 7, -1, "Ann", "two lines\nin a box\n", ""},
         "",
         "vesk: /a.ldif:7: two lines in a box (entry \"Ann\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(reportLine(c.d, c.caption), c.line);
    }
}

TEST_F(Terminal, AFailureIsOneLineThatNamesTheSystemsReason) {
    spit(file("in.tst"), "Ann|a@x\n");
    fs::create_directory(file("folder.tst"));
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"convert", file("in.tst"), file("folder.tst")}, "Is a directory"},
        {{"convert", file("folder.tst"), file("out.tst")}, "Is a directory"},
        {{"convert", file("missing.tst"), file("out.tst")}, "No such file or directory"},
        {{"convert", file("in.tst"), file("no/such/out.tst")}, "No such file or directory"},
        {{"show", file("missing.tst")}, "No such file or directory"},
        {{"convert", file("in.tst"), file("out.nowriter")}, "nothing was written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(vesk(c.args), kExitFailed);
        EXPECT_EQ(lines(err.str()), 1) << err.str();
        EXPECT_NE(err.str().find(c.reason), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("vesk: Vesk: "), std::string::npos) << err.str();
    }
    if (::geteuid() == 0) return;  // the superuser reads everything
    spit(file("locked.tst"), "Ann|a@x\n");
    fs::permissions(file("locked.tst"), fs::perms::none);
    EXPECT_EQ(vesk({"convert", file("locked.tst"), file("out.tst")}), kExitFailed);
    EXPECT_NE(err.str().find("Permission denied"), std::string::npos) << err.str();
}

/// A clock the test moves by hand.
struct FakeClock {
    std::chrono::steady_clock::time_point now{};
    ConsoleProgress::Clock clock() {
        return [this] { return now; };
    }
};

int frames(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '['));
}

TEST(ProgressBar, RedrawsAtMostTenTimesASecondEndsAtAHundredAndClears) {
    FakeClock time;
    std::ostringstream screen;
    {
        ConsoleProgress bar(screen, true, time.clock());
        for (int i = 1; i <= 2000; ++i) {
            bar.itemCount(i);
            if (i % 5 == 0) bar.percent(i / 25);
            time.now += std::chrono::milliseconds(1);
        }
        EXPECT_EQ(frames(screen.str()), 20) << "two seconds of items";
        bar.finish();
        const std::string shown = screen.str();
        const std::string last = shown.substr(shown.rfind('\r'));
        EXPECT_NE(last.find("[" + std::string(30, '#') + "] 100% Complete"), std::string::npos)
            << last;
    }
    // The line is blank when the bar goes, so the summary starts at its beginning.
    const std::string shown = screen.str();
    const std::size_t cleared = shown.rfind('\r', shown.size() - 2);
    EXPECT_EQ(shown.substr(cleared), "\r" + std::string(shown.size() - cleared - 2, ' ') + "\r");
    EXPECT_GT(shown.size() - cleared, 50u);

    std::ostringstream file;
    {
        ConsoleProgress quiet(file, false, time.clock());
        quiet.itemCount(1);
        quiet.finish();
    }
    EXPECT_EQ(file.str(), "");
}

class Tasks : public ::testing::Test {
  protected:
    RecordingRun run;
};

TEST_F(Tasks, UnknownApplicationsAreRefusedAndNothingIsStored) {
    struct Case {
        const char* from;
        const char* to;
    } cases[] = {{"Nonesuch", "Other"}, {"Other", "Thunderbrid"}, {"", "Other"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        EXPECT_EQ(SaveAutomationTask(run, "T", c.from, "/a.vcf", c.to, "/b.vcf"),
                  kErrorInvalidParameter);
        AutomationTask task;
        EXPECT_FALSE(readAutomationTask(run, "T", task));
    }
    EXPECT_EQ(SaveAutomationTask(run, "T", "vcard", "/a.vcf", "Thunderbird", ""), kErrorSuccess);
}

TEST_F(Tasks, RelativePathsAreStoredAsAbsolute) {
    const std::string here = fs::current_path().string();
    struct Case {
        std::string given;
        std::string stored;
    } cases[] = {
        {"book.vcf", here + "/book.vcf"},
        {"./sub/../book.vcf", here + "/book.vcf"},
        {"/home/ann/book.vcf", "/home/ann/book.vcf"},
        {"C:\\Mail\\nndbase.txt", "C:\\Mail\\nndbase.txt"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        ASSERT_EQ(SaveAutomationTask(run, "T", "Other", c.given, "Other", c.given), 0);
        AutomationTask task;
        ASSERT_TRUE(readAutomationTask(run, "T", task));
        EXPECT_EQ(task.fromFile, c.stored);
        EXPECT_EQ(task.toFile, c.stored);
    }
}

TEST_F(Terminal, TasksSaveRefusesAnUnknownApplication) {
    EXPECT_EQ(vesk({"tasks", "save", "T", "Other", "a.tst", "Thunderbrid", "b.tst"}), kExitUsage);
    EXPECT_NE(err.str().find("unknown application 'Thunderbrid'"), std::string::npos) << err.str();
}

TEST_F(Terminal, DashReadsStandardInputAndWritesStandardOutput) {
    ASSERT_EQ(vesk({"convert", "--from", "test_lines", "--to=test_lines", "-", "-"},
                   "Bob|b@x\nAnn|a@x\n"),
              kExitDone)
        << err.str();
    EXPECT_EQ(out.str(), "Ann|a@x\r\nBob|b@x\r\n");
    EXPECT_NE(err.str().find("from standard input"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("to standard output"), std::string::npos) << err.str();

    spit(file("in.tst"), "Cid|c@x\n");
    ASSERT_EQ(vesk({"convert", "--to=test_lines", file("in.tst"), "-"}), kExitDone) << err.str();
    EXPECT_EQ(out.str(), "Cid|c@x\r\n");
    ASSERT_EQ(vesk({"convert", "--from=test_lines", "-", file("out.tst")}, "Dan|d@x\n"), kExitDone)
        << err.str();
    EXPECT_EQ(slurp(file("out.tst")), "Dan|d@x\r\n");
}

TEST_F(Terminal, UsageMistakesAreNamedAndExitTwo) {
    spit(file("a.tst"), "Ann|a@x\n");
    const std::string a = file("a.tst");
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"convert", a, "b.tst", "--from"}, "option '--from' needs a value"},
        {{"convert", "--to=", a, "b.tst"}, "option '--to' needs a value"},
        {{"convert", "--from", "--to", "test_lines", a, "b.tst"}, "option '--from' needs a value"},
        {{"convert", a, "b.tst", "c.tst"}, "too many arguments: 'c.tst'"},
        {{"convert", "-", "b.tst"}, "reading standard input needs --from"},
        {{"convert", a, "-"}, "writing standard output needs --to"},
        {{"show", a, "b.tst"}, "too many arguments: 'b.tst'"},
        {{"show", "--from"}, "option '--from' needs a value"},
        {{"formats", "extra"}, "too many arguments: 'extra'"},
        {{"apps", "extra"}, "too many arguments: 'extra'"},
        {{"--version", "extra"}, "too many arguments: 'extra'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        EXPECT_EQ(vesk(c.args), kExitUsage);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists("b.tst"));
    }
    EXPECT_NE(err.str().find("usage"), std::string::npos);
}

TEST_F(Terminal, ConvertHelpDescribesConvert) {
    for (const auto& args : {std::vector<std::string>{"convert", "--help"},
                             std::vector<std::string>{"help", "convert"}}) {
        ASSERT_EQ(vesk(args), kExitDone);
        EXPECT_EQ(out.str().rfind("Usage: vesk convert", 0), 0u) << out.str();
        EXPECT_NE(out.str().find("--replace"), std::string::npos);
        EXPECT_NE(out.str().find("standard input"), std::string::npos);
        EXPECT_EQ(out.str().find("vesk sync"), std::string::npos);
    }
}

TEST(ShowTable, NamesAddressesFoldersAndListsWithCounts) {
    RecordingRun run;
    NewAdbook book(run);
    auto contact = [](const std::string& name, const std::string& email) {
        Entry e;
        e[Field::FullName] = name;
        e[Field::Email] = email;
        return e;
    };
    ASSERT_TRUE(book.addEntry(contact("J\xC3\xBCrgen M\xC3\xBCller", "j@x.org")));
    ASSERT_TRUE(book.addEntry(contact("Ann", "ann@x.org")));
    NewAdbook* work = book.folderNamed("Work");
    ASSERT_TRUE(work->addEntry(contact("Bob Stone", "bob@y.org")));
    DistList* friends = book.listNamed("Friends");
    ASSERT_TRUE(friends->write(contact("Ann", "ann@x.org")));
    std::ostringstream out;
    printBook(book, "book.vcf", out);
    EXPECT_EQ(out.str(),
              "book.vcf: 3 contact(s), 1 folder(s), 1 list(s)\n"
              "Name           E-mail\n"
              "J\xC3\xBCrgen M\xC3\xBCller  j@x.org\n"
              "Ann            ann@x.org\n"
              "Folder \"Work\": 1 contact(s)\n"
              "  Bob Stone      bob@y.org\n"
              "List \"Friends\": 1 member(s)\n"
              "  Ann            ann@x.org\n");
}

TEST_F(Terminal, ShowAndABareFileNamePrintTheTable) {
    spit(file("book.tst"), "Bob|b@x\nAnn|a@x\n");
    const std::string expected = file("book.tst") +
                                 ": 2 contact(s), 0 folder(s), 0 list(s)\n"
                                 "Name  E-mail\n"
                                 "Ann   a@x\n"
                                 "Bob   b@x\n";
    ASSERT_EQ(vesk({"show", file("book.tst")}), kExitDone) << err.str();
    EXPECT_EQ(out.str(), expected);
    ASSERT_EQ(vesk({file("book.tst")}), kExitDone) << err.str();
    EXPECT_EQ(out.str(), expected);
    ASSERT_EQ(vesk({"show", "--from=test_lines", "-"}, "Cid|c@x\n"), kExitDone) << err.str();
    EXPECT_EQ(out.str(),
              "standard input: 1 contact(s), 0 folder(s), 0 list(s)\n"
              "Name  E-mail\n"
              "Cid   c@x\n");
}

/// The README's two lists: "- `id` ...: reads, writes" for what this build handles, and the
/// ids in backticks under "Planned" for the rest.
TEST(Readme, ListsWhatThisBuildReadsAndWritesAsTheRegistryHasIt) {
    std::ifstream in(std::string(VESK_FIXTURES_DIR) + "/../../README.md");
    ASSERT_TRUE(in);
    std::string line;
    std::map<std::string, std::string> built;
    std::string planned;
    bool inPlanned = false;
    while (std::getline(in, line)) {
        if (line.rfind("Planned", 0) == 0) inPlanned = true;
        if (line.rfind("## ", 0) == 0) inPlanned = false;
        if (inPlanned) planned += line + "\n";
        if (line.rfind("- `", 0) != 0) continue;
        const std::size_t end = line.find('`', 3);
        const std::size_t colon = line.rfind(": ");
        if (end == std::string::npos || colon == std::string::npos) continue;
        built[line.substr(3, end - 3)] = line.substr(colon + 2);
    }
    for (const FormatInfo* f : Registry::builtIn().formats()) {
        const std::string id(f->id);
        SCOPED_TRACE(id);
        std::string can;
        if (f->reader) can = "reads";
        if (f->writer && f->writesHere) can += can.empty() ? "writes" : ", writes";
        if (can.empty()) {
            EXPECT_EQ(built.count(id), 0u);
            EXPECT_NE(planned.find("`" + id + "`"), std::string::npos);
        } else {
            EXPECT_EQ(built[id], can);
        }
    }
}

}  // namespace
}  // namespace vesk::cli
