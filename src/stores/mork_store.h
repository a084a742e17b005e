// The Mork database as a file holds it once every transaction is applied: the column
// dictionary, the rows with their cells (atoms already resolved) and the tables with their
// member rows. Mork files are logs: a row or table written again later updates the earlier one
// ("[-" and "{-" first clear it), and groups between "@$${id{@" and "@$$}id}@" apply only when
// they end that way ("@$$}~~}@" aborts one), so the file is read front to back in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vesk::mork {

/// A column (or a scope, or a table kind): the id of a column-dictionary entry, or an id of
/// our own for a name written out in place.
using ColumnId = std::uint64_t;
using RowId = std::uint64_t;

inline constexpr ColumnId kNoColumn = ~ColumnId{0};
inline constexpr std::uint32_t kNoRow = ~std::uint32_t{0};

struct Cell {
    ColumnId column = kNoColumn;
    std::string_view value;  ///< UTF-8, owned by the store
};

struct Row {
    ColumnId scope = kNoColumn;
    RowId id = 0;
    /// Every cell given to the row since it was last cleared, in file order: where a column
    /// comes twice, the later cell is the row's value.
    std::vector<Cell> cells;
};

struct Table {
    ColumnId scope = kNoColumn;
    RowId id = 0;
    ColumnId kind = kNoColumn;
    /// Member rows in the order they were added; kNoRow where a member was cut since.
    std::vector<std::uint32_t> rows;
    std::unordered_map<std::uint32_t, std::size_t> slotOf;
};

class Store {
  public:
    /// Reads a whole Mork file. Bad input never throws: what cannot be read is stepped over,
    /// and a row that never ends stops the reading there (see damagedAt()).
    explicit Store(std::string bytes);
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    /// The id of the column named exactly `name`, or kNoColumn.
    ColumnId columnId(std::string_view name) const;
    /// The name of a column, empty when it has none.
    std::string_view columnName(ColumnId id) const;
    /// Every column of the dictionary, as id and name.
    const std::unordered_map<ColumnId, std::string_view>& columns() const { return m_names; }

    const std::vector<Row>& rows() const { return m_rows; }
    const std::vector<Table>& tables() const { return m_tables; }
    /// The row with this scope and id, or kNoRow.
    std::uint32_t findRow(ColumnId scope, RowId id) const;

    /// Byte offset where reading stopped on damage, or npos when the whole file was read.
    std::size_t damagedAt() const { return m_damagedAt; }
    std::size_t size() const { return m_text.size(); }

  private:
    friend class Parser;

    struct RowKey {
        ColumnId scope;
        RowId id;
        bool operator==(const RowKey&) const = default;
    };
    struct RowKeyHash {
        std::size_t operator()(const RowKey& k) const {
            return std::hash<std::uint64_t>()(k.id * 0x9E3779B97F4A7C15ULL ^ k.scope);
        }
    };

    std::uint32_t rowFor(ColumnId scope, RowId id);
    Table& tableFor(ColumnId scope, RowId id);
    void defineColumn(ColumnId id, std::string_view name);
    /// The column id for a name written out in place (defined or given one of our own).
    ColumnId columnForName(std::string_view name);
    void defineAtom(std::uint64_t id, std::string_view value);
    /// The value of an atom, or an empty view with a null pointer when it is not defined.
    std::string_view atom(std::uint64_t id) const;
    /// Keeps a decoded value for as long as the store lives.
    std::string_view keep(std::string value);

    std::string m_text;
    std::deque<std::string> m_decoded;
    std::unordered_map<ColumnId, std::string_view> m_names;
    std::unordered_map<std::string_view, ColumnId> m_ids;
    ColumnId m_nextOwnColumn = ColumnId{1} << 62;
    /// Atoms by id: ids a writer hands out in order go in the vector, stray ones in the map.
    std::vector<std::string_view> m_atoms;
    std::unordered_map<std::uint64_t, std::string_view> m_sparseAtoms;
    std::vector<Row> m_rows;
    std::unordered_map<RowKey, std::uint32_t, RowKeyHash> m_rowIndex;
    std::vector<Table> m_tables;
    std::unordered_map<RowKey, std::size_t, RowKeyHash> m_tableIndex;
    std::size_t m_damagedAt = std::string::npos;
};

/// A value's bytes after its escapes are undone, as UTF-8: valid UTF-8 sequences stay, every
/// other byte is read as Windows-1252 (old 8-bit files); CR LF and lone CR become LF.
std::string bytesToText(std::string_view bytes);

}  // namespace vesk::mork
