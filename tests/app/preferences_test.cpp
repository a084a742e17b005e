// The logic of the Preferences sheet's pages without widgets: Program Preferences, Automation
// and "CSV Options", over an in-memory settings store and a recording prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

#include "app/common/automation_prefs.h"
#include "app/common/csv_options.h"
#include "app/common/program_prefs.h"
#include "discovery/applications.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::TempDir;
using testing::TestRun;

bool holds(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

std::string stored(TestRun& run, std::string_view key, const std::string& name) {
    SettingValue v;
    if (run.store.readValue(RootKey::CurrentUser, key, name, v) != kErrorSuccess) return "<none>";
    return v.type == ValueType::Number ? std::to_string(static_cast<std::int32_t>(v.number))
                                       : v.text;
}

FileDialogResult chosen(const std::string& name) {
    FileDialogResult r;
    r.ok = true;
    r.fileName = name;
    r.filterIndex = 1;
    return r;
}

// ---------------------------------------------------------------------------------------------
// Program Preferences

struct ProgramPrefsTest : ::testing::Test {
    TestRun run;
    ProgramPrefs prefs{run};
    std::vector<std::string> folderTitles;
    std::string folderAnswer;

    void SetUp() override {
        // Detection found Eudora and Thunderbird; the page's own detector finds what `found` says.
        setFormatDetector(run, [this] {
            for (int n = 0; n < kFormatCount; ++n) setConfiguredPath(run, n, "");
            setConfiguredPath(run, 8, "/home/me/eudora");
            setConfiguredPath(run, 23, "Present");
        });
        prefs.detect = [this](int number) { return found[number]; };
        prefs.askFolder = [this](const std::string& title) {
            folderTitles.push_back(title);
            return folderAnswer;
        };
        prefs.load();
    }
    std::map<int, std::string> found;
};

TEST_F(ProgramPrefsTest, ListsWhatDetectionFoundOnTheRight) {
    EXPECT_EQ(prefs.shown(), (std::vector<std::string>{"Eudora", "Thunderbird"}));
    EXPECT_EQ(prefs.pathOf("Eudora"), "/home/me/eudora");
    for (const char* hidden : {"Netscape 3.x", "Opera", "Forte Agent", "Pegasus Mail", "Juno"})
        EXPECT_TRUE(holds(prefs.hidden(), hidden)) << hidden;
    // Only applications with a place of their own are listed: files types and "Other" are not.
    for (const char* never : {"Comma Separated Values (CSV) File", "Plain text address list", ""})
        EXPECT_FALSE(holds(prefs.hidden(), never) || holds(prefs.shown(), never)) << never;
    EXPECT_EQ(prefs.hidden().size() + prefs.shown().size(), 16u);
}

TEST_F(ProgramPrefsTest, OnlyApplicationsWithAPlaceCanBeChosenByHand) {
    for (const char* name : {"Netscape 6.x/7.x", "Mozilla", "MS Outlook", "Outlook Express",
                             "Mail Warrior", "Thunderbird"})
        EXPECT_FALSE(ProgramPrefs::choosableByHand(name)) << name;
    for (const char* name : {"Eudora", "Opera", "Forte Agent", "Pegasus Mail", "Becky!"})
        EXPECT_TRUE(ProgramPrefs::choosableByHand(name)) << name;
    EXPECT_EQ(prefs.browse("Thunderbird"), "");
    EXPECT_TRUE(run.prompts.dialogs.empty());
    EXPECT_TRUE(folderTitles.empty());
}

TEST_F(ProgramPrefsTest, MovingRightTakesDetectionElseAsksTheUser) {
    struct Case {
        const char* name;
        std::string detected;
        std::string folder;                    ///< the folder dialog's answer
        std::optional<FileDialogResult> file;  ///< the file dialog's answer
        std::string expected;                  ///< stored value; "<none>" when nothing
        const char* message;                   ///< the message shown, or ""
        bool askedFolder;
    };
    FileDialogResult broken;
    broken.error = 0x3002;
    const Case cases[] = {
        {"Juno", "/home/me/juno", "", {}, "/home/me/juno", "", false},
        {"Becky!", "", "/home/me/becky", {}, "/home/me/becky", "", true},
        {"Eudora", "", "", {}, "", "", true},  // cancelled: stays as it was (hidden below)
        {"Opera", "", "", chosen("/home/me/c.adr"), "/home/me/c.adr", "", false},
        {"Forte Agent", "", "", broken, "<none>", kDialogErrorText, false},
        {"Mozilla", "", "", {}, "<none>", kNotInstalledText, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRun caseRun;
        ProgramPrefs p(caseRun);
        std::vector<std::string> titles;
        p.detect = [&](int) { return c.detected; };
        p.askFolder = [&](const std::string& title) {
            titles.push_back(title);
            return c.folder;
        };
        if (c.file) caseRun.prompts.fileAnswers.push_back(*c.file);
        SetFormatPath(caseRun, "Eudora", "");  // hidden: nothing detected, nothing stored
        p.load();
        ASSERT_TRUE(holds(p.hidden(), c.name));
        p.moveToShown(c.name);
        std::string expected = c.expected;
        EXPECT_EQ(stored(caseRun, kFormatsKey, c.name), expected);
        const bool shown = !expected.empty() && expected != "<none>";
        EXPECT_EQ(holds(p.shown(), c.name), shown);
        EXPECT_EQ(holds(p.hidden(), c.name), !shown);
        EXPECT_EQ(titles.size(), c.askedFolder ? 1u : 0u);
        if (c.askedFolder) {
            EXPECT_EQ(titles[0], "Please select a folder");
        }
        ASSERT_EQ(caseRun.prompts.messages.size(), *c.message ? 1u : 0u);
        if (*c.message) {
            EXPECT_EQ(caseRun.prompts.messages[0].text, c.message);
            EXPECT_EQ(caseRun.prompts.messages[0].caption, "Vesk");
        }
    }
}

TEST_F(ProgramPrefsTest, FileDialogsOfferTheApplicationsFilter) {
    run.prompts.fileAnswers.push_back(chosen("/home/me/contacts.adr"));
    EXPECT_EQ(prefs.browse("Opera"), "/home/me/contacts.adr");
    EXPECT_EQ(prefs.browse("Forte Agent"), "");  // cancelled
    EXPECT_EQ(run.prompts.dialogs, (std::vector<std::string>{"open", "open"}));
    EXPECT_EQ(prefs.browse("Eudora"), "");
    EXPECT_EQ(folderTitles, (std::vector<std::string>{"Please select a folder"}));
}

// Hiding every application keeps them hidden: the empty values are the user's choice, which
// the detection that runs when nothing is stored must not undo.
TEST_F(ProgramPrefsTest, MovingLeftStoresAnEmptyValueThatStaysUntilRedetect) {
    prefs.moveToHidden("Eudora");
    EXPECT_EQ(stored(run, kFormatsKey, "Eudora"), "");
    prefs.moveToHidden("Thunderbird");
    EXPECT_TRUE(prefs.shown().empty());
    ProgramPrefs again(run);
    again.load();
    EXPECT_TRUE(again.shown().empty());
    EXPECT_TRUE(holds(again.hidden(), "Eudora"));
    again.redetect();
    EXPECT_EQ(again.shown(), (std::vector<std::string>{"Eudora", "Thunderbird"}));
}

TEST_F(ProgramPrefsTest, SaveStoresTheEditedPath) {
    prefs.save("Eudora", "/srv/mail/eudora");
    EXPECT_EQ(stored(run, kFormatsKey, "Eudora"), "/srv/mail/eudora");
    EXPECT_EQ(prefs.pathOf("Eudora"), "/srv/mail/eudora");
    EXPECT_EQ(configuredPath(run, 8), "/srv/mail/eudora");
}

// ---------------------------------------------------------------------------------------------
// Automation

struct AutomationPrefsTest : ::testing::Test {
    TestRun run;
    TempDir dir;
    AutomationPrefs page{run};
    std::vector<std::optional<TaskDraft>> drafts;

    void save(const std::string& name, const std::string& from, const std::string& to) {
        ASSERT_EQ(SaveAutomationTask(run, name, "vcard", from, "kynt", to), 0);
    }
    void wizardSaves(std::optional<std::string> name) {
        page.wizard = [this, name](const TaskDraft* d) {
            drafts.push_back(d ? std::optional<TaskDraft>(*d) : std::nullopt);
            if (name) {
                EXPECT_EQ(SaveAutomationTask(run, *name, "vcard", "/a.vcf", "kynt", "/b.kynt"), 0);
            }
        };
    }
};

TEST_F(AutomationPrefsTest, ListsAndDescribesTasks) {
    save("Nightly", "/home/me/a.vcf", "/home/me/b.kynt");
    save("Backup", "/home/me/c.vcf", "/home/me/d.kynt");
    page.load();
    EXPECT_EQ(page.tasks(), (std::vector<std::string>{"Backup", "Nightly"}));
    EXPECT_EQ(page.describe("Nightly"),
              "Convert from vcard /home/me/a.vcf to kynt /home/me/b.kynt");
    EXPECT_TRUE(run.prompts.messages.empty());
    run.store.writeValue(RootKey::CurrentUser, std::string(kAutomationKey) + "\\Broken", "x",
                         SettingValue::ofText("y"));
    EXPECT_EQ(page.describe("Broken"), "");
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "An error has occured");
    EXPECT_EQ(run.prompts.messages[0].caption, "Vesk Error");
}

TEST_F(AutomationPrefsTest, AddRunsTheWizardWithNothingAndModifyWithTheTask) {
    wizardSaves("Weekly");
    page.add();
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_FALSE(drafts[0].has_value());
    EXPECT_EQ(page.tasks(), (std::vector<std::string>{"Weekly"}));

    save("Nightly", "/home/me/a.vcf", "/home/me/b.kynt");
    wizardSaves("Nightly");
    page.modify("Nightly");
    ASSERT_EQ(drafts.size(), 2u);
    ASSERT_TRUE(drafts[1].has_value());
    EXPECT_EQ(drafts[1]->name, "Nightly");
    EXPECT_EQ(drafts[1]->task.fromApp, "vcard");
    EXPECT_EQ(drafts[1]->task.fromFile, "/home/me/a.vcf");
    EXPECT_EQ(drafts[1]->task.toFile, "/home/me/b.kynt");
    EXPECT_EQ(page.describe("Nightly"), "Convert from vcard /a.vcf to kynt /b.kynt");

    // Saved under another name, the task is renamed; cancelled, it stays as it was.
    wizardSaves("Daily");
    page.modify("Nightly");
    EXPECT_EQ(page.tasks(), (std::vector<std::string>{"Daily", "Weekly"}));
    wizardSaves(std::nullopt);
    page.modify("Daily");
    EXPECT_EQ(page.tasks(), (std::vector<std::string>{"Daily", "Weekly"}));
}

TEST_F(AutomationPrefsTest, WithoutAWizardAddSaysSo) {
    page.add();
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_NE(run.prompts.messages[0].text.find("wizard"), std::string::npos);
}

TEST_F(AutomationPrefsTest, RemoveDeletesWithoutAsking) {
    save("Nightly", "/a.vcf", "/b.kynt");
    page.load();
    page.remove("Nightly");
    EXPECT_TRUE(page.tasks().empty());
    EXPECT_FALSE(
        run.store.keyExists(RootKey::CurrentUser, std::string(kAutomationKey) + "\\Nightly"));
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST_F(AutomationPrefsTest, RunNowConvertsIntoABookOfItsOwn) {
    const std::string from =
        dir.file("in.vcf",
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann Lee\r\nEMAIL;INTERNET:ann@example.org\r\n"
                 "END:VCARD\r\n");
    const std::string to = dir.file("out.kynt");
    save("Nightly", from, to);
    int progressRuns = 0;
    page.withProgress = [&](const std::function<void()>& job) {
        ++progressRuns;
        job();
    };
    DispatchOutcome outcome;
    EXPECT_TRUE(page.runNow("Nightly", &outcome));
    EXPECT_EQ(progressRuns, 1);
    EXPECT_EQ(outcome.save.status, SaveStatus::Saved);
    EXPECT_NE(testing::slurp(to).find("Ann Lee"), std::string::npos);
    EXPECT_FALSE(page.runNow("Missing"));
}

// ---------------------------------------------------------------------------------------------
// CSV Options

std::vector<std::string> rowsOf(const CsvOptionsPage& page) {
    std::vector<std::string> rows;
    for (int r = 0; r < page.rowCount(); ++r)
        rows.push_back(page.rowText(r) + "=" + page.rowField(r));
    return rows;
}

TEST(CsvOptionsPage, OpensWithStoredHeadingsFirstElseTheFilesHeadings) {
    TestRun run;
    CsvSettings map;
    map.loaded = true;
    CsvOptionsPage fresh(map, {"Name", "Mail", "", "Phone"}, true);
    // The file's headings pair with the fields in field order, up to the first blank one.
    EXPECT_EQ(rowsOf(fresh), (std::vector<std::string>{"Name=Full Name", "Mail=E-Mail Address"}));
    EXPECT_EQ(fresh.choice(), CsvChoice::OnlyThisOperation);

    map.setHeading(static_cast<int>(Field::Nickname), "Alias");
    map.setHeading(static_cast<int>(Field::FullName), "Who");
    map.keep = 1;
    CsvOptionsPage stored(map, {"Name", "Mail"}, true);
    EXPECT_EQ(rowsOf(stored), (std::vector<std::string>{"Who=Full Name", "Alias=Nickname"}));
    EXPECT_EQ(stored.fileHeadings(), (std::vector<std::string>{"Name", "Mail"}));
    EXPECT_EQ(stored.choice(), CsvChoice::AlwaysUse);

    map.keep = 0;
    CsvOptionsPage fromPrefs(map, {}, false);
    EXPECT_EQ(fromPrefs.choice(), CsvChoice::AlwaysDisplay);
    EXPECT_FALSE(fromPrefs.offersThisOperationOnly());
    fromPrefs.setChoice(CsvChoice::OnlyThisOperation);
    EXPECT_EQ(fromPrefs.choice(), CsvChoice::AlwaysDisplay);
}

TEST(CsvOptionsPage, EditingRows) {
    CsvSettings map;
    CsvOptionsPage page(map, {"Name", "Mail", "Tel"}, true);
    // The drop-down pairs the chosen field with the row's heading; the row's old field takes
    // the chosen field's place.
    page.chooseField(2, "Home Phone");
    EXPECT_EQ(rowsOf(page), (std::vector<std::string>{"Name=Full Name", "Mail=E-Mail Address",
                                                      "Tel=Home Phone"}));
    page.chooseField(0, "E-Mail Address");
    EXPECT_EQ(rowsOf(page), (std::vector<std::string>{"Name=E-Mail Address", "Mail=Full Name",
                                                      "Tel=Home Phone"}));
    EXPECT_TRUE(page.change(0, "E-mail"));
    EXPECT_FALSE(page.change(0, ""));
    EXPECT_FALSE(page.change(7, "x"));
    EXPECT_TRUE(page.add("Company"));
    EXPECT_FALSE(page.add(""));
    EXPECT_EQ(rowsOf(page).back(), "Company=Nickname");  // the first field without a heading
    EXPECT_TRUE(page.remove(1));
    EXPECT_EQ(rowsOf(page), (std::vector<std::string>{"E-mail=E-Mail Address", "Tel=Home Phone",
                                                      "Company=Nickname"}));
    EXPECT_FALSE(page.remove(3));
    for (int i = page.rowCount(); i < kFieldCount; ++i)
        EXPECT_TRUE(page.add("h" + std::to_string(i)));
    EXPECT_FALSE(page.add("one too many"));
}

TEST(CsvOptionsPage, ApplyStoresAsTheChoiceSays) {
    struct Case {
        CsvChoice choice;
        bool absolute;
        std::string keep, useInts, name, email, nickname, fullNameColumn, emailColumn, pagerColumn;
    };
    const Case cases[] = {
        {CsvChoice::OnlyThisOperation, false, "<none>", "<none>", "<none>", "<none>", "<none>",
         "<none>", "<none>", "<none>"},
        {CsvChoice::AlwaysUse, false, "1", "0", "Mail", "Name", "", "<none>", "<none>", "<none>"},
        {CsvChoice::AlwaysDisplay, true, "0", "1", "<none>", "<none>", "<none>", "1", "0", "-1"},
    };
    for (const Case& c : cases) {
        TestRun run;
        CsvSettings& map = csvSettings(run);
        map.loaded = true;
        CsvOptionsPage page(map, {"Name", "Mail"}, true);
        page.chooseField(0, "E-Mail Address");
        page.setAbsolute(c.absolute);
        page.setChoice(c.choice);
        EXPECT_TRUE(page.apply(run));
        EXPECT_EQ(stored(run, kCsvKey, "keep"), c.keep);
        EXPECT_EQ(stored(run, kCsvKey, "useInts"), c.useInts);
        EXPECT_EQ(stored(run, kCsvHeadingKey, "Full Name"), c.name);
        EXPECT_EQ(stored(run, kCsvHeadingKey, "E-Mail Address"), c.email);
        EXPECT_EQ(stored(run, kCsvHeadingKey, "Nickname"), c.nickname);
        EXPECT_EQ(stored(run, kCsvPositionKey, "Full Name"), c.fullNameColumn);
        EXPECT_EQ(stored(run, kCsvPositionKey, "E-Mail Address"), c.emailColumn);
        EXPECT_EQ(stored(run, kCsvPositionKey, "Pager"), c.pagerColumn);
        // The run's map holds the edit in every case, back in field order.
        EXPECT_EQ(map.fieldNames[0], "Full Name");
        ASSERT_NE(map.headingOf(static_cast<int>(Field::Email)), nullptr);
        EXPECT_EQ(*map.headingOf(static_cast<int>(Field::Email)), "Name");
        if (c.absolute) {
            EXPECT_EQ(map.positions[static_cast<std::size_t>(Field::Email)], 0);
        }
        if (c.choice != CsvChoice::OnlyThisOperation) {
            // Stored, it reads back the same in a later run.
            CsvSettings later;
            later.load(run);
            EXPECT_EQ(later.absolute(), c.absolute);
            if (c.absolute) {
                EXPECT_EQ(later.positions[static_cast<std::size_t>(Field::Email)], 0);
                EXPECT_EQ(later.positions[static_cast<std::size_t>(Field::FullName)], 1);
            } else {
                EXPECT_EQ(*later.headingOf(static_cast<int>(Field::FullName)), "Mail");
            }
        }
    }
}

TEST(CsvOptionsPage, AbsoluteModeListsTheFieldsByColumn) {
    CsvSettings map;
    map.mode = 1;
    map.positions[static_cast<std::size_t>(Field::FullName)] = 1;
    map.positions[static_cast<std::size_t>(Field::Email)] = 0;
    for (int f = 2; f < kFieldCount; ++f) map.positions[static_cast<std::size_t>(f)] = -1;
    CsvOptionsPage page(map, {"Mail", "Name"}, true);
    EXPECT_EQ(rowsOf(page), (std::vector<std::string>{"Mail=E-Mail Address", "Name=Full Name"}));
    CsvOptionsPage withoutFile(map, {}, false);
    EXPECT_EQ(rowsOf(withoutFile), (std::vector<std::string>{"0=E-Mail Address", "1=Full Name"}));
}

}  // namespace
}  // namespace vesk
