// The Qt main window: folder tree, entry list, menus, tool bar, status bar, the Find and
// "Please Wait" dialogs. It binds widgets to MainView, which holds the logic; conversions run
// on a worker thread while the progress dialog is shown.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <map>

#include "app/common/automation_prefs.h"
#include "app/common/main_view.h"
#include "app/gui/preferences_sheet.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vesk::gui {

class ProgressDialog;

/// Tree and list side by side with a movable gap between them (the splitter): the tree ends at
/// the split position, which stays at least 5 pixels from either edge; the list starts 2 pixels
/// after it.
class SplitPane : public QWidget {
  public:
    SplitPane(QWidget* left, QWidget* right, QWidget* parent);
    int splitPosition() const { return m_split; }
    /// Moves the gap to `x`, kept within [5, width - 5].
    void setSplitPosition(int x);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void layoutChildren();
    QWidget* m_left;
    QWidget* m_right;
    int m_split = 200;
    bool m_dragging = false;
};

/// The modeless Find dialog: one text of at most 79 characters and "Find Next".
class FindDialog : public QDialog {
  public:
    FindDialog(QWidget* owner, std::function<void(const std::string&)> onFindNext);
    QLineEdit* edit() const { return m_edit; }
    void findNext();

  private:
    QLineEdit* m_edit;
    std::function<void(const std::string&)> m_findNext;
};

class MainWindow : public QMainWindow, public MainSurface {
  public:
    /// The window over a run the caller made (its prompt shows the window's questions).
    explicit MainWindow(RunContext& run, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainView& view() { return m_view; }
    QTreeWidget* tree() const { return m_tree; }
    QTreeWidget* list() const { return m_list; }
    SplitPane* pane() const { return m_pane; }
    QLabel* statusPart(int part) const { return m_status[part]; }
    FindDialog* findDialog() const { return m_find; }
    /// The "Please Wait" dialog while a conversion runs, else nullptr.
    ProgressDialog* progressDialog() const { return m_progress; }
    /// The action of a command (menus, accelerators), or nullptr.
    QAction* action(Command id) const;
    QToolButton* toolButton(int button) const;
    /// Opens the local files of a drop into the current book.
    void dropFiles(const QMimeData& mime);
    /// Runs a command as the menus do: the focus decides what Delete deletes.
    void trigger(Command id);

    // MainSurface.
    void treeChanged(int selectedNode) override;
    void listChanged() override;
    void selectRow(int row) override;
    void statusChanged(int part, const std::string& text) override;
    void editNodeLabel(int node) override;
    void openFindDialog() override;
    void setClipboardText(const std::string& text) override;
    void showAbout() override;
    void runWithProgress(const std::function<void()>& job) override;
    bool hasWizard() const override { return true; }
    void runWizard(WizardMode mode) override;
    void closeWindow() override;
    std::optional<SheetResult> entrySheet(Entry& entry, bool newEntry) override;
    bool openPreferences(const std::vector<std::string>& fieldNames) override;
    /// The wizard the Automation page defines tasks with (mode 20); none in a build without it.
    void setTaskWizard(TaskWizard wizard) { m_taskWizard = std::move(wizard); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void buildMenus();
    void buildToolBar();
    QAction* addCommand(QMenu* menu, Command id, const QString& text, const QKeySequence& key = {});
    QTreeWidgetItem* itemOfNode(int node) const;
    void guarded(int point, const std::function<void()>& work);
    void onTreeSelection(QTreeWidgetItem* item);
    void onTreeEdited(QTreeWidgetItem* item);

    RunContext& m_run;
    MainView m_view;
    QTreeWidget* m_tree;
    QTreeWidget* m_list;
    SplitPane* m_pane;
    QLabel* m_status[2];
    FindDialog* m_find = nullptr;
    ProgressDialog* m_progress = nullptr;
    std::map<Command, QAction*> m_actions;
    std::map<int, QToolButton*> m_buttons;
    QMenu* m_fileMenus[4] = {};
    bool m_closing = false;
    TaskWizard m_taskWizard;
    SheetCsvOptions m_csvOptions;
};

}  // namespace vesk::gui
