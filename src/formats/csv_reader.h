// Reads CSV files (through the field map) and Corel Address Book 8's CSV export (.abx, fixed
// columns).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "formats/csv_columns.h"
#include "formats/csv_field_map.h"
#include "formats/csv_scanner.h"
#include "model/entry.h"
#include "model/iter_base.h"
#include "platform/passed_text.h"

namespace vesk {

/// Format numbers of the two files the reader takes.
inline constexpr int kCsvFormat = 5;
inline constexpr int kAbxFormat = 6;

namespace iterators {

/// Reads a CSV file (format 5, through the field map) or an ABX file (format 6, fixed columns).
class IterCSV : public IterBase {
  public:
    IterCSV(RunContext& run, const std::string& fileName, int format);
    // The scanner looks into m_text.
    IterCSV(const IterCSV&) = delete;
    IterCSV& operator=(const IterCSV&) = delete;

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;
    /// True when the file changed while it was read, so that part of it could not be read.
    bool sourceFailed() const override { return m_changed; }

    /// Column of each field in this file; -1: not read.
    const std::array<int, kFieldCount>& columnMap() const { return m_columns; }
    char separator() const { return m_separator; }

  private:
    enum class State { Unreadable, NoData, Cancelled, Ready };

    bool open();
    DecodeOptions decoding() const;
    bool buildColumnMap();
    bool readsByContent();
    void searchHeadings(const CsvSettings& map);
    void applyCommandLineMap();
    void findGroupedColumns();
    std::string cellValue(const csv::Cell& cell) const;
    void readGroupedColumns(Entry& e) const;
    std::vector<std::string> headings() const;
    void skipEmptyLines();
    void setMask();
    /// Columns no field takes that hold further e-mail addresses or the birthday.
    void findExtraColumns();
    void readExtras(Entry& e);
    std::string cellText(std::size_t column) const;
    /// The whole text readable again before the reader goes back; false (after a message, the
    /// reading ended) when the file changed meanwhile.
    bool wholeText();

    RunContext& m_run;
    std::string m_fileName;
    int m_format;
    State m_state = State::Unreadable;
    std::string m_text;
    char m_separator = ',';
    csv::Scanner m_scanner;
    std::size_t m_dataStart = std::string::npos;  ///< first character after the header line
    std::size_t m_position = std::string::npos;   ///< npos: nothing (more) to read
    std::array<int, kFieldCount> m_columns;
    FieldMask m_mask;
    /// Columns of extra values; the birthday may come whole or as year, month and day.
    std::vector<int> m_emailColumns;
    int m_birthdayColumn = -1;
    std::array<int, 3> m_birthColumns = {-1, -1, -1};
    bool m_invalidShown = false;
    bool m_unclosedReported = false;
    std::vector<csv::Cell> m_cells;
    std::vector<csv::Cell> m_headerCells;
    bool m_headerless = false;  ///< read by content: the first line is data
    /// The records read so far, given back while the reader goes on; never the heading line.
    PassedText m_passed;
    bool m_changed = false;
    std::vector<std::pair<Field, int>> m_secondLines;  ///< further street lines, by column
    std::vector<csv::TypedGroup> m_typed;              ///< Google's typed columns
};

}  // namespace iterators

}  // namespace vesk
