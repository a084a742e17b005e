#include "formats/csv_reader.h"

#include <algorithm>
#include <optional>

#include "formats/csv_automatic_map.h"
#include "platform/large_buffer.h"
#include "text/text_io.h"

namespace vesk {

namespace iterators {

namespace {

constexpr std::size_t npos = std::string::npos;

struct AbxColumn {
    Field field;
    int column;
};

constexpr AbxColumn kAbxColumns[] = {
    {Field::FullName, 1},       {Field::Email, 5},          {Field::Organization, 4},
    {Field::HomeStreet, 6},     {Field::HomeCity, 7},       {Field::HomeState, 8},
    {Field::HomePostalCode, 9}, {Field::HomeCountry, 10},   {Field::BusinessPhone, 13},
    {Field::HomePhone, 14},     {Field::CellularPhone, 15}, {Field::Pager, 16},
    {Field::HomeFax, 17},       {Field::JobTitle, 19},      {Field::Notes, 20},
};

int& columnOf(std::array<int, kFieldCount>& columns, Field f) {
    return columns[static_cast<std::size_t>(f)];
}

}  // namespace

IterCSV::IterCSV(RunContext& run, const std::string& fileName, int format)
    : m_run(run), m_fileName(fileName), m_format(format), m_scanner({}, ',') {
    m_columns.fill(-1);
    if (!open()) return;
    if (m_format == kAbxFormat) {
        for (const AbxColumn& c : kAbxColumns) columnOf(m_columns, c.field) = c.column;
    } else if (!buildColumnMap()) {
        m_state = State::Cancelled;
        return;
    }
    setMask();
    if (m_format != kAbxFormat) findExtraColumns();
    rewind();
}

void IterCSV::findExtraColumns() {
    static constexpr std::string_view kEmails[] = {"secondary email", "second email",
                                                   "e-mail 2 address", "e-mail 3 address",
                                                   "additional email"};
    static constexpr std::string_view kBirth[] = {"birth year", "birth month", "birth day"};
    const std::vector<std::string> names = headings();
    for (std::size_t c = 0; c < names.size(); ++c) {
        const int column = static_cast<int>(c);
        if (std::find(m_columns.begin(), m_columns.end(), column) != m_columns.end()) continue;
        const std::string& h = names[c];
        // Further address columns, and those of a common export's other kinds of address
        // ("Email Work" beside "Email Home") that did not become the e-mail field.
        const bool email = csvAutomaticField(h) == static_cast<int>(Field::Email) ||
                           std::any_of(std::begin(kEmails), std::end(kEmails),
                                       [&](std::string_view want) { return equalNoCase(h, want); });
        if (email) m_emailColumns.push_back(column);
        if (equalNoCase(h, "birthday") || equalNoCase(h, "birthdate")) m_birthdayColumn = column;
        for (std::size_t k = 0; k < 3; ++k) {
            if (equalNoCase(h, kBirth[k])) m_birthColumns[k] = column;
        }
    }
}

std::string IterCSV::cellText(std::size_t column) const {
    if (column >= m_cells.size()) return {};
    return cellValue(m_cells[column]);
}

void IterCSV::readExtras(Entry& e) {
    for (const int c : m_emailColumns) {
        e.addExtra(ExtraKind::Email, cellText(static_cast<std::size_t>(c)));
    }
    if (m_birthdayColumn >= 0) {
        e.addExtra(ExtraKind::Birthday,
                   normalExtraDate(cellText(static_cast<std::size_t>(m_birthdayColumn))));
    }
    if (m_birthColumns[1] >= 0 && m_birthColumns[2] >= 0) {
        std::array<std::string, 3> parts;
        for (std::size_t k = 0; k < 3; ++k) {
            if (m_birthColumns[k] >= 0) {
                parts[k] = cellText(static_cast<std::size_t>(m_birthColumns[k]));
            }
        }
        e.addExtra(ExtraKind::Birthday, dateFromParts(parts[0], parts[1], parts[2]));
    }
}

DecodeOptions IterCSV::decoding() const {
    return {.fallbackCharset = m_run.sourceEncoding, .prepareBuffer = &adviseLargeBuffer};
}

bool IterCSV::wholeText() {
    if (m_passed.restoreOrReport(&m_run, m_fileName)) return true;
    m_changed = true;
    m_position = npos;
    return false;
}

bool IterCSV::open() {
    std::optional<std::string> text = readTextFile(m_fileName, decoding());
    if (!text) {
        m_run.report(Severity::Error, "file cannot be opened!", m_fileName, Where{m_fileName});
        m_state = State::Unreadable;
        return false;
    }
    m_text = std::move(*text);
    // Line numbers of messages count the line feeds given back too.
    m_passed.watch(m_text, m_fileName, decoding(), m_text.size(), true);
    m_separator = m_format == kAbxFormat ? ',' : csv::detectSeparator(m_text);
    m_scanner = csv::Scanner(m_text, m_separator);
    const std::size_t end = m_scanner.record(0, m_headerCells);
    // Only a header line that ends in a line feed is followed by data.
    if (end > 0 && m_text[end - 1] == '\n') {
        m_dataStart = end;
        m_state = State::Ready;
    } else {
        m_state = State::NoData;
    }
    return true;
}

std::vector<std::string> IterCSV::headings() const {
    std::vector<std::string> out;
    out.reserve(m_headerCells.size());
    for (const csv::Cell& c : m_headerCells) {
        out.emplace_back(csv::trimHeading(m_scanner.value(c)));
    }
    return out;
}

bool IterCSV::buildColumnMap() {
    CsvSettings& map = csvSettings(m_run);
    map.ensureLoaded(m_run);
    if (m_state == State::Unreadable) return true;
    if (!map.absolute() && readsByContent()) return true;
    if (m_state != State::Ready) return true;
    CsvOptionsRequest& request = csvOptionsRequest(m_run);
    const auto ask = [&] {
        if (request.editFieldMap(map, headings(), m_fileName)) return true;
        map.loaded = false;  // read again next time
        return false;
    };
    if (map.keep == 0 || (!map.absolute() && map.pairedCount() < 2)) {
        if (!ask()) return false;
    }
    bool askedAgain = false;
    for (;;) {
        if (map.absolute()) {
            for (int f = 0; f < kFieldCount; ++f) {
                const std::size_t i = static_cast<std::size_t>(f);
                m_columns[i] = i < map.positions.size() ? map.positions[i] : -1;
            }
            return true;
        }
        searchHeadings(map);
        applyCommandLineMap();
        const bool missing =
            columnOf(m_columns, Field::FullName) < 0 || columnOf(m_columns, Field::Email) < 0;
        // Asked once more at most: a user who confirms the page again means to go on.
        if (!missing || askedAgain) break;
        askedAgain = true;
        if (!ask()) return false;
    }
    // Column 0 is read as the name when no heading names one and column 0 holds nothing else.
    const bool namesElsewhere =
        columnOf(m_columns, Field::FirstName) >= 0 || columnOf(m_columns, Field::LastName) >= 0;
    const bool columnZeroTaken =
        std::find(m_columns.begin(), m_columns.end(), 0) != m_columns.end();
    if (columnOf(m_columns, Field::FullName) < 0 && !namesElsewhere && !columnZeroTaken) {
        columnOf(m_columns, Field::FullName) = 0;
    }
    findGroupedColumns();
    return true;
}

/// A file whose first line is data like the rest (Thunderbird's and abook's exports without
/// headings): its columns are found by what they hold.
bool IterCSV::readsByContent() {
    std::vector<csv::Row> rows;
    std::vector<csv::Cell> cells;
    constexpr std::size_t kSampleRows = 50;
    for (std::size_t pos = 0; pos < m_text.size() && rows.size() < kSampleRows;) {
        const std::size_t next = m_scanner.record(pos, cells);
        if (next <= pos) break;
        csv::Row row;
        for (const csv::Cell& c : cells) row.push_back(cellValue(c));
        if (!(row.size() == 1 && row[0].empty())) rows.push_back(std::move(row));
        pos = next;
    }
    if (rows.empty() || !csv::looksHeaderless(rows)) return false;
    m_headerless = true;
    m_columns = csv::columnsByContent(rows);
    applyCommandLineMap();
    m_dataStart = 0;
    m_state = State::Ready;
    return true;
}

/// Pairs from `--csv-map`: a heading of the file, or a column number from 1.
void IterCSV::applyCommandLineMap() {
    const std::vector<std::string> names = m_headerless ? std::vector<std::string>() : headings();
    for (const CsvColumnPair& pair : csvCommandLineMap(m_run)) {
        int column = -1;
        for (std::size_t c = 0; c < names.size() && column < 0; ++c) {
            if (equalNoCase(names[c], csv::trimHeading(pair.heading))) column = static_cast<int>(c);
        }
        const std::string& h = pair.heading;
        if (column < 0 && !h.empty() && h.size() < 6 &&
            std::all_of(h.begin(), h.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            column = std::stoi(h) - 1;
        }
        if (column < 0) continue;
        // The column leaves any field the automatic map gave it.
        std::replace(m_columns.begin(), m_columns.end(), column, -1);
        m_columns[static_cast<std::size_t>(pair.field)] = column;
    }
}

/// Street lines that continue another column, and Google's typed columns, whose field each
/// row's type decides (the plain map of their value columns is dropped).
void IterCSV::findGroupedColumns() {
    const std::vector<std::string> names = headings();
    for (std::size_t c = 0; c < names.size(); ++c) {
        const int f = csv::secondLineField(names[c]);
        const int column = static_cast<int>(c);
        if (f < 0 || std::find(m_columns.begin(), m_columns.end(), column) != m_columns.end())
            continue;
        m_secondLines.emplace_back(static_cast<Field>(f), column);
    }
    m_typed = csv::findTypedGroups(names);
    const auto& pairs = csvCommandLineMap(m_run);
    for (const csv::TypedGroup& g : m_typed) {
        for (const int c : csv::columnsOf(g)) {
            const bool paired = std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) {
                return m_columns[static_cast<std::size_t>(p.field)] == c;
            });
            if (!paired) std::replace(m_columns.begin(), m_columns.end(), c, -1);
        }
    }
}

std::string IterCSV::cellValue(const csv::Cell& cell) const {
    if (cell.end == cell.begin) return {};
    if (cell.plain) return m_text.substr(cell.textBegin, cell.textEnd - cell.textBegin);
    if (cell.quoted) return m_scanner.value(cell);
    return m_text.substr(cell.begin, cell.end - cell.begin);
}

void IterCSV::searchHeadings(const CsvSettings& map) {
    struct Heading {
        std::string_view raw;
        std::string value;
        std::string_view trimmed;
        bool quoted;
    };
    std::vector<Heading> cells;
    cells.reserve(m_headerCells.size());
    for (const csv::Cell& c : m_headerCells) {
        cells.push_back({m_scanner.raw(c), m_scanner.value(c), {}, c.quoted});
    }
    for (Heading& h : cells) h.trimmed = csv::trimHeading(h.value);
    const std::size_t last = cells.empty() ? 0 : cells.size() - 1;

    // The forms a heading may take in the first line, best first: quoted; between commas;
    // between commas after one space; last in the line; last after one space; first. Then, for
    // lines other programs wrote, any spacing and any letter case.
    const auto rank = [&](const Heading& h, std::size_t c, std::string_view want) {
        const bool spaced =
            h.raw.size() == want.size() + 1 && h.raw.front() == ' ' && h.raw.substr(1) == want;
        if (h.quoted && h.value == want) return 1;
        if (c > 0 && c < last && h.raw == want) return 2;
        if (c > 0 && c < last && spaced) return 3;
        if (c > 0 && c == last && h.raw == want) return 4;
        if (c > 0 && c == last && spaced) return 5;
        if (c == 0 && c < last && h.raw == want) return 6;
        const std::string_view trimmedWant = csv::trimHeading(want);
        if (h.trimmed == trimmedWant) return 7;
        if (equalNoCase(h.trimmed, trimmedWant)) return 8;
        return 0;
    };
    for (int f = kFieldCount - 1; f >= 0; --f) {
        int column = -1;
        try {
            const std::string* want = map.headingOf(f);
            if (want && !csv::trimHeading(*want).empty()) {
                int best = 0;
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    const int r = rank(cells[c], c, *want);
                    if (r != 0 && (best == 0 || r < best)) {
                        best = r;
                        column = static_cast<int>(c);
                    }
                }
            }
        } catch (const std::exception& error) {
            m_run.report(Severity::Error, error.what(), "error in property #" + std::to_string(f),
                         Where{m_fileName});
        }
        m_columns[static_cast<std::size_t>(f)] = column;
    }
}

void IterCSV::setMask() {
    m_mask.reset();
    for (int f = 0; f < kFieldCount; ++f) {
        if (m_columns[static_cast<std::size_t>(f)] >= 0) m_mask.set(static_cast<std::size_t>(f));
    }
    for (const auto& [field, column] : m_secondLines) m_mask.set(static_cast<std::size_t>(field));
    for (const csv::TypedGroup& g : m_typed) m_mask |= csv::fieldsOf(g);
    // The names complete each other when the book takes the entry in.
    const Field names[] = {Field::FullName, Field::FirstName, Field::LastName};
    for (Field f : names) {
        if (m_mask.test(static_cast<std::size_t>(f))) {
            for (Field g : names) m_mask.set(static_cast<std::size_t>(g));
            break;
        }
    }
}

void IterCSV::skipEmptyLines() {
    while (m_position < m_text.size() && m_text[m_position] == '\n') ++m_position;
}

bool IterCSV::rewind() {
    m_position = npos;
    if (!wholeText()) return false;
    if (m_state == State::Unreadable || m_state == State::Cancelled) return false;
    if (m_state == State::NoData || m_dataStart >= m_text.size()) {
        if (!m_invalidShown)
            m_run.report(Severity::Error, "Invalid Data!", "error", Where{m_fileName});
        m_invalidShown = true;
        return false;
    }
    m_position = m_dataStart;
    skipEmptyLines();
    // From here the records are read once, front to back; the headings stay.
    m_passed.watch(m_text, m_fileName, decoding(), m_dataStart, true);
    return true;
}

bool IterCSV::atEnd() {
    return m_position == npos || m_position >= m_text.size();
}

float IterCSV::progress() {
    if (m_text.empty() || atEnd()) return 1.0f;
    return static_cast<float>(static_cast<double>(m_position) / static_cast<double>(m_text.size()));
}

void IterCSV::readGroupedColumns(Entry& e) const {
    if (m_headerless) {
        // A cell may list several addresses: the first is the e-mail field, the others the
        // entry's further e-mails.
        const std::string cell = e.take(Field::Email);
        csv::addAddresses(e, cell, ",");
    }
    const auto cellAt = [&](int c) {
        const auto i = static_cast<std::size_t>(c);
        return i < m_cells.size() ? cellValue(m_cells[i]) : std::string();
    };
    for (const auto& [field, column] : m_secondLines) {
        const std::string line = cellAt(column);
        if (line.empty()) continue;
        e[field] = e[field].empty() ? line : e[field] + "\n" + line;
    }
    if (m_typed.empty()) return;
    csv::Row row;
    for (const csv::Cell& c : m_cells) row.push_back(cellValue(c));
    for (const csv::TypedGroup& g : m_typed) csv::fillTyped(g, row, e);
}

Entry IterCSV::nextEntry() {
    Entry e;
    e.mask = m_mask;
    e.revisionTime = 0;  // CSV keeps no times
    if (atEnd()) return e;
    const std::size_t lineStart = m_position;
    const std::size_t next = m_scanner.record(m_position, m_cells);
    for (std::size_t f = 0; f < m_columns.size(); ++f) {
        const int c = m_columns[f];
        if (c < 0 || static_cast<std::size_t>(c) >= m_cells.size()) continue;
        e[static_cast<Field>(f)] = cellValue(m_cells[static_cast<std::size_t>(c)]);
    }
    readGroupedColumns(e);
    readExtras(e);
    if (!m_unclosedReported && m_scanner.unclosedAt() != npos && m_scanner.unclosedAt() < next) {
        m_unclosedReported = true;
        const std::size_t line = 1 + m_passed.lineFeedsBefore(lineStart);
        m_run.note(Severity::Warning,
                   "a quoted value is not closed; it ends at the end of its line",
                   Where{m_fileName, static_cast<std::int64_t>(line)});
    }
    m_position = next;
    skipEmptyLines();
    m_passed.passed(m_position);
    return e;
}

}  // namespace iterators

}  // namespace vesk
