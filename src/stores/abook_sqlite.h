// Thunderbird's SQLite address books (abook.sqlite, history.sqlite, abook-N.sqlite), kept
// since version 78 instead of Mork. A book holds the tables properties(card, name, value),
// lists(uid, name, nickName, description) and list_cards(list, card). Three layouts exist:
// 2 (versions 71 to 81) also has cards(uid, localId), which decides which cards exist; 3
// (82 to 101) keeps each card as flat properties named as Mork's columns; 4 (102 on, PRAGMA
// user_version 4) keeps the whole card as vCard 4.0 text in the property "_vCard", with flat
// copies of a few of its values for searching.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/format_info.h"
#include "model/to_file.h"

struct sqlite3;

namespace vesk {

namespace abook {

enum class Layout { None, Cards, Flat, VCard };

/// The layout of the open database; None when it is no Thunderbird address book.
Layout layoutOf(sqlite3* db);
/// True when `path` is an SQLite file holding a Thunderbird address book.
bool isAddressBook(const std::string& path);

/// The vCard 4.0 text Thunderbird keeps for a contact (CR LF line ends, folded at 75 bytes).
std::string vCardOf(const Entry& e, const std::string& uid);

/// A new random UUID in lower case, as Thunderbird names cards and lists.
std::string newUid();

}  // namespace abook

namespace iterators {

class IterVCF;

/// Reads a Thunderbird SQLite book, opened read-only: its cards in stored order, then its lists.
class IterABSQLite : public IterBase {
  public:
    IterABSQLite(RunContext& run, std::string fileName);
    ~IterABSQLite() override;
    IterABSQLite(const IterABSQLite&) = delete;
    IterABSQLite& operator=(const IterABSQLite&) = delete;

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    IterBase* nextList() override;
    bool listsDone() override;
    float progress() override;
    bool sourceFailed() const override { return m_failed; }

  private:
    class MemberList;
    struct PendingList {
        std::string name;
        std::vector<std::string> members;  ///< card uids
    };
    /// Where a value lies in m_values.
    struct Span {
        std::size_t offset = 0;
        std::size_t size = 0;
    };
    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
    /// A flat property: a field's index, or one of kSecondEmailRow and kDateRow + part; the
    /// next row of its card, or kNoRow.
    struct StoredRow {
        int code = 0;
        Span value;
        std::size_t next = kNoRow;
    };
    /// A card's rows as stored; the entry is made from them when it is asked for, so that
    /// handing it out needs no copy and a rewind finds it again.
    struct StoredCard {
        std::string uid;
        Span vcard;
        std::size_t firstRow = kNoRow;  ///< its flat properties in row order, in m_rows
        std::size_t lastRow = kNoRow;
        std::int64_t modified = 0;
    };

    bool load(sqlite3* db);
    void fail(const std::string& why);
    Entry entryOf(const StoredCard& card);
    Span keep(std::string_view value);
    std::string_view valueOf(Span span) const { return {m_values.data() + span.offset, span.size}; }

    RunContext& m_run;
    std::string m_fileName;
    std::vector<StoredCard> m_cards;
    std::vector<StoredRow> m_rows;
    /// Every value read, one after another: one buffer instead of a string per value.
    std::string m_values;
    std::unordered_map<std::string, std::size_t> m_cardByUid;
    std::vector<PendingList> m_lists;
    std::size_t m_pos = 0;
    std::size_t m_listPos = 0;
    std::unique_ptr<MemberList> m_current;
    /// One vCard reader for every card's text.
    std::unique_ptr<IterVCF> m_vcard;
    bool m_failed = false;
};

}  // namespace iterators

/// Writes a Thunderbird SQLite book of the current layout; into an existing book it merges,
/// changing only the values it writes and leaving every other row as it was. The book is built
/// in a new file beside the old one and replaces it in one step.
class ToABSQLite : public ToFile {
  public:
    ToABSQLite(RunContext& run, std::string fileName);
    ~ToABSQLite() override;

    bool write(Entry e) override;
    bool finish() override;
    /// Not used: the book is no text.
    std::string text() override { return {}; }

  private:
    struct Card {
        Entry entry;
        std::string uid;
    };
    struct List {
        std::string name;
        std::vector<std::size_t> members;  ///< indexes into m_cards
    };

    static constexpr std::size_t kNoCard = static_cast<std::size_t>(-1);
    std::size_t cardFor(const Entry& member);
    /// The first card written whose fields are those of `e`, or kNoCard.
    std::size_t cardWithFields(const Entry& e) const;
    /// The card's own UID when it is a UUID no other card has, else "" (newUids gives one).
    std::string uidFor(const Entry& e);
    void newUids();
    bool store(sqlite3* db, abook::Layout layout);
    /// Builds the book in the new file at `path`, from a copy of the old one when merging.
    bool build(const std::string& path, bool merge, abook::Layout layout);
    /// Copies the existing book into `db`.
    bool copyBook(sqlite3* db);
    /// Fails (after a message) when another program has the book open or locked.
    bool bookIsFree();

    // A deque: growing it never moves the cards already written.
    std::deque<Card> m_cards;
    std::vector<List> m_lists;
    std::unordered_set<std::string> m_uids;
    std::unordered_map<std::string, std::size_t> m_byUid;
    std::unordered_multimap<std::size_t, std::size_t> m_byFields;  ///< fields hash → card
    bool m_inList = false;
};

const FormatInfo& abookSqliteFormat();

}  // namespace vesk
