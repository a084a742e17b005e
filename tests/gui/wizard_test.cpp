// The conversion wizard under Qt's offscreen platform, driven through its buttons and lists
// over a fake machine (a home with Thunderbird and Opera); questions and file dialogs go to the
// run's recording prompt.
#include "app/gui/wizard.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <sstream>

#include "app/cli/command_line.h"
#include "app/gui/main_window.h"
#include "support/fake_machine.h"

namespace vesk::gui {
namespace {

using testing::FakeMachine;

const std::string kHotlist =
    "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n"
    "#CONTACT\n\tNAME=Anna Alt\n\tMAIL=anna@example.org\n\n"
    "#FOLDER\n\tNAME=Friends\n\n#CONTACT\n\tNAME=Bob Brown\n\n-\n\n";

const char* const kLdif =
    "dn: cn=Zoe Zimmer,mail=zoe@example.org\nobjectclass: person\ncn: Zoe Zimmer\n"
    "mail: zoe@example.org\n\n";

FileDialogResult chosen(const std::string& name) {
    FileDialogResult r;
    r.ok = true;
    r.fileName = name;
    r.filterIndex = 1;
    return r;
}

struct WizardGui : ::testing::Test {
    FakeMachine m;
    std::string mab;
    std::string hotlist;

    void SetUp() override {
        m.make(".thunderbird/profiles.ini", "[General]\n[Profile0]\nName=me\nPath=me.default\n");
        mab =
            m.make(".thunderbird/me.default/abook.mab",
                   testing::slurp(std::string(VESK_FIXTURES_DIR) + "/mork/thunderbird_layout.mab"));
        hotlist = m.make(".opera/contacts.adr", kHotlist);
    }

    template <class W>
    static W* child(QWizard& w, const char* name) {
        return w.currentPage()->findChild<W*>(name);
    }
    static bool enabled(QWizard& w, QWizard::WizardButton b) {
        return w.button(b)->isVisible() && w.button(b)->isEnabled();
    }
    static void pick(QWizard& w, const QString& application) {
        auto* list = child<QListWidget>(w, "applications");
        ASSERT_NE(list, nullptr);
        const auto found = list->findItems(application, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << application.toStdString();
        list->setCurrentItem(found.front());
    }
    static void pickChoice(QWizard& w, int row) {
        auto* list = child<QListWidget>(w, "choices");
        ASSERT_TRUE(list && list->isVisible());
        Q_EMIT list->itemClicked(list->item(row));
    }
    static void click(QWizard& w, QWizard::WizardButton b) {
        ASSERT_TRUE(enabled(w, b));
        QTest::mouseClick(w.button(b), Qt::LeftButton);
    }
    static QString text(QWizard& w, const char* label) {
        auto* l = child<QLabel>(w, label);
        return l ? l->text() : QString();
    }
};

TEST_F(WizardGui, FullModeConvertsAThunderbirdBookIntoAnOperaFolder) {
    ConversionWizard w(WizardMode::Full, nullptr, *m.run, nullptr);
    std::vector<std::string> help;
    w.openHelp = [&](const std::string& topic) { help.push_back(topic); };
    w.show();
    EXPECT_EQ(w.current(), WizardPage::Welcome);
    EXPECT_FALSE(enabled(w, QWizard::BackButton));
    QTest::mouseClick(w.button(QWizard::HelpButton), Qt::LeftButton);
    click(w, QWizard::NextButton);

    EXPECT_EQ(w.current(), WizardPage::Source);
    EXPECT_EQ(text(w, "selection"), "No application is selected");
    EXPECT_FALSE(enabled(w, QWizard::NextButton));
    EXPECT_TRUE(enabled(w, QWizard::BackButton));
    pick(w, "Thunderbird");
    EXPECT_FALSE(enabled(w, QWizard::NextButton));
    EXPECT_TRUE(child<QLabel>(w, "prompt")->isVisible());
    EXPECT_FALSE(child<QPushButton>(w, "browse")->isVisible());
    pickChoice(w, 0);
    EXPECT_EQ(text(w, "selection"), "Current Selection: \nThunderbird\nme: Personal Address Book");
    QTest::mouseClick(w.button(QWizard::HelpButton), Qt::LeftButton);
    click(w, QWizard::NextButton);

    EXPECT_EQ(w.current(), WizardPage::Destination);
    pick(w, "Opera");
    auto* folders = child<QTreeWidget>(w, "folders");
    ASSERT_TRUE(folders && folders->isVisible());
    EXPECT_TRUE(child<QLineEdit>(w, "newFolder")->isVisible());
    const auto friends = folders->findItems("Friends", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(friends.size(), 1);
    Q_EMIT folders->itemClicked(friends.front(), 0);
    EXPECT_EQ(text(w, "selection"), "Current Selection: \nOpera\nThe Friends Folder");
    click(w, QWizard::NextButton);

    EXPECT_EQ(w.current(), WizardPage::Completion);
    EXPECT_TRUE(text(w, "description")
                    .startsWith(QString::fromStdString("Converting from Thunderbird " + mab +
                                                       " to Opera Contacts\\Friends\\\n")));
    EXPECT_FALSE(child<QLineEdit>(w, "eventName")->isVisible());
    click(w, QWizard::FinishButton);

    EXPECT_EQ(w.result(), QDialog::Accepted);
    ASSERT_FALSE(m.prompts.messages.empty());
    EXPECT_EQ(m.prompts.messages.back().text, "The Address Book conversion is complete.");
    EXPECT_EQ(m.prompts.messages.back().caption, "Conversion Complete");
    const std::string after = testing::slurp(hotlist);
    EXPECT_GT(after.size(), kHotlist.size());
    EXPECT_LT(after.find("NAME=Friends"), after.find("#CONTACT", after.find("NAME=Bob Brown")));
    EXPECT_EQ(help, (std::vector<std::string>{"::/wizard.html", "::/wizard1.html>stripped"}));
}

TEST_F(WizardGui, BackRestoresTheChoiceOfThePreviousPage) {
    ConversionWizard w(WizardMode::Convert, nullptr, *m.run, nullptr);
    w.show();
    click(w, QWizard::NextButton);
    pick(w, "Thunderbird");
    pickChoice(w, 0);
    click(w, QWizard::NextButton);
    click(w, QWizard::BackButton);
    EXPECT_EQ(w.current(), WizardPage::Source);
    EXPECT_TRUE(enabled(w, QWizard::NextButton));
    EXPECT_TRUE(enabled(w, QWizard::BackButton));
}

TEST_F(WizardGui, AFailedConversionIsNotReportedAsComplete) {
    ConversionWizard w(WizardMode::Convert, nullptr, *m.run, nullptr);
    w.show();
    click(w, QWizard::NextButton);
    pick(w, "LDAP/LDIF File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("missing.ldif")));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    click(w, QWizard::NextButton);
    pick(w, "Comma Separated Values (CSV) File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("out")));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    EXPECT_EQ(text(w, "selection").toStdString(),
              "Current Selection: \nComma Separated Values (CSV) File\n" + m.dir.file("out.csv"));
    click(w, QWizard::NextButton);
    click(w, QWizard::FinishButton);
    ASSERT_FALSE(m.prompts.messages.empty());
    EXPECT_NE(m.prompts.messages.back().caption, "Conversion Complete");
    EXPECT_NE(m.prompts.messages.back().text, "The Address Book conversion is complete.");
    // The wizard stays, so that another choice can be made.
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.current(), WizardPage::Completion);
}

TEST_F(WizardGui, ExportModeWritesTheCurrentBookAsLdifAndCloses) {
    MainWindow window(*m.run);
    NewAdbook& root = window.view().rootBook();
    Entry zoe;
    zoe[Field::FullName] = "Zoe Zimmer";
    zoe[Field::Email] = "zoe@example.org";
    root.addEntry(zoe);
    ConversionWizard w(WizardMode::Export, &window, *m.run, &window.view());
    w.show();
    EXPECT_EQ(w.current(), WizardPage::Destination);
    EXPECT_EQ(w.pageOf(WizardPage::Welcome), nullptr);
    EXPECT_EQ(w.pageOf(WizardPage::Source), nullptr);
    EXPECT_FALSE(enabled(w, QWizard::BackButton));
    pick(w, "LDAP/LDIF File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("export")));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    click(w, QWizard::NextButton);
    QTRY_VERIFY(!w.isVisible());
    EXPECT_NE(testing::slurp(m.dir.file("export.ldif")).find("zoe@example.org"), std::string::npos);
}

TEST_F(WizardGui, OpenModeLoadsIntoTheCurrentBookAndSkipsTheDestination) {
    MainWindow window(*m.run);
    ConversionWizard w(WizardMode::Open, &window, *m.run, &window.view());
    w.show();
    EXPECT_EQ(w.current(), WizardPage::Source);
    EXPECT_FALSE(enabled(w, QWizard::BackButton));
    pick(w, "LDAP/LDIF File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("in.ldif", kLdif)));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    click(w, QWizard::NextButton);
    QTRY_VERIFY(!w.isVisible());
    EXPECT_EQ(window.view().rootBook().entryCount(), 1);
    EXPECT_EQ(window.statusPart(1)->text(), "1 Items");
}

TEST_F(WizardGui, TaskModeSavesATaskThatAutoRuns) {
    ConversionWizard w(WizardMode::Task, nullptr, *m.run, nullptr);
    w.show();
    click(w, QWizard::NextButton);
    pick(w, "LDAP/LDIF File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("in.ldif", kLdif)));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    click(w, QWizard::NextButton);
    pick(w, "Comma Separated Values (CSV) File");
    m.prompts.fileAnswers.push_back(chosen(m.dir.file("task.csv")));
    QTest::mouseClick(child<QPushButton>(w, "browse"), Qt::LeftButton);
    click(w, QWizard::NextButton);
    auto* name = child<QLineEdit>(w, "eventName");
    ASSERT_TRUE(name && name->isVisible());
    EXPECT_TRUE(enabled(w, QWizard::BackButton));
    EXPECT_FALSE(enabled(w, QWizard::FinishButton));
    QTest::keyClicks(name, "n");
    EXPECT_TRUE(enabled(w, QWizard::FinishButton));
    QTest::keyClicks(name, "ightly");
    click(w, QWizard::FinishButton);
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_FALSE(std::filesystem::exists(m.dir.file("task.csv")));  // nothing converted yet

    std::ostringstream out, err;
    EXPECT_EQ(cli::runIn(*m.run, {"/auto nightly"}, "1", cli::Streams{out, err}), 0) << err.str();
    EXPECT_NE(testing::slurp(m.dir.file("task.csv")).find("zoe@example.org"), std::string::npos);
}

TEST_F(WizardGui, ModifyShowsTheTaskAndSavesItUnderItsName) {
    WizardPreset preset{"nightly", {"ldif", m.dir.file("in.ldif", kLdif), "csv", "/tmp/x.csv"}};
    ConversionWizard w(WizardMode::Task, nullptr, *m.run, nullptr, preset);
    w.show();
    click(w, QWizard::NextButton);
    EXPECT_EQ(text(w, "selection").toStdString(),
              "Current Selection: \nldif\n" + m.dir.file("in.ldif"));
    click(w, QWizard::NextButton);
    click(w, QWizard::NextButton);
    EXPECT_EQ(child<QLineEdit>(w, "eventName")->text(), "nightly");
    click(w, QWizard::FinishButton);
    AutomationTask saved;
    ASSERT_TRUE(readAutomationTask(*m.run, "nightly", saved));
    EXPECT_EQ(saved.toFile, "/tmp/x.csv");
}

}  // namespace
}  // namespace vesk::gui
