// The real window under Qt's offscreen platform, driven through its actions, widgets and
// events; questions go to the run's recording prompt.
#include "app/gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest/QTest>
#include <thread>

#include "app/gui/qt_prompt.h"
#include "app/gui/run_window.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk::gui {
namespace {

using testing::contact;
using testing::TempDir;
using testing::TestRun;

const char* const kThreeCards =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Zoe Zimmer\r\nEMAIL;INTERNET:zoe@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Anna Alt\r\nEMAIL;INTERNET:anna@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Max Mohr\r\nEMAIL;INTERNET:max@example.org\r\nEND:VCARD\r\n";

FileDialogResult chosen(const std::string& name) {
    FileDialogResult r;
    r.ok = true;
    r.fileName = name;
    r.filterIndex = 1;
    return r;
}

struct WindowTest : ::testing::Test {
    TestRun run;
    TempDir dir;
    MainWindow window{run};

    void SetUp() override {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void openThreeCards() {
        run.prompts.fileAnswers.push_back(chosen(dir.file("three.vcf", kThreeCards)));
        window.trigger(Command::OpenFile);
    }
    /// The root with three contacts and the lists "Team" and "All".
    void fillWithLists() {
        NewAdbook& root = window.view().rootBook();
        for (const char* n : {"Anna Alt", "Bob Brown", "Carl Cole"})
            root.addEntry(contact(n, std::string(n).substr(0, 3) + "@example.org"));
        root.sortAndMerge(0);
        root.listNamed("Team")->addMember(root.entryPtr(1));
        root.listNamed("All")->addMember(root.entryPtr(0));
        window.trigger(Command::Refresh);
    }
    QString cell(int row, int column = 0) {
        QTreeWidgetItem* item = window.list()->topLevelItem(row);
        return item ? item->text(column) : QString();
    }
    QTreeWidgetItem* treeItem(const QString& label) {
        const auto found = window.tree()->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
    void clickTree(const QString& label) {
        QTreeWidgetItem* item = treeItem(label);
        ASSERT_NE(item, nullptr) << label.toStdString();
        const QRect r = window.tree()->visualItemRect(item);
        QTest::mouseClick(window.tree()->viewport(), Qt::LeftButton, {}, r.center());
    }
    void clickRow(int row) {
        const QRect r = window.list()->visualItemRect(window.list()->topLevelItem(row));
        QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, {}, r.center());
    }
    std::string lastMessage() {
        return run.prompts.messages.empty() ? std::string() : run.prompts.messages.back().text;
    }
};

TEST_F(WindowTest, LayoutOfListToolBarAndStatus) {
    QTreeWidget* list = window.list();
    ASSERT_EQ(list->columnCount(), 6);
    const QStringList headers = {"Name",       "E-Mail Address", "Nickname",
                                 "Home Phone", "Work Phone",     "Organization"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), headers[c]);
        EXPECT_EQ(list->columnWidth(c), 150);
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(window.statusPart(0)->text(), "Welcome to Vesk");
    EXPECT_EQ(window.statusPart(1)->text(), "0 Items");
    EXPECT_EQ(window.tree()->topLevelItem(0)->text(0), "Contacts");
    EXPECT_EQ(window.toolButton(7)->toolTip(), "Open an Address Book");
    EXPECT_EQ(window.toolButton(8)->toolTip(), "Export into Address Book");
    EXPECT_EQ(window.toolButton(12)->toolTip(), "Properties");
    ASSERT_NE(window.toolButton(7)->menu(), nullptr);
    EXPECT_EQ(window.toolButton(7)->menu()->title(), "&Open");
    EXPECT_EQ(window.toolButton(8)->menu()->title(), "&Save");
    EXPECT_EQ(window.toolButton(6)->menu()->title(), "&New Item");
    EXPECT_EQ(window.action(Command::FindNext)->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(window.action(Command::Clear)->shortcut(), QKeySequence("Shift+Del"));
}

TEST_F(WindowTest, OpenAFileFillsListAndStatus) {
    openThreeCards();
    ASSERT_EQ(window.list()->topLevelItemCount(), 3);
    EXPECT_EQ(cell(0), "Anna Alt");
    EXPECT_EQ(cell(0, 1), "anna@example.org");
    EXPECT_EQ(window.statusPart(1)->text(), "3 Items");
    EXPECT_EQ(window.progressDialog(), nullptr);  // gone once the conversion ended
}

TEST_F(WindowTest, TreeShowsFoldersAndListsAndSelectingOneShowsIt) {
    fillWithLists();
    window.view().rootBook().folderNamed("Work")->addEntry(contact("In Work", "w@example.org"));
    window.trigger(Command::Refresh);
    ASSERT_NE(treeItem("Work"), nullptr);
    ASSERT_NE(treeItem("Team"), nullptr);
    EXPECT_EQ(window.list()->topLevelItemCount(), 5);  // two lists, then three entries
    EXPECT_EQ(cell(0), "Team");
    clickTree("Work");
    ASSERT_EQ(window.list()->topLevelItemCount(), 1);
    EXPECT_EQ(cell(0), "In Work");
    EXPECT_EQ(window.statusPart(1)->text(), "1 Items");
}

TEST_F(WindowTest, NewFolderIsNamedUntitledThenUntitled0AndRenamedInPlace) {
    window.trigger(Command::NewFolder);
    ASSERT_NE(treeItem("untitled"), nullptr);
    EXPECT_EQ(window.tree()->currentItem(), treeItem("untitled"));
    clickTree("Contacts");
    window.trigger(Command::NewFolder);
    EXPECT_NE(treeItem("untitled0"), nullptr);
    QTreeWidgetItem* item = treeItem("untitled0");
    item->setText(0, "Friends");  // what the in-place editor commits
    EXPECT_EQ(window.view().rootBook().folder(1)->name(), "Friends");
}

TEST_F(WindowTest, PropertiesOfAListRowAndOfAnEntryRow) {
    fillWithLists();
    clickRow(0);  // "Team"
    window.trigger(Command::Properties);
    ASSERT_FALSE(run.prompts.messages.empty());
    EXPECT_EQ(run.prompts.messages.back().caption, "List Contents");
    EXPECT_EQ(lastMessage(), "Bob Brown <Bob@example.org>\n");
    clickRow(2);  // entry 0: its property sheet, closed with Cancel
    QString caption;
    QTimer::singleShot(0, [&] {
        QWidget* sheet = QApplication::activeModalWidget();
        ASSERT_NE(sheet, nullptr);
        caption = sheet->windowTitle();
        sheet->close();
    });
    window.trigger(Command::Properties);
    EXPECT_EQ(caption, "Anna Alt");
    EXPECT_EQ(cell(2), "Anna Alt");
}

TEST_F(WindowTest, DeleteFollowsTheFocus) {
    fillWithLists();
    window.view().rootBook().folderNamed("Work");
    window.trigger(Command::Refresh);
    clickTree("Work");
    window.tree()->setFocus();
    window.trigger(Command::Delete);
    EXPECT_EQ(treeItem("Work"), nullptr);
    EXPECT_EQ(window.view().rootBook().folderCount(), 0);
    EXPECT_EQ(window.tree()->currentItem(), treeItem("Contacts"));
    clickRow(3);  // Bob
    window.list()->setFocus();
    window.trigger(Command::Delete);
    EXPECT_EQ(window.view().rootBook().entryCount(), 2);
    EXPECT_EQ(cell(3), "Carl Cole");
    EXPECT_EQ(window.list()->currentItem(), window.list()->topLevelItem(3));
    EXPECT_EQ(window.statusPart(1)->text(), "2 Items");
}

TEST_F(WindowTest, ClearOnASubFolderLeavesTheRootItem) {
    NewAdbook* work = window.view().rootBook().folderNamed("Work");
    work->addEntry(contact("In Work", "w@example.org"));
    window.trigger(Command::Refresh);
    clickTree("Work");
    run.prompts.answers = {Answer::No};
    window.trigger(Command::Clear);
    EXPECT_EQ(lastMessage(), "Do you wish to save before clearing?");
    EXPECT_EQ(work->entryCount(), 0);
    EXPECT_EQ(window.list()->topLevelItemCount(), 0);
    EXPECT_EQ(window.tree()->topLevelItemCount(), 1);
    EXPECT_EQ(window.tree()->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(window.statusPart(1)->text(), "0 Items");
}

TEST_F(WindowTest, FindDialogFindsNextAndWraps) {
    openThreeCards();
    window.trigger(Command::Find);
    FindDialog* find = window.findDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(find->edit()->maxLength(), 79);
    find->edit()->setText("example.org");
    find->findNext();
    EXPECT_EQ(window.list()->currentItem(), window.list()->topLevelItem(0));
    window.trigger(Command::FindNext);
    window.trigger(Command::FindNext);
    EXPECT_EQ(window.list()->currentItem(), window.list()->topLevelItem(2));
    run.prompts.answers = {Answer::Yes};
    window.trigger(Command::FindNext);
    EXPECT_EQ(lastMessage(),
              "No entries found. Do you want to start over from the top of the list?");
    EXPECT_EQ(window.list()->currentItem(), window.list()->topLevelItem(0));
}

TEST_F(WindowTest, CopyAllPutsTextOnTheClipboard) {
    openThreeCards();
    window.trigger(Command::CopyAll);
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.contains("Anna Alt")) << text.toStdString();
    EXPECT_TRUE(text.contains("zoe@example.org"));
}

TEST_F(WindowTest, ColumnClickSortsByThatColumn) {
    NewAdbook& root = window.view().rootBook();
    root.addEntry(contact("Anna Alt", "zz@example.org"));
    root.addEntry(contact("Bob Brown", "aa@example.org"));
    window.trigger(Command::Refresh);
    QHeaderView* header = window.list()->header();
    const int x = header->sectionViewportPosition(1) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    EXPECT_EQ(cell(0), "Bob Brown");
}

TEST_F(WindowTest, SplitterStartsAt200AndStaysFiveFromTheEdges) {
    SplitPane* pane = window.pane();
    EXPECT_EQ(pane->splitPosition(), 200);
    EXPECT_EQ(window.tree()->width(), 200);
    EXPECT_EQ(window.list()->x(), 202);
    auto drag = [&](int fromX, int toX) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(fromX, 10),
                          pane->mapToGlobal(QPointF(fromX, 10)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, QPointF(toX, 10), pane->mapToGlobal(QPointF(toX, 10)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(toX, 10),
                            pane->mapToGlobal(QPointF(toX, 10)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(pane, &press);
        QApplication::sendEvent(pane, &move);
        QApplication::sendEvent(pane, &release);
    };
    drag(201, 2);
    EXPECT_EQ(pane->splitPosition(), 5);
    EXPECT_EQ(window.tree()->width(), 5);
    drag(6, pane->width() + 50);
    EXPECT_EQ(pane->splitPosition(), pane->width() - 5);
    drag(pane->width() - 4, 300);
    EXPECT_EQ(pane->splitPosition(), 300);
    EXPECT_EQ(window.list()->x(), 302);
}

/// Hands out contacts; at the sixth it has the dialog's Cancel button pressed on the window's
/// thread and waits until the dialog took it, so the import can only end by stopping between
/// entries.
class CancellingReader : public IterBase {
  public:
    explicit CancellingReader(MainWindow& window) : m_window(window) {}
    bool rewind() override {
        m_pos = 0;
        return true;
    }
    Entry nextEntry() override {
        if (++m_pos == 6) {
            QMetaObject::invokeMethod(
                &m_window,
                [this] {
                    ProgressDialog* dialog = m_window.progressDialog();
                    title = dialog->windowTitle();
                    for (QPushButton* b : dialog->findChildren<QPushButton*>())
                        if (b->text() == "Cancel") b->click();
                },
                Qt::QueuedConnection);
            while (!m_window.progressDialog()->cancelled()) std::this_thread::yield();
        }
        return contact("Person " + std::to_string(m_pos), std::to_string(m_pos) + "@example.org");
    }
    bool atEnd() override { return m_pos >= 1000; }

    QString title;

  private:
    MainWindow& m_window;
    int m_pos = 0;
};

TEST_F(WindowTest, CancelInTheProgressDialogStopsTheImportBetweenEntries) {
    NewAdbook& book = window.view().rootBook();
    CancellingReader reader(window);
    window.runWithProgress([&] { book.fromStart(reader); });
    EXPECT_EQ(reader.title, "Please Wait");
    // Pumped every fifth entry: the first pump after the click stops before entry eleven.
    EXPECT_EQ(book.entryCount(), 10);
    EXPECT_EQ(window.progressDialog(), nullptr);
}

TEST_F(WindowTest, TheConversionRunsOnAWorkerThread) {
    std::thread::id asked;
    class ThreadPrompt : public RecordingPrompt {
      public:
        std::thread::id* where;
        Answer message(const std::string& t, const std::string& c, Buttons b, Icon i) override {
            *where = std::this_thread::get_id();
            return RecordingPrompt::message(t, c, b, i);
        }
    } prompt;
    prompt.where = &asked;
    run.setPrompt(prompt);
    // A file of no known kind: the reader's message comes from the worker thread.
    window.view().addFile(dir.file("noise.zzz", std::string("\x01\x02\x03", 3)));
    ASSERT_FALSE(prompt.messages.empty());
    EXPECT_NE(asked, std::thread::id());
    EXPECT_NE(asked, std::this_thread::get_id());
}

TEST_F(WindowTest, DroppedFilesAreOpenedIntoTheBook) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("three.vcf", kThreeCards)))});
    window.dropFiles(data);
    EXPECT_EQ(window.list()->topLevelItemCount(), 3);
    EXPECT_EQ(window.statusPart(1)->text(), "3 Items");
}

TEST_F(WindowTest, CloseAsksAndCancelKeepsTheWindow) {
    openThreeCards();
    run.prompts.answers = {Answer::Cancel};
    EXPECT_FALSE(window.close());
    EXPECT_EQ(lastMessage(), "Do you wish to save before exiting?");
    EXPECT_TRUE(window.isVisible());
    run.prompts.answers = {Answer::No};
    EXPECT_TRUE(window.close());
}

TEST(RunWindow, TheWindowOpensWithNothingOrOneFileToOpen) {
    TempDir dir;  // QT_QPA_PLATFORM is set in this program: a display is there
    const std::string book = dir.file("book.vcf", kThreeCards);
    struct Case {
        std::vector<std::string> args;
        bool window;
    };
    const Case cases[] = {
        {{"vesk"}, true},
        {{"vesk", book}, true},
        {{"vesk", "formats"}, false},
        {{"vesk", "--help"}, false},
        {{"vesk", dir.path().string()}, false},  // a folder is no book
        {{"vesk", "convert", book, dir.file("out.kynt")}, false},
        {{"vesk", book, book}, false},
        {{"vesk", "/prefs"}, true},  // the Preferences sheet alone
        {{"vesk", "/prefs", "x"}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> copy = c.args;
        std::vector<char*> argv;
        for (std::string& a : copy) argv.push_back(a.data());
        EXPECT_EQ(wantsWindow(static_cast<int>(argv.size()), argv.data()), c.window)
            << c.args.back();
    }
}

}  // namespace
}  // namespace vesk::gui

int main(int argc, char** argv) {
    // The tests drive the real window without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
