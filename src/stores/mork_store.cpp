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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

/// Bytes that end the plain stretch of a value: its end, escapes, line ends and bytes that may
/// need decoding.
constexpr std::array<bool, 256> kValueStops = [] {
    std::array<bool, 256> stops{};
    for (char c : {')', '\\', '$', '\r', '\0'}) stops[static_cast<unsigned char>(c)] = true;
    for (std::size_t c = 0x80; c < 256; ++c) stops[c] = true;
    return stops;
}();

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::string bytesToText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
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
    return out;
}

// ---------------------------------------------------------------------------------------------

/// One forward pass over the text. Every step consumes at least one byte, so no input can make
/// it loop; nothing recurses deeper than a group holding a table holding a row.
class Parser {
  public:
    explicit Parser(Store& store) : m_store(store), m_text(store.m_text) {}

    void run() { parseRange(m_text.size(), false); }

  private:
    enum class DictScope { Atoms, Columns };

    bool damaged() const { return m_store.m_damagedAt != npos; }
    void markDamaged(std::size_t at) {
        if (!damaged()) m_store.m_damagedAt = at;
    }
    bool at(char c) const { return m_pos < m_end && m_text[m_pos] == c; }
    bool startsWith(std::string_view s) const { return m_text.substr(m_pos).starts_with(s); }

    void parseRange(std::size_t end, bool inGroup);
    void skipSpace();
    bool readHex(std::uint64_t& out);
    /// A value after "=": up to the first ")" without a backslash before it; the ")" is read.
    std::string_view readValue();
    void parseDict();
    void parseGroupOrHeader(bool inGroup);
    void parseTable();
    void parseMetaTable(Table& table);
    /// A row at "[", added to (or with `cut`, taken out of) `table` when there is one.
    void parseRow(Table* table, bool cut);
    /// "[" cells "]" of a meta-row, read and dropped.
    void skipMetaRow();
    /// Cells up to and including the next "]", read and dropped.
    void skipCells();
    /// True when a "[" at the position opens a row of its own (an id follows), not a meta-row.
    bool rowStartsHere() const;
    /// Reads a cell at "(" into column and value; false when it is not one (it is stepped over).
    bool readCell(ColumnId& column, std::string_view& value, std::string_view& name);
    /// ":" and a scope after an id, or `fallback`.
    ColumnId readScope(ColumnId fallback);
    /// A row named by id (and maybe scope) alone, as tables list their members.
    void parseRowReference(Table& table, bool cut);
    void addToTable(Table& table, std::uint32_t row, bool cut);

    Store& m_store;
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

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

std::string_view Parser::readValue() {
    const std::size_t start = m_pos;
    std::size_t i = m_pos;
    while (i < m_end && !kValueStops[static_cast<unsigned char>(m_text[i])]) ++i;
    if (i < m_end && m_text[i] == ')') {
        m_pos = i + 1;
        return i == start ? std::string_view("", 0) : m_text.substr(start, i - start);
    }
    // Escapes, line ends or 8-bit bytes: collect the bytes, then decode them as text.
    std::string bytes(m_text.substr(start, i - start));
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
                bytes.push_back(next);
            }
            continue;
        }
        if (c == '$' && i + 2 < m_end && hexDigit(m_text[i + 1]) >= 0 &&
            hexDigit(m_text[i + 2]) >= 0) {
            bytes.push_back(
                static_cast<char>(hexDigit(m_text[i + 1]) * 16 + hexDigit(m_text[i + 2])));
            i += 3;
            continue;
        }
        if (c != '\0') bytes.push_back(c);
        ++i;
    }
    m_pos = i;
    return m_store.keep(bytesToText(bytes));
}

void Parser::parseDict() {
    ++m_pos;  // "<"
    DictScope scope = DictScope::Atoms;
    skipSpace();
    if (at('<')) {
        // The meta-dictionary: "(a=c)" (or "(atomScope=c)") makes this a column dictionary.
        ++m_pos;
        while (!damaged()) {
            skipSpace();
            if (m_pos >= m_end) return;
            if (at('>')) {
                ++m_pos;
                break;
            }
            if (!at('(')) {
                ++m_pos;
                continue;
            }
            ColumnId column = kNoColumn;
            std::string_view value;
            std::string_view name;
            if (readCell(column, value, name) && (name == "a" || name == "atomScope")) {
                scope = value == "c" ? DictScope::Columns : DictScope::Atoms;
            }
        }
    }
    while (m_pos < m_end) {
        skipSpace();
        if (m_pos >= m_end) return;
        const char c = m_text[m_pos];
        if (c == '>') {
            ++m_pos;
            return;
        }
        if (c != '(') {
            ++m_pos;
            continue;
        }
        ++m_pos;
        skipSpace();
        std::uint64_t id = 0;
        const bool hasId = readHex(id);
        skipSpace();
        if (!hasId || !at('=')) {
            // Not an entry we can read: step over it to its end.
            while (m_pos < m_end && m_text[m_pos] != ')' && m_text[m_pos] != '>') ++m_pos;
            if (at(')')) ++m_pos;
            continue;
        }
        ++m_pos;
        const std::string_view value = readValue();
        if (scope == DictScope::Columns) {
            m_store.defineColumn(id, value);
        } else {
            m_store.defineAtom(id, value);
        }
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

ColumnId Parser::readScope(ColumnId fallback) {
    if (!at(':')) return fallback;
    ++m_pos;
    if (at('^')) {
        ++m_pos;
        std::uint64_t id = 0;
        return readHex(id) ? id : fallback;
    }
    const std::size_t start = m_pos;
    while (m_pos < m_end && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) ||
                             m_text[m_pos] == ':' || m_text[m_pos] == '_')) {
        ++m_pos;
    }
    if (m_pos == start) return fallback;
    return m_store.columnForName(m_text.substr(start, m_pos - start));
}

bool Parser::readCell(ColumnId& column, std::string_view& value, std::string_view& name) {
    ++m_pos;  // "("
    column = kNoColumn;
    name = {};
    if (at('^')) {
        ++m_pos;
        std::uint64_t id = 0;
        if (readHex(id)) column = id;
        readScope(kNoColumn);
    } else {
        const std::size_t start = m_pos;
        while (m_pos < m_end && m_text[m_pos] != '=' && m_text[m_pos] != '^' &&
               m_text[m_pos] != ')' && !isSpace(m_text[m_pos])) {
            ++m_pos;
        }
        name = m_text.substr(start, m_pos - start);
        if (!name.empty()) column = m_store.columnForName(name);
    }
    skipSpace();
    if (at('=')) {
        ++m_pos;
        value = readValue();
        return column != kNoColumn;
    }
    if (at('^')) {
        ++m_pos;
        std::uint64_t id = 0;
        const bool hasId = readHex(id);
        const ColumnId scope = readScope(kNoColumn);
        skipSpace();
        if (at(')')) ++m_pos;
        if (!hasId || column == kNoColumn) return false;
        // A reference in the column scope (a table's kind) names a column, any other an atom.
        value = scope == m_store.columnForName("c") ? m_store.columnName(id) : m_store.atom(id);
        // An atom no dictionary defined reads as an empty value.
        if (value.data() == nullptr) value = std::string_view("", 0);
        return true;
    }
    while (m_pos < m_end && m_text[m_pos] != ')') ++m_pos;
    if (at(')')) ++m_pos;
    return false;
}

void Parser::parseTable() {
    ++m_pos;  // "{"
    skipSpace();
    const bool cutAll = at('-');
    if (cutAll) ++m_pos;
    skipSpace();
    std::uint64_t id = 0;
    if (!readHex(id)) {
        // Not a table we can name: step over it.
        const std::size_t close = m_text.find('}', m_pos);
        m_pos = close == npos || close >= m_end ? m_end : close + 1;
        return;
    }
    const ColumnId scope = readScope(kLooseRowScope);
    Table& table = m_store.tableFor(scope, id);
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
            skipMetaRow();
            continue;
        }
        if (c != '(') {
            ++m_pos;
            continue;
        }
        ColumnId column = kNoColumn;
        std::string_view value;
        std::string_view name;
        if (readCell(column, value, name) && name == "k" && !value.empty()) {
            table.kind = m_store.columnForName(value);
        }
    }
}

void Parser::skipMetaRow() {
    ++m_pos;  // "["
    skipCells();
}

bool Parser::rowStartsHere() const {
    std::size_t i = m_pos + 1;
    while (i < m_end && isSpace(m_text[i])) ++i;
    return i < m_end && (m_text[i] == '-' || hexDigit(m_text[i]) >= 0);
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
            ColumnId column = kNoColumn;
            std::string_view value;
            std::string_view name;
            readCell(column, value, name);
        } else {
            ++m_pos;
        }
    }
}

void Parser::addToTable(Table& table, std::uint32_t row, bool cut) {
    const auto found = table.slotOf.find(row);
    if (cut) {
        if (found == table.slotOf.end()) return;
        table.rows[found->second] = kNoRow;
        table.slotOf.erase(found);
        return;
    }
    if (found != table.slotOf.end()) return;
    table.slotOf.emplace(row, table.rows.size());
    table.rows.push_back(row);
}

void Parser::parseRowReference(Table& table, bool cut) {
    std::uint64_t id = 0;
    readHex(id);
    const ColumnId scope = readScope(table.scope);
    addToTable(table, m_store.rowFor(scope, id), cut);
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
    const ColumnId scope = readScope(table ? table->scope : kLooseRowScope);
    const std::uint32_t index = m_store.rowFor(scope, id);
    Row& row = m_store.m_rows[index];
    if (cutAll) row.cells.clear();
    const std::size_t before = row.cells.size();
    // A cut cell ("-" before it) takes out what its column held up to there: the column and
    // how many cells the row had then.
    std::unordered_map<ColumnId, std::size_t> cuts;
    while (true) {
        skipSpace();
        if (m_pos >= m_end || (at('[') && rowStartsHere())) {
            // A row that never ends: what follows cannot be told apart from it.
            row.cells.resize(before);
            markDamaged(start);
            return;
        }
        const char c = m_text[m_pos];
        if (c == ']') {
            ++m_pos;
            break;
        }
        if (c == '[') {
            skipMetaRow();
        } else if (c == '(') {
            Cell cell;
            std::string_view name;
            if (readCell(cell.column, cell.value, name)) row.cells.push_back(cell);
        } else if (c == '-') {
            ++m_pos;
            skipSpace();
            Cell cell;
            std::string_view name;
            if (at('(') && readCell(cell.column, cell.value, name)) {
                cuts[cell.column] = row.cells.size();
            }
        } else {
            ++m_pos;
        }
    }
    if (!cuts.empty()) {
        std::size_t i = 0;
        std::erase_if(row.cells, [&](const Cell& cell) {
            const std::size_t place = i++;
            const auto found = cuts.find(cell.column);
            return found != cuts.end() && place < found->second;
        });
    }
    if (table) addToTable(*table, index, cut);
}

// ---------------------------------------------------------------------------------------------

Store::Store(std::string bytes) : m_text(std::move(bytes)) {
    m_rows.reserve(m_text.size() / 512);
    m_rowIndex.reserve(m_text.size() / 512);
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
    const auto found = m_rowIndex.find(RowKey{scope, id});
    return found == m_rowIndex.end() ? kNoRow : found->second;
}

std::uint32_t Store::rowFor(ColumnId scope, RowId id) {
    const auto [it, added] =
        m_rowIndex.try_emplace(RowKey{scope, id}, static_cast<std::uint32_t>(m_rows.size()));
    if (added) {
        Row row;
        row.scope = scope;
        row.id = id;
        m_rows.push_back(std::move(row));
    }
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

void Store::defineColumn(ColumnId id, std::string_view name) {
    m_names[id] = name;
    m_ids[name] = id;
}

ColumnId Store::columnForName(std::string_view name) {
    const auto found = m_ids.find(name);
    if (found != m_ids.end()) return found->second;
    const std::string_view kept = keep(std::string(name));
    const ColumnId id = m_nextOwnColumn++;
    m_names[id] = kept;
    m_ids[kept] = id;
    return id;
}

void Store::defineAtom(std::uint64_t id, std::string_view value) {
    // Writers number atoms upwards from 0x80; ids far beyond what the file could hold are kept
    // aside, so that a stray huge id cannot make the table huge.
    const std::uint64_t denseLimit = 2 * (m_atoms.size() + m_sparseAtoms.size()) + 4096;
    if (id < m_atoms.size()) {
        m_atoms[id] = value;
    } else if (id < denseLimit) {
        m_atoms.resize(std::max<std::size_t>(id + 1, m_atoms.size() * 3 / 2));
        m_atoms[id] = value;
    } else {
        m_sparseAtoms[id] = value;
    }
}

std::string_view Store::atom(std::uint64_t id) const {
    if (id < m_atoms.size() && m_atoms[id].data() != nullptr) return m_atoms[id];
    const auto found = m_sparseAtoms.find(id);
    return found == m_sparseAtoms.end() ? std::string_view() : found->second;
}

std::string_view Store::keep(std::string value) {
    if (value.empty()) return std::string_view("", 0);
    m_decoded.push_back(std::move(value));
    return m_decoded.back();
}

}  // namespace vesk::mork
