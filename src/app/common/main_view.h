// The main window's logic without widgets: the root book, the book the tree has selected, the
// rows of the entry list (lists first, then entries), the status texts and every command of the
// menus and the tool bar. The Qt window only binds widgets to it, so the commands are tested
// without a display; whatever needs a widget is asked of the window through `MainSurface`.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "operations/selection.h"

namespace vesk {

/// The command ids of the menus, accelerators and tool bar.
enum class Command : int {
    HelpScreenshot = 14,
    NewFolder = 137,
    Refresh = 138,
    Synchronize = 151,
    AddFile = 40001,
    AddAddressBook = 40002,
    ExtractAdd = 40003,
    OpenAddressBook = 40004,
    OpenFile = 40005,
    ExtractOpen = 40006,
    Export = 40007,
    SaveAsFile = 40008,
    OpenWizard = 40009,
    Exit = 40010,
    CopyAll = 40011,
    Clear = 40014,
    Preferences = 40015,
    SortByNicknames = 40016,
    SortByEmail = 40017,
    HelpContents = 40018,
    HelpIndex = 40019,
    About = 40020,
    Properties = 40024,
    Delete = 40025,
    CheckForUpdate = 40027,
    BlankEntry = 40029,
    AddVCard = 40030,
    Find = 40032,
    FindNext = 40033,
    SaveAsVCard = 40034,
};

/// The wizard's modes: the command line's, the window's, and the Automation page's (Task).
enum class WizardMode : int { Convert = 0, Open = 1, Export = 2, Full = 10, Task = 20 };

/// What the entry property sheet reports when it closes: OK or Cancel, and its change flags.
struct SheetResult {
    bool ok = false;
    bool generalChanged = false;   ///< flag 1
    bool homeChanged = false;      ///< flag 2
    bool businessChanged = false;  ///< flag 3
    bool nameChanged = false;      ///< flag 0: "Full Name" changed
    bool anyChanged() const {
        return generalChanged || homeChanged || businessChanged || nameChanged;
    }
};

/// What the logic asks of its window. The defaults are a window that shows nothing, so a
/// view without widgets (tests, automation) works as it is.
class MainSurface {
  public:
    virtual ~MainSurface() = default;
    /// The tree's items changed (MainView::treeNodes); rebuild them and select `selected`.
    virtual void treeChanged(int /*selectedNode*/) {}
    /// The rows changed: rebuild the list from MainView::rowCount/rowTexts.
    virtual void listChanged() {}
    /// Selects and shows `row` (-1: none).
    virtual void selectRow(int /*row*/) {}
    /// Status bar part 0 or 1.
    virtual void statusChanged(int /*part*/, const std::string& /*text*/) {}
    /// Starts editing the label of tree node `node` in place.
    virtual void editNodeLabel(int /*node*/) {}
    /// Opens the modeless Find dialog (or brings it to the front).
    virtual void openFindDialog() {}
    virtual void setClipboardText(const std::string& /*text*/) {}
    /// Opens a help topic or a web address in the desktop's browser; false when it cannot.
    virtual bool openPage(const std::string& target);
    virtual void showAbout() {}
    /// Runs a conversion while the "Please Wait" dialog shows its progress; the window runs it
    /// on a worker thread and lets the dialog's Cancel stop it between entries.
    virtual void runWithProgress(const std::function<void()>& job) { job(); }
    /// The entry property sheet; nullopt when it cannot be shown.
    virtual std::optional<SheetResult> entrySheet(Entry& /*entry*/, bool /*newEntry*/) {
        return std::nullopt;
    }
    /// Whether this build has the conversion wizard (checked before anything is cleared).
    virtual bool hasWizard() const { return false; }
    /// The conversion wizard in `mode`, owned by the window.
    virtual void runWizard(WizardMode /*mode*/) {}
    /// The Preferences sheet with all its pages; false when this build has none.
    virtual bool openPreferences(const std::vector<std::string>& /*fieldNames*/) { return false; }
    /// Ends the window (after the close question has been answered).
    virtual void closeWindow() {}
};

/// One item of the folder tree: a folder (a NewAdbook) or a distribution list.
struct TreeNode {
    int id = 0;
    int parent = -1;  ///< the parent node's id; -1 for the root item
    Adbook* book = nullptr;
    bool isList = false;
};

class MainView : public BookView {
  public:
    MainView(RunContext& run, MainSurface& surface);
    ~MainView() override;

    RunContext& run() const { return m_run; }
    NewAdbook& rootBook() { return *m_root; }
    /// The book the tree has selected; a list's owner when a list is selected.
    NewAdbook& currentBook() override;
    /// The book the list shows: a folder, or a distribution list.
    Adbook& shownBook() { return *m_current; }

    /// Runs a command inside the crash guard; a failure the user does not recover from closes
    /// the window.
    void command(Command id);
    /// The command's work without the guard (what command() guards).
    void runCommand(Command id);
    /// Asks the close question; true when the window may close.
    bool close();

    // Tree.
    const std::vector<TreeNode>& treeNodes() const { return m_nodes; }
    const TreeNode* node(int id) const;
    int rootNode() const { return m_nodes.empty() ? -1 : m_nodes.front().id; }
    int selectedNode() const { return m_selectedNode; }
    std::string nodeLabel(int id) const;
    /// The tree's selection changed: that item's book becomes the current book.
    void selectNode(int id);
    /// The in-place edit of a label ended with `text`: renames the item's book.
    bool renameNode(int id, const std::string& text);

    // List.
    int rowCount();
    bool rowIsList(int row);
    /// The six column texts of a row: Name, E-Mail Address, Nickname, Home Phone, Work Phone,
    /// Organization.
    std::vector<std::string> rowTexts(int row);
    /// The entry index of a row: row minus the number of lists (negative for a list row).
    int entryIndex(int row);
    int selectedRow() const { return m_selectedRow; }
    void setSelectedRow(int row) { m_selectedRow = row; }
    /// Which of the two has the keyboard focus (Delete acts on it).
    void setTreeHasFocus(bool tree) { m_treeFocus = tree; }
    bool treeHasFocus() const { return m_treeFocus; }
    /// Column click: sorts the book by that column (0 to 5) and rebuilds the list.
    void sortByColumn(int column);

    // Find.
    const std::string& findText() const { return m_findText; }
    /// The text of the Find dialog (at most 79 characters, as its buffer holds 80).
    void setFindText(const std::string& text);
    /// Searches down from the selected row, offering to start over at the top.
    void findNext();

    /// Files dropped on the window: each is traced and added to the current book.
    void openDroppedFiles(const std::vector<std::string>& files);
    /// Adds a file to the current book with the progress dialog shown (the file-open operation).
    void addFile(const std::string& fileName);

    /// "%d Items" of the current book.
    std::string itemsText();
    /// The address of the update page: the setting "UpdateServer" (else the project's site),
    /// "/projects/vesk/update/5.4/", the build number ("CurrentVersion", else 5402), ".html".
    std::string updateAddress();

    /// Rebuilds tree and list from the books (Refresh).
    void refresh() override;
    void setStatus(const std::string& text) override;

  private:
    int addNode(int parent, Adbook* book, bool isList);
    void addSubTree(int parent, NewAdbook& book);
    void resetTreeToRoot();
    void removeNodeTree(int id);
    NewAdbook* parentBookOf(const TreeNode& n) const;
    void rebuildList(int selectRow);
    void updateItems();

    bool saveBeforeLosing(const std::string& question, NewAdbook& book);
    bool saveBookAs(NewAdbook& book);
    bool holdsAnything(Adbook& book);
    bool wizard(WizardMode mode);
    void notAvailable(const std::string& what);

    void newEntry();
    void addVCard();
    void newFolder();
    /// Offers to save, then empties the shown book; false when the user cancels.
    bool clearBeforeOpening();
    void openAddressBook(bool clearFirst);
    void openFile(bool clearFirst);
    void exportBook();
    void openWizard();
    void saveAsFile();
    void saveAsVCard();
    void copyAll();
    void deleteSelected();
    void deleteTreeItem(int id);
    void clearBook();
    void properties();
    void editEntry(int index);
    void find();
    void synchronizeBooks();
    void preferences();
    void checkForUpdate();

    RunContext& m_run;
    MainSurface& m_surface;
    std::unique_ptr<NewAdbook> m_root;
    Adbook* m_current;
    std::vector<TreeNode> m_nodes;
    int m_nextNodeId = 0;
    int m_selectedNode = -1;
    int m_selectedRow = -1;
    bool m_treeFocus = false;
    int m_sortField = 0;
    std::string m_findText;
};

/// Collects the members of one distribution list as "Full Name <E-Mail Address>" lines and
/// shows them in a message box captioned "List Contents" when the list has been written.
class ShowList : public ToBase {
  public:
    explicit ShowList(RunContext& run) : ToBase(run) { takesViews = true; }
    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    bool finish() override;
    const std::string& text() const { return m_text; }

  private:
    std::string m_text;
};

}  // namespace vesk
