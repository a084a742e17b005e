// Address lists and nickname files kept as plain text, one contact per line: plain lists of
// `"Name" <address>` items (also Pegasus Mail's .pml distribution lists, whose header lines
// begin with a backslash), Pine's tab-separated address book, and the Eudora nickname file
// that ToTXT writes. Items are found by marks (quotes, angle brackets), not by a grammar, so
// `Name <addr>`, `"Name" addr`, `addr "Name"` and a bare address all read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "model/to_file.h"

namespace vesk {

namespace iterators {

/// Reads a plain text address list, a Pegasus Mail distribution list, or a text given by
/// the caller. Each item (ended by a line feed or by a comma outside double quotes) gives
/// one entry with "Full Name" and "E-Mail Address". A Pegasus list comes as what it is: one
/// list, named by its "\TITLE" line (or the file name), around its members.
class IterTXT : public IterBase {
  public:
    static constexpr int kModePlain = 0;    ///< a ".txt" address list
    static constexpr int kModePegasus = 3;  ///< a ".pml" list: leading "\" header lines skipped
    static constexpr int kModeGiven = 21;   ///< `text` is parsed, `name` is the reader's name

    /// Reads `fileName` (modes 0 and 3) or parses `text` (mode 21).
    IterTXT(RunContext& run, std::string fileName, int mode, std::string name = {},
            std::string text = {});

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    std::string name() override { return m_name; }
    float progress() override;

    /// One item of `text` from `start`: its name and address (escapes undone), where it ended,
    /// and whether the scan stopped at a closing quote or ">" before the item's natural end.
    struct Item {
        std::string name;
        std::string address;
        std::size_t end = 0;
        bool stoppedEarly = false;
    };
    static Item parseItem(std::string_view text, std::size_t start);

  private:
    /// Where a Pegasus list stands: its begin marker, its members, its end marker given.
    enum class ListPart { Begin, Members, Done };

    Entry listMarker(EntryKind kind) const;
    /// Reads the title and steps over the header lines of a Pegasus list.
    void skipPegasusHeader();

    std::string m_text;
    int m_mode;
    std::size_t m_pos = 0;
    std::string m_name;
    std::string m_listTitle;
    ListPart m_listPart = ListPart::Begin;
    FieldMask m_mask;
};

/// Reads a Pine address book: one entry per logical line (lines that begin with a space
/// continue the line before), fields separated by tabs: nickname, full name, address, fcc,
/// comments. An address in parentheses is a distribution list and comes as in-line list
/// markers around its members.
class IterPine : public IterBase {
  public:
    IterPine(RunContext& run, std::string fileName);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;

  private:
    void skipBlankLines();
    /// The next logical line (continuations joined), moving past it.
    std::string readLogicalLine();
    void queueList(const std::string& listName, std::string_view members);

    std::string m_text;
    std::size_t m_pos = 0;
    std::deque<Entry> m_pending;  ///< markers and members of a list being delivered
    RunContext& m_run;
    FieldMask m_mask;
};

}  // namespace iterators

/// Writes `"Full Name" <E-Mail Address>` lines: a plain text list (empty prefix), a Pegasus
/// distribution list (initial text "\TITLE <title>\n") or a Eudora nickname file (prefix
/// "alias ", with a "note" line carrying the other fields).
class ToTXT : public ToFile {
  public:
    ToTXT(RunContext& run, std::string fileName, std::string initialText, std::string prefix);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// In the Eudora form (prefix beginning with "alias ") Eudora's table of contents beside
    /// the file is deleted once the new file is in place, so that Eudora rebuilds it.
    void replaced() override;

    /// The ".toc" file Eudora keeps beside `fileName`, or empty when the name has no extension.
    static std::string eudoraTocName(const std::string& fileName);

  private:
    bool isEudora() const;

    std::string m_prefix;
};

/// A name as it goes between double quotes in a text list: `"` and a backslash that could
/// be taken for an escape are preceded by a backslash, line breaks become blanks. Plain
/// names come out unchanged.
std::string quoteListName(std::string_view name);
/// An address as it goes between angle brackets: `< > , "` and such backslashes escaped.
std::string quoteListAddress(std::string_view address);

/// Plain text address lists (.txt).
const FormatInfo& plainTextFormat();
/// Pegasus Mail distribution lists (.pml).
const FormatInfo& pegasusListFormat();
/// Pine address books (.addressbook).
const FormatInfo& pineFormat();
/// Eudora nickname files (NNdbase.txt), chosen by the application Eudora.
const FormatInfo& eudoraFormat();

}  // namespace vesk
