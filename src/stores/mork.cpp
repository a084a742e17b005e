#include "stores/mork.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <utility>

#include "parsing/mozilla_columns.h"
#include "platform/file_io.h"

namespace vesk {

namespace {

using mork::ColumnId;
using mork::kNoColumn;

struct FieldColumn {
    Field field;
    std::string_view name;
    int writtenAs;  ///< the column id the writer's dictionary gives that name
};

// WebPage1 is the work page and WebPage2 the home page in the Mozilla programs.
constexpr std::array<FieldColumn, 26> kFieldColumns = {{
    {Field::FullName, "DisplayName", 0x85},
    {Field::Email, "PrimaryEmail", 0x87},
    {Field::Nickname, "NickName", 0x86},
    {Field::HomePhone, "HomePhone", 0x8C},
    {Field::BusinessPhone, "WorkPhone", 0x8B},
    {Field::Organization, "Company", 0x9E},
    {Field::HomeStreet, "HomeAddress", 0x90},
    {Field::HomeCity, "HomeCity", 0x92},
    {Field::HomePostalCode, "HomeZipCode", 0x94},
    {Field::HomeState, "HomeState", 0x93},
    {Field::HomeCountry, "HomeCountry", 0x95},
    {Field::HomeFax, "FaxNumber", 0x8D},
    {Field::CellularPhone, "CellularNumber", 0x8F},
    {Field::HomeWebPage, "WebPage2", 0xA0},
    {Field::BusinessStreet, "WorkAddress", 0x96},
    {Field::BusinessCity, "WorkCity", 0x98},
    {Field::BusinessPostalCode, "WorkZipCode", 0x9A},
    {Field::BusinessState, "WorkState", 0x99},
    {Field::BusinessCountry, "WorkCountry", 0x9B},
    {Field::BusinessWebPage, "WebPage1", 0x9F},
    {Field::Pager, "PagerNumber", 0x8E},
    {Field::JobTitle, "JobTitle", 0x9C},
    {Field::Department, "Department", 0x9D},
    {Field::Notes, "Notes", 0xA8},
    {Field::FirstName, "FirstName", 0x83},
    {Field::LastName, "LastName", 0x84},
}};

/// Fields 0 to 30 in order, each with the column the writer puts it in (0: not written).
constexpr std::array<int, 31> kWrittenColumns = [] {
    std::array<int, 31> columns{};
    for (const FieldColumn& c : kFieldColumns)
        columns[static_cast<std::size_t>(c.field)] = c.writtenAs;
    return columns;
}();

/// "(^" column "^" of each written field, "" for the others.
const std::array<std::string, 31>& cellPrefixes() {
    static const std::array<std::string, 31> prefixes = [] {
        std::array<std::string, 31> out;
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (kWrittenColumns[i] == 0) continue;
            char text[16];
            std::snprintf(text, sizeof text, "(^%X^", static_cast<unsigned>(kWrittenColumns[i]));
            out[i] = text;
        }
        return out;
    }();
    return prefixes;
}

// The names are Mozilla's card property names, which Thunderbird's SQLite books share.
constexpr bool sameNames() {
    for (std::size_t i = 0; i < kFieldColumns.size(); ++i) {
        if (kFieldColumns[i].field != kMozillaCardColumns[i].first ||
            kFieldColumns[i].name != kMozillaCardColumns[i].second)
            return false;
    }
    return kFieldColumns.size() == kMozillaCardColumns.size();
}
static_assert(sameNames());

FieldMask morkFields() {
    FieldMask mask;
    for (const FieldColumn& c : kFieldColumns) mask.set(static_cast<std::size_t>(c.field));
    return mask;
}

/// SecondEmail and the birthday both ways; the anniversary only when read.
ExtraMask morkExtras(bool reading) {
    ExtraMask mask;
    mask.set(static_cast<std::size_t>(ExtraKind::Email));
    mask.set(static_cast<std::size_t>(ExtraKind::Birthday));
    if (reading) mask.set(static_cast<std::size_t>(ExtraKind::Anniversary));
    return mask;
}

constexpr std::string_view kCardScope = "ns:addrbk:db:row:scope:card:all";
constexpr std::string_view kListScope = "ns:addrbk:db:row:scope:list:all";
constexpr std::string_view kDeletedTable = "ns:addrbk:db:table:kind:deleted";
/// Column ids below this are looked up in a vector.
constexpr std::size_t kSmallColumns = 4096;
/// Highest n read from a column "Address" n.
constexpr std::size_t kMaxMembers = 1000000;

void appendHex(std::string& out, std::uint64_t n) {
    char digits[16];
    char* const end = digits + sizeof digits;
    char* first = end;
    do {
        *--first = "0123456789ABCDEF"[n & 0xF];
        n >>= 4;
    } while (n != 0);
    out.append(first, end);
}

std::string hex(std::uint64_t n) {
    std::string out;
    appendHex(out, n);
    return out;
}

/// The value of a hexadecimal key, false when the key is not one.
bool parseHex(std::string_view text, std::uint64_t& out) {
    out = 0;
    if (text.empty() || text.size() > 16) return false;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (d < 0) return false;
        out = (out << 4) | static_cast<std::uint64_t>(d);
    }
    return true;
}

/// The leading hexadecimal digits of a count, 0 when there are none (saturating).
std::uint64_t leadingHex(std::string_view text) {
    std::uint64_t n = 0;
    for (char c : text) {
        std::uint64_t d = 0;
        if (c >= '0' && c <= '9') {
            d = static_cast<std::uint64_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<std::uint64_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<std::uint64_t>(c - 'a' + 10);
        } else {
            break;
        }
        n = n > (~std::uint64_t{0} >> 4) ? ~std::uint64_t{0} : (n << 4) | d;
    }
    return n;
}

/// n of a column named "Address" n (n from 1), or 0.
std::size_t memberNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "Address";
    if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) return 0;
    std::size_t n = 0;
    for (char c : name.substr(kPrefix.size())) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<std::size_t>(c - '0');
        if (n > kMaxMembers) return 0;
    }
    return n;
}

/// The bytes of a file, or nullptr when it cannot be read.
LargeBytes readAll(const std::string& fileName, std::size_t& size) {
    size = 0;
    if (!isReadableFile(fileName)) return nullptr;
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) return nullptr;
    const std::streamoff length = std::max<std::streamoff>(in.tellg(), 0);
    // Not zeroed first: the read fills it, and a large book is read at memory speed.
    LargeBytes bytes = allocateLargeBytes(static_cast<std::size_t>(length));
    in.seekg(0);
    in.read(bytes.get(), length);
    size = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

namespace iterators {

/// A mailing list as read: its name and copies of the member cards, handed out in order.
class IterMAB::MemberList : public IterBase {
  public:
    MemberList(std::string name, std::vector<Entry> members)
        : m_name(std::move(name)), m_members(std::move(members)) {}

    bool rewind() override {
        m_pos = 0;
        return true;
    }
    Entry nextEntry() override { return m_pos < m_members.size() ? m_members[m_pos++] : Entry(); }
    bool atEnd() override { return m_pos >= m_members.size(); }
    std::string name() override { return m_name; }
    float progress() override {
        return m_members.empty() ? 1.0f
                                 : static_cast<float>(m_pos) / static_cast<float>(m_members.size());
    }

  private:
    std::string m_name;
    std::vector<Entry> m_members;
    std::size_t m_pos = 0;
};

IterMAB::IterMAB(RunContext& run, std::string fileName)
    : m_run(run), m_fileName(std::move(fileName)), m_mask(morkFields()) {
    m_run.trace(0, "Abut to open the file " + m_fileName, "Debug");
    std::size_t size = 0;
    LargeBytes bytes = readAll(m_fileName, size);
    if (!bytes) {
        m_run.report(Severity::Error, "file cannot be opened!", m_fileName, Where{m_fileName});
    } else {
        m_run.trace(0, "Reading the file into memory", "Debug");
        m_run.trace(0, "Closing the file", "Debug");
    }
    load(std::move(bytes), size);
}

IterMAB::IterMAB(RunContext& run, std::string fileName, LargeBytes bytes, std::size_t size)
    : m_run(run), m_fileName(std::move(fileName)), m_mask(morkFields()) {
    load(std::move(bytes), size);
}

void IterMAB::load(LargeBytes bytes, std::size_t size) {
    m_run.trace(0, "Interpreting data, phase 1", "Debug");
    m_store = bytes ? std::make_unique<mork::Store>(std::move(bytes), size)
                    : std::make_unique<mork::Store>(std::string_view());
    if (m_store->damagedAt() != std::string::npos) {
        m_run.note(Severity::Warning,
                   "a row of the address book never ends; the rows after it are not read",
                   Where{m_fileName, 0, static_cast<std::int64_t>(m_store->damagedAt())});
    }
    lookUpColumns();
    collectItems();
    rewind();
}

IterMAB::~IterMAB() = default;

void IterMAB::lookUpColumns() {
    m_cardScope = m_store->columnId(kCardScope);
    m_listScope = m_store->columnId(kListScope);
    m_listName = m_store->columnId("ListName");
    m_listCount = m_store->columnId("ListTotalAddresses");
    m_secondEmail = m_store->columnId("SecondEmail");
    const char* dates[] = {"BirthYear",       "BirthMonth",       "BirthDay",
                           "AnniversaryYear", "AnniversaryMonth", "AnniversaryDay"};
    for (std::size_t k = 0; k < m_dateColumns.size(); ++k) {
        m_dateColumns[k] = m_store->columnId(dates[k]);
    }
    m_fieldByColumn.assign(kSmallColumns, -1);
    for (const auto& column : m_store->columns()) {
        const ColumnId id = column.first;
        const std::string_view name = column.second;
        const auto* found = std::find_if(kFieldColumns.begin(), kFieldColumns.end(),
                                         [&](const FieldColumn& c) { return c.name == name; });
        if (found != kFieldColumns.end()) {
            const auto field = static_cast<std::int8_t>(found->field);
            if (id < kSmallColumns) {
                m_fieldByColumn[id] = field;
            } else {
                m_fieldByBigColumn[id] = field;
            }
        }
        if (const std::size_t n = memberNumber(name)) m_memberColumn[id] = n;
    }
}

int IterMAB::fieldOf(ColumnId column) const {
    if (column < m_fieldByColumn.size()) return m_fieldByColumn[column];
    const auto found = m_fieldByBigColumn.find(column);
    return found == m_fieldByBigColumn.end() ? -1 : found->second;
}

void IterMAB::collectItems() {
    const std::vector<mork::Row>& rows = m_store->rows();
    const ColumnId deleted = m_store->columnId(kDeletedTable);
    const auto isDeleted = [&](const mork::Table& t) {
        return deleted != kNoColumn && t.kind == deleted;
    };
    m_live.assign(rows.size(), false);
    for (const mork::Table& table : m_store->tables()) {
        if (isDeleted(table)) continue;
        for (std::uint32_t r : table.rows) {
            if (r != mork::kNoRow) m_live[r] = true;
        }
    }
    // Every row of every table once, in table order: the deleted cards too, as empty entries.
    std::vector<bool> listed(rows.size(), false);
    for (const mork::Table& table : m_store->tables()) {
        for (std::uint32_t r : table.rows) {
            if (r == mork::kNoRow || listed[r]) continue;
            listed[r] = true;
            RowKind kind = RowKind::Other;
            if (m_live[r] && m_cardScope != kNoColumn && rows[r].scope == m_cardScope) {
                kind = RowKind::Card;
            } else if (m_live[r] && m_listScope != kNoColumn && rows[r].scope == m_listScope) {
                kind = RowKind::List;
                m_lists.push_back(listOf(rows[r]));
            }
            m_items.push_back(Item{r, kind});
        }
    }
}

Entry IterMAB::cardOf(const mork::Row& row) const {
    Entry e;
    e.mask = m_mask;
    e.sourceId = hex(row.id);
    std::array<std::string, 6> dates;
    m_store->forEachCell(row, [&](const mork::Cell& cell) {
        const int f = fieldOf(cell.column);
        if (f >= 0) {
            e.at(f) = m_store->text(cell.value);
            return;
        }
        if (cell.column == kNoColumn) return;
        if (cell.column == m_secondEmail) {
            e.addExtra(ExtraKind::Email, std::string(m_store->text(cell.value)));
        }
        for (std::size_t k = 0; k < dates.size(); ++k) {
            if (cell.column == m_dateColumns[k]) dates[k].assign(m_store->text(cell.value));
        }
    });
    e.addExtra(ExtraKind::Birthday, dateFromParts(dates[0], dates[1], dates[2]));
    e.addExtra(ExtraKind::Anniversary, dateFromParts(dates[3], dates[4], dates[5]));
    if (e[Field::FullName].empty()) {
        e[Field::FullName] = !e[Field::Nickname].empty() ? e[Field::Nickname] : e[Field::Email];
    }
    return e;
}

Entry IterMAB::memberFor(std::string_view key, bool& found) const {
    std::uint64_t id = 0;
    found = false;
    if (m_cardScope != kNoColumn && parseHex(key, id)) {
        const std::uint32_t r = m_store->findRow(m_cardScope, id);
        if (r != mork::kNoRow && m_live[r]) {
            found = true;
            return cardOf(m_store->rows()[r]);
        }
    }
    Entry none;
    none.mask = m_mask;
    return none;
}

IterMAB::PendingList IterMAB::listOf(const mork::Row& row) const {
    PendingList list;
    std::string_view count;
    // Members by number; a later cell of the same column replaces an earlier one.
    std::vector<std::pair<std::size_t, std::string_view>> keys;
    m_store->forEachCell(row, [&](const mork::Cell& cell) {
        if (cell.column == m_listName) list.name.assign(m_store->text(cell.value));
        if (cell.column == m_listCount) count = m_store->text(cell.value);
        const auto n = m_memberColumn.find(cell.column);
        if (n != m_memberColumn.end()) keys.emplace_back(n->second, m_store->text(cell.value));
    });
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::uint64_t total = leadingHex(count);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].first > total) break;
        if (i + 1 < keys.size() && keys[i + 1].first == keys[i].first) continue;
        bool found = false;
        list.members.push_back(memberFor(keys[i].second, found));
        if (!found) {
            m_run.note(Severity::Warning,
                       "a member of the list \"" + list.name + "\" names no card (\"" +
                           std::string(keys[i].second) + "\"); it is left empty",
                       Where{m_fileName, 0, -1, list.name});
        }
    }
    return list;
}

bool IterMAB::rewind() {
    m_pos = 0;
    m_listPos = 0;
    m_current.reset();
    return true;
}

bool IterMAB::atEnd() {
    return m_pos >= m_items.size();
}

Entry IterMAB::nextEntry() {
    m_run.trace(0, "Interpreting an entry", "Debug");
    if (m_pos >= m_items.size()) {
        Entry none;
        none.mask = m_mask;
        return none;
    }
    const Item item = m_items[m_pos++];
    const mork::Row& row = m_store->rows()[item.row];
    if (item.kind == RowKind::Card) {
        Entry e = cardOf(row);
        if (m_run.traceSink()) {
            m_run.trace(0, "Entry for " + e[Field::FullName] + " created successfully", "Debug");
        }
        return e;
    }
    if (item.kind == RowKind::List && m_run.traceSink()) {
        m_store->forEachCell(row, [&](const mork::Cell& cell) {
            if (cell.column == m_listName) m_run.trace(0, m_store->text(cell.value), "Debug");
        });
    }
    Entry none;
    none.mask = m_mask;
    return none;
}

bool IterMAB::listsDone() {
    if (m_listPos < m_lists.size()) return false;
    m_current.reset();
    return true;
}

IterBase* IterMAB::nextList() {
    if (m_listPos >= m_lists.size()) return nullptr;
    const PendingList& list = m_lists[m_listPos++];
    m_current = std::make_unique<MemberList>(list.name, list.members);
    return m_current.get();
}

float IterMAB::progress() {
    if (m_items.empty()) return 1.0f;
    return static_cast<float>(m_pos) / static_cast<float>(m_items.size());
}

}  // namespace iterators

// ---------------------------------------------------------------------------------------------

namespace mork {

namespace {

/// Bytes a value cannot hold as they are.
constexpr std::array<bool, 256> kNeedsEscape = [] {
    std::array<bool, 256> needs{};
    for (char c : {')', '\\', '$', '\n', '\r'}) needs[static_cast<unsigned char>(c)] = true;
    for (std::size_t c = 0x80; c < 256; ++c) needs[c] = true;
    return needs;
}();

}  // namespace

void appendEscaped(std::string& out, std::string_view value) {
    std::size_t plain = 0;
    while (plain < value.size() && !kNeedsEscape[static_cast<unsigned char>(value[plain])]) ++plain;
    out.append(value.substr(0, plain));
    for (char ch : value.substr(plain)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ')' || c == '\\' || c == '$') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c >= 0x80 || c == '\n' || c == '\r') {
            out.push_back('$');
            out.push_back("0123456789ABCDEF"[c >> 4]);
            out.push_back("0123456789ABCDEF"[c & 0xF]);
        } else {
            out.push_back(ch);
        }
    }
}

}  // namespace mork

namespace {

constexpr std::string_view kHeader =
    "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n"
    "< <(a=c)> // (f=iso-8859-1)\n"
    "  (80=ns:addrbk:db:row:scope:card:all)\n"
    "  (81=ns:addrbk:db:row:scope:list:all)\n"
    "  (82=ns:addrbk:db:row:scope:data:all)(83=FirstName)(84=LastName)\n"
    "  (85=DisplayName)(86=NickName)(87=PrimaryEmail)\n"
    "  (88=LowercasePrimaryEmail)(89=SecondEmail)(8A=PreferMailFormat)\n"
    "  (8B=WorkPhone)(8C=HomePhone)(8D=FaxNumber)(8E=PagerNumber)\n"
    "  (8F=CellularNumber)(90=HomeAddress)(91=HomeAddress2)(92=HomeCity)\n"
    "  (93=HomeState)(94=HomeZipCode)(95=HomeCountry)(96=WorkAddress)\n"
    "  (97=WorkAddress2)(98=WorkCity)(99=WorkState)(9A=WorkZipCode)\n"
    "  (9B=WorkCountry)(9C=JobTitle)(9D=Department)(9E=Company)(9F=WebPage1)\n"
    "  (A0=WebPage2)(A1=BirthYear)(A2=BirthMonth)(A3=BirthDay)(A4=Custom1)\n"
    "  (A5=Custom2)(A6=Custom3)(A7=Custom4)(A8=Notes)(A9=LastModifiedDate)\n"
    "  (AA=RecordKey)(AB=AddrCharSet)(AC=LastRecordKey)\n"
    "  (AD=ns:addrbk:db:table:kind:pab)(AE=ns:addrbk:db:table:kind:anonymous)\n"
    "  (AF=ListName)(B0=ListNickName)(B1=ListDescription)\n"
    "  (B2=ListTotalAddresses)(B3=LowercaseListName)(B4=Address1)(B5=Address2)\n"
    "  (B6=Address3)(B7=Address4)";

/// The column of member n (from 1): Address1 is B4.
constexpr std::int64_t kFirstMemberColumn = 0xB3;

/// Every field of an entry, as one key.
std::string fieldsKey(const Entry& e) {
    std::string key;
    for (int i = 0; i < kFieldCount; ++i) {
        key.append(e.value(i));
        key.push_back('\0');
    }
    return key;
}

/// Full Name with A-Z folded, as the book's ordering compares names.
std::string foldedName(const Entry& e) {
    std::string name = e[Field::FullName];
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

std::uint64_t unsignedOf(std::int64_t n) {
    return static_cast<std::uint64_t>(n);
}

}  // namespace

ToMAB::ToMAB(RunContext& run, std::string fileName)
    : ToFile(run, std::move(fileName)), m_header(kHeader) {
    wantsLists = true;
    takesViews = true;
}

void ToMAB::keepPieces() {
    constexpr std::size_t kPiece = std::size_t{8} << 20;
    for (auto [text, pieces] : {std::pair{&m_atoms, &m_atomPieces}, {&m_rows, &m_rowPieces}}) {
        if (text->size() < kPiece) continue;
        pieces->push_back(std::move(*text));
        *text = std::string();
        text->reserve(kPiece + kPiece / 8);
        adviseLargeBuffer(text->data(), text->capacity());
    }
}

bool ToMAB::writeView(const Entry& e) {
    if (e.kind == KindListBegin) {
        // A list never holds a list; one left open is closed first.
        if (m_inList) endList();
        beginList(e);
    } else if (m_inList) {
        if (e.kind == KindListEnd) {
            endList();
        } else if (!e.isMarker()) {
            writeMember(e);
        }
    } else if (!e.isMarker()) {
        // Folder markers and a list end without its list are no contacts.
        writeCard(e);
    }
    keepPieces();
    return true;
}

void ToMAB::appendAtom(std::int64_t id, std::string_view value) {
    m_atoms.push_back('(');
    appendHex(m_atoms, unsignedOf(id));
    m_atoms.push_back('=');
    mork::appendEscaped(m_atoms, value);
    m_atoms.push_back(')');
}

void ToMAB::writeCard(const Entry& e) {
    const std::string row = hex(unsignedOf(m_nextCardRow));
    m_rows.append("  [").append(row);
    appendAtom(m_nextAtom, hex(unsignedOf(m_nextCardRow - 1)));  // no cell refers to it
    ++m_nextAtom;
    const std::array<std::string, 31>& prefixes = cellPrefixes();
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        // Fields without a column still use up their atom id: field i's atom is base + 1 + i.
        if (!prefixes[i].empty()) {
            appendAtom(m_nextAtom, e.value(static_cast<int>(i)));
            m_rows.append(prefixes[i]);
            appendHex(m_rows, unsignedOf(m_nextAtom));
            m_rows.push_back(')');
        }
        ++m_nextAtom;
    }
    writeExtraCells(e);
    m_rows.append("]\n");
    m_cardByFields.try_emplace(fieldsKey(e), row);
    if (!e[Field::FullName].empty()) m_cardByName.try_emplace(foldedName(e), row);
    ++m_nextCardRow;
}

void ToMAB::appendCell(int column, std::string_view value) {
    appendAtom(m_nextAtom, value);
    m_rows.append("(^");
    appendHex(m_rows, static_cast<std::uint64_t>(column));
    m_rows.push_back('^');
    appendHex(m_rows, unsignedOf(m_nextAtom));
    m_rows.push_back(')');
    ++m_nextAtom;
}

void ToMAB::writeExtraCells(const Entry& e) {
    // Columns of the header's dictionary: 89 SecondEmail, A1-A3 BirthYear, -Month, -Day.
    const std::string& second = e.extra(ExtraKind::Email);
    if (!second.empty()) appendCell(0x89, second);
    int year = 0;
    int month = 0;
    int day = 0;
    if (!parseExtraDate(e.extra(ExtraKind::Birthday), year, month, day)) return;
    if (year > 0) appendCell(0xA1, std::to_string(year));
    appendCell(0xA2, std::to_string(month));
    appendCell(0xA3, std::to_string(day));
}

void ToMAB::beginList(const Entry& e) {
    m_rows.append("  [");
    appendHex(m_rows, unsignedOf(m_nextListRow));
    m_rows.append(":^81");
    ++m_nextAtom;
    appendAtom(m_nextAtom, e[Field::FullName]);
    m_rows.append("(^AF^");
    appendHex(m_rows, unsignedOf(m_nextAtom));
    m_rows.push_back(')');
    ++m_nextAtom;
    m_inList = true;
    m_memberCount = 0;
    m_listName = e[Field::FullName];
}

std::string ToMAB::cardIdFor(const Entry& e) {
    // Members come as copies of the cards written, so all fields agree; the name alone only
    // decides for a member that was changed on the way.
    if (const auto exact = m_cardByFields.find(fieldsKey(e)); exact != m_cardByFields.end()) {
        return exact->second;
    }
    if (!e[Field::FullName].empty()) {
        if (const auto named = m_cardByName.find(foldedName(e)); named != m_cardByName.end()) {
            return named->second;
        }
    }
    const std::string& who = !e[Field::FullName].empty() ? e[Field::FullName] : e[Field::Email];
    run().note(Severity::Warning,
               "the member \"" + who + "\" of the list \"" + m_listName +
                   "\" matches no card written; the list names no card for it",
               Where{m_fileName, 0, -1, who});
    return {};
}

void ToMAB::writeMember(const Entry& e) {
    ++m_memberCount;
    appendAtom(m_nextAtom, cardIdFor(e));
    m_rows.append("(^");
    appendHex(m_rows, unsignedOf(kFirstMemberColumn + m_memberCount));
    m_rows.push_back('^');
    appendHex(m_rows, unsignedOf(m_nextAtom));
    m_rows.push_back(')');
    ++m_nextAtom;
}

void ToMAB::endList() {
    m_rows.append("(^B2=");
    appendHex(m_rows, unsignedOf(m_memberCount));
    m_rows.append(")]\n");
    m_mostMembers = std::max(m_mostMembers, m_memberCount);
    ++m_nextListRow;
    m_inList = false;
}

void ToMAB::end() {
    // A list the conversion left open still gets its end, so the file stays whole.
    if (m_inList) endList();
    std::string out = m_header;
    for (std::int64_t i = 5; i <= m_mostMembers; ++i) {
        out.push_back('(');
        appendHex(out, unsignedOf(kFirstMemberColumn + i));
        out.append("=Address").append(std::to_string(i)).push_back(')');
        if (i % 5 == 0) out.push_back('\n');
    }
    out.append(">\n\n<(");
    appendHex(out, unsignedOf(m_nextAtom + 1));
    out.push_back('=');
    appendHex(out, unsignedOf(m_nextCardRow));
    out.push_back(')');
    m_text += out;
    for (const std::string& piece : m_atomPieces) m_text += piece;
    m_text.append(m_atoms).append(">\n");
    out.assign("{1:^80 {(k^AD:c)(s=9)} \n[1:^82(^AC=");
    appendHex(out, unsignedOf(m_nextCardRow));
    out.append(")]\n");
    m_text += out;
    for (const std::string& piece : m_rowPieces) m_text += piece;
    m_text.append(m_rows).push_back('}');
}

// ---------------------------------------------------------------------------------------------

namespace {

Sniff sniffMork(std::string_view head) {
    return head.starts_with("// <!-- <mdb:mork") ? Sniff::Yes : Sniff::No;
}

std::unique_ptr<IterBase> makeMorkReader(const FormatArgs& a) {
    a.run.trace(0, "File is Mozilla Address Book", "Debug");
    a.run.trace(0, "Declaring structure", "Debug");
    auto reader = std::make_unique<iterators::IterMAB>(a.run, a.fileName);
    a.run.trace(0, "About to process the file", "Debug");
    return reader;
}

}  // namespace

const FormatInfo& morkFormat() {
    static const FormatInfo info = {
        .id = "mork",
        .displayName = "Mork address book",
        .extensions = {"mab"},
        .reads = true,
        .writes = true,
        .holdsLists = true,
        .mergesExisting = true,
        .readFields = morkFields(),
        .writeFields = morkFields(),
        .readExtras = morkExtras(true),
        .writeExtras = morkExtras(false),
        .extraEmailLimit = 1,
        .sniff = &sniffMork,
        .reader = &makeMorkReader,
        .writer = &writerOfFile<ToMAB>,
        .openFilters = {{"Mozilla/Netscape 6 files (*.mab)", "*.mab", 8}},
        .saveFilters = {{"Netscape 6/7 files (*.mab)", "*.mab", 6}},
        .docsPage = "mork.md",
    };
    return info;
}

}  // namespace vesk
