// Records and values of CSV text: quotes, doubled quotes and line breaks inside quotes as
// RFC 4180 has them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::csv {

/// One value of a record as found in the text: [begin, end) between its separators.
struct Cell {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool quoted = false;
    /// Quoted without a quote inside: the value is [textBegin, textEnd) as it stands.
    bool plain = false;
    std::size_t textBegin = 0;
    std::size_t textEnd = 0;
};

/// Splits records of a text into cells: quotes, doubled quotes and line breaks inside quotes
/// as RFC 4180 has them, plus the forms older writers left behind.
class Scanner {
  public:
    Scanner(std::string_view text, char separator) : m_text(text), m_separator(separator) {}

    /// Reads the record at `pos` into `cells`; returns the position after its line feed.
    std::size_t record(std::size_t pos, std::vector<Cell>& cells);
    /// The value of a cell: enclosing quotes removed and doubled quotes made single.
    std::string value(const Cell& cell) const;
    /// The text between the cell's separators, as it stands.
    std::string_view raw(const Cell& cell) const {
        return m_text.substr(cell.begin, cell.end - cell.begin);
    }
    /// Position of the first quoted value that was never closed, or npos.
    std::size_t unclosedAt() const { return m_unclosedAt; }

  private:
    /// The end of the quoted cell opened at `open` (its separator, line feed or the text end).
    std::size_t quotedEnd(std::size_t open, Cell& cell);

    std::string_view m_text;
    char m_separator;
    std::size_t m_unclosedAt = std::string_view::npos;
};

/// The separator of a file whose first record starts at 0: ",", unless the first line has
/// no comma outside quotes but tabs or semicolons.
char detectSeparator(std::string_view text);

/// A column heading as the map compares it: quotes, spaces and tabs trimmed off both ends.
std::string_view trimHeading(std::string_view heading);

/// Appends `value` quoted, with every double quote doubled.
void appendQuoted(std::string& out, std::string_view value);

}  // namespace vesk::csv
