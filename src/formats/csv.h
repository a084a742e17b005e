// Comma-separated contact lists (.csv), and the CSV export of Corel Address Book 8 (.abx).
// Every program names its columns differently, so the reader finds its columns through a
// field map the user can edit (kept under "Software\Vesk\CSV"); values follow RFC 4180, so
// quoted values may hold commas, doubled quotes and line breaks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/entry.h"
#include "model/iter_base.h"
#include "model/to_file.h"

namespace vesk {

/// Where the field map lives in HKEY_CURRENT_USER, with its "tstring" and "Int" sub-keys.
inline constexpr std::string_view kCsvKey = "Software\\Vesk\\CSV";
inline constexpr std::string_view kCsvHeadingKey = "Software\\Vesk\\CSV\\tstring";
inline constexpr std::string_view kCsvPositionKey = "Software\\Vesk\\CSV\\Int";
/// The heading of a field that has none; it is stored as an empty string.
inline constexpr std::string_view kCsvPlaceholder =
    "hopefully this tstring will never be found in the header";

/// Format numbers of the two files the reader takes.
inline constexpr int kCsvFormat = 5;
inline constexpr int kAbxFormat = 6;

/// The three ways the "CSV Options" page can be left with OK.
enum class CsvChoice { AlwaysUse, OnlyThisOperation, AlwaysDisplay };

/// The field map shared by the reader, the writer and the options page; loaded from the
/// settings store once per run.
class CsvSettings {
  public:
    CsvSettings();

    bool loaded = false;
    /// Field display names; the options page may reorder them (entry k pairs with
    /// headerStrings[k]), apply() puts them back into field order.
    std::vector<std::string> fieldNames;
    /// 0: header-string mode; otherwise absolute-position mode ("useInts").
    std::uint8_t mode = 0;
    /// Nonzero: use the map without showing the options page ("keep").
    std::uint32_t keep = 0;
    std::vector<std::string> headerStrings;
    /// Column of each field in field order (absolute-position mode); -1: not in the file.
    std::vector<std::int32_t> positions;

    bool absolute() const { return mode != 0; }
    /// Loads from the settings store unless already loaded in this run.
    void ensureLoaded();
    /// Reads the store now (absent values give the defaults).
    void load();
    /// Field order, no headings, the writer's column order; not loaded.
    void reset();

    /// The heading paired with field `field`, or nullptr when the field is unpaired.
    const std::string* headingOf(int field) const;
    /// Pairs field `field` with `heading` (the placeholder or "" unpairs it).
    void setHeading(int field, std::string heading);
    /// Number of fields paired with a heading.
    int pairedCount() const;

    /// Stores the settings as the options page does on OK (nothing for OnlyThisOperation);
    /// false after "Error writing data!".
    bool apply(CsvChoice choice);

  private:
    int slotOf(int field) const;
    void restoreFieldOrder();
};

/// The process-wide field map.
CsvSettings& csvSettings();

/// The headings of the writer's fixed header, in field order ("Name", "E-mail Address", ...).
const std::array<std::string_view, kFieldCount>& csvFixedHeadings();

/// The field that a column heading of a common export names (Outlook, Outlook Express,
/// Thunderbird, Google, the field display names and the writer's own headings), or -1.
int csvAutomaticField(std::string_view heading);

/// The reader's request to open the "CSV Options" page with the file's column headings.
class CsvOptionsRequest {
  public:
    virtual ~CsvOptionsRequest() = default;
    /// Lets the user edit `map` for the file `fileName` whose column headings are `headings`
    /// (empty when opened from the preferences); false when the user cancels.
    virtual bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                              const std::string& fileName) = 0;
};

/// Without a window: pairs the file's headings with fields by name, for this run only. A file
/// none of whose headings names a contact's name or address is reported and cancelled.
class AutomaticCsvOptions : public CsvOptionsRequest {
  public:
    bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                      const std::string& fileName) override;
};

/// The process-wide request; the automatic one until someone sets another.
CsvOptionsRequest& csvOptionsRequest();
/// Sets the process-wide request (nullptr: back to the automatic one); returns the previous.
CsvOptionsRequest* setCsvOptionsRequest(CsvOptionsRequest* request);

class CsvOptionsScope {
  public:
    explicit CsvOptionsScope(CsvOptionsRequest& r) : m_previous(setCsvOptionsRequest(&r)) {}
    ~CsvOptionsScope() { setCsvOptionsRequest(m_previous); }
    CsvOptionsScope(const CsvOptionsScope&) = delete;
    CsvOptionsScope& operator=(const CsvOptionsScope&) = delete;

  private:
    CsvOptionsRequest* m_previous;
};

namespace csv {

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

}  // namespace csv

namespace iterators {

/// Reads a CSV file (format 5, through the field map) or an ABX file (format 6, fixed columns).
class IterCSV : public IterBase {
  public:
    IterCSV(const std::string& fileName, int format);
    // The scanner looks into m_text.
    IterCSV(const IterCSV&) = delete;
    IterCSV& operator=(const IterCSV&) = delete;

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;

    /// Column of each field in this file; -1: not read.
    const std::array<int, kFieldCount>& columnMap() const { return m_columns; }
    char separator() const { return m_separator; }

  private:
    enum class State { Unreadable, NoData, Cancelled, Ready };

    bool open();
    bool buildColumnMap();
    void searchHeadings(const CsvSettings& map);
    std::vector<std::string> headings() const;
    void skipEmptyLines();
    void setMask();

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
    bool m_invalidShown = false;
    bool m_unclosedReported = false;
    std::vector<csv::Cell> m_cells;
    std::vector<csv::Cell> m_headerCells;
};

}  // namespace iterators

/// Writes all 34 fields of every entry, each quoted, under a header line.
class ToCSV : public ToFile {
  public:
    explicit ToCSV(std::string fileName);

    bool write(Entry e) override;
    std::string text() override { return m_text; }

  private:
    std::string m_text;
};

}  // namespace vesk
