#include "app/cli/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "operations/automation.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "support/command_line_fixture.h"
#include "support/line_format.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"

namespace vesk::cli {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;

TEST(WindowsCommandLine, TailAndProgramDirectory) {
    struct Case {
        const char* line;
        const char* tail;
        const char* dir;
    } cases[] = {
        {"\"C:\\Program Files\\Vesk\\vesk.exe\" /auto My Task", "/auto My Task",
         "C:\\Program Files\\Vesk\\"},
        {"C:\\Vesk\\vesk.exe /convert /file C:\\x\\y.vcf", "/convert /file C:\\x\\y.vcf",
         "C:\\Vesk\\"},
        {"vesk.exe", "", ""},
        {"vesk.exe  two blanks", " two blanks", ""},
        {"\"C:\\V\\vesk.exe\"", "", "C:\\V\\"},
        {"/usr/local/bin/vesk /sync \"a\" \"b\"", "/sync \"a\" \"b\"", "/usr/local/bin/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(argumentTail(c.line), c.tail);
        EXPECT_EQ(programDirectoryOf(c.line), c.dir);
    }
}

TEST(WindowsCommandLine, BetweenAndTrim) {
    EXPECT_EQ(Between("a/fromXX/toYY", "/from", "/to"), "XX");
    EXPECT_EQ(Between("a/fromXX", "/from", "/to"), "XX");
    EXPECT_EQ(Between("nothing", "/from", "/to"), "");
    EXPECT_EQ(Between("/from/to", "/from", "/to"), "");
    EXPECT_EQ(Trim("  \"C:\\My Book.vcf\"\t "), "C:\\My Book.vcf");
    EXPECT_EQ(Trim("\"\""), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("in \"side\" kept"), "in \"side\" kept");
}

TEST(WindowsCommandLine, SwitchesArePrefixesComparedWithCase) {
    struct Case {
        const char* tail;
        Switch sw;
    } cases[] = {
        {"/wizard", Switch::Wizard},
        {"/helpme", Switch::Help},
        {"/?", Switch::Help},
        {"/autox", Switch::Auto},
        {"/auto My Task", Switch::Auto},
        {"/prefs", Switch::Prefs},
        {"/convert /from", Switch::Convert},
        {"/sync \"a\" \"b\"", Switch::Sync},
        {"/WIZARD", Switch::File},
        {"book.vcf", Switch::File},
        {"", Switch::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        EXPECT_EQ(matchSwitch(c.tail), c.sw);
    }
}

TEST(WindowsCommandLine, ConvertGrammar) {
    using Args = std::vector<std::string>;
    struct Case {
        const char* name;
        Args args;
        ConvertRequest expected;
    } cases[] = {
        {"the documented example",
         {"/from", "/app", "Eudora", "/file", "C:\\Mail\\nndbase.txt", "/to", "/app", "Other",
          "/file", "C:\\out.vcf", "/EOS"},
         {"Eudora", "C:\\Mail\\nndbase.txt", "Other", "C:\\out.vcf"}},
        {"values in double quotes",
         {"/from", "/app", "\"Eudora\"", "/file", "\"C:\\Mail\\nndbase.txt\"", "/to", "/app",
          "\"Other\"", "/file", "\"C:\\out.vcf\"", "/EOS"},
         {"Eudora", "C:\\Mail\\nndbase.txt", "Other", "C:\\out.vcf"}},
        {"the whole form in one argument",
         {"/from /app \"Forte Agent\" /file \"C:\\My Mail\\contact.xml\" /to /app Other /file "
          "C:\\out.vcf /EOS"},
         {"Forte Agent", "C:\\My Mail\\contact.xml", "Other", "C:\\out.vcf"}},
        {"Linux paths holding the markers' letters",
         {"/from", "/app", "Other", "/file", "/home/tom/todo/files/book.vcf", "/to", "/app",
          "Other", "/file", "/home/tom/EOS/x.kynt", "/EOS"},
         {"Other", "/home/tom/todo/files/book.vcf", "Other", "/home/tom/EOS/x.kynt"}},
        {"a path with blanks as one argument",
         {"/from", "/app", "Other", "/file", "/home/ann/My  Books/a.vcf", "/to", "/file",
          "/tmp/b c.kynt"},
         {"Other", "/home/ann/My  Books/a.vcf", "", "/tmp/b c.kynt"}},
        {"no /from", {"/to", "/app", "Other", "/file", "x.vcf"}, {"", "", "Other", "x.vcf"}},
        {"an application name of two words",
         {"/from", "/app", "MS", "Outlook", "/to", "/app", "Other", "/file", "x.vcf", "/EOS"},
         {"MS Outlook", "", "Other", "x.vcf"}},
        {"nothing at all", {}, {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ConvertRequest r = parseConvert(c.args);
        EXPECT_EQ(r.fromApp, c.expected.fromApp);
        EXPECT_EQ(r.fromFile, c.expected.fromFile);
        EXPECT_EQ(r.toApp, c.expected.toApp);
        EXPECT_EQ(r.toFile, c.expected.toFile);
    }
}

TEST(WindowsCommandLine, SyncPaths) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(parseSyncPaths({"/home/a b.vcf", "/tmp/c.vcf"}),
              (Args{"/home/a b.vcf", "/tmp/c.vcf"}));
    EXPECT_EQ(parseSyncPaths({"\"C:\\a b.vcf\" \"C:\\c.vcf\""}),
              (Args{"C:\\a b.vcf", "C:\\c.vcf"}));
    EXPECT_EQ(parseSyncPaths({"\"C:\\a", "b.vcf\"", "\"c.vcf\""}), (Args{"C:\\a b.vcf", "c.vcf"}));
    EXPECT_EQ(parseSyncPaths({"only.vcf"}), (Args{"only.vcf"}));
    EXPECT_TRUE(parseSyncPaths({}).empty());
}

class Automation : public ::testing::Test {
  protected:
    MemorySettingsStore store;
    RecordingPrompt prompts;
    RunContext run{prompts, store};
};

TEST_F(Automation, TaskValuesKeepTheRegistryLayout) {
    ASSERT_EQ(SaveAutomationTask(run, "My Task", "Eudora", "/mail/nndbase.txt", "Other", ""), 0);
    SettingValue from;
    SettingValue to;
    ASSERT_EQ(
        store.readValue(RootKey::CurrentUser, "Software\\Vesk\\Automation\\My Task", "from", from),
        0);
    ASSERT_EQ(
        store.readValue(RootKey::CurrentUser, "Software\\Vesk\\Automation\\My Task", "to", to), 0);
    EXPECT_EQ(from.type, ValueType::MultiString);
    EXPECT_EQ(from.strings, (std::vector<std::string>{"Eudora", "/mail/nndbase.txt"}));
    EXPECT_EQ(from.registrySize(), 2u * (6 + 17 + 3));
    // An empty file part survives: the name, an empty string, the final terminator.
    EXPECT_EQ(to.flatText(), std::string("Other\0\0\0", 8));
    EXPECT_EQ(to.registrySize(), 2u * (5 + 0 + 3));
    AutomationTask task;
    ASSERT_TRUE(readAutomationTask(run, "My Task", task));
    EXPECT_EQ(task.toApp, "Other");
    EXPECT_EQ(task.toFile, "");
    EXPECT_EQ(describeTask(task), "Convert from Eudora /mail/nndbase.txt to Other ");
}

TEST_F(Automation, LongPathsAreNeitherCutNorRefused) {
    const std::string path = "/home/ann/" + std::string(400, 'x') + "/nndbase.txt";
    ASSERT_EQ(SaveAutomationTask(run, "Long", "Eudora", path, "Other", path + ".vcf"), 0);
    AutomationTask task;
    ASSERT_TRUE(readAutomationTask(run, "Long", task));
    EXPECT_EQ(task.fromFile, path);
    EXPECT_EQ(task.toFile, path + ".vcf");
}

TEST_F(Automation, AFailedWriteIsReturned) {
    store.failWrites = true;
    EXPECT_EQ(SaveAutomationTask(run, "T", "Other", "a", "Other", "b"), kErrorCantWrite);
}

TEST_F(Automation, EnumerationAndDeletion) {
    ASSERT_EQ(SaveAutomationTask(run, "b task", "Other", "a", "Other", "b"), 0);
    ASSERT_EQ(SaveAutomationTask(run, "A task", "Other", "a", "Other", "b"), 0);
    std::string name;
    EXPECT_EQ(EnumAutomationTask(run, 0, name), 0);
    EXPECT_EQ(name, "A task");
    EXPECT_EQ(EnumAutomationTask(run, 1, name), 0);
    EXPECT_EQ(name, "b task");
    EXPECT_EQ(EnumAutomationTask(run, 2, name), kErrorNoMoreItems);
    EXPECT_EQ(EnumAutomationTask(run, -1, name), kErrorNoMoreItems);
    EXPECT_EQ(EnumAutomationTask(run, 1, name), kErrorNoMoreItems);  // closed

    DeleteAutomationTask(run, "A TASK");  // key names ignore case, as the registry's do
    EXPECT_EQ(EnumAutomationTask(run, 0, name), 0);
    EXPECT_EQ(name, "b task");
    EXPECT_EQ(EnumAutomationTask(run, -1, name), kErrorNoMoreItems);
}

TEST_F(Automation, AnUnreadableTaskIsReportedAndNothingRuns) {
    PlainBookView view{run};
    for (const char* name : {"", "missing"}) {
        SCOPED_TRACE(name);
        prompts.messages.clear();
        EXPECT_FALSE(RunAutomationTask(view, name));
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, std::string("Invalid automation task: ") + name);
        EXPECT_EQ(prompts.messages[0].caption, "Vesk Error");
    }
    // "from" alone is not a task.
    store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Automation\\Half", "from",
                     SettingValue::ofStrings({"Other", "a"}));
    EXPECT_FALSE(RunAutomationTask(view, "Half"));
}

/// The command line run in-process over the line format (.tst), with its streams captured.
class CommandLine : public testing::CommandLineFixture {};

TEST_F(CommandLine, ExitCodesOfTheSimpleCases) {
    struct Case {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{}, kExitDone},
        {{"--version"}, kExitDone},
        {{"--help"}, kExitDone},
        {{"/?"}, kExitDone},
        {{"/helpme"}, kExitDone},
        {{"/wizard"}, kExitFailed},
        {{"/prefs"}, kExitFailed},
        {{"/WIZARD"}, kExitUsage},  // no switch, and no such file
        {{"convert", "only-one.tst"}, kExitUsage},
        {{"convert", "--bogus", "a.tst", "b.tst"}, kExitUsage},
        {{"convert", "--from", "Nonesuch", "a.tst", "b.tst"}, kExitUsage},
        {{"convert", "--to", "Thunderbrid", "a.tst", "b.tst"}, kExitUsage},
        {{"convert", "/no/such/file.tst", "b.tst"}, kExitFailed},
        {{"sync", "a.tst"}, kExitUsage},
        {{"/sync", "a.tst"}, kExitUsage},
        {{"auto"}, kExitUsage},
        {{"/auto"}, kExitFailed},
        {{"tasks", "bogus"}, kExitUsage},
        {{"no-such-command"}, kExitUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
        EXPECT_EQ(vesk(c.args), c.code) << err.str();
    }
    EXPECT_EQ(vesk({"--version"}), 0);
    EXPECT_EQ(out.str(), "vesk 9.9\n");
    EXPECT_EQ(vesk({"/wizard"}), kExitFailed);
    EXPECT_NE(err.str().find("window"), std::string::npos);
}

TEST_F(CommandLine, ReadingOptionsAreKeptForTheRunOrRefused) {
    EXPECT_EQ(vesk({"--encoding", "ISO-8859-2", "--version"}), kExitDone) << err.str();
    EXPECT_EQ(run.sourceEncoding, "ISO-8859-2");
    EXPECT_EQ(vesk({"--version", "--encoding=Shift_JIS"}), kExitDone) << err.str();
    EXPECT_EQ(run.sourceEncoding, "Shift_JIS");
    EXPECT_EQ(vesk({"--csv-map", "Mail=E-Mail Address", "--version"}), kExitDone) << err.str();

    const struct {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"--encoding", "NO-SUCH-CHARSET", "--version"}, "unknown encoding 'NO-SUCH-CHARSET'"},
        {{"--version", "--encoding"}, "'--encoding' needs a value"},
        {{"--csv-map", "Mail=Nothing", "--version"}, "--csv-map: 'Mail=Nothing'"},
        {{"--csv-map", "--version"}, "'--csv-map' needs a value"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.says);
        EXPECT_EQ(vesk(c.args), kExitUsage);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
}

TEST_F(CommandLine, ConvertWritesAndReports) {
    spit(file("in.tst"), "Ann|a@x\nBob|b@x\nAnn|a@x\n");
    ASSERT_EQ(vesk({"convert", file("in.tst"), file("out.tsf")}), kExitDone) << err.str();
    EXPECT_EQ(slurp(file("out.tsf")), "Ann|a@x\r\nBob|b@x\r\n");
    EXPECT_NE(err.str().find("read 2 contact(s)"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("1 duplicate(s) merged"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("wrote 2 contact(s)"), std::string::npos) << err.str();

    // Converting again merges with the destination, and says so.
    spit(file("more.tst"), "Cid|c@x\n");
    ASSERT_EQ(vesk({"convert", file("more.tst"), file("out.tsf")}), kExitDone);
    EXPECT_NE(slurp(file("out.tsf")).find("Ann|a@x"), std::string::npos);
    EXPECT_NE(err.str().find("merged with what"), std::string::npos) << err.str();
    ASSERT_EQ(vesk({"convert", "--replace", file("more.tst"), file("out.tsf")}), kExitDone);
    EXPECT_EQ(slurp(file("out.tsf")), "Cid|c@x\r\n");
}

TEST_F(CommandLine, SummaryCountsListMembersKeptAsContacts) {
    // A list of addresses (Pine, Pegasus, LDIF) whose members the book held no contact for.
    testing::ScriptedReader source(
        "f", {testing::contact("Ann", "ann@x.org"), markerEntry(KindListBegin, "Team"),
              testing::contact("", "ann@x.org"), testing::contact("Bob", "bob@y.org"),
              testing::contact("", "cid@z.org"), markerEntry(KindListEnd, "Team")});
    NewAdbook book(run);
    book.fromStart(source);
    SaveOutcome save;
    save.status = SaveStatus::Saved;
    save.fileName = "out.csv";
    reportConversion("in.txt", book, save, err);
    EXPECT_NE(err.str().find("read 3 contact(s), 1 list(s) from in.txt"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("2 list member(s) matched no contact and were kept as contacts"),
              std::string::npos)
        << err.str();
}

TEST_F(CommandLine, TheSummaryNamesWhatTheDestinationCannotHoldAndReportWritesEachValue) {
    spit(file("in.vcf"),
         "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nEMAIL:a@x.org\nEMAIL:a2@x.org\nBDAY:1980-05-17\n"
         "TEL;TYPE=home:123\nEND:VCARD\n");
    ASSERT_EQ(vesk({"convert", "--report", file("r.jsonl"), file("in.vcf"), file("out.tst")}),
              kExitDone)
        << err.str();
    // First and Last Name, completed from the Full Name, come back the same way: no loss.
    EXPECT_NE(err.str().find("vesk: 3 value(s) this format cannot hold were left out: Birthday "
                             "1, Home Phone 1, Other E-Mail 1\n"),
              std::string::npos)
        << err.str();
    const std::string events = slurp(file("r.jsonl"));
    EXPECT_EQ(std::count(events.begin(), events.end(), '\n'), 3) << events;
    EXPECT_EQ(events.find("{\"entry\":\"Ann\",\"field\":\"Home Phone\",\"value\":\"123\","
                          "\"status\":\"dropped\",\"reason\":\"this format has no place for "
                          "it\"}\n"),
              0u)
        << events;
    EXPECT_NE(events.find("{\"entry\":\"Ann\",\"field\":\"Birthday\",\"value\":\"1980-05-17\","),
              std::string::npos)
        << events;
    EXPECT_EQ(vesk({"convert", file("in.vcf"), file("out.tst"), "--report"}), kExitUsage);
    EXPECT_NE(err.str().find("option '--report' needs a value (a file)"), std::string::npos);
}

TEST_F(CommandLine, ConvertFailuresExitNonZero) {
    spit(file("in.tst"), "Ann|a@x\n");
    spit(file("empty.tst"), "");
    EXPECT_EQ(vesk({"convert", file("in.tst"), file("out.nowriter")}), kExitFailed);
    EXPECT_NE(err.str().find("cannot write"), std::string::npos);
    EXPECT_FALSE(fs::exists(file("out.nowriter")));
    EXPECT_EQ(vesk({"convert", file("in.tst"), file("no/dir/out.tst")}), kExitFailed);
    EXPECT_NE(err.str().find("File write Error"), std::string::npos);
    EXPECT_EQ(err.str().find("wrote"), std::string::npos);
    EXPECT_EQ(vesk({"convert", file("empty.tst"), file("out.tst")}), kExitFailed);
    EXPECT_FALSE(fs::exists(file("out.tst")));
}

TEST_F(CommandLine, ConvertFindsTheFormatByContentOrById) {
    // The line format's sniffer knows files that start with "LINES|".
    spit(file("book.data"), "LINES|x\nAnn|a@x\n");
    ASSERT_EQ(vesk({"convert", file("book.data"), file("out.tst")}), kExitDone) << err.str();
    EXPECT_NE(slurp(file("out.tst")).find("Ann|a@x"), std::string::npos);

    // Named by id, a format is used whatever the extension says.
    spit(file("plain.txt"), "Bob|b@x\n");
    ASSERT_EQ(vesk({"convert", "--from", "test_lines", "--to", "test_lines", file("plain.txt"),
                    file("out.anything")}),
              kExitDone)
        << err.str();
    EXPECT_EQ(slurp(file("out.anything")), "Bob|b@x\r\n");
    EXPECT_EQ(vesk({"convert", "--from", "no_such_format", file("plain.txt"), file("x.tst")}),
              kExitUsage);
}

TEST_F(CommandLine, AFileNoFormatKnowsIsNamedWithWhatItLooksLike) {
    spit(file("photo"), std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10));
    EXPECT_EQ(vesk({"convert", file("photo"), file("out.tst")}), kExitFailed);
    EXPECT_FALSE(fs::exists(file("out.tst")));
    // Told in one line on stderr (the command line shows no message boxes).
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(err.str(), "vesk: \"" + file("photo") +
                             "\" is not an address book Vesk can read: it looks like a JPEG "
                             "image.\n");
    EXPECT_EQ(run.diagnostics().count(Severity::Error), 1);
}

TEST_F(CommandLine, WindowsConvertSwitch) {
    spit(file("in put.tst"), "Ann|a@x\n");
    ASSERT_EQ(vesk({"/convert", "/from", "/app", "Other", "/file", file("in put.tst"), "/to",
                    "/app", "Other", "/file", file("out.tst"), "/EOS"}),
              kExitDone)
        << err.str();
    EXPECT_EQ(slurp(file("out.tst")), "Ann|a@x\r\n");
    EXPECT_EQ(vesk({"/convert", "/from", "/app", "outlook express", "/file", file("in put.tst"),
                    "/to", "/file", file("out2.tst"), "/EOS"}),
              kExitFailed);
    EXPECT_FALSE(fs::exists(file("out2.tst")));
}

TEST_F(CommandLine, StoredTasksRunWithAutoInBothForms) {
    spit(file("in.tst"), "Ann|a@x\n");
    ASSERT_EQ(vesk({"tasks", "save", "My Task", "Other", file("in.tst"), "Other", file("o.tst")}),
              kExitDone);
    ASSERT_EQ(vesk({"tasks"}), kExitDone);
    EXPECT_EQ(out.str(), "My Task\tConvert from Other " + file("in.tst") + " to Other " +
                             file("o.tst") + "\n");
    ASSERT_EQ(vesk({"/auto", "My", "Task"}), kExitDone) << err.str();
    EXPECT_EQ(slurp(file("o.tst")), "Ann|a@x\r\n");
    fs::remove(file("o.tst"));
    ASSERT_EQ(vesk({"auto", "My Task"}), kExitDone) << err.str();
    EXPECT_TRUE(fs::exists(file("o.tst")));
    ASSERT_EQ(vesk({"tasks", "delete", "My Task"}), kExitDone);
    EXPECT_EQ(vesk({"auto", "My Task"}), kExitFailed);
    EXPECT_EQ(vesk({"tasks", "delete", "My Task"}), kExitFailed);
}

TEST_F(CommandLine, SyncWritesBothFilesAfresh) {
    spit(file("a.tst"), "Ann|a@x\nBob|b@x\n");
    spit(file("b.tst"), "Ann|a@x\nCid|c@x\n");
    ASSERT_EQ(vesk({"sync", file("a.tst"), file("b.tst")}), kExitDone) << err.str();
    EXPECT_EQ(slurp(file("a.tst")), slurp(file("b.tst")));
    EXPECT_NE(slurp(file("a.tst")).find("Cid|c@x"), std::string::npos);
    EXPECT_NE(err.str().find("both now hold"), std::string::npos);
}

TEST_F(CommandLine, SyncStopsBeforeWritingWhenEitherSideCannotBeHandled) {
    spit(file("a.tst"), "Ann|a@x\n");
    spit(file("b.nowriter"), "Bob|b@x\n");
    const std::string before = slurp(file("a.tst"));
    EXPECT_EQ(vesk({"sync", file("a.tst"), file("b.nowriter")}), kExitFailed);
    EXPECT_EQ(vesk({"sync", file("a.tst"), file("missing.tst")}), kExitFailed);
    EXPECT_EQ(vesk({"/sync", "\"" + file("a.tst") + "\""}), kExitUsage);
    EXPECT_EQ(slurp(file("a.tst")), before);
    EXPECT_FALSE(fs::exists(file("a.tst.bak")));
    EXPECT_FALSE(fs::exists(file("missing.tst")));
}

TEST_F(CommandLine, ABareFileNameIsLoaded) {
    spit(file("book.tst"), "Ann|a@x\nBob|b@x\n");
    ASSERT_EQ(vesk({file("book.tst")}), kExitDone) << err.str();
    EXPECT_EQ(out.str(), file("book.tst") +
                             ": 2 contact(s), 0 folder(s), 0 list(s)\n"
                             "Name  E-mail\nAnn   a@x\nBob   b@x\n");
}

}  // namespace
}  // namespace vesk::cli
