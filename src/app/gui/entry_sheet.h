// The entry property sheet: Summary, General, Home and Business pages over one entry. The pages
// bind their edits to EntrySheetState, which keeps the change flags and writes back on OK.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <optional>

#include "app/common/entry_pages.h"
#include "platform/prompt.h"

class QLabel;
class QPushButton;
class QTabWidget;

namespace vesk::gui {

class EntrySheet : public QDialog {
  public:
    /// `openPage` opens a web address in the browser (false when it cannot); `prompt` says
    /// why another text is not opened.
    EntrySheet(Entry& entry, bool newEntry, std::function<bool(const std::string&)> openPage,
               Prompt& prompt, QWidget* owner);

    QTabWidget* tabs() const { return m_tabs; }
    /// The edit of a field (a QLineEdit, or a QPlainTextEdit for the multi-line ones).
    QWidget* editOf(Field field) const;
    /// The "&Go" button of the Home (1048) or Business (1050) page.
    QPushButton* goButton(EntryPage page) const;
    QLabel* summaryLabels() const { return m_labels; }
    QLabel* summaryValues() const { return m_values; }
    const EntrySheetState& state() const { return m_state; }
    SheetResult result() const { return m_state.result(m_accepted); }

    /// OK: what the pages edited is written (the dialog's own OK button calls it too).
    void accept() override;

  private:
    QWidget* summaryPage();
    QWidget* editPage(EntryPage page);
    void go(Field webPage);

    EntrySheetState m_state;
    std::function<bool(const std::string&)> m_openPage;
    Prompt& m_prompt;
    QTabWidget* m_tabs;
    QLabel* m_labels = nullptr;
    QLabel* m_values = nullptr;
    std::map<Field, QWidget*> m_edits;
    std::map<EntryPage, QPushButton*> m_go;
    bool m_accepted = false;
};

/// Shows the sheet modally on `entry`; the pages write into it on OK.
SheetResult ShowEntryProperties(Entry& entry, bool newEntry,
                                std::function<bool(const std::string&)> openPage, Prompt& prompt,
                                QWidget* owner);

}  // namespace vesk::gui
