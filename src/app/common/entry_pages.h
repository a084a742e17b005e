// The entry property sheet's logic without widgets: which field each page edits under which
// label, the Summary page's two columns, the four change flags and what OK writes back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/common/main_view.h"
#include "model/entry.h"

namespace vesk {

/// The pages in sheet order.
enum class EntryPage : int { Summary = 0, General = 1, Home = 2, Business = 3 };

/// One edit of a page: its control id, its label and the field it edits.
struct EntryPageField {
    int control;
    const char* label;
    Field field;
    bool multiLine = false;
};

/// The edits of the General, Home or Business page in their order (none for Summary).
const std::vector<EntryPageField>& entryPageFields(EntryPage page);
/// The page that edits `field`, or Summary when no page does.
EntryPage pageOfField(Field field);

/// The Summary page's label column: "Name:\nE-Mail Address:\n...\nDate:".
std::string summaryLabels();
/// The Summary page's value column: the thirteen fields, each followed by a line feed, then the
/// revision time as the C library writes it.
std::string summaryValues(const Entry& entry);
/// `time` in the C library's text form in local time: "Thu Jan  1 00:00:00 1970\n".
std::string cTimeText(std::int64_t time);

/// A web-page field as "&Go" opens it: http and https addresses as they are, a bare address
/// with "http://" before it; "" for anything else (a program, a share, another scheme), which
/// must never be started from a contact's field.
std::string webPageToOpen(const std::string& text);

/// The sheet's state over one entry: the texts being edited and the change flags 0 ("Full
/// Name"), 1 (General), 2 (Home) and 3 (Business).
class EntrySheetState {
  public:
    EntrySheetState(Entry& entry, bool newEntry);

    /// General for a new entry, Summary for an existing one.
    EntryPage startPage() const { return m_new ? EntryPage::General : EntryPage::Summary; }
    const Entry& entry() const { return m_entry; }
    const std::string& text(Field field) const;
    /// An edit changed: its page's flag is set, and flag 0 too for "Full Name".
    void setText(Field field, std::string text);
    bool flag(int index) const { return m_flags[static_cast<std::size_t>(index)]; }
    /// OK: every page whose flag is set writes its edits back whole, and the entry is dated now.
    void apply(std::int64_t now);
    /// What the caller learns: OK or not, and which flags were set.
    SheetResult result(bool ok) const;

  private:
    Entry& m_entry;
    bool m_new;
    std::array<std::string, kFieldCount> m_texts;
    std::array<bool, 4> m_flags{};
};

}  // namespace vesk
