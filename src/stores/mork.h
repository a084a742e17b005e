// Mork address books (.mab) of Netscape 6/7, Mozilla and Thunderbird up to version 68. A book
// is a table of card rows and mailing-list rows; a list names its members by card row id in
// the columns "Address1", "Address2", ... Programs append every change as a transaction at the
// end of the file, so a card may be rewritten (or dropped from the table) long after it first
// appears; the reader applies them all before it hands out a single card.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/format_info.h"
#include "model/to_file.h"
#include "stores/mork_store.h"

namespace vesk {

namespace iterators {

/// Reads the cards of a Mork address book in table order, then its mailing lists.
class IterMAB : public IterBase {
  public:
    IterMAB(RunContext& run, std::string fileName);
    /// Reads a book already in memory; `fileName` only names it in messages.
    IterMAB(RunContext& run, std::string fileName, LargeBytes bytes, std::size_t size);
    ~IterMAB() override;

    bool rewind() override;
    /// A card as an entry; a row that is no contact (a list, a row of the deleted-cards table,
    /// the table's own data row) gives an entry with no fields.
    Entry nextEntry() override;
    bool atEnd() override;
    /// The next mailing list, owned by this reader until the next call or listsDone().
    IterBase* nextList() override;
    bool listsDone() override;
    float progress() override;

  private:
    class MemberList;
    enum class RowKind { Card, List, Other };
    struct Item {
        std::uint32_t row;
        RowKind kind;
    };
    struct PendingList {
        std::string name;
        std::vector<Entry> members;
    };

    void load(LargeBytes bytes, std::size_t size);
    void lookUpColumns();
    void collectItems();
    /// The card of a row, with the fields its cells give.
    Entry cardOf(const mork::Row& row) const;
    PendingList listOf(const mork::Row& row) const;
    /// The card a list member's key (a card row id in hexadecimal) names, or an empty entry.
    Entry memberFor(std::string_view key, bool& found) const;
    int fieldOf(mork::ColumnId column) const;

    RunContext& m_run;
    std::string m_fileName;
    std::unique_ptr<mork::Store> m_store;
    FieldMask m_mask;
    mork::ColumnId m_cardScope = mork::kNoColumn;
    mork::ColumnId m_listScope = mork::kNoColumn;
    mork::ColumnId m_listName = mork::kNoColumn;
    mork::ColumnId m_listCount = mork::kNoColumn;
    /// Columns of the values beyond the fields: SecondEmail, then Birth and Anniversary
    /// Year, Month and Day.
    mork::ColumnId m_secondEmail = mork::kNoColumn;
    std::array<mork::ColumnId, 6> m_dateColumns = {};
    /// Field index by column id: small ids in the vector, others in the map.
    std::vector<std::int8_t> m_fieldByColumn;
    std::unordered_map<mork::ColumnId, int> m_fieldByBigColumn;
    /// n of the columns "Address" n.
    std::unordered_map<mork::ColumnId, std::size_t> m_memberColumn;
    /// Every row that belongs to a live table (not the deleted cards), and the items to hand out.
    std::vector<bool> m_live;
    std::vector<Item> m_items;
    std::size_t m_pos = 0;
    std::vector<PendingList> m_lists;
    std::size_t m_listPos = 0;
    std::unique_ptr<MemberList> m_current;
};

}  // namespace iterators

/// Writes a Mork address book that the Mozilla-family programs open: one column dictionary,
/// one dictionary holding every value as an atom, one table of card rows then list rows.
class ToMAB : public ToFile {
  public:
    ToMAB(RunContext& run, std::string fileName);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// The whole file: header with the column dictionary, atoms, then the table. The header
    /// names the largest list, so atoms and rows are held until then.
    void end() override;

  private:
    void writeCard(const Entry& e);
    /// The second e-mail address and the birthday, in cells after the fields.
    void writeExtraCells(const Entry& e);
    void appendCell(int column, std::string_view value);
    void beginList(const Entry& e);
    void writeMember(const Entry& e);
    void endList();
    /// Appends "(" id "=" value ")" to the atoms, the value escaped as Mork requires.
    void appendAtom(std::int64_t id, std::string_view value);
    /// Row id (hexadecimal) of the card written for `e`, or "" with a warning when there is none.
    std::string cardIdFor(const Entry& e);

    /// Moves full atoms and rows into their pieces, so that a large book's text is never
    /// copied while it grows (end() writes the pieces out).
    void keepPieces();

    std::string m_header;
    std::string m_atoms;
    std::string m_rows;
    std::vector<std::string> m_atomPieces;
    std::vector<std::string> m_rowPieces;
    std::int64_t m_nextAtom = 0x80;
    std::int64_t m_nextCardRow = 1;
    std::int64_t m_nextListRow = 1;
    bool m_inList = false;
    std::int64_t m_memberCount = 0;
    std::int64_t m_mostMembers = 4;
    std::string m_listName;
    /// Cards written, by all their fields and (first written wins) by folded Full Name.
    std::unordered_map<std::string, std::string> m_cardByFields;
    std::unordered_map<std::string, std::string> m_cardByName;
};

namespace mork {

/// Appends `value` as Mork writes it inside an atom: ")", "\" and "$" after a backslash, line
/// breaks and every byte from 0x80 as "$" and two upper-case hexadecimal digits.
void appendEscaped(std::string& out, std::string_view value);

}  // namespace mork

const FormatInfo& morkFormat();

}  // namespace vesk
