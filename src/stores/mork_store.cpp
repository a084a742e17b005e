#include "stores/mork_store.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text/text_io.h"

namespace vesk::mork {

namespace {

constexpr std::size_t npos = std::string::npos;

/// Scope of rows written outside any table without one of their own (Mork's "r"): no address
/// book row lives there.
constexpr ColumnId kLooseRowScope = kNoColumn - 1;

constexpr std::array<std::int8_t, 256> kHexDigits = [] {
    std::array<std::int8_t, 256> digits{};
    digits.fill(-1);
    for (std::string_view set : {"0123456789ABCDEF", "0123456789abcdef"}) {
        for (std::size_t d = 0; d < set.size(); ++d) {
            digits[static_cast<unsigned char>(set[d])] = static_cast<std::int8_t>(d);
        }
    }
    return digits;
}();

int hexDigit(char c) {
    return kHexDigits[static_cast<unsigned char>(c)];
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

/// Bytes where skipSpace has something to look at: blanks, comments, continued lines.
constexpr std::array<bool, 256> kSpaceStarts = [] {
    std::array<bool, 256> starts{};
    for (char c : {' ', '\t', '\n', '\r', '\f', '\v', '/', '\\'}) {
        starts[static_cast<unsigned char>(c)] = true;
    }
    return starts;
}();

/// A column id read from the file, or kNoColumn when it is too large to be one.
ColumnId columnOf(std::uint64_t id) {
    return id < kFirstOwnColumn ? static_cast<ColumnId>(id) : kNoColumn;
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '_';
}

/// Bytes that end the plain stretch of a value: its end, escapes, CR and bytes that may need
/// decoding.
constexpr std::array<bool, 256> kValueStops = [] {
    std::array<bool, 256> stops{};
    for (char c : {')', '\\', '$', '\r', '\0'}) stops[static_cast<unsigned char>(c)] = true;
    for (std::size_t c = 0x80; c < 256; ++c) stops[c] = true;
    return stops;
}();

LargeBytes copyOf(std::string_view bytes) {
    LargeBytes copy = allocateLargeBytes(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return copy;
}

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

void appendAsText(std::string& out, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            out.push_back('\n');
            i += (i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2u : 1u;
            continue;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        const std::size_t n = utf8Length(c);
        if (n > 0 && i + n <= bytes.size() && isValidUtf8(bytes.substr(i, n))) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        out += windows1252ToUtf8(bytes.substr(i, 1));
        ++i;
    }
}

// ---------------------------------------------------------------------------------------------

/// One forward pass over the text. Every step consumes at least one byte, so no input can make
/// it loop; nothing recurses deeper than a group holding a table holding a row.
class Parser {
  public:
    explicit Parser(Store& store) : m_store(store), m_text(store.m_text) {}

    void run() { parseRange(m_text.size(), false); }

  private:
    /// A scope after an id or a reference: ":^80" (a column) or ":c" (a name).
    struct Scope {
        bool given = false;
        bool isColumn = false;
        std::uint64_t column = 0;
        std::string_view name;
    };
    /// A cell as read: its column, and its value written in place or named by reference.
    struct CellRead {
        ColumnId column = kNoColumn;
        std::string_view name;  ///< the column as a name written in place, if it was
        ValueRef value;
        bool isReference = false;
        std::uint64_t reference = 0;
    };

    bool damaged() const { return m_store.m_damagedAt != npos; }
    void markDamaged(std::size_t at) {
        if (!damaged()) m_store.m_damagedAt = at;
    }
    bool at(char c) const { return m_pos < m_end && m_text[m_pos] == c; }
    bool startsWith(std::string_view s) const { return m_text.substr(m_pos).starts_with(s); }
    /// Moves to just after the next `c` (or to the end).
    void skipPast(char c);

    void parseRange(std::size_t end, bool inGroup);
    void skipSpace();
    bool readHex(std::uint64_t& out);
    /// A value after "=": up to the first ")" without a backslash before it; the ")" is read.
    ValueRef readValue();
    Scope readScope();
    ColumnId scopeColumn(const Scope& scope, ColumnId fallback);
    /// Reads a cell at "("; false when it is none (it is stepped over).
    bool readCell(CellRead& cell);
    /// The common forms of a cell, without blanks or scopes; false (nothing read) for others.
    bool readPlainCell(CellRead& cell);
    void parseDict();
    /// Reads the meta-dictionary at "<"; true when it makes the dictionary one of columns.
    bool readMetaDict();
    /// An entry "(" id "=" value ")" of a dictionary.
    void readDictEntry(bool columns);
    void parseGroupOrHeader(bool inGroup);
    void parseTable();
    void parseMetaTable(Table& table);
    /// A row at "[", added to (or with `cut`, taken out of) `table` when there is one.
    void parseRow(Table* table, bool cut);
    /// The cells of a row up to its "]", added to the cell pool; false when the row never ends.
    bool readRowCells();
    /// Cells up to and including the next "]", read and dropped (a meta-row).
    void skipCells();
    /// True when a "[" at the position opens a row of its own (an id follows), not a meta-row.
    bool rowStartsHere() const;
    /// A row named by id (and maybe scope) alone, as tables list their members.
    void parseRowReference(Table& table, bool cut);
    void addToTable(Table& table, std::uint32_t row, bool cut);

    Store& m_store;
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::string m_bytes;  ///< scratch for values that need decoding
};

void Parser::skipPast(char c) {
    const std::size_t found = m_text.find(c, m_pos);
    m_pos = found == npos || found >= m_end ? m_end : found + 1;
}

void Parser::parseRange(std::size_t end, bool inGroup) {
    const std::size_t outerEnd = m_end;
    m_end = end;
    while (!damaged()) {
        skipSpace();
        if (m_pos >= m_end) break;
        switch (m_text[m_pos]) {
            case '<':
                parseDict();
                break;
            case '{':
                parseTable();
                break;
            case '[':
                parseRow(nullptr, false);
                break;
            case '@':
                parseGroupOrHeader(inGroup);
                break;
            default:
                ++m_pos;  // a byte Mork has no use for here
                break;
        }
    }
    m_end = outerEnd;
}

void Parser::skipSpace() {
    if (m_pos < m_end && !kSpaceStarts[static_cast<unsigned char>(m_text[m_pos])]) return;
    while (m_pos < m_end) {
        const char c = m_text[m_pos];
        if (isSpace(c)) {
            ++m_pos;
        } else if (c == '/' && m_pos + 1 < m_end && m_text[m_pos + 1] == '/') {
            const std::size_t eol = m_text.find_first_of("\r\n", m_pos);
            m_pos = eol == npos || eol > m_end ? m_end : eol;
        } else if (c == '/' && m_pos + 1 < m_end && m_text[m_pos + 1] == '*') {
            const std::size_t close = m_text.find("*/", m_pos + 2);
            m_pos = close == npos || close + 2 > m_end ? m_end : close + 2;
        } else if (c == '\\' && m_pos + 1 < m_end &&
                   (m_text[m_pos + 1] == '\n' || m_text[m_pos + 1] == '\r')) {
            m_pos += 2;  // a line continued outside a value
        } else {
            return;
        }
    }
}

bool Parser::readHex(std::uint64_t& out) {
    out = 0;
    const std::size_t start = m_pos;
    while (m_pos < m_end) {
        const int d = hexDigit(m_text[m_pos]);
        if (d < 0) break;
        // Ids past 60 bits name nothing a real file holds; they saturate instead of wrapping.
        out = out > (~std::uint64_t{0} >> 4) ? ~std::uint64_t{0}
                                             : (out << 4) | static_cast<std::uint64_t>(d);
        ++m_pos;
    }
    return m_pos > start;
}

ValueRef Parser::readValue() {
    const std::size_t start = m_pos;
    std::size_t i = m_pos;
    while (i < m_end && !kValueStops[static_cast<unsigned char>(m_text[i])]) ++i;
    if (i < m_end && m_text[i] == ')') {
        m_pos = i + 1;
        return ValueRef{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(i - start)};
    }
    // Escapes, line ends or 8-bit bytes: collect the bytes, then decode them as text.
    m_bytes.assign(m_text.substr(start, i - start));
    while (i < m_end) {
        const char c = m_text[i];
        if (c == ')') {
            ++i;
            break;
        }
        if (c == '\\' && i + 1 < m_end) {
            const char next = m_text[i + 1];
            i += 2;
            if (next == '\r' || next == '\n') {
                // A line continued: the break is not part of the value.
                const char other = next == '\r' ? '\n' : '\r';
                if (i < m_end && m_text[i] == other) ++i;
            } else {
                m_bytes.push_back(next);
            }
            continue;
        }
        if (c == '$' && i + 2 < m_end && hexDigit(m_text[i + 1]) >= 0 &&
            hexDigit(m_text[i + 2]) >= 0) {
            m_bytes.push_back(
                static_cast<char>(hexDigit(m_text[i + 1]) * 16 + hexDigit(m_text[i + 2])));
            i += 3;
            continue;
        }
        if (c != '\0') m_bytes.push_back(c);
        ++i;
    }
    m_pos = i;
    return m_store.keep(m_bytes);
}

Parser::Scope Parser::readScope() {
    Scope scope;
    if (!at(':')) return scope;
    ++m_pos;
    if (at('^')) {
        ++m_pos;
        scope.given = scope.isColumn = readHex(scope.column);
        return scope;
    }
    const std::size_t start = m_pos;
    while (m_pos < m_end && isNameChar(m_text[m_pos])) ++m_pos;
    scope.name = m_text.substr(start, m_pos - start);
    scope.given = !scope.name.empty();
    return scope;
}

ColumnId Parser::scopeColumn(const Scope& scope, ColumnId fallback) {
    if (!scope.given) return fallback;
    return scope.isColumn ? columnOf(scope.column) : m_store.columnForName(scope.name);
}

bool Parser::readPlainCell(CellRead& cell) {
    std::size_t i = m_pos + 1;
    if (i + 1 >= m_end || m_text[i] != '^') return false;
    const std::size_t columnStart = ++i;
    std::uint64_t column = 0;
    for (int d = 0; i < m_end && i - columnStart < 8 && (d = hexDigit(m_text[i])) >= 0; ++i) {
        column = column * 16 + static_cast<std::uint64_t>(d);
    }
    if (i == columnStart || i >= m_end) return false;
    if (m_text[i] == '=') {
        m_pos = i + 1;
        cell.column = columnOf(column);
        cell.value = readValue();
        return true;
    }
    if (m_text[i] != '^') return false;
    const std::size_t atomStart = ++i;
    std::uint64_t atom = 0;
    for (int d = 0; i < m_end && i - atomStart < 15 && (d = hexDigit(m_text[i])) >= 0; ++i) {
        atom = atom * 16 + static_cast<std::uint64_t>(d);
    }
    if (i == atomStart || i >= m_end || m_text[i] != ')') return false;
    m_pos = i + 1;
    cell.column = columnOf(column);
    cell.isReference = true;
    cell.reference = atom;
    // An atom no dictionary defined reads as an empty value.
    if (!m_store.atom(atom, cell.value)) cell.value = {};
    return true;
}

bool Parser::readCell(CellRead& cell) {
    cell = CellRead{};
    // "(^" hex "^" hex ")" and "(^" hex "=" value ")": nearly every cell of a real book.
    if (readPlainCell(cell)) return cell.column != kNoColumn;
    ++m_pos;  // "("
    if (at('^')) {
        ++m_pos;
        std::uint64_t id = 0;
        if (readHex(id)) cell.column = columnOf(id);
        readScope();
    } else {
        const std::size_t start = m_pos;
        while (m_pos < m_end && m_text[m_pos] != '=' && m_text[m_pos] != '^' &&
               m_text[m_pos] != ')' && !isSpace(m_text[m_pos])) {
            ++m_pos;
        }
        cell.name = m_text.substr(start, m_pos - start);
        if (!cell.name.empty()) cell.column = m_store.columnForName(cell.name);
    }
    skipSpace();
    if (at('=')) {
        ++m_pos;
        cell.value = readValue();
        return cell.column != kNoColumn;
    }
    if (at('^')) {
        ++m_pos;
        cell.isReference = readHex(cell.reference);
        readScope();
        skipSpace();
        if (at(')')) ++m_pos;
        // An atom no dictionary defined reads as an empty value.
        if (cell.isReference && !m_store.atom(cell.reference, cell.value)) cell.value = {};
        return cell.isReference && cell.column != kNoColumn;
    }
    skipPast(')');
    return false;
}

void Parser::parseDict() {
    ++m_pos;  // "<"
    skipSpace();
    const bool columns = at('<') && readMetaDict();
    while (m_pos < m_end) {
        skipSpace();
        if (m_pos >= m_end) return;
        const char c = m_text[m_pos];
        if (c == '>') {
            ++m_pos;
            return;
        }
        if (c == '(') {
            readDictEntry(columns);
        } else {
            ++m_pos;
        }
    }
}

bool Parser::readMetaDict() {
    // "(a=c)" (or "(atomScope=c)") makes the dictionary one of columns.
    ++m_pos;  // "<"
    bool columns = false;
    while (m_pos < m_end) {
        skipSpace();
        if (at('>')) {
            ++m_pos;
            break;
        }
        if (!at('(')) {
            ++m_pos;
            continue;
        }
        CellRead cell;
        if (readCell(cell) && (cell.name == "a" || cell.name == "atomScope")) {
            columns = m_store.text(cell.value) == "c";
        }
    }
    return columns;
}

void Parser::readDictEntry(bool columns) {
    ++m_pos;  // "("
    skipSpace();
    std::uint64_t id = 0;
    const bool hasId = readHex(id);
    skipSpace();
    if (!hasId || !at('=')) {
        // Not an entry we can read: step over it to its end.
        while (m_pos < m_end && m_text[m_pos] != ')' && m_text[m_pos] != '>') ++m_pos;
        if (at(')')) ++m_pos;
        return;
    }
    ++m_pos;
    const ValueRef value = readValue();
    if (columns) {
        m_store.defineColumn(id, m_store.text(value));
    } else {
        m_store.defineAtom(id, value);
    }
}

void Parser::parseGroupOrHeader(bool inGroup) {
    if (startsWith("@[")) {
        // The file row of the header: nothing an address book keeps.
        const std::size_t close = m_text.find("]@", m_pos + 2);
        m_pos = close == npos || close + 2 > m_end ? m_end : close + 2;
        return;
    }
    if (inGroup || !startsWith("@$${")) {
        ++m_pos;
        return;
    }
    const std::size_t open = m_text.find("{@", m_pos + 4);
    if (open == npos || open >= m_end) {
        m_pos = m_end;
        return;
    }
    const std::size_t contentStart = open + 2;
    const std::size_t close = m_text.find("@$$}", contentStart);
    if (close == npos || close >= m_end) {
        // A transaction that never ended was never committed: nothing of it counts.
        m_pos = m_end;
        return;
    }
    const std::size_t closeEnd = m_text.find("}@", close + 4);
    const std::size_t after = closeEnd == npos || closeEnd + 2 > m_end ? m_end : closeEnd + 2;
    if (m_text.substr(close + 4).starts_with("~~")) {
        m_pos = after;  // aborted
        return;
    }
    m_pos = contentStart;
    parseRange(close, true);
    m_pos = std::max(m_pos, after);
}

void Parser::parseTable() {
    ++m_pos;  // "{"
    skipSpace();
    const bool cutAll = at('-');
    if (cutAll) ++m_pos;
    skipSpace();
    std::uint64_t id = 0;
    if (!readHex(id)) {
        skipPast('}');  // not a table we can name
        return;
    }
    Table& table = m_store.tableFor(scopeColumn(readScope(), kLooseRowScope), id);
    if (cutAll) {
        table.rows.clear();
        table.slotOf.clear();
    }
    bool cutNext = false;
    while (!damaged()) {
        skipSpace();
        if (m_pos >= m_end) return;
        const char c = m_text[m_pos];
        if (c == '}') {
            ++m_pos;
            return;
        }
        if (c == '{') {
            parseMetaTable(table);
        } else if (c == '[') {
            parseRow(&table, cutNext);
            cutNext = false;
        } else if (c == '-') {
            ++m_pos;
            cutNext = true;
        } else if (hexDigit(c) >= 0) {
            parseRowReference(table, cutNext);
            cutNext = false;
        } else {
            ++m_pos;
        }
    }
}

void Parser::parseMetaTable(Table& table) {
    ++m_pos;  // "{"
    while (!damaged()) {
        skipSpace();
        if (m_pos >= m_end) return;
        const char c = m_text[m_pos];
        if (c == '}') {
            ++m_pos;
            return;
        }
        if (c == '[') {
            ++m_pos;
            skipCells();
            continue;
        }
        if (c != '(') {
            ++m_pos;
            continue;
        }
        // The kind names a column: "(k^BF:c)", or in place "(k=ns:addrbk:db:table:kind:pab)".
        CellRead cell;
        if (!readCell(cell) || cell.name != "k") continue;
        table.kind = cell.isReference ? columnOf(cell.reference)
                                      : m_store.columnForName(m_store.text(cell.value));
    }
}

void Parser::skipCells() {
    while (m_pos < m_end) {
        skipSpace();
        if (m_pos >= m_end) return;
        if (at(']')) {
            ++m_pos;
            return;
        }
        if (at('(')) {
            CellRead cell;
            readCell(cell);
        } else {
            ++m_pos;
        }
    }
}

bool Parser::rowStartsHere() const {
    std::size_t i = m_pos + 1;
    while (i < m_end && isSpace(m_text[i])) ++i;
    return i < m_end && (m_text[i] == '-' || hexDigit(m_text[i]) >= 0);
}

void Parser::addToTable(Table& table, std::uint32_t row, bool cut) {
    if (cut) {
        const auto found = table.slotOf.find(row);
        if (found == table.slotOf.end()) return;
        table.rows[found->second] = kNoRow;
        table.slotOf.erase(found);
        return;
    }
    if (table.slotOf.try_emplace(row, table.rows.size()).second) table.rows.push_back(row);
}

void Parser::parseRowReference(Table& table, bool cut) {
    std::uint64_t id = 0;
    readHex(id);
    addToTable(table, m_store.rowFor(scopeColumn(readScope(), table.scope), id), cut);
}

void Parser::parseRow(Table* table, bool cut) {
    const std::size_t start = m_pos;
    ++m_pos;  // "["
    skipSpace();
    const bool cutAll = at('-');
    if (cutAll) ++m_pos;
    skipSpace();
    std::uint64_t id = 0;
    if (!readHex(id)) {
        skipCells();  // a meta-row, or a row without an id: nothing to keep
        return;
    }
    const ColumnId scope = scopeColumn(readScope(), table ? table->scope : kLooseRowScope);
    const std::uint32_t index = m_store.rowFor(scope, id);
    // The new cells go to the end of the pool as one more run of the row: nothing is copied,
    // however often a row is written again.
    const std::size_t first = m_store.m_cells.size();
    if (!readRowCells()) {
        // A row that never ends: what follows cannot be told apart from it.
        m_store.m_cells.resize(first);
        markDamaged(start);
        return;
    }
    m_store.appendRun(index, cutAll, first);
    if (table) addToTable(*table, index, cut);
}

bool Parser::readRowCells() {
    while (true) {
        skipSpace();
        if (m_pos >= m_end || (at('[') && rowStartsHere())) return false;
        const char c = m_text[m_pos];
        if (c == ']') {
            ++m_pos;
            return true;
        }
        if (c == '[') {
            ++m_pos;
            skipCells();
        } else if (c == '(' || c == '-') {
            // A cut cell ("-" before it) takes its column out: it reads as an empty value.
            const bool cutCell = c == '-';
            if (cutCell) {
                ++m_pos;
                skipSpace();
                if (!at('(')) continue;
            }
            CellRead cell;
            if (readCell(cell)) {
                m_store.m_cells.push_back(Cell{cell.column, cutCell ? ValueRef{} : cell.value});
            }
        } else {
            ++m_pos;
        }
    }
}

// ---------------------------------------------------------------------------------------------

Store::Store(std::string_view bytes) : Store(copyOf(bytes), bytes.size()) {}

Store::Store(LargeBytes bytes, std::size_t size)
    : m_bytes(std::move(bytes)), m_text(m_bytes.get(), std::min(size, kMaxSize)) {
    if (size > kMaxSize) m_damagedAt = kMaxSize;
    // Room for the cells, atoms and rows a book of this size usually holds, taken at once:
    // growing the tables step by step copies them over and over. Untouched room costs nothing.
    m_cells.reserve(m_text.size() / 8);
    m_atoms.reserve(m_text.size() / 16 + 0x100);
    m_rows.reserve(m_text.size() / 64);
    m_chunks.reserve(m_text.size() / 64);
    m_rowIndex.reserve(m_text.size() / 256);
    Parser(*this).run();
}

ColumnId Store::columnId(std::string_view name) const {
    const auto found = m_ids.find(name);
    return found == m_ids.end() ? kNoColumn : found->second;
}

std::string_view Store::columnName(ColumnId id) const {
    const auto found = m_names.find(id);
    return found == m_names.end() ? std::string_view() : found->second;
}

std::uint32_t Store::findRow(ColumnId scope, RowId id) const {
    for (const ScopeRows& dense : m_denseRows) {
        if (dense.scope == scope && id < dense.byId.size() && dense.byId[id] != kNoRow) {
            return dense.byId[id];
        }
    }
    const auto found = m_rowIndex.find(RowKey{scope, id});
    return found == m_rowIndex.end() ? kNoRow : found->second;
}

std::uint32_t Store::rowFor(ColumnId scope, RowId id) {
    const auto next = static_cast<std::uint32_t>(m_rows.size());
    auto dense = std::find_if(m_denseRows.begin(), m_denseRows.end(),
                              [&](const ScopeRows& d) { return d.scope == scope; });
    if (dense == m_denseRows.end() && m_denseRows.size() < kDenseScopes) {
        m_denseRows.push_back(ScopeRows{scope, {}});
        dense = m_denseRows.end() - 1;
    }
    // Like atoms, row ids are dense when a writer numbers them; stray large ones are hashed.
    if (dense != m_denseRows.end() && id < 2 * m_rows.size() + 4096) {
        std::vector<std::uint32_t>& byId = dense->byId;
        if (id >= byId.size()) byId.resize(id + 1, kNoRow);
        if (byId[id] == kNoRow) {
            // A row hashed while its id was still out of the vector's reach stays there.
            if (!m_rowIndex.empty()) {
                const auto hashed = m_rowIndex.find(RowKey{scope, id});
                if (hashed != m_rowIndex.end()) return hashed->second;
            }
            byId[id] = next;
            m_rows.push_back(Row{scope, id, kNoChunk, kNoChunk});
        }
        return byId[id];
    }
    const auto [it, added] = m_rowIndex.try_emplace(RowKey{scope, id}, next);
    if (added) m_rows.push_back(Row{scope, id, kNoChunk, kNoChunk});
    return it->second;
}

Table& Store::tableFor(ColumnId scope, RowId id) {
    const auto [it, added] = m_tableIndex.try_emplace(RowKey{scope, id}, m_tables.size());
    if (added) {
        Table table;
        table.scope = scope;
        table.id = id;
        m_tables.push_back(std::move(table));
    }
    return m_tables[it->second];
}

void Store::appendRun(std::uint32_t row, bool clear, std::size_t firstCell) {
    Row& r = m_rows[row];
    if (clear) r.firstChunk = r.lastChunk = kNoChunk;
    if (m_cells.size() == firstCell) return;
    const auto chunk = static_cast<std::uint32_t>(m_chunks.size());
    m_chunks.push_back(Chunk{static_cast<std::uint32_t>(firstCell),
                             static_cast<std::uint32_t>(m_cells.size() - firstCell), kNoChunk});
    if (r.lastChunk == kNoChunk) {
        r.firstChunk = chunk;
    } else {
        m_chunks[r.lastChunk].next = chunk;
    }
    r.lastChunk = chunk;
}

void Store::defineColumn(std::uint64_t fileId, std::string_view name) {
    const ColumnId id = columnOf(fileId);
    if (id != kNoColumn) nameColumn(id, name);
}

void Store::nameColumn(ColumnId id, std::string_view name) {
    m_columnNames.emplace_back(name);
    const std::string_view kept = m_columnNames.back();
    m_names[id] = kept;
    m_ids[kept] = id;
}

ColumnId Store::columnForName(std::string_view name) {
    const auto found = m_ids.find(name);
    if (found != m_ids.end()) return found->second;
    // Names written in place are few in real files; a file made of nothing else runs out.
    if (m_nextOwnColumn >= kNoColumn - 2) return kNoColumn;
    const ColumnId id = m_nextOwnColumn++;
    nameColumn(id, name);
    return id;
}

void Store::defineAtom(std::uint64_t id, ValueRef value) {
    // Writers number atoms upwards from 0x80; ids far beyond what the file could hold are kept
    // aside, so that a stray huge id cannot make the table huge.
    const std::uint64_t denseLimit = 2 * (m_atoms.size() + m_sparseAtoms.size()) + 4096;
    if (id < m_atoms.size()) {
        m_atoms[id] = value;
    } else if (id == m_atoms.size()) {
        m_atoms.push_back(value);
    } else if (id < denseLimit) {
        m_atoms.resize(id + 1, kUndefined);
        m_atoms[id] = value;
    } else {
        m_sparseAtoms[id] = value;
    }
}

bool Store::atom(std::uint64_t id, ValueRef& value) const {
    if (id < m_atoms.size() && m_atoms[id].offset != kUndefined.offset) {
        value = m_atoms[id];
        return true;
    }
    const auto found = m_sparseAtoms.find(id);
    if (found == m_sparseAtoms.end()) return false;
    value = found->second;
    return true;
}

ValueRef Store::keep(std::string_view decoded) {
    const std::size_t offset = m_decoded.size();
    appendAsText(m_decoded, decoded);
    return ValueRef{static_cast<std::uint32_t>(offset),
                    static_cast<std::uint32_t>(m_decoded.size() - offset) | ValueRef::kDecoded};
}

}  // namespace vesk::mork
