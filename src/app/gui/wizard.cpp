#include "app/gui/wizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "app/gui/qt_prompt.h"
#include "platform/faults.h"

namespace vesk::gui {

namespace {

/// The title font of the Welcome and Completion pages: bold Verdana of 12 points.
QFont titleFont() {
    QFont font("Verdana", 12);
    font.setBold(true);
    return font;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void showMessage(RunContext& run, const WizardMessage& m) {
    if (!m.text.empty()) run.prompt().message(m.text, m.caption, Buttons::Ok, m.icon);
}

/// The view a conversion on the worker thread sees: the main view's book, no widgets.
class BookOnly : public BookView {
  public:
    explicit BookOnly(NewAdbook& book) : m_book(book) {}
    NewAdbook& currentBook() override { return m_book; }

  private:
    NewAdbook& m_book;
};

class WelcomePage : public QWizardPage {
  public:
    explicit WelcomePage(QWidget* parent) : QWizardPage(parent) {
        setObjectName("welcome");
        auto* layout = new QVBoxLayout(this);
        auto* title = new QLabel("Welcome to the Vesk Wizard", this);
        title->setObjectName("title");
        title->setFont(titleFont());
        title->setWordWrap(true);
        auto* text = new QLabel(
            "The Vesk Wizard will help you convert your address book from one program to "
            "another.",
            this);
        text->setWordWrap(true);
        layout->addWidget(title);
        layout->addSpacing(16);
        layout->addWidget(text);
        layout->addStretch();
    }
};

/// The Source and Destination pages: the application list and the second step.
class ApplicationPage : public QWizardPage {
  public:
    ApplicationPage(ConversionWizard& wizard, WizardSide side);
    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

  private:
    WizardLogic& logic() const { return m_wizard.logic(); }
    bool source() const { return m_side == WizardSide::Source; }
    void guarded(int point, const std::function<void()>& work) { m_wizard.guarded(point, work); }
    void applicationChanged();
    void itemPicked(int row);
    void browse();
    void folderPicked(QTreeWidgetItem* item);
    void newFolderEdited(const QString& text);
    void showStep();
    void fillChoices();
    void fillFolders();
    void update();
    bool loadOrWrite();

    ConversionWizard& m_wizard;
    WizardSide m_side;
    bool m_filled = false;
    QListWidget* m_apps;
    QLabel* m_selection;
    QLabel* m_prompt;
    QPushButton* m_browse;
    QListWidget* m_choices;
    QTreeWidget* m_folders;
    QLineEdit* m_newFolder = nullptr;
};

ApplicationPage::ApplicationPage(ConversionWizard& wizard, WizardSide side)
    : QWizardPage(&wizard), m_wizard(wizard), m_side(side) {
    const WizardPage page = source() ? WizardPage::Source : WizardPage::Destination;
    setObjectName(source() ? "source" : "destination");
    setTitle(qs(WizardLogic::title(page)));
    setSubTitle(qs(WizardLogic::subtitle(page)));
    auto* grid = new QGridLayout(this);
    m_apps = new QListWidget(this);
    m_apps->setObjectName("applications");
    m_selection = new QLabel(qs(logic().selectionText(side)), this);
    m_selection->setObjectName("selection");
    m_selection->setWordWrap(true);
    m_prompt = new QLabel(this);
    m_prompt->setObjectName("prompt");
    m_browse = new QPushButton("&Browse...", this);
    m_browse->setObjectName("browse");
    m_choices = new QListWidget(this);
    m_choices->setObjectName("choices");
    m_folders = new QTreeWidget(this);
    m_folders->setObjectName("folders");
    m_folders->setHeaderHidden(true);
    grid->addWidget(m_apps, 0, 0, 4, 1);
    grid->addWidget(m_selection, 0, 1);
    grid->addWidget(m_prompt, 1, 1);
    grid->addWidget(m_browse, 1, 2);
    grid->addWidget(m_choices, 2, 1, 1, 2);
    grid->addWidget(m_folders, 2, 1, 1, 2);
    if (!source()) {
        m_newFolder = new QLineEdit(this);
        m_newFolder->setObjectName("newFolder");
        m_newFolder->setPlaceholderText("New folder");
        grid->addWidget(m_newFolder, 3, 1, 1, 2);
        connect(m_newFolder, &QLineEdit::textEdited, this,
                [this](const QString& t) { guarded(6, [&] { newFolderEdited(t); }); });
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    connect(m_apps, &QListWidget::currentRowChanged, this,
            [this] { guarded(1, [&] { applicationChanged(); }); });
    connect(m_choices, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        guarded(2, [&] { itemPicked(m_choices->row(item)); });
    });
    connect(m_browse, &QPushButton::clicked, this, [this] { guarded(3, [&] { browse(); }); });
    connect(m_folders, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { guarded(4, [&] { folderPicked(item); }); });
    showStep();
}

void ApplicationPage::initializePage() {
    if (m_filled) return;
    m_filled = true;
    guarded(0, [&] {
        const QSignalBlocker block(m_apps);
        const std::string preset = logic().selectedApplication(m_side);
        for (const std::string& name : logic().applications(m_side)) {
            m_apps->addItem(qs(name));
            if (name == preset) m_apps->setCurrentRow(m_apps->count() - 1);
        }
        update();
    });
}

bool ApplicationPage::isComplete() const {
    return logic().selectionComplete(m_side);
}

void ApplicationPage::applicationChanged() {
    QListWidgetItem* item = m_apps->currentItem();
    logic().selectApplication(m_side, item ? item->text().toStdString() : std::string());
    if (m_newFolder) m_newFolder->clear();
    fillChoices();
    fillFolders();
    showStep();
    update();
}

void ApplicationPage::fillChoices() {
    m_choices->clear();
    for (const SecondChoice& c : logic().step(m_side).choices) m_choices->addItem(qs(c.label));
}

void ApplicationPage::fillFolders() {
    m_folders->clear();
    std::map<std::string, QTreeWidgetItem*> items;
    for (const std::string& path : logic().step(m_side).operaFolders) {
        std::string trimmed = path;
        if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
        const std::size_t slash = trimmed.rfind('\\');
        const std::string parent = slash == std::string::npos ? "" : trimmed.substr(0, slash);
        auto found = items.find(parent);
        QTreeWidgetItem* item = found == items.end() ? new QTreeWidgetItem(m_folders)
                                                     : new QTreeWidgetItem(found->second);
        item->setText(0, qs(slash == std::string::npos ? trimmed : trimmed.substr(slash + 1)));
        item->setData(0, Qt::UserRole, qs(path));
        items[trimmed] = item;
    }
    m_folders->expandAll();
}

void ApplicationPage::showStep() {
    const SecondStep& s = logic().step(m_side);
    m_prompt->setText(qs(s.prompt));
    m_prompt->setVisible(!s.prompt.empty());
    m_browse->setVisible(s.browse);
    m_choices->setVisible(!s.choices.empty());
    m_folders->setVisible(s.operaTree);
    if (m_newFolder) m_newFolder->setVisible(s.newFolder);
}

void ApplicationPage::update() {
    m_selection->setText(qs(logic().selectionText(m_side)));
    Q_EMIT completeChanged();
}

void ApplicationPage::itemPicked(int row) {
    logic().chooseItem(m_side, row);
    update();
}

void ApplicationPage::browse() {
    logic().browse(m_side);
    fillChoices();
    showStep();
    update();
}

void ApplicationPage::folderPicked(QTreeWidgetItem* item) {
    if (!item) return;
    logic().chooseOperaFolder(m_side, item->data(0, Qt::UserRole).toString().toStdString());
    update();
}

void ApplicationPage::newFolderEdited(const QString& text) {
    logic().setNewFolderName(text.toStdString());
    update();
}

bool ApplicationPage::validatePage() {
    bool ok = false;
    guarded(5, [&] {
        logic().commit(m_side);
        ok = loadOrWrite();
    });
    return ok;
}

/// Modes Open and Export do their work on Next, then the wizard closes.
bool ApplicationPage::loadOrWrite() {
    const WizardMode mode = logic().mode();
    const bool load = source() && mode == WizardMode::Open;
    const bool write = !source() && mode == WizardMode::Export;
    MainView* view = m_wizard.view();
    if ((!load && !write) || !view) return true;
    RunContext& run = logic().run();
    NewAdbook& book = view->currentBook();
    DispatchOutcome outcome;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    runWithProgressDialog(&m_wizard, run, [&] {
        BookOnly target(book);
        outcome = load ? logic().loadSource(target) : logic().writeDestination(target);
    });
    QApplication::restoreOverrideCursor();
    if (load) view->refresh();
    const WizardMessage m = logic().nextMessage(outcome, load);
    showMessage(run, m);
    // A source that could not be read leaves the wizard where it is.
    return m.text.empty() || m.icon != Icon::Stop;
}

class CompletionPage : public QWizardPage {
  public:
    explicit CompletionPage(ConversionWizard& wizard);
    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

  private:
    ConversionWizard& m_wizard;
    QLabel* m_description;
    QLabel* m_eventLabel;
    QLineEdit* m_event;
};

CompletionPage::CompletionPage(ConversionWizard& wizard) : QWizardPage(&wizard), m_wizard(wizard) {
    setObjectName("completion");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("The Vesk Wizard is finished collecting information.", this);
    title->setObjectName("title");
    title->setFont(titleFont());
    title->setWordWrap(true);
    m_description = new QLabel(this);
    m_description->setObjectName("description");
    m_description->setWordWrap(true);
    m_eventLabel = new QLabel("Event Name", this);
    m_event = new QLineEdit(this);
    m_event->setObjectName("eventName");
    m_event->setMaxLength(255);
    m_eventLabel->setBuddy(m_event);
    layout->addWidget(title);
    layout->addSpacing(16);
    layout->addWidget(m_description);
    layout->addSpacing(16);
    layout->addWidget(m_eventLabel);
    layout->addWidget(m_event);
    layout->addStretch();
    connect(m_event, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_wizard.logic().setEventName(text.toStdString());
        Q_EMIT completeChanged();
    });
}

void CompletionPage::initializePage() {
    WizardLogic& logic = m_wizard.logic();
    m_description->setText(qs(logic.completionText()));
    const bool task = logic.mode() == WizardMode::Task;
    m_eventLabel->setVisible(task);
    m_event->setVisible(task);
    if (task && m_event->text().isEmpty()) m_event->setText(qs(logic.eventName()));
    // The work of modes Open and Export was done on Next: the wizard closes at once.
    if (logic.mode() == WizardMode::Open || logic.mode() == WizardMode::Export)
        QTimer::singleShot(0, &m_wizard, [w = &m_wizard] { w->accept(); });
}

bool CompletionPage::isComplete() const {
    return m_wizard.logic().buttons(WizardPage::Completion) & kWizardFinish;
}

bool CompletionPage::validatePage() {
    WizardLogic& logic = m_wizard.logic();
    RunContext& run = logic.run();
    WizardMessage m;
    if (logic.mode() == WizardMode::Task) {
        m = logic.saveTask();
        showMessage(run, m);
        return m.text.empty();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m = logic.convert(
        [&](const std::function<void()>& job) { runWithProgressDialog(&m_wizard, run, job); });
    QApplication::restoreOverrideCursor();
    showMessage(run, m);
    // A conversion that did not succeed keeps the wizard open, so that another choice can
    // be made.
    return m.caption == "Conversion Complete";
}

}  // namespace

ConversionWizard::ConversionWizard(WizardMode mode, QWidget* owner, RunContext& run, MainView* view,
                                   const WizardPreset& preset)
    : QWizard(owner), m_logic(run, mode), m_view(view) {
    setWindowTitle("Vesk Wizard");
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton);
    setOption(QWizard::NoBackButtonOnStartPage);
    openHelp = [](const std::string& topic) { showHelp(topic); };
    if (mode == WizardMode::Task && !preset.taskName.empty()) {
        m_logic.preset(WizardSide::Source, preset.task.fromApp, preset.task.fromFile);
        m_logic.preset(WizardSide::Destination, preset.task.toApp, preset.task.toFile);
        m_logic.setEventName(preset.taskName);
    }
    for (WizardPage p : m_logic.pages()) {
        QWizardPage* page = nullptr;
        switch (p) {
            case WizardPage::Welcome:
                page = new WelcomePage(this);
                break;
            case WizardPage::Source:
                page = new ApplicationPage(*this, WizardSide::Source);
                break;
            case WizardPage::Destination:
                page = new ApplicationPage(*this, WizardSide::Destination);
                break;
            case WizardPage::Completion:
                page = new CompletionPage(*this);
                break;
        }
        setPage(static_cast<int>(p), page);
    }
    connect(this, &QWizard::helpRequested, this,
            [this] { openHelp(WizardLogic::helpTopic(current())); });
}

ConversionWizard::~ConversionWizard() = default;

QWizardPage* ConversionWizard::pageOf(WizardPage which) const {
    return page(static_cast<int>(which));
}

int ConversionWizard::nextId() const {
    const std::vector<WizardPage> all = m_logic.pages();
    const WizardPage now = current();
    // Mode Open has read its source on Next: it goes straight to the Completion page.
    if (m_logic.mode() == WizardMode::Open && now == WizardPage::Source)
        return static_cast<int>(WizardPage::Completion);
    for (std::size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == now) return static_cast<int>(all[i + 1]);
    return -1;
}

void ConversionWizard::accept() {
    QDialog::accept();
}

void ConversionWizard::guarded(int point, const std::function<void()>& work) {
    if (!wizardSourceGuard(m_logic.run(), point, work)) reject();
}

int RunWizard(WizardMode mode, QWidget* owner, RunContext& run, MainView* view,
              const WizardPreset& preset) {
    ConversionWizard wizard(mode, owner, run, view, preset);
    if (wizard.pageIds().isEmpty()) {
        run.prompt().message("There has been a problem creating a property sheet", "Wizard Error",
                             Buttons::Ok, Icon::Stop);
        return -1;
    }
    wizard.exec();
    return 0;
}

}  // namespace vesk::gui
