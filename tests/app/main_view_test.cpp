// The window's logic without widgets: a surface that records what the window would show, and a
// scripted prompt from the run context.
#include "app/common/main_view.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::contact;
using testing::TempDir;
using testing::TestRun;

class FakeSurface : public MainSurface {
  public:
    void treeChanged(int selected) override {
        ++treeRebuilds;
        treeSelection = selected;
    }
    void listChanged() override { ++listRebuilds; }
    void selectRow(int row) override { shownRow = row; }
    void statusChanged(int part, const std::string& text) override {
        status[static_cast<std::size_t>(part)] = text;
    }
    void editNodeLabel(int node) override { editedNode = node; }
    void openFindDialog() override { ++findDialogs; }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    bool openPage(const std::string& target) override {
        pages.push_back(target);
        return true;
    }
    void runWithProgress(const std::function<void()>& job) override {
        ++progressRuns;
        job();
    }
    std::optional<SheetResult> entrySheet(Entry& entry, bool newEntry) override {
        sheets.push_back({entry[Field::FullName], newEntry});
        if (!sheet) return std::nullopt;
        return sheet(entry);
    }
    bool hasWizard() const override { return wizardBuilt; }
    void runWizard(WizardMode mode) override { wizards.push_back(mode); }
    void closeWindow() override { closed = true; }

    int treeRebuilds = 0;
    int treeSelection = -1;
    int listRebuilds = 0;
    int shownRow = -1;
    std::string status[2];
    int editedNode = -1;
    int findDialogs = 0;
    std::string clipboard;
    std::vector<std::string> pages;
    int progressRuns = 0;
    std::vector<std::pair<std::string, bool>> sheets;
    std::function<std::optional<SheetResult>(Entry&)> sheet;
    bool wizardBuilt = false;
    std::vector<WizardMode> wizards;
    bool closed = false;
};

const char* const kTwoCards =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Zoe Zimmer\r\nEMAIL;INTERNET:zoe@example.org\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Anna Alt\r\nEMAIL;INTERNET:anna@example.org\r\n"
    "END:VCARD\r\n";

FileDialogResult chosen(const std::string& name) {
    FileDialogResult r;
    r.ok = true;
    r.fileName = name;
    r.filterIndex = 1;
    return r;
}

struct ViewTest : ::testing::Test {
    TestRun run;
    FakeSurface surface;
    MainView view{run, surface};
    TempDir dir;

    /// The root with Anna, Bob and Carl, and lists "Team" (Bob) and "All" (all three).
    void fillRoot() {
        NewAdbook& root = view.rootBook();
        root.addEntry(contact("Anna Alt", "anna@example.org", "an"));
        root.addEntry(contact("Bob Brown", "bob@example.org", "bo"));
        root.addEntry(contact("Carl Cole", "carl@example.org", "ca"));
        root.sortAndMerge(0);
        root.listNamed("Team")->addMember(root.entryPtr(1));
        DistList* all = root.listNamed("All");
        for (int i = 0; i < 3; ++i) all->addMember(root.entryPtr(i));
        view.refresh();
    }
    std::string name(int row) { return view.rowTexts(row)[0]; }
    int nodeNamed(const std::string& label) {
        for (const TreeNode& n : view.treeNodes())
            if (n.book->name() == label) return n.id;
        return -1;
    }
    std::vector<std::string> messages() {
        std::vector<std::string> out;
        for (const auto& m : run.prompts.messages) out.push_back(m.text);
        return out;
    }
};

TEST_F(ViewTest, StartsWithTheRootItemAndNoRows) {
    ASSERT_EQ(view.treeNodes().size(), 1u);
    EXPECT_EQ(view.nodeLabel(view.rootNode()), "Contacts");
    EXPECT_EQ(view.rowCount(), 0);
    EXPECT_EQ(view.itemsText(), "0 Items");
}

TEST_F(ViewTest, OpenFileLoadsIntoTheBookWithProgressAndCounts) {
    run.prompts.fileAnswers.push_back(chosen(dir.file("two.vcf", kTwoCards)));
    view.command(Command::OpenFile);
    EXPECT_TRUE(run.prompts.messages.empty());  // an empty book is not offered for saving
    EXPECT_EQ(surface.progressRuns, 1);
    ASSERT_EQ(view.rowCount(), 2);
    EXPECT_EQ(name(0), "Anna Alt");
    EXPECT_EQ(view.rowTexts(0)[1], "anna@example.org");
    EXPECT_EQ(surface.status[1], "2 Items");
    EXPECT_GT(surface.listRebuilds, 0);
}

TEST_F(ViewTest, SavePromptBeforeOpeningDecidesWhatIsLost) {
    struct Case {
        const char* label;
        Answer answer;
        bool giveSaveName;
        bool loaded;  ///< the old book was replaced by the file
        bool saved;
    };
    const Case cases[] = {
        {"cancel abandons", Answer::Cancel, false, false, false},
        {"no clears and opens", Answer::No, false, true, false},
        {"yes with the save dialog cancelled abandons", Answer::Yes, false, false, false},
        {"yes saves first, then opens", Answer::Yes, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestRun caseRun;
        FakeSurface caseSurface;
        MainView v(caseRun, caseSurface);
        v.rootBook().addEntry(contact("Old One", "old@example.org"));
        const std::string saved = dir.file(std::string("saved-") + c.label + ".vcf");
        caseRun.prompts.answers.push_back(c.answer);
        if (c.giveSaveName) {
            caseRun.prompts.fileAnswers.push_back(chosen(saved));
        } else if (c.answer == Answer::Yes) {
            caseRun.prompts.fileAnswers.push_back({});
        }
        caseRun.prompts.fileAnswers.push_back(chosen(dir.file("two.vcf", kTwoCards)));
        v.command(Command::OpenFile);
        ASSERT_FALSE(caseRun.prompts.messages.empty());
        EXPECT_EQ(caseRun.prompts.messages[0].caption, "Save?");
        EXPECT_EQ(caseRun.prompts.messages[0].buttons, Buttons::YesNoCancel);
        EXPECT_EQ(v.rowCount(), c.loaded ? 2 : 1);
        EXPECT_EQ(std::filesystem::exists(saved), c.saved);
        if (c.saved) {
            EXPECT_NE(testing::slurp(saved).find("Old One"), std::string::npos);
        }
    }
}

TEST_F(ViewTest, AddFileKeepsWhatTheBookHolds) {
    view.rootBook().addEntry(contact("Old One", "old@example.org"));
    run.prompts.fileAnswers.push_back(chosen(dir.file("two.vcf", kTwoCards)));
    view.command(Command::AddFile);
    EXPECT_TRUE(run.prompts.messages.empty());
    EXPECT_EQ(view.rowCount(), 3);
}

TEST_F(ViewTest, ListsComeFirstAndRowsMapToEntries) {
    fillRoot();
    ASSERT_EQ(view.rowCount(), 5);
    EXPECT_TRUE(view.rowIsList(0));
    EXPECT_TRUE(view.rowIsList(1));
    EXPECT_FALSE(view.rowIsList(2));
    EXPECT_EQ(view.entryIndex(2), 0);
    EXPECT_EQ(name(0), "Team");
    EXPECT_EQ(name(2), "Anna Alt");
    EXPECT_EQ(view.rowTexts(4)[2], "ca");
    EXPECT_EQ(surface.status[1], "3 Items");
}

TEST_F(ViewTest, RefreshBuildsFoldersThenListsDepthFirst) {
    NewAdbook& root = view.rootBook();
    NewAdbook* work = root.folderNamed("Work");
    work->folderNamed("Old");
    root.folderNamed("Home");
    root.listNamed("Team");
    view.command(Command::Refresh);
    std::vector<std::string> labels;
    for (const TreeNode& n : view.treeNodes()) labels.push_back(n.book->name());
    EXPECT_EQ(labels, (std::vector<std::string>{"Contacts", "Work", "Old", "Home", "Team"}));
    EXPECT_TRUE(view.treeNodes().back().isList);
}

TEST_F(ViewTest, PropertiesOfAListRowShowsItsMembers) {
    fillRoot();
    view.setSelectedRow(0);  // "Team"
    view.command(Command::Properties);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].caption, "List Contents");
    EXPECT_EQ(run.prompts.messages[0].text, "Bob Brown <bob@example.org>\n");
    EXPECT_TRUE(surface.sheets.empty());
}

TEST_F(ViewTest, PropertiesOfTheThirdRowEditsEntryZero) {
    fillRoot();
    surface.sheet = [](Entry& e) {
        e[Field::FullName] = "Zed Anna";
        return SheetResult{true, true, false, false, false};
    };
    view.setSelectedRow(2);
    view.command(Command::Properties);
    ASSERT_EQ(surface.sheets.size(), 1u);
    EXPECT_EQ(surface.sheets[0].first, "Anna Alt");
    EXPECT_FALSE(surface.sheets[0].second);
    // Renamed, it sorts last; the selection follows it, and the lists still hold it.
    EXPECT_EQ(name(4), "Zed Anna");
    EXPECT_EQ(view.selectedRow(), 4);
    EXPECT_EQ(surface.shownRow, 4);
    DistList* all = view.rootBook().listAt(view.rootBook().listIndex("All"));
    EXPECT_EQ(all->members().size(), 3u);
}

TEST_F(ViewTest, PropertiesKeepsTheEntryWhateverTheSheetReports) {
    struct Case {
        const char* label;
        SheetResult result;
        bool clearBoth;  ///< the sheet clears name and address
        const char* expected;
    };
    const Case cases[] = {
        {"cancel", {false, true, false, false, false}, false, "Bob Brown"},
        {"ok without changes", {true, false, false, false, false}, false, "Bob Brown"},
        {"home page changed", {true, false, true, false, false}, false, "Bob Brown"},
        {"name and address cleared", {true, true, false, false, false}, true, "Bob Brown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestRun caseRun;
        FakeSurface caseSurface;
        MainView v(caseRun, caseSurface);
        NewAdbook& root = v.rootBook();
        root.addEntry(contact("Anna Alt", "anna@example.org"));
        root.addEntry(contact("Bob Brown", "bob@example.org"));
        caseSurface.sheet = [&](Entry& e) {
            e[Field::HomePhone] = "555";
            if (c.clearBoth) e[Field::FullName] = e[Field::Email] = "";
            return c.result;
        };
        v.refresh();
        v.setSelectedRow(1);
        v.command(Command::Properties);
        ASSERT_EQ(v.rowCount(), 2);
        EXPECT_EQ(v.rowTexts(1)[0], c.expected);
        const bool written = c.result.ok && c.result.anyChanged() && !c.clearBoth;
        EXPECT_EQ(v.rowTexts(1)[3], written ? "555" : "");
    }
}

TEST_F(ViewTest, BlankEntryAddsWhatTheSheetFilledIn) {
    fillRoot();
    // Cancel adds nothing, whatever was typed before it.
    surface.sheet = [](Entry& e) {
        e[Field::FullName] = "Typed Then Cancelled";
        return SheetResult{false};
    };
    view.command(Command::BlankEntry);
    EXPECT_EQ(view.rootBook().entryCount(), 3);
    surface.sheet = [](Entry& e) {
        e[Field::FullName] = "Dora Dean";
        return SheetResult{true, true};
    };
    view.command(Command::BlankEntry);
    ASSERT_EQ(surface.sheets.size(), 2u);
    EXPECT_TRUE(surface.sheets[1].second);
    EXPECT_EQ(view.rootBook().entryCount(), 4);
    EXPECT_EQ(surface.status[1], "4 Items");
    EXPECT_EQ(view.selectedRow(), 0);
}

TEST_F(ViewTest, PagesOfALaterVersionSaySoAndClearNothing) {
    fillRoot();
    run.prompts.answers.push_back(Answer::No);  // would clear, were it asked
    for (Command c : {Command::OpenAddressBook, Command::AddAddressBook, Command::Export,
                      Command::OpenWizard, Command::Preferences, Command::BlankEntry}) {
        view.command(c);
    }
    EXPECT_EQ(view.rootBook().entryCount(), 3);
    ASSERT_EQ(run.prompts.messages.size(), 6u);
    for (const auto& m : run.prompts.messages)
        EXPECT_NE(m.text.find("is not part of this version of Vesk yet"), std::string::npos);
}

TEST_F(ViewTest, WizardModesWhenTheWizardIsBuilt) {
    fillRoot();
    surface.wizardBuilt = true;
    run.prompts.answers.push_back(Answer::No);
    view.command(Command::Export);
    view.command(Command::OpenAddressBook);
    view.command(Command::Export);  // the book is empty now: nothing to export
    view.command(Command::OpenWizard);
    EXPECT_EQ(surface.wizards,
              (std::vector<WizardMode>{WizardMode::Export, WizardMode::Open, WizardMode::Full}));
    EXPECT_EQ(view.rootBook().entryCount(), 0);  // Open cleared the book first
}

TEST_F(ViewTest, NewFolderTakesTheFirstFreeUntitledName) {
    view.command(Command::NewFolder);
    const int first = nodeNamed("untitled");
    ASSERT_GE(first, 0);
    EXPECT_EQ(surface.editedNode, first);
    EXPECT_EQ(&view.shownBook(), view.node(first)->book);
    // Under the selected folder: its own "untitled", then "untitled0" beside it.
    view.command(Command::NewFolder);
    view.selectNode(first);
    view.command(Command::NewFolder);
    NewAdbook* folder = view.rootBook().folder(0);
    ASSERT_EQ(folder->folderCount(), 2);
    EXPECT_EQ(folder->folder(0)->name(), "untitled");
    EXPECT_EQ(folder->folder(1)->name(), "untitled0");
    EXPECT_EQ(view.node(surface.editedNode)->parent, first);
}

TEST_F(ViewTest, NewFolderUnderAListIsRefused) {
    fillRoot();
    view.selectNode(nodeNamed("Team"));
    view.command(Command::NewFolder);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].caption, "Error Creating Address Book");
    EXPECT_EQ(view.rootBook().folderCount(), 0);
}

TEST_F(ViewTest, RenameChangesTheBookName) {
    view.command(Command::NewFolder);
    EXPECT_TRUE(view.renameNode(surface.editedNode, "Friends"));
    EXPECT_EQ(view.rootBook().folder(0)->name(), "Friends");
    EXPECT_FALSE(view.renameNode(surface.editedNode, ""));
}

TEST_F(ViewTest, DeleteInTheTreeRemovesThatVeryFolder) {
    NewAdbook& root = view.rootBook();
    root.folderNamed("Work")->addEntry(contact("In Work", "w@example.org"));
    root.folderNamed("Homework")->addEntry(contact("In Homework", "h@example.org"));
    root.folder(1)->setName("Work");  // two folders of one name after a rename
    root.listNamed("Work");
    view.refresh();
    int second = -1;
    for (const TreeNode& n : view.treeNodes())
        if (n.book == root.folder(1)) second = n.id;
    view.selectNode(second);
    view.setTreeHasFocus(true);
    view.command(Command::Delete);
    ASSERT_EQ(root.folderCount(), 1);
    EXPECT_EQ(root.folder(0)->entryAt(0)[Field::FullName], "In Work");
    EXPECT_EQ(root.listCount(), 1);
    // The parent is selected and current: the freed folder is never shown.
    EXPECT_EQ(&view.shownBook(), &root);
    EXPECT_EQ(surface.treeSelection, view.rootNode());
    EXPECT_EQ(view.treeNodes().size(), 3u);
}

TEST_F(ViewTest, DeleteInTheTreeRemovesAListFromItsOwner) {
    fillRoot();
    view.selectNode(nodeNamed("Team"));
    view.setTreeHasFocus(true);
    view.command(Command::Delete);
    EXPECT_EQ(view.rootBook().listCount(), 1);
    EXPECT_EQ(view.rootBook().entryCount(), 3);
    EXPECT_EQ(nodeNamed("Team"), -1);
}

TEST_F(ViewTest, DeleteOnTheRootItemOrTheListDeletesTheSelectedEntry) {
    for (bool treeFocus : {true, false}) {
        SCOPED_TRACE(treeFocus ? "root item focused" : "list focused");
        TestRun caseRun;
        FakeSurface caseSurface;
        MainView v(caseRun, caseSurface);
        NewAdbook& root = v.rootBook();
        for (const char* n : {"Anna Alt", "Bob Brown", "Carl Cole"})
            root.addEntry(contact(n, "x@example.org"));
        root.sortAndMerge(0);
        root.listNamed("Team")->addMember(root.entryPtr(1));
        v.refresh();
        v.selectNode(v.rootNode());
        v.setTreeHasFocus(treeFocus);
        v.setSelectedRow(2);  // Bob: one list row comes first
        v.command(Command::Delete);
        ASSERT_EQ(root.entryCount(), 2);
        EXPECT_EQ(v.rowTexts(2)[0], "Carl Cole");
        EXPECT_EQ(caseSurface.shownRow, 2);
        EXPECT_TRUE(root.listAt(0)->members().empty());  // no reference to the gone entry
        EXPECT_EQ(caseSurface.status[1], "2 Items");
        v.setSelectedRow(0);  // a list row: nothing
        v.command(Command::Delete);
        EXPECT_EQ(root.entryCount(), 2);
        EXPECT_TRUE(caseRun.prompts.messages.empty());
    }
}

TEST_F(ViewTest, ClearOnASubFolderLeavesOnlyTheRootItem) {
    NewAdbook* work = view.rootBook().folderNamed("Work");
    work->addEntry(contact("In Work", "w@example.org"));
    work->folderNamed("Deep");
    view.rootBook().addEntry(contact("At Root", "r@example.org"));
    view.refresh();
    view.selectNode(nodeNamed("Work"));
    run.prompts.answers.push_back(Answer::No);
    view.command(Command::Clear);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "Do you wish to save before clearing?");
    EXPECT_EQ(work->entryCount(), 0);
    EXPECT_EQ(work->folderCount(), 0);
    EXPECT_EQ(view.rootBook().entryCount(), 1);
    EXPECT_EQ(view.treeNodes().size(), 1u);
    EXPECT_EQ(surface.status[1], "0 Items");
    view.command(Command::Refresh);
    EXPECT_EQ(view.treeNodes().size(), 2u);
}

TEST_F(ViewTest, ClearCancelledKeepsTheBook) {
    fillRoot();
    run.prompts.answers.push_back(Answer::Cancel);
    view.command(Command::Clear);
    EXPECT_EQ(view.rootBook().entryCount(), 3);
}

TEST_F(ViewTest, FindNextSearchesDownThenOffersTheTop) {
    fillRoot();
    view.command(Command::FindNext);  // no text yet: the dialog opens
    EXPECT_EQ(surface.findDialogs, 1);
    view.setFindText("example.org");
    view.setSelectedRow(2);  // Anna
    view.command(Command::FindNext);
    EXPECT_EQ(view.selectedRow(), 3);
    view.command(Command::FindNext);
    EXPECT_EQ(view.selectedRow(), 4);
    // At the last match: start over? No keeps it, Yes finds the first match above.
    run.prompts.answers = {Answer::No, Answer::Yes};
    view.command(Command::FindNext);
    EXPECT_EQ(view.selectedRow(), 4);
    view.command(Command::FindNext);
    EXPECT_EQ(view.selectedRow(), 2);
    ASSERT_EQ(run.prompts.messages.size(), 2u);
    EXPECT_EQ(run.prompts.messages[0].text,
              "No entries found. Do you want to start over from the top of the list?");
    EXPECT_EQ(run.prompts.messages[0].buttons, Buttons::YesNo);
}

TEST_F(ViewTest, FindNextReportsWhatIsNowhere) {
    fillRoot();
    view.setFindText("nobody");
    view.setSelectedRow(3);
    run.prompts.answers = {Answer::Yes};
    view.command(Command::FindNext);
    EXPECT_EQ(messages().back(), "The item was not found.");
    EXPECT_EQ(view.selectedRow(), 3);
    // The only match is the selected entry: starting over finds it again.
    view.setFindText("Bob");
    run.prompts.answers = {Answer::Yes};
    view.command(Command::FindNext);
    EXPECT_EQ(view.selectedRow(), 3);
    EXPECT_NE(messages().back(), "The item was not found.");
}

TEST_F(ViewTest, FindTextIsCutToTheBuffer) {
    view.setFindText(std::string(100, 'x') + "é");
    EXPECT_EQ(view.findText(), std::string(79, 'x'));
    view.setFindText(std::string(78, 'x') + "éé");
    EXPECT_EQ(view.findText(), std::string(78, 'x') + "é");
}

TEST_F(ViewTest, CommandsOnAnEmptyBookDoNothing) {
    for (Command c : {Command::Export, Command::SaveAsVCard, Command::CopyAll, Command::Find,
                      Command::FindNext, Command::Properties, Command::Delete})
        view.command(c);
    EXPECT_TRUE(run.prompts.messages.empty());
    EXPECT_TRUE(run.prompts.dialogs.empty());
    EXPECT_EQ(surface.findDialogs, 0);
    EXPECT_TRUE(surface.clipboard.empty());
}

TEST_F(ViewTest, CopyAllPutsTheTextListOnTheClipboard) {
    fillRoot();
    view.command(Command::CopyAll);
    EXPECT_NE(surface.clipboard.find("Anna Alt"), std::string::npos);
    EXPECT_NE(surface.clipboard.find("carl@example.org"), std::string::npos);
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST_F(ViewTest, SaveAsVCardWritesTheSelectedEntryOnly) {
    fillRoot();
    const std::string out = dir.file("one");
    view.setSelectedRow(-1);
    view.command(Command::SaveAsVCard);
    view.setSelectedRow(1);  // a list row
    view.command(Command::SaveAsVCard);
    EXPECT_TRUE(run.prompts.dialogs.empty());
    run.prompts.fileAnswers.push_back(chosen(out));
    view.setSelectedRow(3);
    view.command(Command::SaveAsVCard);
    const std::string text = testing::slurp(out + ".vcf");
    EXPECT_NE(text.find("Bob Brown"), std::string::npos);
    EXPECT_EQ(text.find("Anna Alt"), std::string::npos);
}

TEST_F(ViewTest, SaveAsFileWritesTheCurrentBook) {
    fillRoot();
    const std::string out = dir.file("book.vcf");
    run.prompts.fileAnswers.push_back(chosen(out));
    view.command(Command::SaveAsFile);
    EXPECT_NE(testing::slurp(out).find("Carl Cole"), std::string::npos);
}

TEST_F(ViewTest, ColumnClickAndSortCommandsSortByThatField) {
    NewAdbook& root = view.rootBook();
    root.addEntry(contact("Anna Alt", "z@example.org", "mm"));
    root.addEntry(contact("Bob Brown", "a@example.org", "zz"));
    root.addEntry(contact("Carl Cole", "m@example.org", "aa"));
    view.sortByColumn(1);
    EXPECT_EQ(name(0), "Bob Brown");
    view.command(Command::SortByNicknames);
    EXPECT_EQ(name(0), "Carl Cole");
    view.command(Command::SortByEmail);
    EXPECT_EQ(name(2), "Anna Alt");
    view.sortByColumn(0);
    EXPECT_EQ(name(0), "Anna Alt");
}

TEST_F(ViewTest, CloseAsksWhenTheWholeTreeHoldsAnything) {
    EXPECT_TRUE(view.close());  // nothing anywhere: no question
    EXPECT_TRUE(run.prompts.messages.empty());
    view.rootBook().addEntry(contact("Anna Alt", "anna@example.org"));
    view.command(Command::NewFolder);  // an empty sub-folder is now current
    run.prompts.answers = {Answer::Cancel, Answer::No};
    EXPECT_FALSE(view.close());
    EXPECT_EQ(messages().back(), "Do you wish to save before exiting?");
    view.command(Command::Exit);
    EXPECT_TRUE(surface.closed);
}

TEST_F(ViewTest, ExitWithYesSavesTheWholeBookOrStays) {
    view.rootBook().folderNamed("Work")->addEntry(contact("In Work", "w@example.org"));
    run.prompts.answers = {Answer::Yes};
    run.prompts.fileAnswers.push_back({});  // save dialog cancelled: the window stays
    view.command(Command::Exit);
    EXPECT_FALSE(surface.closed);
    const std::string out = dir.file("all.kynt");
    run.prompts.answers = {Answer::Yes};
    run.prompts.fileAnswers.push_back(chosen(out));
    view.command(Command::Exit);
    EXPECT_TRUE(surface.closed);
    EXPECT_NE(testing::slurp(out).find("In Work"), std::string::npos);
}

TEST_F(ViewTest, HelpAndUpdatePages) {
    run.programDirectory = "/opt/vesk/";
    view.command(Command::HelpContents);
    view.command(Command::HelpScreenshot);
    view.command(Command::CheckForUpdate);
    run.store.writeValue(RootKey::CurrentUser, kOwnKey, "CurrentVersion",
                         SettingValue::ofNumber(5410));
    run.store.writeValue(RootKey::CurrentUser, kOwnKey, "UpdateServer",
                         SettingValue::ofText("http://updates.example.net/"));
    view.command(Command::CheckForUpdate);
    EXPECT_EQ(surface.pages, (std::vector<std::string>{
                                 "/opt/vesk/help.chm::/overview.html",
                                 "/opt/vesk/help.chm::/screenshot.html>Stripped",
                                 "https://vesk.example.org/projects/vesk/update/5.4/5402.html",
                                 "http://updates.example.net/projects/vesk/update/5.4/5410.html"}));
}

TEST_F(ViewTest, SynchronizeMakesTheSyncedFolder) {
    fillRoot();
    view.command(Command::Synchronize);
    const int synced = view.rootBook().folderIndex("synced");
    ASSERT_GE(synced, 0);
    EXPECT_EQ(view.rootBook().folder(synced)->entryCount(), 3);
    EXPECT_GE(nodeNamed("synced"), 0);
}

TEST_F(ViewTest, DroppedFilesAreAddedToTheCurrentBook) {
    view.command(Command::NewFolder);
    view.openDroppedFiles({dir.file("two.vcf", kTwoCards)});
    EXPECT_EQ(view.rootBook().folder(0)->entryCount(), 2);
    EXPECT_EQ(surface.status[1], "2 Items");
}

TEST_F(ViewTest, AFailingCommandOffersToRecover) {
    fillRoot();
    surface.sheet = [](Entry&) -> std::optional<SheetResult> { throw std::runtime_error("boom"); };
    view.setSelectedRow(2);
    run.prompts.answers = {Answer::Yes};
    view.command(Command::Properties);
    EXPECT_FALSE(surface.closed);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_NE(run.prompts.messages[0].text.find("boom"), std::string::npos);
    run.prompts.answers = {Answer::No};
    view.command(Command::Properties);
    EXPECT_TRUE(surface.closed);
}

TEST_F(ViewTest, AListSelectedInTheTreeShowsItsMembers) {
    fillRoot();
    view.selectNode(nodeNamed("Team"));
    ASSERT_EQ(view.rowCount(), 1);
    EXPECT_EQ(name(0), "Bob Brown");
    EXPECT_EQ(surface.status[1], "1 Items");
    view.setSelectedRow(0);
    view.command(Command::Delete);  // drops the membership, not the contact
    EXPECT_EQ(view.rowCount(), 0);
    EXPECT_EQ(view.rootBook().entryCount(), 3);
}

}  // namespace
}  // namespace vesk
