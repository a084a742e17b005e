#include "app/gui/entry_sheet.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vesk::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

const char* pageTitle(EntryPage page) {
    switch (page) {
        case EntryPage::Summary:
            return "Summary";
        case EntryPage::General:
            return "General";
        case EntryPage::Home:
            return "Home";
        case EntryPage::Business:
            return "Business";
    }
    return "";
}

Field webPageOf(EntryPage page) {
    return page == EntryPage::Home ? Field::HomeWebPage : Field::BusinessWebPage;
}

}  // namespace

EntrySheet::EntrySheet(Entry& entry, bool newEntry,
                       std::function<bool(const std::string&)> openPage, Prompt& prompt,
                       QWidget* owner)
    : QDialog(owner), m_state(entry, newEntry), m_openPage(std::move(openPage)), m_prompt(prompt) {
    setWindowTitle(q(entry[Field::FullName]));
    setWindowIcon(QApplication::windowIcon());
    setModal(true);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(summaryPage(), pageTitle(EntryPage::Summary));
    for (EntryPage p : {EntryPage::General, EntryPage::Home, EntryPage::Business})
        m_tabs->addTab(editPage(p), pageTitle(p));
    m_tabs->setCurrentIndex(static_cast<int>(m_state.startPage()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QWidget* EntrySheet::summaryPage() {
    auto* page = new QWidget(m_tabs);
    m_labels = new QLabel(q(vesk::summaryLabels()), page);
    m_values = new QLabel(q(vesk::summaryValues(m_state.entry())), page);
    m_values->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* l : {m_labels, m_values}) l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(m_labels);
    layout->addWidget(m_values, 1);
    return page;
}

QWidget* EntrySheet::editPage(EntryPage pageId) {
    auto* page = new QWidget(m_tabs);
    auto* form = new QFormLayout(page);
    for (const EntryPageField& f : entryPageFields(pageId)) {
        const QString text = q(m_state.text(f.field));
        QWidget* edit = nullptr;
        if (f.multiLine) {
            auto* multi = new QPlainTextEdit(text, page);
            multi->setTabChangesFocus(true);
            multi->setMaximumHeight(f.field == Field::Notes ? 90 : 54);
            connect(multi, &QPlainTextEdit::textChanged, this, [this, multi, field = f.field] {
                m_state.setText(field, multi->toPlainText().toStdString());
            });
            edit = multi;
        } else {
            auto* line = new QLineEdit(text, page);
            line->setMaxLength(32767);
            connect(line, &QLineEdit::textChanged, this, [this, field = f.field](const QString& t) {
                m_state.setText(field, t.toStdString());
            });
            edit = line;
        }
        m_edits[f.field] = edit;
        auto* label = new QLabel(f.label, page);
        label->setBuddy(edit);
        if (f.field == webPageOf(pageId) && pageId != EntryPage::General) {
            auto* row = new QHBoxLayout;
            auto* go = new QPushButton("&Go", page);
            connect(go, &QPushButton::clicked, this, [this, field = f.field] { this->go(field); });
            m_go[pageId] = go;
            row->addWidget(edit, 1);
            row->addWidget(go);
            form->addRow(label, row);
        } else {
            form->addRow(label, edit);
        }
    }
    return page;
}

QWidget* EntrySheet::editOf(Field field) const {
    auto it = m_edits.find(field);
    return it == m_edits.end() ? nullptr : it->second;
}

QPushButton* EntrySheet::goButton(EntryPage page) const {
    auto it = m_go.find(page);
    return it == m_go.end() ? nullptr : it->second;
}

void EntrySheet::go(Field webPage) {
    const std::string& text = m_state.text(webPage);
    if (text.empty()) return;
    const std::string address = webPageToOpen(text);
    if (address.empty()) {
        // A program or a share named in a contact's field is never started.
        m_prompt.message("Only a web page (http or https) can be opened from here.", "Vesk",
                         Buttons::Ok, Icon::Information);
        return;
    }
    if (m_openPage) m_openPage(address);
}

void EntrySheet::accept() {
    m_state.apply(currentTime());
    m_accepted = true;
    QDialog::accept();
}

SheetResult ShowEntryProperties(Entry& entry, bool newEntry,
                                std::function<bool(const std::string&)> openPage, Prompt& prompt,
                                QWidget* owner) {
    EntrySheet sheet(entry, newEntry, std::move(openPage), prompt, owner);
    sheet.exec();
    return sheet.result();
}

}  // namespace vesk::gui
