#include "app/common/main_view.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>

#include "app/common/file_dialogs.h"
#include "model/sync.h"
#include "model/to_file.h"
#include "platform/faults.h"
#include "registry/registry.h"
#include "text/text_io.h"

namespace vesk {

namespace {

constexpr int kColumns = 6;
constexpr std::size_t kFindBuffer = 80;
const char* const kUpdatePath = "/projects/vesk/update/5.4/";
const char* const kDefaultUpdateServer = "https://vesk.example.org";
const char* const kDialogError = "An Error occured in this Dialog Box.";

/// The view a conversion on the worker thread sees: the book, and no widgets to redraw.
class JobView : public BookView {
  public:
    explicit JobView(NewAdbook& book) : m_book(book) {}
    NewAdbook& currentBook() override { return m_book; }

  private:
    NewAdbook& m_book;
};

std::vector<FileFilter> vcardFilter() {
    return {{"vCard Files (*.vcf)", "*.vcf"}};
}

/// The name the vCard dialogs gave, with ".vcf" when it has no extension.
std::string withVcfExtension(std::string name) {
    if (fileExtension(name).empty()) name += ".vcf";
    return name;
}

}  // namespace

bool MainSurface::openPage(const std::string& target) {
    return showHelp(target) != 0;
}

MainView::MainView(RunContext& run, MainSurface& surface)
    : m_run(run),
      m_surface(surface),
      m_root(std::make_unique<NewAdbook>(run)),
      m_current(m_root.get()) {
    resetTreeToRoot();
}

MainView::~MainView() = default;

NewAdbook& MainView::currentBook() {
    if (auto* list = dynamic_cast<DistList*>(m_current)) return *list->owner();
    return *static_cast<NewAdbook*>(m_current);
}

// ---------------------------------------------------------------------------------------------
// Commands

void MainView::command(Command id) {
    CrashGuard guard(m_run);
    guard.setBreadcrumb(static_cast<int>(id));
    if (guard.run([&] { runCommand(id); }) == GuardResult::Quit) m_surface.closeWindow();
}

void MainView::runCommand(Command id) {
    switch (id) {
        case Command::BlankEntry:
            return newEntry();
        case Command::AddVCard:
            return addVCard();
        case Command::NewFolder:
            return newFolder();
        case Command::AddAddressBook:
            return openAddressBook(false);
        case Command::AddFile:
            return openFile(false);
        case Command::OpenAddressBook:
            return openAddressBook(true);
        case Command::OpenFile:
            return openFile(true);
        case Command::Export:
            return exportBook();
        case Command::SaveAsFile:
            return saveAsFile();
        case Command::SaveAsVCard:
            return saveAsVCard();
        case Command::Properties:
            return properties();
        case Command::OpenWizard:
            return openWizard();
        case Command::Exit:
            if (close()) m_surface.closeWindow();
            return;
        case Command::CopyAll:
            return copyAll();
        case Command::Delete:
            return deleteSelected();
        case Command::Clear:
            return clearBook();
        case Command::Find:
            return find();
        case Command::FindNext:
            return findNext();
        case Command::Preferences:
            return preferences();
        case Command::SortByNicknames:
            return sortByColumn(static_cast<int>(Field::Nickname));
        case Command::SortByEmail:
            return sortByColumn(static_cast<int>(Field::Email));
        case Command::Refresh:
            return refresh();
        case Command::HelpContents:
        case Command::HelpIndex:
            m_surface.openPage(m_run.programDirectory + "help.chm::/overview.html");
            return;
        case Command::HelpScreenshot:
            m_surface.openPage(m_run.programDirectory + "help.chm::/screenshot.html>Stripped");
            return;
        case Command::CheckForUpdate:
            return checkForUpdate();
        case Command::About:
            return m_surface.showAbout();
        case Command::Synchronize:
            return synchronizeBooks();
        case Command::ExtractAdd:
        case Command::ExtractOpen:
            return;
    }
}

bool MainView::close() {
    // The whole tree counts: an empty sub-folder may be selected while the root holds a book.
    if (!holdsAnything(*m_root)) return true;
    return saveBeforeLosing("Do you wish to save before exiting?", *m_root);
}

void MainView::newEntry() {
    Entry entry;
    const std::optional<SheetResult> sheet = m_surface.entrySheet(entry, true);
    if (!sheet) return notAvailable("The entry property sheet");
    // Cancel means the user did not ask for this entry: nothing is added.
    if (!sheet->ok) return updateItems();
    NewAdbook& book = currentBook();
    const bool added = book.addEntry(entry);
    book.sortAndMerge(m_sortField);
    rebuildList(added ? 0 : m_selectedRow);
    updateItems();
}

void MainView::addVCard() {
    const FileDialogResult r = m_run.prompt().openFileName(vcardFilter(), 1);
    if (r.error != 0) {
        m_run.prompt().message(kDialogError, "Vesk", Buttons::Ok, Icon::None);
        return;
    }
    if (!r.ok || r.fileName.empty()) return;
    addFile(withVcfExtension(r.fileName));
}

void MainView::newFolder() {
    const TreeNode* parent = node(m_selectedNode >= 0 ? m_selectedNode : rootNode());
    if (!parent || parent->isList) {
        m_run.prompt().message(
            "This operation was not completed successfully for the following "
            "reason: Address Book does not exist",
            "Error Creating Address Book", Buttons::Ok, Icon::Stop);
        return;
    }
    Adbook* folder = parent->book->addFolder("untitled");
    for (int i = 0; !folder && i <= 254; ++i)
        folder = parent->book->addFolder("untitled" + std::to_string(i));
    if (!folder) return;
    const int id = addNode(parent->id, folder, false);
    m_current = folder;
    m_selectedNode = id;
    m_surface.treeChanged(id);
    rebuildList(-1);
    updateItems();
    m_surface.editNodeLabel(id);
}

bool MainView::clearBeforeOpening() {
    if (holdsAnything(shownBook()) &&
        !saveBeforeLosing("This will erase existing entries. To add to existing entries "
                          "choose Add from the file menu. Do you wish to save before opening?",
                          currentBook()))
        return false;
    shownBook().clear();
    // The cleared book's folders are gone: the tree must not show them any more.
    refresh();
    return true;
}

void MainView::openAddressBook(bool clearFirst) {
    // Said before anything is cleared: without a wizard the book would be lost for nothing.
    if (!m_surface.hasWizard()) return notAvailable("The conversion wizard");
    if (clearFirst && !clearBeforeOpening()) return;
    m_surface.runWizard(WizardMode::Open);
    refresh();
}

void MainView::openFile(bool clearFirst) {
    if (clearFirst && !clearBeforeOpening()) return;
    const std::string fileName = askOpenFileName(m_run);
    if (fileName.empty()) return;
    addFile(fileName);
}

void MainView::addFile(const std::string& fileName) {
    NewAdbook& book = currentBook();
    m_surface.runWithProgress([&] {
        JobView view(book);
        loadFile(fileName, view);
    });
    refresh();
}

void MainView::openDroppedFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        m_run.trace(0, file, "Dropped file");
        addFile(file);
    }
}

void MainView::exportBook() {
    if (shownBook().entryCount() == 0) return;
    wizard(WizardMode::Export);
}

void MainView::openWizard() {
    wizard(WizardMode::Full);
    refresh();
}

bool MainView::wizard(WizardMode mode) {
    if (!m_surface.hasWizard()) {
        notAvailable("The conversion wizard");
        return false;
    }
    m_surface.runWizard(mode);
    return true;
}

void MainView::saveAsFile() {
    if (!holdsAnything(currentBook())) return;
    saveBookAs(currentBook());
}

bool MainView::saveBookAs(NewAdbook& book) {
    const std::string fileName = askSaveFileName(m_run);
    if (fileName.empty()) return false;
    SaveOutcome outcome;
    m_surface.runWithProgress([&] {
        JobView view(book);
        outcome = saveToFile(fileName, view);
    });
    return outcome.status == SaveStatus::Saved || outcome.status == SaveStatus::Empty;
}

bool MainView::saveBeforeLosing(const std::string& question, NewAdbook& book) {
    const Answer a =
        m_run.prompt().message(question, "Save?", Buttons::YesNoCancel, Icon::Question);
    if (a == Answer::Cancel) return false;
    if (a == Answer::Yes) return saveBookAs(book);
    return true;
}

bool MainView::holdsAnything(Adbook& book) {
    if (auto* folder = dynamic_cast<NewAdbook*>(&book)) {
        const TreeCounts c = countTree(*folder);
        return c.entries > 0 || c.lists > 0 || folder->folderCount() > 0;
    }
    return book.entryCount() > 0;
}

void MainView::notAvailable(const std::string& what) {
    m_run.prompt().message(what + " is not part of this version of Vesk yet.", "Vesk", Buttons::Ok,
                           Icon::Information);
}

void MainView::saveAsVCard() {
    Adbook& book = shownBook();
    if (book.entryCount() == 0) return;
    // Only an entry row can be written: no selection or a list row does nothing.
    const int index = m_selectedRow < 0 ? -1 : entryIndex(m_selectedRow);
    if (index < 0 || index >= book.entryCount()) return;
    const FileDialogResult r = m_run.prompt().saveFileName(vcardFilter(), 1);
    if (r.error != 0) {
        m_run.prompt().message(kDialogError, "Vesk", Buttons::Ok, Icon::None);
        return;
    }
    if (!r.ok || r.fileName.empty()) return;
    const FormatInfo* vcard = Registry::builtIn().byId("vcard");
    std::unique_ptr<ToBase> writer =
        vcard ? makeWriter(m_run, *vcard, withVcfExtension(r.fileName)) : nullptr;
    if (!writer) return;
    writer->write(book.entryAt(index));
    writer->finish();
}

void MainView::copyAll() {
    Adbook& book = shownBook();
    if (book.entryCount() == 0) return;
    const FormatInfo* text = Registry::builtIn().byId("plain_text");
    std::unique_ptr<ToBase> writer = text ? makeWriter(m_run, *text, "") : nullptr;
    auto* file = dynamic_cast<ToFile*>(writer.get());
    if (!file) return;
    // Rendered into memory only: finish() would write a file.
    file->intoMemory();
    file->saveFrom(book, false, false);
    m_surface.setClipboardText(file->text());
}

void MainView::deleteSelected() {
    if (m_treeFocus) {
        const int id = m_selectedNode >= 0 ? m_selectedNode : rootNode();
        // The root is recognised by the item itself, whatever its label says.
        if (id != rootNode()) return deleteTreeItem(id);
    }
    if (m_selectedRow < 0) return;
    const int index = entryIndex(m_selectedRow);
    if (index < 0) return;
    Adbook& book = shownBook();
    if (!book.removeEntry(index)) return;
    const int rows = rowCount();
    rebuildList(std::min(m_selectedRow, rows - 1));
    updateItems();
}

void MainView::deleteTreeItem(int id) {
    const TreeNode* n = node(id);
    if (!n) return;
    NewAdbook* owner = parentBookOf(*n);
    if (!owner) return;
    const Adbook* gone = n->book;
    const int parentNode = n->parent;
    removeNodeTree(id);
    // The selected item's own folder or list goes, by identity: names may repeat.
    owner->removeChild(gone);
    m_current = owner;
    m_selectedNode = parentNode;
    m_surface.treeChanged(parentNode);
    rebuildList(-1);
    updateItems();
}

void MainView::clearBook() {
    Adbook& book = shownBook();
    if (holdsAnything(book) &&
        !saveBeforeLosing("Do you wish to save before clearing?", currentBook()))
        return;
    book.clear();
    rebuildList(-1);
    setStatus("0 Items");
    resetTreeToRoot();
    m_selectedNode = m_current == m_root.get() ? rootNode() : -1;
    m_surface.treeChanged(m_selectedNode);
}

void MainView::properties() {
    if (m_selectedRow < 0) return;
    const int index = entryIndex(m_selectedRow);
    if (index >= 0) return editEntry(index);
    DistList* list = shownBook().listAt(m_selectedRow);
    if (!list) return;
    ShowList show(m_run);
    show.saveFrom(*list, false, true);
}

void MainView::editEntry(int index) {
    Adbook& book = shownBook();
    if (index >= book.entryCount()) return;
    Entry copy = book.entryAt(index);
    const std::optional<SheetResult> sheet = m_surface.entrySheet(copy, false);
    if (!sheet) return notAvailable("The entry property sheet");
    if (!sheet->ok || !sheet->anyChanged()) return updateItems();
    // Replaced in place, never removed and added again: list members keep pointing at it, and
    // an entry whose name and address were cleared is kept rather than dropped.
    const Entry* object = nullptr;
    if (auto* folder = dynamic_cast<NewAdbook*>(&book)) object = folder->entryPtr(index);
    if (auto* list = dynamic_cast<DistList*>(&book))
        object = list->members()[static_cast<std::size_t>(index)];
    book.replaceEntry(copy, index);
    currentBook().sortAndMerge(m_sortField);
    if (dynamic_cast<DistList*>(&book)) book.sortAndMerge(m_sortField);
    const int now = object ? book.indexOf(object, 0, -1) : -1;
    rebuildList(now < 0 ? -1 : now + book.listCount());
    updateItems();
}

void MainView::find() {
    if (shownBook().entryCount() == 0) return;
    m_surface.openFindDialog();
}

void MainView::setFindText(const std::string& text) {
    m_findText = std::string(truncateCodePoints(text, kFindBuffer - 1));
}

void MainView::findNext() {
    Adbook& book = shownBook();
    if (book.entryCount() == 0) return;
    if (m_findText.empty()) return find();
    const int lists = book.listCount();
    const int start = std::max(0, m_selectedRow - lists + 1);
    int found = book.find(m_findText, start, -1);
    if (found < 0) {
        const Answer again = m_run.prompt().message(
            "No entries found. Do you want to start over from the top of the list?", "Vesk",
            Buttons::YesNo, Icon::Question);
        if (again != Answer::Yes) return;
        // Up to the selected entry itself: when it is the only match it is found again.
        found = book.find(m_findText, 0, start);
        if (found < 0) {
            m_run.prompt().message("The item was not found.", "Vesk", Buttons::Ok, Icon::Warning);
            return;
        }
    }
    m_selectedRow = found + lists;
    m_surface.selectRow(m_selectedRow);
}

void MainView::synchronizeBooks() {
    NewAdbook& current = currentBook();
    m_surface.runWithProgress([&] {
        std::unique_ptr<NewAdbook> result = synchronize(*m_root, current);
        m_root->folderNamed("synced")->fromStart(*result);
    });
    refresh();
}

void MainView::preferences() {
    std::vector<std::string> names;
    for (int i = 0; i < kFieldCount; ++i) names.push_back(fieldName(i));
    if (!m_surface.openPreferences(names)) notAvailable("The Preferences sheet");
}

void MainView::checkForUpdate() {
    m_surface.openPage(updateAddress());
}

std::string MainView::updateAddress() {
    SettingValue v;
    std::string server = kDefaultUpdateServer;
    if (m_run.settings().readValue(RootKey::CurrentUser, kOwnKey, "UpdateServer", v) == 0 &&
        !v.text.empty())
        server = v.text;
    while (!server.empty() && server.back() == '/') server.pop_back();
    long build = 5402;
    if (m_run.settings().readValue(RootKey::CurrentUser, kOwnKey, "CurrentVersion", v) == 0 &&
        v.type == ValueType::Number)
        build = static_cast<std::int32_t>(v.number);
    return server + kUpdatePath + std::to_string(build) + ".html";
}

// ---------------------------------------------------------------------------------------------
// Tree

int MainView::addNode(int parent, Adbook* book, bool isList) {
    TreeNode n;
    n.id = m_nextNodeId++;
    n.parent = parent;
    n.book = book;
    n.isList = isList;
    m_nodes.push_back(n);
    return n.id;
}

void MainView::addSubTree(int parent, NewAdbook& book) {
    for (int i = 0; i < book.folderCount(); ++i) {
        NewAdbook* folder = book.folder(i);
        addSubTree(addNode(parent, folder, false), *folder);
    }
    for (int i = 0; i < book.listCount(); ++i) addNode(parent, book.listAt(i), true);
}

void MainView::resetTreeToRoot() {
    m_nodes.clear();
    addNode(-1, m_root.get(), false);
}

void MainView::removeNodeTree(int id) {
    // Parents come before their children in m_nodes, so one pass finds the whole sub-tree.
    std::set<int> gone{id};
    for (const TreeNode& n : m_nodes)
        if (gone.count(n.parent)) gone.insert(n.id);
    std::erase_if(m_nodes, [&](const TreeNode& n) { return gone.count(n.id) > 0; });
}

NewAdbook* MainView::parentBookOf(const TreeNode& n) const {
    if (n.isList) return static_cast<DistList*>(n.book)->owner();
    return static_cast<NewAdbook*>(n.book)->parent();
}

const TreeNode* MainView::node(int id) const {
    for (const TreeNode& n : m_nodes)
        if (n.id == id) return &n;
    return nullptr;
}

std::string MainView::nodeLabel(int id) const {
    const TreeNode* n = node(id);
    return n ? n->book->name() : std::string();
}

void MainView::selectNode(int id) {
    const TreeNode* n = node(id);
    if (!n) return;
    m_selectedNode = id;
    m_current = n->book;
    rebuildList(-1);
    updateItems();
}

bool MainView::renameNode(int id, const std::string& text) {
    const TreeNode* n = node(id);
    if (!n || text.empty()) return false;
    n->book->setName(text);
    m_selectedNode = id;
    return true;
}

void MainView::refresh() {
    resetTreeToRoot();
    addSubTree(rootNode(), *m_root);
    m_selectedNode = -1;
    for (const TreeNode& n : m_nodes)
        if (n.book == m_current) m_selectedNode = n.id;
    m_surface.treeChanged(m_selectedNode);
    rebuildList(m_selectedRow < rowCount() ? m_selectedRow : -1);
    updateItems();
}

// ---------------------------------------------------------------------------------------------
// List and status

int MainView::rowCount() {
    return shownBook().listCount() + shownBook().entryCount();
}

int MainView::entryIndex(int row) {
    return row - shownBook().listCount();
}

bool MainView::rowIsList(int row) {
    return row >= 0 && entryIndex(row) < 0;
}

std::vector<std::string> MainView::rowTexts(int row) {
    std::vector<std::string> texts(kColumns);
    Adbook& book = shownBook();
    if (row < 0 || row >= rowCount()) return texts;
    const int index = entryIndex(row);
    if (index < 0) {
        texts[0] = book.listAt(row)->name();
        return texts;
    }
    // The columns show the first six fields, in the field table's order.
    const auto* folder = dynamic_cast<NewAdbook*>(&book);
    const Entry e = folder ? *folder->entryPtr(index) : book.entryAt(index);
    for (int c = 0; c < kColumns; ++c)
        texts[static_cast<std::size_t>(c)] = e[static_cast<Field>(c)];
    return texts;
}

void MainView::sortByColumn(int column) {
    if (column < 0 || column >= kColumns) return;
    m_sortField = column;
    shownBook().sortAndMerge(column);
    rebuildList(-1);
    updateItems();
}

void MainView::rebuildList(int selectRow) {
    m_selectedRow = selectRow >= 0 && selectRow < rowCount() ? selectRow : -1;
    m_surface.listChanged();
    m_surface.selectRow(m_selectedRow);
}

std::string MainView::itemsText() {
    char text[32];
    std::snprintf(text, sizeof text, "%d Items", shownBook().entryCount());
    return text;
}

void MainView::updateItems() {
    setStatus(itemsText());
}

void MainView::setStatus(const std::string& text) {
    m_surface.statusChanged(1, text);
}

// ---------------------------------------------------------------------------------------------

bool ShowList::writeView(const Entry& e) {
    m_text += e[Field::FullName] + " <" + e[Field::Email] + ">\n";
    return true;
}

bool ShowList::finish() {
    run().prompt().message(m_text, "List Contents", Buttons::Ok, Icon::None);
    return true;
}

}  // namespace vesk
