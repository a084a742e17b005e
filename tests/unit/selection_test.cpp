#include "operations/selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/common/file_dialogs.h"
#include "discovery/applications.h"
#include "operations/dispatch.h"
#include "platform/environment.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "support/line_format.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::contact;
using testing::slurp;
using testing::spit;

class Selection : public ::testing::Test {
  protected:
    testing::TempDir dir;
    FormatChoice lines{testing::lineRegistry()};
    DispatchContext linesContext = [] {
        DispatchContext c;
        c.registry = &testing::lineRegistry();
        return c;
    }();
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    PlainBookView view{run};

    void add(const std::string& name, const std::string& mail) {
        Entry e = contact(name, mail);
        e.revisionTime = 1000;
        view.currentBook().addEntry(e);
    }
    std::string file(const std::string& name) { return dir.file(name); }
};

TEST_F(Selection, AnEmptyBookWritesNothing) {
    const SaveOutcome o = saveToFile(file("out.tst"), view, lines);
    EXPECT_EQ(o.status, SaveStatus::Empty);
    EXPECT_FALSE(fs::exists(file("out.tst")));
    EXPECT_TRUE(prompts.dialogs.empty());
}

TEST_F(Selection, ContactsThatAllSitInFoldersAreWrittenIntoAFlatFormat) {
    NewAdbook* work = view.currentBook().folderNamed("Work");
    work->addEntry(contact("Ann Work", "ann@work.example"));
    work->folderNamed("Deeper")->addEntry(contact("Deep Dave", "dave@deep.example"));
    const SaveOutcome o = saveToFile(file("out.tst"), view, lines);
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_EQ(o.entriesWritten, 2);
    EXPECT_EQ(o.foldersFlattened, 2);
    EXPECT_EQ(slurp(file("out.tst")),
              "Ann Work|ann@work.example\r\nDeep Dave|dave@deep.example\r\n");
}

TEST_F(Selection, AWriterWithFoldersKeepsThemAndIsNotFlattened) {
    add("Zed", "z@x");
    view.currentBook().folderNamed("Work")->addEntry(contact("Ann", "a@x"));
    const SaveOutcome o = saveToFile(file("out.tsf"), view, lines);
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_EQ(o.foldersFlattened, 0);
    EXPECT_EQ(slurp(file("out.tsf")), "15:Work\r\nAnn|a@x\r\n14:Work\r\nZed|z@x\r\n");
}

TEST_F(Selection, SavingOverAnExistingFileMergesAndDropsDuplicates) {
    spit(file("book.tst"), "Old Olga|olga@x\nShared Sam|sam@x\n");
    add("New Nina", "nina@x");
    add("Shared Sam", "sam@x");
    const SaveOutcome o = saveToFile(file("book.tst"), view, lines);
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_TRUE(o.mergedWithExisting);
    EXPECT_EQ(slurp(file("book.tst")),
              "New Nina|nina@x\r\nOld Olga|olga@x\r\nShared Sam|sam@x\r\n");
    EXPECT_EQ(slurp(file("book.tst.bak")), "Old Olga|olga@x\nShared Sam|sam@x\n");
    // The view's own book is not changed by the merge.
    EXPECT_EQ(view.currentBook().entryCount(), 2);
}

TEST_F(Selection, SavingTheSameBookTwiceOntoOneFileChangesNothing) {
    add("Ann Lee", "a@x");
    add("Ann Lee", "b@x");
    add("Bob", "bob@x");
    ASSERT_EQ(saveToFile(file("book.tst"), view, lines).status, SaveStatus::Saved);
    const std::string once = slurp(file("book.tst"));
    ASSERT_EQ(saveToFile(file("book.tst"), view, lines).status, SaveStatus::Saved);
    EXPECT_EQ(slurp(file("book.tst")), once);
}

TEST_F(Selection, TheExistingContentGoesUnderTheWritersMergeFolder) {
    spit(file("book.tsf"), "Old Olga|olga@x\n");
    add("New Nina", "nina@x");
    ASSERT_EQ(saveToFile(file("book.tsf"), view, lines).status, SaveStatus::Saved);
    EXPECT_EQ(slurp(file("book.tsf")),
              "15:Old\r\nOld Olga|olga@x\r\n14:Old\r\nNew Nina|nina@x\r\n");
}

TEST_F(Selection, ReplacingInsteadOfMerging) {
    spit(file("book.tst"), "Old Olga|olga@x\n");
    add("New Nina", "nina@x");
    const SaveOutcome o = saveToFile(file("book.tst"), view, lines, SaveOptions{false});
    EXPECT_FALSE(o.mergedWithExisting);
    EXPECT_EQ(slurp(file("book.tst")), "New Nina|nina@x\r\n");
}

TEST_F(Selection, FailuresAreReportedNeverTakenForSuccess) {
    add("Ann", "a@x");
    const SaveOutcome noWriter = saveToFile(file("book.unknown"), view, lines);
    EXPECT_EQ(noWriter.status, SaveStatus::NoWriter);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].text.find("book.unknown"), std::string::npos);
    EXPECT_FALSE(fs::exists(file("book.unknown")));

    const SaveOutcome failed = saveToFile(file("no/such/folder/book.tst"), view, lines);
    EXPECT_EQ(failed.status, SaveStatus::Failed);

    // No name and the dialog cancelled: nothing is written, and the caller hears so.
    const SaveOutcome cancelled = saveToFile(
        "", view, lines,
        SaveOptions{true, [this] { return askSaveFileName(run, testing::lineRegistry()); }});
    EXPECT_EQ(cancelled.status, SaveStatus::Cancelled);
    EXPECT_EQ(prompts.dialogs, std::vector<std::string>{"save"});
}

TEST_F(Selection, DestinationsThatAreNotRegularFilesAreRefused) {
    ASSERT_EQ(::mkfifo(file("pipe.tst").c_str(), 0600), 0);
    fs::create_symlink(file("pipe.tst"), file("link.tst"));
    fs::create_directory(file("folder.tst"));
    add("Ann", "a@x");
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {
        {file("pipe.tst"), "not a regular file (a device, a pipe or a socket)"},
        {file("link.tst"), "not a regular file (a device, a pipe or a socket)"},
        {"/dev/null", "not a regular file (a device, a pipe or a socket)"},
        // Merging would read it until memory runs out.
        {"/dev/zero", "not a regular file (a device, a pipe or a socket)"},
        {file("folder.tst"), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        for (bool merge : {true, false}) {
            prompts.messages.clear();
            // A merge would read the pipe and wait for ever: nothing may be read or replaced.
            const SaveOutcome o = saveToFile(c.path, view, lines, SaveOptions{merge});
            EXPECT_EQ(o.status, SaveStatus::Failed);
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text, "\"" + c.path + "\" cannot be written: " +
                                                    c.reason + ". Nothing was written.");
        }
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file("pipe.tst"))));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    EXPECT_FALSE(fs::exists(file("pipe.tst.bak")));
}

TEST_F(Selection, SourcesAreReadUpToTheBound) {
    run.maxSourceBytes = 64;
    spit(file("big.tst"), std::string(65, 'x'));
    EXPECT_EQ(loadFile(file("big.tst"), view, lines), -3);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "\"" + file("big.tst") +
                  "\" is larger than 64 bytes, the most Vesk reads: it was not read.");
    // An endless device is read up to the bound, not until memory runs out.
    EXPECT_EQ(
        loadFile("/dev/zero", view,
                 FormatChoice{testing::lineRegistry(), Application::None, &testing::lineFormat()}),
        -3);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text,
              "\"/dev/zero\" gives more than 64 bytes, the most Vesk reads: it was not read.");
    EXPECT_EQ(view.currentBook().entryCount(), 0);

    // Merging with an existing file beyond the bound would read it whole: refused.
    add("Ann", "a@x");
    spit(file("big.tst"), std::string(65, 'x'));
    EXPECT_EQ(saveToFile(file("big.tst"), view, lines).status, SaveStatus::Failed);
    EXPECT_EQ(slurp(file("big.tst")), std::string(65, 'x'));
    EXPECT_EQ(saveToFile(file("big.tst"), view, lines, SaveOptions{false}).status,
              SaveStatus::Saved);
}

TEST_F(Selection, APipeIsReadOnceForTheContentCheckAndTheReader) {
    ASSERT_EQ(::mkfifo(file("in.pipe").c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        spit(file("in.pipe"), "LINES|x\nAnn|a@x\nBob|b@x\n");
        ::_exit(0);
    }
    EXPECT_EQ(loadFile(file("in.pipe"), view, lines), 0);
    ::waitpid(writer, nullptr, 0);
    EXPECT_EQ(view.currentBook().entryCount(), 3);  // "LINES|x" reads as a contact too
}

TEST_F(Selection, TheSummaryKnowsWhetherTheOldFileWasMergedOrReplaced) {
    add("Ann", "a@x");
    SaveOutcome o = saveToFile(file("new.tst"), view, lines);
    EXPECT_FALSE(o.existed);
    EXPECT_EQ(o.backupFile, "");

    spit(file("old.tst"), "Bob|b@x\n");
    o = saveToFile(file("old.tst"), view, lines);
    EXPECT_TRUE(o.existed);
    EXPECT_TRUE(o.mergedWithExisting);
    EXPECT_EQ(o.existingEntries, 1);
    EXPECT_EQ(o.backupFile, file("old.tst.bak"));

    // Bytes the reader finds nothing in: replaced, not merged.
    spit(file("junk.tst"), "no bar on this line\n");
    o = saveToFile(file("junk.tst"), view, lines);
    EXPECT_TRUE(o.existingUnreadable);
    EXPECT_FALSE(o.mergedWithExisting);
    EXPECT_EQ(slurp(file("junk.tst.bak")), "no bar on this line\n");
}

TEST_F(Selection, ACancelledImportIsNotSaved) {
    add("Ann", "a@x");
    view.currentBook().stopRequested = true;
    EXPECT_EQ(saveToFile(file("x.tst"), view, lines).status, SaveStatus::Empty);
    EXPECT_FALSE(fs::exists(file("x.tst")));
}

TEST_F(Selection, LoadFileResults) {
    spit(file("in.tst"), "Ann|a@x\nBob|b@x\n");
    EXPECT_EQ(loadFile("", view, lines), -1);
    EXPECT_EQ(loadFile(file("in.unknown"), view, lines), -2);
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(view.currentBook().entryCount(), 0);
    EXPECT_EQ(loadFile(file("in.tst"), view, lines), 0);
    EXPECT_EQ(view.status, "2 Items");
}

TEST_F(Selection, DispatchComparesApplicationNamesExactly) {
    spit(file("in.tst"), "Ann|a@x\n");
    struct Case {
        const char* app;
        bool known;
        int entries;
        int format;
    } cases[] = {
        {"Other", true, 1, -1},
        {"Eudora", true, 1, 8},
        {"eud", true, 1, 8},
        {"Forte Agent", true, 1, 21},
        {"agt", true, 1, 21},
        {"Opera", true, 1, -1},  // without the wizard's file, the file given is read
        {"sim", true, 1, -1},
        {"outlook express", false, 0, -1},
        {"other", false, 0, -1},
        {"", false, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.app);
        PlainBookView v(run);
        testing::lastReaderApplication() = Application::None;
        const DispatchOutcome o =
            dispatchApplications(c.app, file("in.tst"), "Other",
                                 file(std::string("out-") + c.app + ".tst"), v, linesContext);
        EXPECT_EQ(o.sourceKnown, c.known);
        EXPECT_EQ(v.currentBook().entryCount(), c.entries);
        if (c.entries > 0) {
            EXPECT_EQ(toNumber(testing::lastReaderApplication()), c.format);
            EXPECT_EQ(o.save.status, SaveStatus::Saved);
        }
    }
}

TEST_F(Selection, TheSourceFileItselfIsRefusedAsTheDestination) {
    const std::string source = file("book.tst");
    spit(source, "Ann|a@x\nBob|b@x\n");
    fs::create_symlink(source, file("link.tst"));
    fs::create_hard_link(source, file("hard.tst"));
    const std::string same = "\"" + source + "\"";
    struct Case {
        std::string destination;
        std::string also;  // how the message names the source when the path differs
    } cases[] = {
        {source, ""},
        {file("link.tst"), " (the same file as " + same + ")"},
        {file("hard.tst"), " (the same file as " + same + ")"},
        {dir.path().string() + "/./book.tst", " (the same file as " + same + ")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        for (bool merge : {true, false}) {
            prompts.messages.clear();
            PlainBookView v(run);
            DispatchContext context = linesContext;
            context.allowMerge = merge;
            const DispatchOutcome o =
                dispatchApplications("Other", source, "Other", c.destination, v, context);
            EXPECT_EQ(o.save.status, SaveStatus::Failed);
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text,
                      "\"" + c.destination + "\" is the source file itself" + c.also +
                          ": Vesk does not write a book over the file it reads. Nothing was "
                          "written.");
        }
    }
    EXPECT_EQ(slurp(source), "Ann|a@x\nBob|b@x\n");
    EXPECT_FALSE(fs::exists(source + ".bak"));
    // Another file of the same content is an ordinary destination.
    spit(file("copy.tst"), "Ann|a@x\nBob|b@x\n");
    EXPECT_EQ(dispatchApplications("Other", source, "Other", file("copy.tst"), view, linesContext)
                  .save.status,
              SaveStatus::Saved);
}

TEST_F(Selection, StoresThatCannotBeOpenedAreReportedNotIgnored) {
    const DispatchOutcome o =
        dispatchApplications("oe", file("x.wab"), "Other", file("o.tst"), view, linesContext);
    EXPECT_TRUE(o.sourceKnown);
    EXPECT_FALSE(o.sourceAvailable);
    EXPECT_EQ(view.currentBook().entryCount(), 0);
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages[0].text, "The Windows Address Book " + file("x.wab") +
                                            " cannot be opened: it does not exist or cannot be "
                                            "read (8004010f).");
}

/// The line format standing in for LDIF, the exchange file's format.
const FormatInfo& ldifAsLines() {
    static const FormatInfo info = [] {
        FormatInfo f = testing::lineFormat();
        f.id = "ldif_as_lines";
        f.extensions = {"ldif"};
        return f;
    }();
    return info;
}

ProcessResult exited(int code) {
    ProcessResult r;
    r.started = true;
    r.exitCode = code;
    return r;
}

class ExternalNetscape : public Selection {
  protected:
    void SetUp() override {
        run.programDirectory = dir.path().string() + "/";
        setConfiguredPath(run, 2, "/opt/netscape/netscape");
    }
    void TearDown() override {
        setConfiguredPath(run, 2, "");
        run.programDirectory = "";
    }
    DispatchContext netscape() {
        DispatchContext c;
        c.registry = &registry;
        return c;
    }
    const Registry registry = Registry::withExtra({&ldifAsLines(), &testing::lineFormat()});
    std::vector<std::vector<std::string>> runs;
};

TEST_F(ExternalNetscape, ExportRunsTheProgramWithAnArgumentVectorAndLoadsItsFile) {
    const std::string ldif = dir.file("vesk.ldif");
    spit(ldif, "Stale Steve|steve@x\n");  // left by an earlier run
    DispatchContext context = netscape();
    context.run = [&](const std::vector<std::string>& argv) {
        runs.push_back(argv);
        EXPECT_FALSE(fs::exists(ldif)) << "a stale file must be gone before the export";
        spit(argv[2], "Ann Export|ann@x\n");
        return exited(0);
    };
    const DispatchOutcome o =
        dispatchApplications("Netscape 4.x", "", "Other", file("out.tst"), view, context);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"/opt/netscape/netscape", "-export", ldif}));
    EXPECT_TRUE(o.sourceAvailable);
    EXPECT_EQ(view.currentBook().entryCount(), 1);
    EXPECT_EQ(view.currentBook().entryAt(0)[Field::FullName], "Ann Export");
    EXPECT_FALSE(fs::exists(ldif));
}

TEST_F(ExternalNetscape, AnExportThatLeavesNoFileLoadsNothing) {
    spit(dir.file("vesk.ldif"), "Stale Steve|steve@x\n");
    DispatchContext context = netscape();
    context.run = [](const std::vector<std::string>&) { return exited(0); };
    const DispatchOutcome o =
        dispatchApplications("ns4", "", "Other", file("out.tst"), view, context);
    EXPECT_FALSE(o.sourceAvailable);
    EXPECT_EQ(view.currentBook().entryCount(), 0);
}

TEST_F(ExternalNetscape, ImportWritesTheFileAfreshShowsTheCommandAndDeletesIt) {
    const std::string ldif = dir.file("vesk.ldif");
    spit(ldif, "Stale Steve|steve@x\n");
    add("Ann", "a@x");
    DispatchContext context = netscape();
    std::string seen;
    context.run = [&](const std::vector<std::string>& argv) {
        runs.push_back(argv);
        seen = slurp(argv[2]);
        return exited(0);
    };
    const DispatchOutcome o = dispatchApplications("", "", "ns4", "", view, context);
    EXPECT_EQ(o.save.status, SaveStatus::Saved);
    EXPECT_EQ(seen, "Ann|a@x\r\n");  // not merged with the stale file
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"/opt/netscape/netscape", "-import", ldif}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "/opt/netscape/netscape -import " + ldif);
    EXPECT_EQ(prompts.messages[0].caption, "");
    EXPECT_FALSE(fs::exists(ldif));
}

TEST_F(ExternalNetscape, AnImportThatFailsOrCannotStartFailsTheRunAndLeavesNoFile) {
    const std::string ldif = dir.file("vesk.ldif");
    add("Ann", "a@x");
    struct Case {
        const char* name;
        ProcessResult result;
        const char* why;
    } cases[] = {
        {"cannot start", ProcessResult{}, "it could not be started"},
        {"exit status 3", exited(3), "it ended with exit status 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.messages.clear();
        DispatchContext context = netscape();
        context.run = [&c](const std::vector<std::string>&) { return c.result; };
        const DispatchOutcome failed =
            dispatchApplications("", "", "Netscape 4.x", "", view, context);
        EXPECT_EQ(failed.save.status, SaveStatus::Failed);
        EXPECT_FALSE(fs::exists(ldif));
        ASSERT_EQ(prompts.messages.size(), 2u);  // the command shown, then the failure
        EXPECT_EQ(
            prompts.messages[1].text,
            "Netscape 4.x (/opt/netscape/netscape -import) failed: " + std::string(c.why) + ".");
    }
    // The real process layer reads the exit status too.
    setConfiguredPath(run, 2, "/bin/false");
    EXPECT_EQ(dispatchApplications("", "", "Netscape 4.x", "", view, netscape()).save.status,
              SaveStatus::Failed);
    setConfiguredPath(run, 2, "/bin/true");
    EXPECT_EQ(dispatchApplications("", "", "Netscape 4.x", "", view, netscape()).save.status,
              SaveStatus::Saved);
    EXPECT_FALSE(fs::exists(ldif));
}

TEST_F(Selection, Netscape3WritesTheFileGivenWhenItIsNotConfigured) {
    add("Ann", "a@x");
    const DispatchOutcome o =
        dispatchApplications("", "", "ns3", file("mine.htm"), view, linesContext);
    EXPECT_EQ(o.save.status, SaveStatus::Saved);
    EXPECT_TRUE(fs::exists(file("mine.htm")));
    EXPECT_FALSE(fs::exists("address.htm"));

    const DispatchOutcome none = dispatchApplications("", "", "ns3", "", view, linesContext);
    EXPECT_NE(none.save.status, SaveStatus::Saved);
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text,
              "Netscape 3.x is not configured and no file was given, so there is no "
              "\"address.htm\" to use.");
}

TEST_F(Selection, SaveDialogAppendsTheChosenFiltersExtension) {
    struct Case {
        const char* typed;
        int filter;
        const char* result;
    } cases[] = {
        {"book", 3, "book.ldif"},    {"book", 2, "book.htm"},
        {"book", 4, "book.pml"},     {"book", 11, "book"},  // "All files" names no extension
        {"book.csv", 3, "book.csv"}, {"/home/a.b/book", 1, "/home/a.b/book.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        prompts.fileAnswers.push_back({true, c.typed, c.filter, 0});
        EXPECT_EQ(askSaveFileName(run), c.result);
    }
    EXPECT_EQ(saveFilters()[2].description, "LDAP files (*.ldif)");
    EXPECT_EQ(openFilters().size(), 15u);
}

TEST_F(Selection, DialogErrorsAndMissingFiles) {
    RecordingTraceSink trace;
    run.setTraceSink(&trace);
    prompts.fileAnswers.push_back({false, "", 0, 0x3002});
    EXPECT_EQ(askSaveFileName(run), "");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "An Error occured in this Dialog Box.");
    EXPECT_EQ(prompts.messages[0].caption, "Vesk");
    EXPECT_NE(trace.text.find("\nError 0x3002"), std::string::npos);

    prompts.fileAnswers.push_back({true, file("gone.vcf"), 11, 0});
    EXPECT_EQ(askOpenFileName(run), "");
    EXPECT_EQ(prompts.messages.back().text, "File Not Found");
    EXPECT_EQ(prompts.messages.back().caption, file("gone.vcf"));

    spit(file("here.vcf"), "x");
    prompts.fileAnswers.push_back({true, file("here.vcf"), 11, 0});
    EXPECT_EQ(askOpenFileName(run), file("here.vcf"));
}

}  // namespace
}  // namespace vesk
