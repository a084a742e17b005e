#include "app/gui/preferences_sheet.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "platform/faults.h"

namespace vesk::gui {

namespace {

constexpr int kMaxHeading = 255;
const char* const kHelpTopics[] = {"preferences.html", "autoprefs.html", "csvprefs.html"};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

void fillList(QListWidget* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& s : items) list->addItem(q(s));
}

/// A label above a widget, the label's mnemonic leading to it.
QWidget* labelled(const QString& text, QWidget* widget, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(text, box);
    label->setBuddy(widget);
    layout->addWidget(label);
    layout->addWidget(widget);
    return box;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Program Preferences

ProgramPrefsPage::ProgramPrefsPage(RunContext& run, QWidget* parent)
    : QWidget(parent), m_logic(run) {
    hiddenList = new QListWidget(this);
    shownList = new QListWidget(this);
    toShown = new QPushButton("-->", this);
    toHidden = new QPushButton("<--", this);
    redetect = new QPushButton("Re-&Detect", this);
    information = new QLineEdit(this);
    information->setReadOnly(true);
    browse = new QPushButton("&Browse...", this);
    save = new QPushButton("&Save", this);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(toShown);
    middle->addWidget(toHidden);
    middle->addSpacing(12);
    middle->addWidget(redetect);
    middle->addStretch();
    auto* lists = new QHBoxLayout;
    lists->addWidget(labelled("The following will not appear", hiddenList, this));
    lists->addLayout(middle);
    lists->addWidget(labelled("The following will appear", shownList, this));
    auto* info = new QHBoxLayout;
    info->addWidget(information, 1);
    info->addWidget(browse);
    info->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(new QLabel("Program Information", this));
    layout->addLayout(info);

    m_logic.askFolder = [this](const std::string& title) {
        return QFileDialog::getExistingDirectory(this, q(title)).toStdString();
    };
    connect(shownList, &QListWidget::currentRowChanged, this, [this] { shownSelected(); });
    connect(toShown, &QPushButton::clicked, this, [this] {
        const std::string name = selected(hiddenList);
        if (!name.empty()) m_logic.moveToShown(name);
        reload();
    });
    connect(toHidden, &QPushButton::clicked, this, [this] {
        const std::string name = selected(shownList);
        if (!name.empty()) m_logic.moveToHidden(name);
        reload();
    });
    connect(redetect, &QPushButton::clicked, this, [this] {
        m_logic.redetect();
        reload();
    });
    connect(browse, &QPushButton::clicked, this, [this] {
        const std::string chosen = m_logic.browse(selected(shownList));
        if (!chosen.empty()) information->setText(q(chosen));
    });
    connect(save, &QPushButton::clicked, this, [this] {
        const std::string name = selected(shownList);
        if (name.empty()) return;
        m_logic.save(name, information->text().toStdString());
        reload();
    });
    m_logic.load();
    reload();
}

void ProgramPrefsPage::reload() {
    const QSignalBlocker block(shownList);
    fillList(hiddenList, m_logic.hidden());
    fillList(shownList, m_logic.shown());
    information->clear();
    browse->setEnabled(false);
    save->setEnabled(false);
}

std::string ProgramPrefsPage::selected(QListWidget* list) const {
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->text().toStdString() : std::string();
}

void ProgramPrefsPage::shownSelected() {
    const std::string name = selected(shownList);
    information->setText(q(m_logic.pathOf(name)));
    const bool byHand = !name.empty() && ProgramPrefs::choosableByHand(name);
    browse->setEnabled(byHand);
    save->setEnabled(byHand);
}

// ---------------------------------------------------------------------------------------------
// Automation

AutomationPage::AutomationPage(RunContext& run, const PreferencesParameter& param, QWidget* parent)
    : QWidget(parent), m_logic(run) {
    m_logic.wizard = param.wizard;
    m_logic.withProgress = param.withProgress;
    tasks = new QListWidget(this);
    add = new QPushButton("&Add...", this);
    modify = new QPushButton("&Modify...", this);
    remove = new QPushButton("&Remove", this);
    runNow = new QPushButton("&Run Now", this);
    atStartUp = new QCheckBox("&Run at start-up", this);
    atStartUp->setEnabled(false);
    name = new QLineEdit(this);
    name->setReadOnly(true);
    description = new QLabel(this);
    description->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    description->setWordWrap(true);
    description->setMinimumHeight(48);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* buttons = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{add, modify, remove, runNow, atStartUp})
        buttons->addWidget(w);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(labelled("Defined Tasks", tasks, this), 1);
    top->addLayout(buttons);
    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel("Name:", this);
    nameLabel->setBuddy(name);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(name, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(nameRow);
    layout->addWidget(description);

    connect(tasks, &QListWidget::currentRowChanged, this, [this] { taskSelected(); });
    connect(add, &QPushButton::clicked, this, [this] {
        m_logic.add();
        reload();
    });
    connect(modify, &QPushButton::clicked, this, [this] {
        if (!selected().empty()) m_logic.modify(selected());
        reload();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (!selected().empty()) m_logic.remove(selected());
        reload();
    });
    connect(runNow, &QPushButton::clicked, this, [this] {
        if (!selected().empty()) m_logic.runNow(selected());
    });
    m_logic.load();
    reload();
}

void AutomationPage::reload() {
    const QSignalBlocker block(tasks);
    fillList(tasks, m_logic.tasks());
    name->clear();
    description->clear();
    for (QPushButton* b : {modify, remove, runNow}) b->setEnabled(false);
}

std::string AutomationPage::selected() const {
    QListWidgetItem* item = tasks->currentItem();
    return item ? item->text().toStdString() : std::string();
}

void AutomationPage::taskSelected() {
    const std::string task = selected();
    for (QPushButton* b : {modify, remove, runNow}) b->setEnabled(!task.empty());
    if (task.empty()) return;
    const std::string text = m_logic.describe(task);
    if (text.empty()) return;
    description->setText(q(text));
    name->setText(q(task));
}

// ---------------------------------------------------------------------------------------------
// CSV Options

namespace {

CsvSettings& mapOf(RunContext& run, const PreferencesParameter& param) {
    if (param.csvMap) return *param.csvMap;
    CsvSettings& map = csvSettings(run);
    map.ensureLoaded(run);
    return map;
}

}  // namespace

CsvOptionsWidget::CsvOptionsWidget(RunContext& run, const PreferencesParameter& param,
                                   QWidget* parent)
    : QWidget(parent), m_run(run), m_logic(mapOf(run, param), param.headings, param.fromReader) {
    rows = new QListWidget(this);
    field = new QComboBox(this);
    for (int f = 0; f < kFieldCount; ++f) {
        const auto i = static_cast<std::size_t>(f);
        field->addItem(q(i < param.fieldNames.size() ? param.fieldNames[i] : fieldName(f)));
    }
    text = new QComboBox(this);
    text->setEditable(true);
    text->setInsertPolicy(QComboBox::NoInsert);
    text->lineEdit()->setMaxLength(kMaxHeading);
    for (const std::string& h : m_logic.fileHeadings()) text->addItem(q(h));
    text->setCurrentIndex(-1);
    add = new QPushButton("&Add", this);
    change = new QPushButton("&Change", this);
    remove = new QPushButton("&Remove", this);

    modes = new QButtonGroup(this);
    auto* byHeading = new QRadioButton("Treat as &header string", this);
    auto* byColumn = new QRadioButton("Treat as &absolute position", this);
    modes->addButton(byHeading, 0);
    modes->addButton(byColumn, 1);
    choices = new QButtonGroup(this);
    const char* const choiceTexts[] = {"Always use these settings", "Only use for this operation",
                                       "Always display this box"};
    auto* choiceBox = new QVBoxLayout;
    for (int c = 0; c < 3; ++c) {
        auto* b = new QRadioButton(choiceTexts[c], this);
        choices->addButton(b, c);
        choiceBox->addWidget(b);
    }
    choices->button(static_cast<int>(CsvChoice::OnlyThisOperation))
        ->setEnabled(m_logic.offersThisOperationOnly());

    auto* editButtons = new QHBoxLayout;
    for (QPushButton* b : {add, change, remove}) editButtons->addWidget(b);
    auto* right = new QVBoxLayout;
    right->addWidget(labelled("Address Book Field", field, this));
    right->addWidget(text);
    right->addLayout(editButtons);
    right->addWidget(byHeading);
    right->addWidget(byColumn);
    right->addSpacing(8);
    right->addLayout(choiceBox);
    right->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(labelled("Text Field", rows, this), 1);
    layout->addLayout(right, 1);

    connect(rows, &QListWidget::currentRowChanged, this, [this] { rowSelected(); });
    connect(field, &QComboBox::activated, this, [this](int index) { fieldChosen(index); });
    connect(text, &QComboBox::editTextChanged, this, [this] { updateButtons(); });
    connect(add, &QPushButton::clicked, this, [this] {
        if (m_logic.add(text->currentText().toStdString())) reload();
    });
    connect(change, &QPushButton::clicked, this, [this] {
        const int row = selectedRow();
        if (!m_logic.change(row, text->currentText().toStdString())) return;
        reload();
        selectRow(row);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_logic.remove(selectedRow())) reload();
    });
    connect(modes, &QButtonGroup::idClicked, this,
            [this](int id) { m_logic.setAbsolute(id == 1); });
    connect(choices, &QButtonGroup::idClicked, this,
            [this](int id) { m_logic.setChoice(static_cast<CsvChoice>(id)); });
    modes->button(m_logic.absolute() ? 1 : 0)->setChecked(true);
    choices->button(static_cast<int>(m_logic.choice()))->setChecked(true);
    reload();
}

void CsvOptionsWidget::selectRow(int row) {
    if (row >= 0 && row < rows->count()) rows->setCurrentRow(row);
}

void CsvOptionsWidget::reload() {
    const QSignalBlocker block(rows);
    rows->clear();
    for (int r = 0; r < m_logic.rowCount(); ++r) rows->addItem(q(m_logic.rowText(r)));
    updateButtons();
}

int CsvOptionsWidget::selectedRow() const {
    QListWidgetItem* item = rows->currentItem();
    return item && item->isSelected() ? rows->row(item) : -1;
}

void CsvOptionsWidget::rowSelected() {
    const int row = selectedRow();
    if (row >= 0) {
        text->setEditText(q(m_logic.rowText(row)));
        field->setCurrentIndex(fieldIndex(m_logic.rowField(row)));
    }
    updateButtons();
}

void CsvOptionsWidget::fieldChosen(int index) {
    const int row = selectedRow();
    if (row < 0 || index < 0) return;
    m_logic.chooseField(row, fieldName(index));
}

void CsvOptionsWidget::updateButtons() {
    const bool hasText = !text->currentText().isEmpty();
    const bool hasRow = selectedRow() >= 0;
    add->setEnabled(hasText && m_logic.rowCount() < kFieldCount);
    change->setEnabled(hasText && hasRow);
    remove->setEnabled(hasRow);
}

bool CsvOptionsWidget::apply() {
    return m_logic.apply(m_run);
}

// ---------------------------------------------------------------------------------------------
// The sheet

PreferencesSheet::PreferencesSheet(RunContext& run, QWidget* owner, int page,
                                   const PreferencesParameter& param, bool allPages)
    : QDialog(owner), m_run(run) {
    setWindowTitle("Preferences");
    setWindowIcon(QApplication::windowIcon());
    setModal(true);
    m_tabs = new QTabWidget(this);
    if (allPages || page == kProgramPage) {
        m_program = new ProgramPrefsPage(run, m_tabs);
        m_tabs->addTab(m_program, "Program Preferences");
    }
    if (allPages || page == kAutomationPage) {
        m_automation = new AutomationPage(run, param, m_tabs);
        m_tabs->addTab(m_automation, "Automation");
    }
    if (allPages || page == kCsvPage) {
        m_csv = new CsvOptionsWidget(run, param, m_tabs);
        m_tabs->addTab(m_csv, "CSV Options");
    }
    if (allPages) m_tabs->setCurrentIndex(page);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [this] { help(); });
    resize(560, 400);
}

void PreferencesSheet::accept() {
    if (m_csv) m_csv->apply();
    QDialog::accept();
}

void PreferencesSheet::help() {
    QWidget* current = m_tabs->currentWidget();
    const int topic = current == m_program      ? kProgramPage
                      : current == m_automation ? kAutomationPage
                                                : kCsvPage;
    showHelp(m_run.programDirectory + "help.chm::/" + kHelpTopics[topic] + ">stripped");
}

int ShowPreferences(RunContext& run, QWidget* owner, int page, const PreferencesParameter& param,
                    bool allPages) {
    if (page < kProgramPage || page > kCsvPage) return -1;
    PreferencesSheet sheet(run, owner, page, param, allPages);
    return sheet.exec();
}

bool SheetCsvOptions::editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                                   const std::string& /*fileName*/) {
    bool ok = false;
    const auto show = [&] {
        PreferencesParameter param;
        param.headings = headings;
        param.csvMap = &map;
        param.fromReader = true;
        ok = ShowPreferences(m_run, m_owner, kCsvPage, param, false) == QDialog::Accepted;
    };
    // The reader runs on the conversion's thread; the page must open on the window's.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
    }
    return ok;
}

}  // namespace vesk::gui
