// The Mork database as a file holds it once every transaction is applied: the column
// dictionary, the rows with their cells (atoms already resolved) and the tables with their
// member rows. Mork files are logs: a row or table written again later updates the earlier one
// ("[-" and "{-" first clear it), and groups between "@$${id{@" and "@$$}id}@" apply only when
// they end that way ("@$$}~~}@" aborts one), so the file is read front to back in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/large_buffer.h"

namespace vesk::mork {

/// A column (or a scope, or a table kind): the id of a column-dictionary entry, or an id of
/// our own for a name written out in place.
using ColumnId = std::uint32_t;
using RowId = std::uint64_t;

inline constexpr ColumnId kNoColumn = ~ColumnId{0};
/// Ids from here up are our own; a file's column ids this large name no column.
inline constexpr ColumnId kFirstOwnColumn = 0xFFF00000u;
inline constexpr std::uint32_t kNoRow = ~std::uint32_t{0};

/// Where a value's text lies: in the file as it stands, or (decoded) in the store's own
/// buffer. Eight bytes, since a large book holds millions of them.
struct ValueRef {
    static constexpr std::uint32_t kDecoded = 1u << 31;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;  ///< kDecoded set: the text lies in the decoded buffer
};

struct Cell {
    ColumnId column = kNoColumn;
    ValueRef value;
};

inline constexpr std::uint32_t kNoChunk = ~std::uint32_t{0};

struct Row {
    ColumnId scope = kNoColumn;
    RowId id = 0;
    /// Every cell given to the row since it was last cleared, in file order, as a chain of
    /// runs in the store's cell pool (one run each time the row was written); where a column
    /// comes twice, the later cell counts, and a cut column comes as an empty cell.
    std::uint32_t firstChunk = kNoChunk;
    std::uint32_t lastChunk = kNoChunk;
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
    /// Files beyond this size are read up to it (and reported as damaged there).
    static constexpr std::size_t kMaxSize = std::size_t{1} << 30;

    /// Reads a whole Mork file. Bad input never throws: what cannot be read is stepped over,
    /// and a row that never ends stops the reading there (see damagedAt()).
    Store(LargeBytes bytes, std::size_t size);
    /// The same, over a copy of `bytes`.
    explicit Store(std::string_view bytes);
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    /// The id of the column named exactly `name`, or kNoColumn.
    ColumnId columnId(std::string_view name) const;
    /// The name of a column, empty when it has none.
    std::string_view columnName(ColumnId id) const;
    /// Every column of the dictionary, as id and name.
    const std::unordered_map<ColumnId, std::string_view>& columns() const { return m_names; }

    const std::vector<Row>& rows() const { return m_rows; }
    /// Calls `f` with each cell of the row, in order.
    template <class F>
    void forEachCell(const Row& row, F&& f) const {
        for (std::uint32_t c = row.firstChunk; c != kNoChunk; c = m_chunks[c].next) {
            const Chunk& chunk = m_chunks[c];
            for (std::uint32_t i = chunk.firstCell; i < chunk.firstCell + chunk.cellCount; ++i) {
                f(m_cells[i]);
            }
        }
    }
    /// The text of a value (UTF-8).
    std::string_view text(ValueRef v) const {
        const std::string_view buffer = (v.size & ValueRef::kDecoded) ? m_decoded : m_text;
        return buffer.substr(v.offset, v.size & ~ValueRef::kDecoded);
    }
    const std::vector<Table>& tables() const { return m_tables; }
    /// The row with this scope and id, or kNoRow.
    std::uint32_t findRow(ColumnId scope, RowId id) const;

    /// Byte offset where reading stopped on damage, or npos when the whole file was read.
    std::size_t damagedAt() const { return m_damagedAt; }
    std::size_t size() const { return m_text.size(); }

  private:
    friend class Parser;

    struct Chunk {
        std::uint32_t firstCell;
        std::uint32_t cellCount;
        std::uint32_t next;
    };
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
    /// Makes the cells from `firstCell` to the end of the pool the row's latest run (after
    /// clearing the row when `clear`).
    void appendRun(std::uint32_t row, bool clear, std::size_t firstCell);
    Table& tableFor(ColumnId scope, RowId id);
    void defineColumn(std::uint64_t fileId, std::string_view name);
    void nameColumn(ColumnId id, std::string_view name);
    /// The column id for a name written out in place (defined or given one of our own).
    ColumnId columnForName(std::string_view name);
    void defineAtom(std::uint64_t id, ValueRef value);
    /// The value of an atom; false when no dictionary so far defined it.
    bool atom(std::uint64_t id, ValueRef& value) const;
    /// Keeps a decoded value for as long as the store lives.
    ValueRef keep(std::string_view decoded);

    LargeBytes m_bytes;
    std::string_view m_text;
    std::string m_decoded;
    std::deque<std::string> m_columnNames;
    std::unordered_map<ColumnId, std::string_view> m_names;
    std::unordered_map<std::string_view, ColumnId> m_ids;
    ColumnId m_nextOwnColumn = kFirstOwnColumn;
    /// Atoms by id: ids a writer hands out in order go in the vector, stray ones in the map;
    /// kUndefined marks a gap.
    static constexpr ValueRef kUndefined = {~std::uint32_t{0}, ~std::uint32_t{0}};
    std::vector<ValueRef, LargeAllocator<ValueRef>> m_atoms;
    std::unordered_map<std::uint64_t, ValueRef> m_sparseAtoms;
    std::vector<Row> m_rows;
    std::vector<Cell, LargeAllocator<Cell>> m_cells;
    std::vector<Chunk> m_chunks;
    /// Rows by scope and id: the ids of the first few scopes that a writer hands out in order
    /// go in vectors (kNoRow for a gap), all others in the map.
    struct ScopeRows {
        ColumnId scope;
        std::vector<std::uint32_t> byId;
    };
    static constexpr std::size_t kDenseScopes = 8;
    std::vector<ScopeRows> m_denseRows;
    std::unordered_map<RowKey, std::uint32_t, RowKeyHash> m_rowIndex;
    std::vector<Table> m_tables;
    std::unordered_map<RowKey, std::size_t, RowKeyHash> m_tableIndex;
    std::size_t m_damagedAt = std::string::npos;
};

/// Appends a value's bytes (its escapes undone) as UTF-8: valid UTF-8 sequences stay, every
/// other byte is read as Windows-1252 (old 8-bit files); CR LF and lone CR become LF.
void appendAsText(std::string& out, std::string_view bytes);

}  // namespace vesk::mork
