// The wizard's logic without widgets, on a fake machine: a home folder with Thunderbird and
// Opera, a Wine prefix with Eudora, Pegasus Mail, Palm Desktop and Becky!, and the recording
// prompt answering the file dialogs.
#include "app/common/wizard_logic.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "discovery/applications.h"
#include "platform/faults.h"
#include "support/fake_machine.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::FakeMachine;
using testing::wineKey;

const std::string kHotlist =
    "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n"
    "#CONTACT\n\tNAME=Anna Alt\n\tMAIL=anna@example.org\n\n"
    "#FOLDER\n\tNAME=Friends\n\n#FOLDER\n\tNAME=Work\n\n#CONTACT\n\tNAME=Bob Brown\n\n-\n\n-\n\n";

const char* const kLdif =
    "dn: cn=Zoe Zimmer,mail=zoe@example.org\nobjectclass: person\ncn: Zoe Zimmer\n"
    "mail: zoe@example.org\n\n";

FileDialogResult chosen(const std::string& name, int filter = 1) {
    FileDialogResult r;
    r.ok = true;
    r.fileName = name;
    r.filterIndex = filter;
    return r;
}

std::string fixture(const std::string& name) {
    return testing::slurp(std::string(VESK_FIXTURES_DIR) + "/" + name);
}

/// Eudora, Pegasus Mail, Palm Desktop and Becky! in the prefix; Thunderbird and Opera at home.
struct Machine : FakeMachine {
    Machine()
        : FakeMachine({}, wineKey("Software\\Qualcomm\\Eudora\\CommandLine",
                                  {{"current", "C:\\Eudora\\Eudora.exe"}}) +
                              wineKey("Software\\Pegasus Mail\\Mailbox", {{"@", "C:\\PMAIL"}}) +
                              wineKey("Software\\U.S. Robotics\\Pilot Desktop\\Core",
                                      {{"Path", "C:\\Palm"}}) +
                              wineKey("Software\\RimArts\\B2\\Settings", {{"DataDir", "C:\\B2"}})) {
        make("c/Eudora/Eudora.exe");
        make("c/Eudora/nndbase.txt", "alias zoe zoe@example.org\r\n");
        make("c/PMAIL/main.pmr", "");
        make("c/PMAIL/team.pml", "");
        make("c/Palm/anna/address/address.dat", "");
        make("c/B2/AddrBook/@Personal/Default/Group.idx", "x\tbook.bab\n");
        make("c/B2/AddrBook/@Personal/Default/book.bab", "");
        make(".thunderbird/profiles.ini", "[General]\n[Profile0]\nName=me\nPath=me.default\n");
        mab = make(".thunderbird/me.default/abook.mab", fixture("mork/thunderbird_layout.mab"));
        hotlist = make(".opera/contacts.adr", kHotlist);
    }
    std::string mab;
    std::string hotlist;
};

struct WizardTest : ::testing::Test {
    Machine m;
    RecordingPrompt& prompts = m.prompts;
    WizardLogic wizard{*m.run, WizardMode::Full};
};

TEST(WizardPages, EachModeHasItsPagesInOrder) {
    using P = WizardPage;
    const struct {
        WizardMode mode;
        std::vector<WizardPage> pages;
    } cases[] = {
        {WizardMode::Convert, {P::Welcome, P::Source, P::Destination, P::Completion}},
        {WizardMode::Open, {P::Source, P::Destination, P::Completion}},
        {WizardMode::Export, {P::Destination, P::Completion}},
        {WizardMode::Full, {P::Welcome, P::Source, P::Destination, P::Completion}},
        {WizardMode::Task, {P::Welcome, P::Source, P::Destination, P::Completion}},
    };
    for (const auto& c : cases) EXPECT_EQ(WizardLogic::pagesOf(c.mode), c.pages);
    EXPECT_EQ(WizardLogic::title(P::Source), "Choose a source");
    EXPECT_EQ(WizardLogic::subtitle(P::Destination),
              "Please select the application you will be converting to");
    EXPECT_EQ(WizardLogic::helpTopic(P::Welcome), "::/wizard.html");
    EXPECT_EQ(WizardLogic::helpTopic(P::Source), "::/wizard1.html>stripped");
    EXPECT_EQ(WizardLogic::helpTopic(P::Destination), "::/wizard2.html>stripped");
}

TEST_F(WizardTest, ListsConfiguredApplicationsThenTheFixedEntries) {
    // Mail Warrior has a slot but no path: it is listed on neither page.
    EXPECT_EQ(wizard.applications(WizardSide::Source),
              (std::vector<std::string>{
                  "Pegasus Mail", "Eudora", "Outlook Express", "Becky!", "Palm Desktop", "Opera",
                  "Thunderbird", "Pine Address Book", "Corel Address Book 8.x (ABX) File",
                  "Simeon/Execmail exported file", "LDAP/LDIF File",
                  "Comma Separated Values (CSV) File", "Plain text address list"}));
    EXPECT_EQ(
        wizard.applications(WizardSide::Destination),
        (std::vector<std::string>{"Pegasus Mail", "Eudora", "Outlook Express", "Opera",
                                  "Thunderbird", "LDAP/LDIF File",
                                  "Comma Separated Values (CSV) File", "Plain text address list"}));
}

TEST_F(WizardTest, SecondStepsListTheBooksOfEachApplication) {
    const struct {
        std::string app;
        std::string prompt;
        std::vector<std::string> labels;
        bool browse;
    } cases[] = {
        {"Thunderbird", "Please select Address Book", {"me: Personal Address Book"}, false},
        {"Eudora", "Please select Address Book", {"Eudora Nicknames"}, false},
        {"Pegasus Mail", "Please select Address Book", {"main.pmr", "team.pml"}, true},
        {"Palm Desktop", "Please select user", {"anna"}, false},
        {"Outlook Express", "", {"Select File"}, true},
        {"Pine Address Book", "", {}, true},
        {"LDAP/LDIF File", "", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.app);
        wizard.selectApplication(WizardSide::Source, c.app);
        const SecondStep& s = wizard.step(WizardSide::Source);
        std::vector<std::string> labels;
        for (const SecondChoice& choice : s.choices) labels.push_back(choice.label);
        EXPECT_EQ(s.prompt, c.prompt);
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(s.browse, c.browse);
        EXPECT_EQ(wizard.selectionText(WizardSide::Source), "Current Selection: \n" + c.app);
        EXPECT_FALSE(wizard.selectionComplete(WizardSide::Source));
    }
}

TEST_F(WizardTest, NextWaitsForTheSecondChoice) {
    EXPECT_EQ(wizard.selectionText(WizardSide::Source), "No application is selected");
    EXPECT_EQ(wizard.buttons(WizardPage::Welcome), kWizardNext);
    EXPECT_EQ(wizard.buttons(WizardPage::Source), kWizardBack);
    wizard.selectApplication(WizardSide::Source, "Thunderbird");
    EXPECT_EQ(wizard.buttons(WizardPage::Source), kWizardBack);
    ASSERT_TRUE(wizard.chooseItem(WizardSide::Source, 0));
    EXPECT_EQ(wizard.buttons(WizardPage::Source), kWizardBack | kWizardNext);
    EXPECT_EQ(wizard.selectionText(WizardSide::Source),
              "Current Selection: \nThunderbird\nme: Personal Address Book");
    wizard.commit(WizardSide::Source);
    EXPECT_EQ(wizard.fromApp(), "Thunderbird");
    EXPECT_EQ(wizard.fromFile(), m.mab);
    // An application without a second step is complete at once, with its configured path.
    wizard.selectApplication(WizardSide::Source, "Becky!");
    EXPECT_TRUE(wizard.selectionComplete(WizardSide::Source));
    wizard.commit(WizardSide::Source);
    EXPECT_EQ(wizard.fromFile(), m.c("B2/AddrBook/@Personal/Default/book.bab"));
}

TEST_F(WizardTest, FirstPageOfAModeHasNoBack) {
    WizardLogic open(*m.run, WizardMode::Open);
    EXPECT_EQ(open.buttons(WizardPage::Source), 0);
    WizardLogic exportMode(*m.run, WizardMode::Export);
    EXPECT_EQ(exportMode.buttons(WizardPage::Destination), 0);
    EXPECT_EQ(exportMode.buttons(WizardPage::Completion), kWizardBack | kWizardFinish);
}

TEST_F(WizardTest, FinishOfATaskWaitsForTheEventName) {
    WizardLogic task(*m.run, WizardMode::Task);
    EXPECT_EQ(task.buttons(WizardPage::Completion), kWizardBack);
    task.setEventName("n");
    EXPECT_EQ(task.buttons(WizardPage::Completion), kWizardBack | kWizardFinish);
}

TEST_F(WizardTest, BrowseOffersTheFilterOfTheFormatAndTheWholeExtension) {
    prompts.fileAnswers.push_back(chosen(m.dir.file("book")));
    wizard.selectApplication(WizardSide::Destination, "LDAP/LDIF File");
    ASSERT_TRUE(wizard.browse(WizardSide::Destination));
    EXPECT_EQ(prompts.dialogs, std::vector<std::string>{"save"});
    // Not "book.ld": the filter's whole extension.
    EXPECT_EQ(wizard.selectionText(WizardSide::Destination),
              "Current Selection: \nLDAP/LDIF File\n" + m.dir.file("book.ldif"));

    const struct {
        int number;
        std::string description;
    } filters[] = {{0, "Text Files (*.txt)"},
                   {5, "Comma separated values (*.csv) "},
                   {12, "All Files"},
                   {13, "Windows Address Books (*.wab)"},
                   {19, "Opera Hotlists (*.adr)"},
                   {7, ""}};
    for (const auto& f : filters) {
        const auto list = wizardFilter(f.number, false);
        EXPECT_EQ(list.empty() ? std::string() : list.front().description, f.description);
    }
}

TEST_F(WizardTest, DialogErrorIsReported) {
    FileDialogResult broken;
    broken.error = 0x3002;
    prompts.fileAnswers.push_back(broken);
    wizard.selectApplication(WizardSide::Source, "Comma Separated Values (CSV) File");
    EXPECT_FALSE(wizard.browse(WizardSide::Source));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "An Error occured in this Dialog Box.");
    EXPECT_EQ(prompts.messages[0].caption, "Vesk");
}

TEST_F(WizardTest, OutlookExpressOffersDefaultOnlyWithADefaultBook) {
    wizard.selectApplication(WizardSide::Source, "Outlook Express");
    prompts.fileAnswers.push_back(chosen("/data/book.wab"));
    ASSERT_TRUE(wizard.chooseItem(WizardSide::Source, 0));  // "Select File"
    wizard.commit(WizardSide::Source);
    EXPECT_EQ(wizard.fromFile(), "/data/book.wab");

    FakeMachine withBook({}, wineKey("Software\\Microsoft\\WAB\\WAB4\\Wab File Name",
                                     {{"@", "C:\\users\\me\\me.wab"}}));
    withBook.make("c/users/me/me.wab", "");
    WizardLogic other(*withBook.run, WizardMode::Full);
    other.selectApplication(WizardSide::Source, "Outlook Express");
    ASSERT_EQ(other.step(WizardSide::Source).choices.size(), 2u);
    ASSERT_TRUE(other.chooseItem(WizardSide::Source, 0));
    other.commit(WizardSide::Source);
    EXPECT_EQ(other.fromFile(), "Default");
}

TEST_F(WizardTest, OutlookIsReadFromADataFile) {
    SetFormatPath(*m.run, "MS Outlook", "/opt/outlook.exe");
    setConfiguredPath(*m.run, 18, "/opt/outlook.exe");
    wizard.selectApplication(WizardSide::Source, "MS Outlook");
    EXPECT_TRUE(wizard.step(WizardSide::Source).browse);
    prompts.fileAnswers.push_back(chosen("/data/mail.pst"));
    ASSERT_TRUE(wizard.browse(WizardSide::Source));
    wizard.commit(WizardSide::Source);
    EXPECT_EQ(wizard.fromFile(), "/data/mail.pst");
    wizard.selectApplication(WizardSide::Destination, "MS Outlook");
    EXPECT_TRUE(wizard.selectionComplete(WizardSide::Destination));
}

TEST_F(WizardTest, PegasusBrowseListsTheBooksOfAnotherFolder) {
    const std::string other = m.make("other/friends.pmr", "");
    wizard.chooseFolder = [&](const std::string& title) {
        EXPECT_EQ(title, "Please select a folder");
        return fs::path(other).parent_path().string();
    };
    wizard.selectApplication(WizardSide::Source, "Pegasus Mail");
    ASSERT_TRUE(wizard.browse(WizardSide::Source));
    ASSERT_EQ(wizard.step(WizardSide::Source).choices.size(), 1u);
    ASSERT_TRUE(wizard.chooseItem(WizardSide::Source, 0));
    wizard.commit(WizardSide::Source);
    EXPECT_EQ(wizard.fromFile(), other);
}

TEST_F(WizardTest, OperaFoldersAndANewFolder) {
    wizard.selectApplication(WizardSide::Destination, "Opera");
    const SecondStep& s = wizard.step(WizardSide::Destination);
    EXPECT_TRUE(s.operaTree);
    EXPECT_TRUE(s.newFolder);
    EXPECT_EQ(s.operaFolders, (std::vector<std::string>{"Contacts", "Contacts\\Friends\\",
                                                        "Contacts\\Friends\\Work\\"}));
    wizard.chooseOperaFolder(WizardSide::Destination, "Contacts\\Friends\\");
    EXPECT_EQ(wizard.selectionText(WizardSide::Destination),
              "Current Selection: \nOpera\nThe Friends Folder");
    wizard.setNewFolderName("Imported");
    EXPECT_EQ(wizard.selectionText(WizardSide::Destination),
              "Current Selection: \nOpera\nNew folder: Imported");
    wizard.commit(WizardSide::Destination);
    EXPECT_EQ(wizard.toFile(), "Contacts\\Friends\\Imported\\");
    EXPECT_EQ(wizard.dispatchContext().operaFile, m.hotlist);
    wizard.setNewFolderName("");
    EXPECT_EQ(wizard.selectionText(WizardSide::Destination),
              "Current Selection: \nOpera\nThe Friends Folder");
}

TEST_F(WizardTest, CompletionTextKeepsTheBlankOfAnEmptyFile) {
    wizard.preset(WizardSide::Source, "Netscape 4.x", "");
    wizard.preset(WizardSide::Destination, "LDAP/LDIF File", "/tmp/a.ldif");
    EXPECT_EQ(wizard.completionText(),
              "Converting from Netscape 4.x  to LDAP/LDIF File /tmp/a.ldif\nTo modify your "
              "choices click the \"Back\" Button.\nTo update your address book now, press the "
              "\"Finish\" button.");
}

TEST(WizardDispatch, NamesTheDispatchTakes) {
    const struct {
        std::string app, file;
        bool source;
        std::string name;
    } cases[] = {
        {"Thunderbird", "/p/abook.mab", true, "mork"},
        {"Thunderbird", "/p/abook.mab", false, "Thunderbird"},
        {"Pegasus Mail", "/p/team.pml", true, "pegasus_list"},
        {"Pegasus Mail", "/p/main.pmr", true, "pegasus_book"},
        {"Palm Desktop", "/p/address.dat", true, "palm"},
        {"LDAP/LDIF File", "/p/a.ldif", false, "ldif"},
        {"Plain text address list", "/p/a.txt", true, "plain_text"},
        {"Pine Address Book", "/p/addressbook", true, "Pine Address Book"},
        {"Eudora", "/p/nndbase.txt", true, "Eudora"},
        {"mork", "/p/abook.mab", true, "mork"},
    };
    for (const auto& c : cases) EXPECT_EQ(dispatchName(c.app, c.file, c.source), c.name) << c.app;
}

TEST(WizardFinish, SuccessOnlyWhenSomethingWasWritten) {
    auto outcome = [](auto change) {
        DispatchOutcome o;
        o.sourceKnown = true;
        o.save.status = SaveStatus::Saved;
        change(o);
        return o;
    };
    const struct {
        DispatchOutcome o;
        int read;
        std::string text, caption;
    } cases[] = {
        {outcome([](auto&) {}), 3, "The Address Book conversion is complete.",
         "Conversion Complete"},
        {outcome([](auto& o) { o.sourceKnown = false; }), 0,
         "The Address Book conversion failed: Vesk cannot read from A.", "Conversion Failed"},
        {outcome([](auto& o) { o.loadResult = -2; }), 0,
         "The Address Book conversion failed: nothing could be read from A a.",
         "Conversion Failed"},
        {outcome([](auto& o) { o.save.status = SaveStatus::Empty; }), 0,
         "Nothing was converted: no entries were read from A a.", "Vesk"},
        {outcome([](auto& o) { o.save.status = SaveStatus::NoWriter; }), 3,
         "The Address Book conversion failed: Vesk cannot write B b.", "Conversion Failed"},
        {outcome([](auto& o) { o.save.status = SaveStatus::Failed; }), 3,
         "The Address Book conversion failed: writing to B b did not succeed.",
         "Conversion Failed"},
        {outcome([](auto& o) { o.cancelled = true; }), 3,
         "The conversion was cancelled. Nothing was written.", "Vesk"},
    };
    for (const auto& c : cases) {
        const WizardMessage m = finishMessage(c.o, "A", "a", "B", "b", c.read);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(m.caption, c.caption);
    }
}

TEST_F(WizardTest, FinishConvertsAThunderbirdBookIntoAnOperaFolder) {
    wizard.selectApplication(WizardSide::Source, "Thunderbird");
    wizard.chooseItem(WizardSide::Source, 0);
    wizard.commit(WizardSide::Source);
    wizard.selectApplication(WizardSide::Destination, "Opera");
    wizard.chooseOperaFolder(WizardSide::Destination, "Contacts\\Friends\\");
    wizard.commit(WizardSide::Destination);
    int progressRuns = 0;
    const WizardMessage done = wizard.convert([&](const std::function<void()>& job) {
        ++progressRuns;
        job();
    });
    EXPECT_EQ(progressRuns, 1);
    EXPECT_EQ(done.text, "The Address Book conversion is complete.");
    EXPECT_EQ(done.caption, "Conversion Complete");
    const std::string after = testing::slurp(m.hotlist);
    // The hotlist keeps what it held; the new contacts sit inside Friends.
    EXPECT_TRUE(after.starts_with(kHotlist.substr(0, kHotlist.find("#FOLDER"))));
    const std::size_t friends = after.find("NAME=Friends");
    const std::size_t fresh = after.find("#CONTACT", after.find("NAME=Bob Brown"));
    EXPECT_NE(fresh, std::string::npos);
    EXPECT_GT(fresh, friends);
}

TEST_F(WizardTest, FinishReportsAFailedReadInsteadOfSuccess) {
    wizard.preset(WizardSide::Source, "LDAP/LDIF File", m.dir.file("missing.ldif"));
    wizard.preset(WizardSide::Destination, "Comma Separated Values (CSV) File",
                  m.dir.file("out.csv"));
    const WizardMessage m2 = wizard.convert([](const std::function<void()>& job) { job(); });
    EXPECT_NE(m2.text, "The Address Book conversion is complete.");
    EXPECT_NE(m2.caption, "Conversion Complete");
    EXPECT_FALSE(fs::exists(m.dir.file("out.csv")));
}

TEST_F(WizardTest, ModeOpenLoadsAndModeExportWrites) {
    PlainBookView view(*m.run);
    WizardLogic open(*m.run, WizardMode::Open);
    open.preset(WizardSide::Source, "LDAP/LDIF File", m.dir.file("a.ldif", kLdif));
    const DispatchOutcome read = open.loadSource(view);
    EXPECT_TRUE(open.nextMessage(read, true).text.empty());
    EXPECT_EQ(view.currentBook().entryCount(), 1);

    WizardLogic exportMode(*m.run, WizardMode::Export);
    exportMode.preset(WizardSide::Destination, "Comma Separated Values (CSV) File",
                      m.dir.file("out.csv"));
    const DispatchOutcome written = exportMode.writeDestination(view);
    EXPECT_TRUE(exportMode.nextMessage(written, false).text.empty());
    EXPECT_NE(testing::slurp(m.dir.file("out.csv")).find("zoe@example.org"), std::string::npos);

    WizardLogic broken(*m.run, WizardMode::Open);
    broken.preset(WizardSide::Source, "Outlook Express", m.dir.file("none.wab"));
    DispatchOutcome failed;
    failed.sourceKnown = true;
    failed.sourceAvailable = false;
    EXPECT_EQ(broken.nextMessage(failed, true).text,
              "An Error has occured while reading the Windows AddressBook");
}

TEST_F(WizardTest, TaskIsSavedWithNamesTheDispatchReads) {
    WizardLogic task(*m.run, WizardMode::Task);
    task.selectApplication(WizardSide::Source, "Thunderbird");
    task.chooseItem(WizardSide::Source, 0);
    task.commit(WizardSide::Source);
    task.preset(WizardSide::Destination, "LDAP/LDIF File", "/tmp/out.ldif");
    task.setEventName("nightly");
    EXPECT_TRUE(task.saveTask().text.empty());
    AutomationTask saved;
    ASSERT_TRUE(readAutomationTask(*m.run, "nightly", saved));
    EXPECT_EQ(saved.fromApp, "mork");
    EXPECT_EQ(saved.fromFile, m.mab);
    EXPECT_EQ(saved.toApp, "ldif");
    EXPECT_EQ(saved.toFile, "/tmp/out.ldif");
}

TEST(WizardGuard, AsksUnderTheSourcePagesCaption) {
    testing::TestRun run;
    run.prompts.answers = {Answer::Yes, Answer::No};
    const auto fail = [] { throw std::runtime_error("boom"); };
    EXPECT_TRUE(wizardSourceGuard(run, 3, fail));
    EXPECT_FALSE(wizardSourceGuard(run, 4, fail));
    EXPECT_TRUE(wizardSourceGuard(run, 5, [] {}));
    ASSERT_EQ(run.prompts.messages.size(), 2u);
    EXPECT_EQ(run.prompts.messages[0].caption, "Wizard dialog 1 Error level(2.1), point 3");
    EXPECT_EQ(run.prompts.messages[0].text, recoveryText("boom"));
}

}  // namespace
}  // namespace vesk
