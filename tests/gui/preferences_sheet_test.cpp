// The Preferences sheet and the entry property sheet under Qt's offscreen platform, driven
// through their widgets; questions go to the run's recording prompt. With VESK_SCREENSHOT_DIR
// set, the pages are also grabbed into PNG files there.
#include "app/gui/preferences_sheet.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>

#include "app/gui/entry_sheet.h"
#include "app/gui/main_window.h"
#include "discovery/applications.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk::gui {
namespace {

using testing::TestRun;

QListWidgetItem* itemNamed(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

void pick(QListWidget* list, const QString& text) {
    QListWidgetItem* item = itemNamed(list, text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    list->setCurrentItem(item);
}

QStringList texts(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

/// Saves a picture of `widget` as `name` in $VESK_SCREENSHOT_DIR, when it is set.
void grabInto(QWidget& widget, const char* name) {
    const QString dir = qEnvironmentVariable("VESK_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    widget.show();
    QApplication::processEvents();
    EXPECT_TRUE(widget.grab().save(dir + "/" + name, "PNG")) << name;
}

struct SheetTest : ::testing::Test {
    TestRun run;
    PreferencesParameter param;
    std::vector<const TaskDraft*> wizardRuns;

    void SetUp() override {
        setFormatDetector(run, [this] {
            for (int n = 0; n < kFormatCount; ++n) setConfiguredPath(run, n, "");
            setConfiguredPath(run, 8, "/home/me/eudora");
        });
        SaveAutomationTask(run, "Nightly", "vcard", "/home/me/in.vcf", "kynt", "/home/me/out.kynt");
        param.wizard = [this](const TaskDraft* d) { wizardRuns.push_back(d); };
        for (int f = 0; f < kFieldCount; ++f) param.fieldNames.push_back(fieldName(f));
    }
};

TEST_F(SheetTest, CaptionPagesAndButtons) {
    PreferencesSheet sheet(run, nullptr, kAutomationPage, param, true);
    EXPECT_EQ(sheet.windowTitle(), "Preferences");
    ASSERT_EQ(sheet.tabs()->count(), 3);
    EXPECT_EQ(sheet.tabs()->tabText(0), "Program Preferences");
    EXPECT_EQ(sheet.tabs()->tabText(1), "Automation");
    EXPECT_EQ(sheet.tabs()->tabText(2), "CSV Options");
    EXPECT_EQ(sheet.tabs()->currentIndex(), 1);
    auto* box = sheet.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->standardButtons(),
              QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help);

    PreferencesSheet one(run, nullptr, kCsvPage, param, false);
    ASSERT_EQ(one.tabs()->count(), 1);
    EXPECT_EQ(one.tabs()->tabText(0), "CSV Options");
    EXPECT_EQ(one.programPage(), nullptr);
    EXPECT_EQ(ShowPreferences(run, nullptr, 3, param, true), -1);
}

TEST_F(SheetTest, ProgramPreferencesPage) {
    PreferencesSheet sheet(run, nullptr, kProgramPage, param, true);
    ProgramPrefsPage* page = sheet.programPage();
    EXPECT_EQ(texts(page->shownList), QStringList{"Eudora"});
    EXPECT_FALSE(page->browse->isEnabled());
    EXPECT_FALSE(page->save->isEnabled());
    EXPECT_TRUE(page->information->isReadOnly());
    pick(page->shownList, "Eudora");
    EXPECT_EQ(page->information->text(), "/home/me/eudora");
    EXPECT_TRUE(page->browse->isEnabled());
    EXPECT_TRUE(page->save->isEnabled());

    // Browse fills the edit, Save stores it.
    page->logic().askFolder = [](const std::string&) { return std::string("/srv/eudora"); };
    page->browse->click();
    EXPECT_EQ(page->information->text(), "/srv/eudora");
    page->save->click();
    std::string value;
    ReadRegistryValue(run.store, RootKey::CurrentUser, kFormatsKey, "Eudora", value);
    EXPECT_EQ(value, "/srv/eudora");

    // "-->" with a detected application; one found only by detection cannot be chosen.
    page->logic().detect = [](int n) { return n == 9 ? std::string("/home/me/juno") : ""; };
    pick(page->hiddenList, "Juno");
    page->toShown->click();
    EXPECT_EQ(texts(page->shownList), (QStringList{"Eudora", "Juno"}));
    pick(page->hiddenList, "Thunderbird");
    page->toShown->click();
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, kNotInstalledText);
    EXPECT_NE(itemNamed(page->hiddenList, "Thunderbird"), nullptr);

    pick(page->shownList, "Eudora");
    page->toHidden->click();
    EXPECT_EQ(texts(page->shownList), QStringList{"Juno"});
    EXPECT_FALSE(page->browse->isEnabled());
    page->redetect->click();
    EXPECT_EQ(texts(page->shownList), QStringList{"Eudora"});
    grabInto(sheet, "preferences-programs.png");
}

TEST_F(SheetTest, AutomationPage) {
    PreferencesSheet sheet(run, nullptr, kAutomationPage, param, true);
    AutomationPage* page = sheet.automationPage();
    EXPECT_EQ(texts(page->tasks), QStringList{"Nightly"});
    EXPECT_FALSE(page->atStartUp->isEnabled());
    EXPECT_FALSE(page->modify->isEnabled());
    pick(page->tasks, "Nightly");
    EXPECT_EQ(page->name->text(), "Nightly");
    EXPECT_EQ(page->description->text(),
              "Convert from vcard /home/me/in.vcf to kynt /home/me/out.kynt");
    EXPECT_TRUE(page->modify->isEnabled());
    EXPECT_TRUE(page->runNow->isEnabled());
    grabInto(sheet, "preferences-automation.png");

    page->add->click();
    page->modify->click();  // the selection went with the reload: nothing to modify
    pick(page->tasks, "Nightly");
    page->modify->click();
    ASSERT_EQ(wizardRuns.size(), 2u);
    EXPECT_EQ(wizardRuns[0], nullptr);
    EXPECT_NE(wizardRuns[1], nullptr);
    pick(page->tasks, "Nightly");
    page->remove->click();
    EXPECT_EQ(page->tasks->count(), 0);
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST_F(SheetTest, CsvOptionsPageOpenedByTheReader) {
    CsvSettings& map = csvSettings(run);
    map.loaded = true;
    param.headings = {"Name", "E-mail", "Phone"};
    param.csvMap = &map;
    param.fromReader = true;
    PreferencesSheet sheet(run, nullptr, kCsvPage, param, false);
    CsvOptionsWidget* page = sheet.csvPage();
    EXPECT_EQ(texts(page->rows), (QStringList{"Name", "E-mail", "Phone"}));
    EXPECT_EQ(page->text->count(), 3);  // the file's headings are offered
    EXPECT_EQ(page->modes->checkedId(), 0);
    EXPECT_EQ(page->choices->checkedId(), static_cast<int>(CsvChoice::OnlyThisOperation));
    EXPECT_FALSE(page->remove->isEnabled());

    page->rows->setCurrentRow(2);
    EXPECT_EQ(page->text->currentText(), "Phone");
    EXPECT_EQ(page->field->currentText(), "Nickname");
    page->field->setCurrentIndex(static_cast<int>(Field::HomePhone));
    page->field->activated(static_cast<int>(Field::HomePhone));
    EXPECT_EQ(page->logic().rowField(2), "Home Phone");
    page->text->setEditText("Company");
    page->add->click();
    EXPECT_EQ(page->rows->count(), 4);
    grabInto(sheet, "preferences-csv.png");

    page->choices->button(static_cast<int>(CsvChoice::AlwaysUse))->click();
    sheet.accept();
    std::string value;
    ReadRegistryValue(run.store, RootKey::CurrentUser, kCsvHeadingKey, "Home Phone", value);
    EXPECT_EQ(value, "Phone");
    ReadRegistryValue(run.store, RootKey::CurrentUser, kCsvKey, "keep", value);
    EXPECT_EQ(value, "1");
}

TEST_F(SheetTest, CsvOptionsFromThePreferencesCannotBeForThisOperationOnly) {
    PreferencesSheet sheet(run, nullptr, kCsvPage, param, true);
    CsvOptionsWidget* page = sheet.csvPage();
    EXPECT_FALSE(
        page->choices->button(static_cast<int>(CsvChoice::OnlyThisOperation))->isEnabled());
    EXPECT_EQ(page->choices->checkedId(), static_cast<int>(CsvChoice::AlwaysDisplay));
    EXPECT_EQ(page->rows->count(), 0);
    sheet.reject();  // Cancel stores nothing
    EXPECT_FALSE(run.store.keyExists(RootKey::CurrentUser, kCsvKey));
}

// ---------------------------------------------------------------------------------------------
// Entry property sheet

struct EntrySheetTest : ::testing::Test {
    TestRun run;
    std::vector<std::string> opened;
    Entry entry = testing::contact("Ann Lee", "ann@example.org");

    std::function<bool(const std::string&)> opener() {
        return [this](const std::string& a) {
            opened.push_back(a);
            return true;
        };
    }
};

TEST_F(EntrySheetTest, PagesLabelsAndStartPage) {
    entry[Field::Organization] = "Example Ltd";
    entry[Field::JobTitle] = "Buyer";
    entry[Field::BusinessPhone] = "+49 228 555 0100";
    entry[Field::BusinessCity] = "Bonn";
    entry[Field::BusinessWebPage] = "www.example.org";
    entry[Field::HomePhone] = "+49 228 555 0199";
    EntrySheet sheet(entry, false, opener(), run.prompts, nullptr);
    EXPECT_EQ(sheet.windowTitle(), "Ann Lee");
    ASSERT_EQ(sheet.tabs()->count(), 4);
    EXPECT_EQ(sheet.tabs()->tabText(0), "Summary");
    EXPECT_EQ(sheet.tabs()->tabText(3), "Business");
    EXPECT_EQ(sheet.tabs()->currentIndex(), 0);
    EXPECT_TRUE(sheet.summaryValues()->text().startsWith("Ann Lee\nann@example.org\n"));
    EXPECT_TRUE(sheet.summaryLabels()->text().endsWith("Business Web Page:\nDate:"));
    EXPECT_NE(qobject_cast<QPlainTextEdit*>(sheet.editOf(Field::HomeStreet)), nullptr);
    EXPECT_EQ(qobject_cast<QLineEdit*>(sheet.editOf(Field::Email))->text(), "ann@example.org");
    auto* box = sheet.findChild<QDialogButtonBox*>();
    EXPECT_EQ(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    sheet.tabs()->setCurrentIndex(0);
    grabInto(sheet, "entry-summary.png");
    sheet.tabs()->setCurrentIndex(1);
    grabInto(sheet, "entry-general.png");
    sheet.tabs()->setCurrentIndex(3);
    grabInto(sheet, "entry-business.png");

    Entry fresh;
    EntrySheet newSheet(fresh, true, opener(), run.prompts, nullptr);
    EXPECT_EQ(newSheet.tabs()->currentIndex(), 1);
}

TEST_F(EntrySheetTest, TypingSetsTheFlagsAndOkWritesBack) {
    entry.revisionTime = 10;
    EntrySheet sheet(entry, false, opener(), run.prompts, nullptr);
    sheet.show();
    auto* city = qobject_cast<QLineEdit*>(sheet.editOf(Field::HomeCity));
    sheet.tabs()->setCurrentIndex(2);
    QTest::keyClicks(city, "Bonn");
    EXPECT_FALSE(sheet.state().flag(0));
    EXPECT_FALSE(sheet.state().flag(1));
    EXPECT_TRUE(sheet.state().flag(2));
    EXPECT_EQ(entry[Field::HomeCity], "");  // nothing written before OK
    sheet.accept();
    EXPECT_EQ(entry[Field::HomeCity], "Bonn");
    EXPECT_GT(entry.revisionTime, 10);
    const SheetResult r = sheet.result();
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.homeChanged);
    EXPECT_FALSE(r.generalChanged || r.nameChanged || r.businessChanged);

    EntrySheet again(entry, false, opener(), run.prompts, nullptr);
    qobject_cast<QLineEdit*>(again.editOf(Field::FullName))->setText("Ann Smith");
    EXPECT_TRUE(again.state().flag(0));
    EXPECT_TRUE(again.state().flag(1));
    again.reject();
    EXPECT_EQ(entry[Field::FullName], "Ann Lee");
    EXPECT_FALSE(again.result().ok);
}

TEST_F(EntrySheetTest, GoOpensTheWebPageOnly) {
    entry[Field::HomeWebPage] = "www.example.org";
    entry[Field::BusinessWebPage] = "C:\\Windows\\System32\\cmd.exe";
    EntrySheet sheet(entry, false, opener(), run.prompts, nullptr);
    ASSERT_NE(sheet.goButton(EntryPage::Home), nullptr);
    EXPECT_EQ(sheet.goButton(EntryPage::Home)->text(), "&Go");
    sheet.goButton(EntryPage::Home)->click();
    EXPECT_EQ(opened, std::vector<std::string>{"http://www.example.org"});
    sheet.goButton(EntryPage::Business)->click();
    EXPECT_EQ(opened.size(), 1u);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].caption, "Vesk");
}

// The window's Properties command opens the sheet on the selected entry.
TEST(EntrySheetWindow, PropertiesEditsTheSelectedEntry) {
    TestRun run;
    MainWindow window(run);
    window.show();
    window.view().rootBook().addEntry(testing::contact("Ann Lee", "ann@example.org"));
    window.trigger(Command::Refresh);
    window.view().setSelectedRow(0);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = dynamic_cast<EntrySheet*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        seen = true;
        EXPECT_EQ(sheet->tabs()->currentIndex(), 0);
        qobject_cast<QLineEdit*>(sheet->editOf(Field::HomePhone))->setText("555");
        sheet->accept();
    });
    window.trigger(Command::Properties);
    EXPECT_TRUE(seen);
    EXPECT_EQ(window.list()->topLevelItem(0)->text(3), "555");
}

// A CSV file opened in the window asks for its columns on the "CSV Options" page alone; the
// conversion waits on its own thread meanwhile.
TEST(EntrySheetWindow, OpeningACsvFileAsksOnTheCsvPage) {
    TestRun run;
    testing::TempDir dir;
    const std::string file = dir.file("book.csv", "Who,Mail\nAnn Lee,ann@example.org\n");
    MainWindow window(run);
    window.show();
    QStringList rows;
    int tabs = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* sheet = dynamic_cast<PreferencesSheet*>(QApplication::activeModalWidget());
        if (!sheet) return;
        poll.stop();
        tabs = sheet->tabs()->count();
        rows = texts(sheet->csvPage()->rows);
        sheet->accept();
    });
    poll.start(10);
    window.view().addFile(file);
    EXPECT_EQ(tabs, 1);
    EXPECT_EQ(rows, (QStringList{"Who", "Mail"}));
    ASSERT_EQ(window.list()->topLevelItemCount(), 1);
    EXPECT_EQ(window.list()->topLevelItem(0)->text(1), "ann@example.org");
    EXPECT_FALSE(run.store.keyExists(RootKey::CurrentUser, kCsvKey));  // for this file only
}

}  // namespace
}  // namespace vesk::gui
