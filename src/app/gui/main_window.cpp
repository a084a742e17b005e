#include "app/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>

#include "app/gui/entry_sheet.h"
#include "app/gui/qt_prompt.h"
#include "app/gui/wizard.h"
#include "platform/faults.h"

namespace vesk::gui {

namespace {

constexpr int kGap = 2;
constexpr int kEdge = 5;
constexpr int kColumnWidth = 150;
const char* const kAboutText =
    "Vesk 5.4 (build 5402) Unicode Edition\n\n"
    "Moves address books between mail programs: contacts, folders and distribution lists, "
    "with every accent intact.\n\n"
    "Free software; see the project's README for its licence and help.";

}  // namespace

// ---------------------------------------------------------------------------------------------

SplitPane::SplitPane(QWidget* left, QWidget* right, QWidget* parent)
    : QWidget(parent), m_left(left), m_right(right) {
    m_left->setParent(this);
    m_right->setParent(this);
    // The gap between the two is the splitter: it shows the horizontal-resize arrow.
    setCursor(Qt::SplitHCursor);
    m_left->setCursor(Qt::ArrowCursor);
    m_right->setCursor(Qt::ArrowCursor);
}

void SplitPane::setSplitPosition(int x) {
    m_split = std::max(kEdge, std::min(x, width() - kEdge));
    layoutChildren();
    update();
}

void SplitPane::resizeEvent(QResizeEvent* /*event*/) {
    layoutChildren();
}

void SplitPane::layoutChildren() {
    m_left->setGeometry(0, 0, m_split, height());
    m_right->setGeometry(m_split + kGap, 0, std::max(0, width() - m_split - kGap), height());
}

void SplitPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = true;
}

void SplitPane::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        setSplitPosition(static_cast<int>(event->position().x()));
}

void SplitPane::mouseReleaseEvent(QMouseEvent* /*event*/) {
    m_dragging = false;
}

// ---------------------------------------------------------------------------------------------

FindDialog::FindDialog(QWidget* owner, std::function<void(const std::string&)> onFindNext)
    : QDialog(owner), m_findNext(std::move(onFindNext)) {
    setWindowTitle("Find");
    setModal(false);
    auto* layout = new QHBoxLayout(this);
    auto* label = new QLabel("Fi&nd what:", this);
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(79);  // the find buffer holds 80 characters with its terminator
    label->setBuddy(m_edit);
    auto* next = new QPushButton("&Find Next", this);
    next->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(next);
    layout->addWidget(cancel);
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    connect(cancel, &QPushButton::clicked, this, [this] { hide(); });
}

void FindDialog::findNext() {
    m_findNext(m_edit->text().toStdString());
}

// ---------------------------------------------------------------------------------------------

MainWindow::MainWindow(RunContext& run, QWidget* parent)
    : QMainWindow(parent), m_run(run), m_view(run, *this), m_csvOptions(run, this) {
    setWindowTitle("Vesk");
    // A CSV file opened here asks its column headings on the "CSV Options" page.
    setCsvOptionsRequest(run, &m_csvOptions);
    setAcceptDrops(true);
    // The Automation page adds and modifies tasks through the wizard in its task mode.
    setTaskWizard([this](const TaskDraft* draft) {
        WizardPreset preset;
        if (draft) {
            preset.taskName = draft->name;
            preset.task = draft->task;
        }
        QWidget* owner = QApplication::activeModalWidget();
        RunWizard(WizardMode::Task, owner ? owner : this, m_run, nullptr, preset);
    });
    if (auto* prompt = dynamic_cast<QtPrompt*>(&run.prompt())) prompt->setOwner(this);

    m_tree = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_list = new QTreeWidget;
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels(
        {"Name", "E-Mail Address", "Nickname", "Home Phone", "Work Phone", "Organization"});
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setStretchLastSection(false);
    for (int c = 0; c < 6; ++c) m_list->setColumnWidth(c, kColumnWidth);
    m_pane = new SplitPane(m_tree, m_list, this);
    setCentralWidget(m_pane);

    m_status[0] = new QLabel("Welcome to Vesk");
    m_status[1] = new QLabel(QString::fromStdString(m_view.itemsText()));
    statusBar()->addWidget(m_status[0], 1);
    statusBar()->addWidget(m_status[1], 1);

    buildMenus();
    buildToolBar();

    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { onTreeSelection(item); });
    connect(m_tree, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item) { onTreeEdited(item); });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        m_view.setSelectedRow(item ? m_list->indexOfTopLevelItem(item) : -1);
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        m_view.setSelectedRow(m_list->indexOfTopLevelItem(item));
        trigger(Command::Properties);
    });
    connect(m_list->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded(column, [&] { m_view.sortByColumn(column); }); });

    treeChanged(m_view.rootNode());
    listChanged();
    resize(1100, 600);
}

MainWindow::~MainWindow() {
    setCsvOptionsRequest(m_run, nullptr);
    // The widgets outlive the view (QWidget deletes its children last): they must not call it.
    m_tree->disconnect(this);
    m_list->disconnect(this);
    m_list->header()->disconnect(this);
}

QAction* MainWindow::addCommand(QMenu* menu, Command id, const QString& text,
                                const QKeySequence& key) {
    auto it = m_actions.find(id);
    QAction* action = it != m_actions.end() ? it->second : nullptr;
    if (!action) {
        action = new QAction(text, this);
        if (!key.isEmpty()) action->setShortcut(key);
        connect(action, &QAction::triggered, this, [this, id] { trigger(id); });
        m_actions[id] = action;
        addAction(action);  // the accelerators work without the menu open
    }
    if (menu) menu->addAction(action);
    return action;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* newItem = file->addMenu("&New Item");
    addCommand(newItem, Command::BlankEntry, "&Blank Entry...");
    addCommand(newItem, Command::NewFolder, "&Folder...");
    addCommand(newItem, Command::AddVCard, "From &VCard...");
    QMenu* add = file->addMenu("&Add");
    addCommand(add, Command::AddAddressBook, "Add from &Address Book...", QKeySequence("Ctrl+A"));
    addCommand(add, Command::AddFile, "Add from &file...");
    add->addAction("Add from &VCard", this, [this] { trigger(Command::AddVCard); });
    addCommand(add, Command::ExtractAdd, "&Extract from file...");
    QMenu* open = file->addMenu("&Open");
    addCommand(open, Command::OpenAddressBook, "Open &Address Book...", QKeySequence("Ctrl+O"));
    addCommand(open, Command::OpenFile, "Open &file...");
    addCommand(open, Command::ExtractOpen, "&Extract from file...");
    QMenu* save = file->addMenu("&Save");
    addCommand(save, Command::Export, "&Export Into Address Book...");
    addCommand(save, Command::SaveAsFile, "&Save as file...", QKeySequence("Ctrl+S"));
    addCommand(save, Command::SaveAsVCard, "Save as &vCard...");
    m_fileMenus[0] = newItem;
    m_fileMenus[1] = add;
    m_fileMenus[2] = open;
    m_fileMenus[3] = save;
    file->addSeparator();
    addCommand(file, Command::Properties, "&Properties...");
    addCommand(file, Command::OpenWizard, "Open the &Wizard");
    file->addSeparator();
    addCommand(file, Command::Exit, "E&xit", QKeySequence("Ctrl+Q"));

    QMenu* edit = menuBar()->addMenu("&Edit");
    addCommand(edit, Command::CopyAll, "&Copy All", QKeySequence("Ctrl+C"));
    addCommand(edit, Command::Delete, "&Delete", QKeySequence(Qt::Key_Delete));
    addCommand(edit, Command::Clear, "C&lear", QKeySequence("Shift+Del"));
    edit->addSeparator();
    addCommand(edit, Command::Find, "&Find...", QKeySequence("Ctrl+F"));
    addCommand(edit, Command::FindNext, "Find &Next", QKeySequence(Qt::Key_F3));
    edit->addSeparator();
    addCommand(edit, Command::Preferences, "Pref&erences...");
    addCommand(edit, Command::SortByNicknames, "Sort by &Nicknames");
    addCommand(edit, Command::SortByEmail, "Sort by &E-Mail Addresses");
    edit->addSeparator();
    addCommand(edit, Command::Refresh, "Refresh", QKeySequence(Qt::Key_F5));

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, Command::HelpContents, "&Contents");
    addCommand(help, Command::HelpIndex, "&Index");
    addCommand(help, Command::CheckForUpdate, "Check for &Update");
    help->addSeparator();
    addCommand(help, Command::About, "&About Vesk");
    // The other edition's command, without a menu here.
    addCommand(nullptr, Command::Synchronize, "&Synchronize");
    addCommand(nullptr, Command::HelpScreenshot, "Help");
}

void MainWindow::buildToolBar() {
    QToolBar* bar = addToolBar("Tools");
    bar->setMovable(false);
    bar->setIconSize(QSize(18, 17));
    QStyle* s = style();
    struct Button {
        int id;
        Command command;
        QStyle::StandardPixmap icon;
        const char* tip;
        int menu;  ///< the sub-menu of "&File" its arrow shows, or -1
    };
    const Button buttons[] = {
        {6, Command::BlankEntry, QStyle::SP_FileIcon, "", 0},
        {7, Command::OpenAddressBook, QStyle::SP_DialogOpenButton, "Open an Address Book", 2},
        {8, Command::Export, QStyle::SP_DialogSaveButton, "Export into Address Book", 3},
        {0, Command::Refresh, QStyle::SP_CustomBase, nullptr, -1},
        {9, Command::CopyAll, QStyle::SP_FileDialogDetailedView, "Copy", -1},
        {10, Command::Delete, QStyle::SP_TrashIcon, "Delete", -1},
        {11, Command::Clear, QStyle::SP_DialogResetButton, "Clear", -1},
        {0, Command::Refresh, QStyle::SP_CustomBase, nullptr, -1},
        {15, Command::Find, QStyle::SP_FileDialogContentsView, "Find", -1},
        {0, Command::Refresh, QStyle::SP_CustomBase, nullptr, -1},
        {12, Command::Properties, QStyle::SP_FileDialogInfoView, "Properties", -1},
        {13, Command::OpenWizard, QStyle::SP_ArrowForward, "Open the Wizard", -1},
        {14, Command::HelpScreenshot, QStyle::SP_MessageBoxQuestion, "Help", -1},
    };
    for (const Button& b : buttons) {
        if (b.id == 0) {
            bar->addSeparator();
            continue;
        }
        auto* button = new QToolButton(bar);
        button->setIcon(s->standardIcon(b.icon));
        button->setToolTip(b.tip);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, c = b.command] { trigger(c); });
        if (b.menu >= 0) {
            button->setMenu(m_fileMenus[b.menu]);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
        bar->addWidget(button);
        m_buttons[b.id] = button;
    }
}

QAction* MainWindow::action(Command id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QToolButton* MainWindow::toolButton(int button) const {
    auto it = m_buttons.find(button);
    return it == m_buttons.end() ? nullptr : it->second;
}

void MainWindow::trigger(Command id) {
    // The window's focus child, kept while another window is active (a tool button has none).
    QWidget* focus = focusWidget();
    m_view.setTreeHasFocus(focus && (focus == m_tree || m_tree->isAncestorOf(focus)));
    m_view.command(id);
}

void MainWindow::guarded(int point, const std::function<void()>& work) {
    CrashGuard guard(m_run);
    guard.setBreadcrumb(point);
    if (guard.run(work) == GuardResult::Quit) closeWindow();
}

// ---------------------------------------------------------------------------------------------
// Tree

QTreeWidgetItem* MainWindow::itemOfNode(int node) const {
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toInt() == node) return *it;
    return nullptr;
}

void MainWindow::treeChanged(int selectedNode) {
    const QSignalBlocker block(m_tree);
    m_tree->clear();
    QIcon folder;
    folder.addPixmap(style()->standardPixmap(QStyle::SP_DirClosedIcon), QIcon::Normal);
    folder.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Selected);
    const QIcon list = style()->standardIcon(QStyle::SP_FileDialogListView);
    std::map<int, QTreeWidgetItem*> items;
    for (const TreeNode& n : m_view.treeNodes()) {
        auto parent = items.find(n.parent);
        auto* item = parent == items.end() ? new QTreeWidgetItem(m_tree)
                                           : new QTreeWidgetItem(parent->second);
        item->setText(0, QString::fromStdString(n.book->name()));
        item->setData(0, Qt::UserRole, n.id);
        item->setIcon(0, n.isList ? list : folder);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        items[n.id] = item;
    }
    m_tree->expandAll();
    QTreeWidgetItem* selected = itemOfNode(selectedNode);
    m_tree->setCurrentItem(selected);
    if (!selected) m_tree->clearSelection();
}

void MainWindow::onTreeSelection(QTreeWidgetItem* item) {
    if (!item) return;
    const int node = item->data(0, Qt::UserRole).toInt();
    guarded(0, [&] { m_view.selectNode(node); });
}

void MainWindow::onTreeEdited(QTreeWidgetItem* item) {
    const int node = item->data(0, Qt::UserRole).toInt();
    const std::string text = item->text(0).toStdString();
    if (text == m_view.nodeLabel(node)) return;
    bool renamed = false;
    guarded(0, [&] { renamed = m_view.renameNode(node, text); });
    const QSignalBlocker block(m_tree);
    if (!renamed) item->setText(0, QString::fromStdString(m_view.nodeLabel(node)));
    m_tree->setCurrentItem(item);
}

void MainWindow::editNodeLabel(int node) {
    if (QTreeWidgetItem* item = itemOfNode(node)) {
        m_tree->setFocus();
        m_tree->editItem(item, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// List and status

void MainWindow::listChanged() {
    const QSignalBlocker block(m_list);
    m_list->clear();
    const QIcon listIcon = style()->standardIcon(QStyle::SP_FileDialogListView);
    const QIcon entryIcon = style()->standardIcon(QStyle::SP_FileIcon);
    const int rows = m_view.rowCount();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QStringList texts;
        for (const std::string& t : m_view.rowTexts(r)) texts << QString::fromStdString(t);
        auto* item = new QTreeWidgetItem(texts);
        item->setIcon(0, m_view.rowIsList(r) ? listIcon : entryIcon);
        items << item;
    }
    m_list->addTopLevelItems(items);
}

void MainWindow::selectRow(int row) {
    const QSignalBlocker block(m_list);
    QTreeWidgetItem* item = row >= 0 ? m_list->topLevelItem(row) : nullptr;
    m_list->setCurrentItem(item);
    if (item) {
        item->setSelected(true);
        m_list->scrollToItem(item);
    } else {
        m_list->clearSelection();
    }
}

void MainWindow::statusChanged(int part, const std::string& text) {
    if (part == 0 || part == 1) m_status[part]->setText(QString::fromStdString(text));
}

// ---------------------------------------------------------------------------------------------
// Dialogs and the rest

void MainWindow::openFindDialog() {
    if (!m_find) {
        m_find = new FindDialog(this, [this](const std::string& text) {
            guarded(static_cast<int>(Command::FindNext), [&] {
                m_view.setFindText(text);
                if (!text.empty()) m_view.findNext();
            });
        });
    }
    m_find->show();
    m_find->raise();
    m_find->activateWindow();
}

void MainWindow::setClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void MainWindow::showAbout() {
    QDialog about(this);
    about.setWindowTitle("About Vesk");
    QPalette palette = about.palette();
    palette.setColor(QPalette::Window, QColor(181, 247, 247));
    about.setPalette(palette);
    about.setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(&about);
    auto* text = new QPlainTextEdit(QString::fromUtf8(kAboutText), &about);
    text->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    layout->addWidget(text);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    about.exec();
}

void MainWindow::runWithProgress(const std::function<void()>& job) {
    runWithProgressDialog(this, m_run, job, &m_progress);
}

void MainWindow::runWizard(WizardMode mode) {
    RunWizard(mode, this, m_run, &m_view);
}

std::optional<SheetResult> MainWindow::entrySheet(Entry& entry, bool newEntry) {
    return ShowEntryProperties(
        entry, newEntry, [this](const std::string& address) { return openPage(address); },
        m_run.prompt(), this);
}

bool MainWindow::openPreferences(const std::vector<std::string>& fieldNames) {
    PreferencesParameter param;
    param.fieldNames = fieldNames;
    param.wizard = m_taskWizard;
    param.withProgress = [this](const std::function<void()>& job) { runWithProgress(job); };
    return ShowPreferences(m_run, this, kProgramPage, param, true) >= 0;
}

void MainWindow::closeWindow() {
    m_closing = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    bool mayClose = m_closing;
    if (!mayClose) guarded(static_cast<int>(Command::Exit), [&] { mayClose = m_view.close(); });
    if (mayClose || m_closing) {
        if (m_find) m_find->close();
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    dropFiles(*event->mimeData());
}

void MainWindow::dropFiles(const QMimeData& mime) {
    std::vector<std::string> files;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    guarded(0, [&] { m_view.openDroppedFiles(files); });
}

void MainWindow::focusInEvent(QFocusEvent* /*event*/) {
    m_list->setFocus();
}

}  // namespace vesk::gui
