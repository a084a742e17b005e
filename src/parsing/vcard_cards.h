// vCard files (.vcf, and Becky! .bab books): one card per contact. The writer keeps the
// classic 21-line vCard 2.1 layout that desktop mail programs read; the reader takes what
// phones, web mail and desktop programs actually write (2.1, 3.0, 4.0): folded lines,
// quoted-printable, character sets, TYPE= parameters and group prefixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/iter_base.h"
#include "model/to_file.h"
#include "platform/passed_text.h"

namespace vesk {

namespace vcard {

/// A kept property's head can be written back: no line break, no ":", not a card frame and
/// not a line the writers make themselves (UID, a group's KIND and MEMBER).
bool writableHead(std::string_view head);
/// Revision time in the card form "%Y-%m-%dT%H:%M:%SZ" (UTC).
std::string formatRevision(std::int64_t time);
/// Parses a REV value (extended 2006-03-01T12:00:00Z, basic 20060301T120000Z, two-digit years,
/// date only, numeric zone offsets); false when it is not a time.
bool parseRevision(std::string_view value, std::int64_t& time);

}  // namespace vcard

namespace iterators {

/// Reads the cards of a vCard file, one Entry per card.
class IterVCF : public IterBase {
  public:
    IterVCF(RunContext& run, const std::string& fileName);
    /// Reads the cards of `text` (UTF-8) already in memory; `fileName` only names it.
    IterVCF(std::string fileName, std::string text);
    ~IterVCF() override;
    IterVCF(const IterVCF&) = delete;
    IterVCF& operator=(const IterVCF&) = delete;
    /// Reads the cards of `text` from now on, reusing this reader's buffers: for callers that
    /// parse many small vCard texts one after another.
    void reset(std::string_view text);

    bool rewind() override;
    /// A group card (vCard 4.0 KIND:group, Apple's X-ADDRESSBOOKSERVER-KIND) comes as a list:
    /// its marker, the members it names, the end marker.
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;
    /// True when the file changed while it was read, so that part of it could not be read.
    bool sourceFailed() const override { return m_changed; }

    /// Moves past the item at the current position without reading it.
    virtual void nextCard();

  protected:
    /// Reads the card whose BEGIN line starts at `begin`; `end` receives where it stops.
    Entry readCard(std::size_t begin, std::size_t& end);
    /// Goes through the card at `begin` (filling the card state); returns where it stops.
    std::size_t scanCard(std::size_t begin);
    /// Start of the next item (a card) at or after `from`, or npos.
    virtual std::size_t findNextItem(std::size_t from) const;
    /// True for a line where no property starts that ends a card missing its END line.
    virtual bool endsCard(std::string_view /*line*/) const { return false; }

    /// The line at `lineStart` is "BEGIN:VCARD" (any case).
    bool isCardStart(std::size_t lineStart) const;
    /// Position of the line feed ending the line at `pos`, or the text size.
    std::size_t lineEnd(std::size_t pos) const;

    std::string m_fileName;
    std::string m_text;
    int m_cardCount = 0;
    std::size_t m_position = std::string::npos;  ///< item to read next
    std::size_t m_itemEnd = std::string::npos;   ///< end of that item once it has been read
    int m_cardsRead = 0;
    bool m_end = true;

  private:
    struct Card;
    /// The properties of the card that filled no field become the entry's extras.
    void readExtras(const Card& c, Entry& e, bool modern) const;
    /// Queues the members and end marker of the group card just read; gives its list marker.
    Entry openGroup(const Entry& card);
    /// The card a MEMBER value names (urn:uuid:, another UID, mailto:), or an empty entry.
    Entry memberCard(std::string_view reference);
    /// Where the cards of each UID and first e-mail address start, built at the first group.
    void indexCards();

    std::unique_ptr<Card> m_card;
    std::vector<std::string> m_groupMembers;  ///< MEMBER values of the card last read
    bool m_groupCard = false;                 ///< the card last read is a group
    std::deque<Entry> m_pending;              ///< members and end marker of an open group
    bool m_indexed = false;
    std::unordered_map<std::string, std::size_t> m_byUid;
    std::unordered_map<std::string, std::size_t> m_byEmail;
    mutable std::size_t m_lastLineStart = std::string::npos;  ///< lineEnd's last answer
    mutable std::size_t m_lastLineEnd = 0;
    /// The file is not UTF-8 throughout: m_text holds its bytes, each value decoded by itself.
    bool m_keptBytes = false;
    std::string m_fallbackCharset;  ///< `--encoding`, for values that name no CHARSET
    /// The cards read so far, given back while the reader goes on (a file read from disk only).
    PassedText m_passed;
    RunContext* m_run = nullptr;
    bool m_changed = false;
    /// The whole text readable again before the reader goes back; false (after a message, the
    /// reading ended) when the file changed meanwhile.
    bool wholeText();
};

}  // namespace iterators

/// Writes one vCard 2.1 card per contact. Lists cannot be held: each is reported as dropped
/// and its members are not written again.
class ToVCF : public ToFile {
  public:
    ToVCF(RunContext& run, std::string fileName);

    /// Appends the card of a contact; markers of folders and lists are not cards (false).
    bool write(Entry e) override;

  protected:
    /// Appends the card lines of `e` to `out`. The archive keeps every line of the classic
    /// layout (`archive`); a .vcf leaves out empty phone lines and the REV of an undated entry.
    static void appendCard(std::string& out, const Entry& e, bool archive = true);
    /// Writes the card of `e` to the file.
    void writeCard(const Entry& e, bool archive = true);
    /// True for list markers and list members, which a writer without lists skips; the first
    /// marker of each list reports it as dropped.
    bool skipsListPart(const Entry& e);

    std::string m_card;  ///< A reused buffer for one card.
    bool m_inList = false;
};

}  // namespace vesk
