// One contact: the 34 fields every format maps to, plus the markers that carry
// folders and distribution lists through a flat stream of entries.
#pragma once

#include <array>
#include <bit>
#include <bitset>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk {

inline constexpr int kFieldCount = 34;

/// Field indexes in the order of the field table; the display names are in fieldName().
enum class Field : int {
    FullName = 0,
    Email,
    Nickname,
    HomePhone,
    BusinessPhone,
    Organization,
    HomeStreet,
    HomeCity,
    HomePostalCode,
    HomeState,
    HomeCountry,
    HomeFax,
    CellularPhone,
    HomeWebPage,
    BusinessStreet,
    BusinessCity,
    BusinessPostalCode,
    BusinessState,
    BusinessCountry,
    BusinessWebPage,
    BusinessFax,
    Pager,
    JobTitle,
    Department,
    Notes,
    Profession,
    Manager,
    Assistant,
    FirstName,
    MiddleName,
    LastName,
    Title,
    Office,
    Spouse,
};

/// What an entry is: a contact, or a marker that opens or closes a folder or a list in a flat
/// stream. Only the four markers mean anything; every other value (Outlook's 1, say) is a
/// contact and is kept as it came.
enum class EntryKind : std::int32_t {
    Contact = 0,
    ListBegin = 13,
    FolderEnd = 14,
    FolderBegin = 15,
    ListEnd = 237,
};

inline constexpr EntryKind KindContact = EntryKind::Contact;
inline constexpr EntryKind KindListBegin = EntryKind::ListBegin;
inline constexpr EntryKind KindFolderEnd = EntryKind::FolderEnd;
inline constexpr EntryKind KindFolderBegin = EntryKind::FolderBegin;
inline constexpr EntryKind KindListEnd = EntryKind::ListEnd;

/// The number a kind is stored as.
constexpr std::int32_t toNumber(EntryKind kind) {
    return static_cast<std::int32_t>(kind);
}

using FieldMask = std::bitset<kFieldCount>;

/// The display name of field `index` ("Full Name", ...); throws std::out_of_range past 33.
const std::string& fieldName(int index);
/// The index of the field with this exact display name, or -1.
int fieldIndex(std::string_view displayName);

/// The mask as 34 characters "0"/"1", field 33 first.
std::string maskToText(const FieldMask& mask);
/// Parses the text form; false when it is not exactly 34 characters of "0"/"1".
bool maskFromText(std::string_view text, FieldMask& mask);

/// Three-way comparison that folds only the ASCII letters A-Z to a-z.
int compareNoCase(std::string_view a, std::string_view b);
inline bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareNoCase(a, b) == 0;
}

/// What an extra value of an entry is: the properties real books hold beyond the 34 fields.
enum class ExtraKind : std::uint8_t {
    Email = 0,    ///< a further e-mail address (the first is the E-Mail Address field)
    Birthday,     ///< "YYYY-MM-DD", or "--MM-DD" without a year; as written when not a date
    Anniversary,  ///< same form as Birthday
    Category,     ///< one category per value
    Uid,          ///< the identifier the source program gave the contact
    Property,     ///< a vCard property kept verbatim: name holds its name and parameters
};
inline constexpr int kExtraKindCount = 6;
using ExtraMask = std::bitset<kExtraKindCount>;

/// The display name of an extra kind ("Other E-Mail", "Birthday", ...).
const std::string& extraKindName(ExtraKind kind);
/// Every extra kind.
ExtraMask allExtras();

struct Extra {
    ExtraKind kind = ExtraKind::Property;
    std::string value;
    std::string name;  ///< only for ExtraKind::Property

    bool operator==(const Extra& o) const {
        return kind == o.kind && value == o.value && name == o.name;
    }
    /// Same kind, and for properties the same name: the values of one slot, as a field is.
    bool sameSlot(const Extra& o) const {
        return kind == o.kind && (kind != ExtraKind::Property || equalNoCase(name, o.name));
    }
};

/// A date written as "YYYY-MM-DD", "YYYYMMDD", "--MM-DD" or "--MMDD" (a time after it is
/// ignored); false when it is none of these. `year` is 0 when the date has none.
bool parseExtraDate(std::string_view text, int& year, int& month, int& day);
/// "YYYY-MM-DD", or "--MM-DD" when `year` is 0.
std::string formatExtraDate(int year, int month, int day);
/// A date from the year, month and day kept apart (Thunderbird's BirthYear, BirthMonth,
/// BirthDay); empty without a valid month and day, without the year when it is none.
std::string dateFromParts(std::string_view year, std::string_view month, std::string_view day);
/// A date in the stored form when it parses, else the text trimmed as it is.
std::string normalExtraDate(std::string_view text);

/// The field books are kept in order by unless a sort names another.
inline constexpr int kDefaultSortField = 0;

/// Seconds since 1970 UTC, as every revision time counts.
std::int64_t currentTime();

class Entry;

/// A writable field of an entry, what the non-const operator[] and at() hand out. It names the
/// entry and the field, never the stored string, so it stays valid while other fields come and
/// go. Reading it reads the field; assigning "" removes the field.
class FieldRef {
  public:
    FieldRef(Entry& entry, int index) : m_entry(&entry), m_index(index) {}
    FieldRef(const FieldRef&) = default;

    /// Assigns the other field's value (never rebinds this reference).
    FieldRef& operator=(const FieldRef& other);
    FieldRef& operator=(const std::string& value);
    FieldRef& operator=(std::string&& value);
    FieldRef& operator=(std::string_view value);
    FieldRef& operator=(const char* value);
    FieldRef& operator+=(std::string_view value);
    FieldRef& operator+=(const std::string& value) { return *this += std::string_view(value); }
    FieldRef& operator+=(const char* value) { return *this += std::string_view(value); }
    FieldRef& operator+=(char c) { return *this += std::string_view(&c, 1); }

    const std::string& str() const;
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }

    bool empty() const { return str().empty(); }
    std::size_t size() const { return str().size(); }
    std::size_t length() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }
    const char* data() const { return str().data(); }
    char front() const { return str().front(); }
    char back() const { return str().back(); }
    char operator[](std::size_t i) const { return str()[i]; }
    std::string::const_iterator begin() const { return str().begin(); }
    std::string::const_iterator end() const { return str().end(); }
    std::size_t find(std::string_view s, std::size_t pos = 0) const { return str().find(s, pos); }
    std::size_t find(char c, std::size_t pos = 0) const { return str().find(c, pos); }
    std::size_t rfind(char c, std::size_t pos = std::string::npos) const {
        return str().rfind(c, pos);
    }
    std::string substr(std::size_t pos = 0, std::size_t n = std::string::npos) const {
        return str().substr(pos, n);
    }
    /// Removes the field.
    void clear();
    /// Moves the value out and removes the field.
    std::string take();

    friend bool operator==(const FieldRef& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const FieldRef& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const FieldRef& a, const char* b) { return a.str() == b; }
    friend bool operator==(const FieldRef& a, const FieldRef& b) { return a.str() == b.str(); }
    friend std::string operator+(const FieldRef& a, std::string_view b) {
        return std::string(a.str()).append(b);
    }
    friend std::string operator+(std::string_view a, const FieldRef& b) {
        return std::string(a).append(b.str());
    }
    friend std::string operator+(const FieldRef& a, const FieldRef& b) {
        return std::string(a.str()).append(b.str());
    }
    friend std::ostream& operator<<(std::ostream& out, const FieldRef& f);

  private:
    Entry* m_entry;
    int m_index;
};

class Entry {
  public:
    std::string sourceId;
    EntryKind kind = KindContact;
    FieldMask mask;
    std::int64_t revisionTime;
    /// Values beyond the 34 fields; empty for most entries, so it costs one empty vector.
    /// They never count in similarity or de-duplication.
    std::vector<Extra> extras;

    /// Empty fields, kind 0, every mask bit set, revision time now.
    Entry();
    /// Copies and assignments copy everything as it stands, the mask notwithstanding.
    Entry(const Entry& source) = default;
    Entry& operator=(const Entry& source) = default;
    Entry(Entry&& source) noexcept = default;
    Entry& operator=(Entry&& source) noexcept = default;
    ~Entry() = default;

    /// Field by index; throws std::out_of_range("invalid bitset<N> position") past 33.
    FieldRef at(int index);
    const std::string& at(int index) const;
    FieldRef operator[](Field f) { return FieldRef(*this, static_cast<int>(f)); }
    const std::string& operator[](Field f) const { return stored(static_cast<int>(f)); }
    /// The same as the const at(), for an entry that is not const.
    const std::string& value(int index) const;

    /// Sets a field; an empty value removes it.
    void set(Field f, std::string value) { assign(static_cast<int>(f), std::move(value)); }
    void set(int index, std::string value);
    /// Calls fn(std::string&) on a field's value to change it in place; an empty result
    /// removes the field. fn must not touch this entry's other fields.
    template <typename Fn>
    void edit(int index, Fn&& fn);
    template <typename Fn>
    void edit(Field f, Fn&& fn) {
        edit(static_cast<int>(f), std::forward<Fn>(fn));
    }
    /// Moves a field's value out and removes the field.
    std::string take(Field f) { return take(static_cast<int>(f)); }
    std::string take(int index);
    /// The fields that hold a value.
    FieldMask presentFields() const { return FieldMask(m_present); }
    /// Calls fn(index, value) for every field that holds a value, in field order.
    template <typename Fn>
    void forEachField(Fn&& fn) const {
        std::uint64_t bits = m_present;
        for (std::size_t slot = 0; bits != 0; ++slot, bits &= bits - 1) {
            fn(std::countr_zero(bits), m_values[slot]);
        }
    }
    /// All 34 fields, "" where none is held.
    std::array<std::string, kFieldCount> allFields() const;
    /// The same field values (masks, kinds and the rest aside).
    bool sameFields(const Entry& other) const {
        return m_present == other.m_present && m_values == other.m_values;
    }
    /// Removes every field the mask does not support.
    void keepFields(const FieldMask& supported);

    /// A copy holding only the fields the mask supports, dated now when this entry is undated
    /// (time 0): what the conversion loop passes to most writers.
    Entry maskedCopy() const;
    /// A copy holding only the fields the mask supports, its revision time as it stands: what
    /// a book hands out and merges compare, since an undated entry (time 0) is older than any
    /// dated one.
    Entry maskedFields() const;

    /// Adds an extra value; an empty value or one the entry already holds is not added.
    void addExtra(ExtraKind type, std::string value, std::string name = {});
    /// The first extra value of that kind, or "".
    const std::string& extra(ExtraKind type) const;
    /// The kinds this entry holds values of.
    ExtraMask extraKinds() const;

    bool isMarker() const;
    bool isEmpty() const { return m_present == 0; }

    /// Empties the fields and extras and resets the kind; mask, time and source id stay.
    void clear();
    /// Fills Full, First and Last Name from each other; false when there is no name at all.
    bool completeNames();
    /// 0..100 (or more): how far the commonly supported fields agree.
    int similarity(const Entry& other) const;
    /// similarity() >= 100, decided without the arithmetic: every commonly supported field is
    /// empty on both sides or equal on both.
    bool sameAs(const Entry& other) const;
    bool relatedTo(const Entry& other) const { return similarity(other) > 50; }
    /// Merges `incoming` by revision time; true when it replaced this entry's values. An
    /// undated incoming entry (time 0) is the older one and only fills empty fields.
    bool mergeFrom(const Entry& incoming);
    /// True when this entry sorts before `other` by field `field`, ASCII case folded.
    bool sortsBefore(const Entry& other, int field) const;

  private:
    friend class FieldRef;

    // Only the fields that hold a value are stored, in field order: a contact holds a handful
    // of its 34 fields, and a book holds many contacts. Bit i of m_present says field i is
    // stored; its slot in m_values is the number of lower bits set.
    std::uint64_t m_present = 0;
    std::vector<std::string> m_values;

    std::size_t slotOf(int index) const {
        return static_cast<std::size_t>(
            std::popcount(m_present & ((std::uint64_t{1} << index) - 1)));
    }
    bool holds(int index) const { return (m_present >> index) & 1U; }
    /// The index itself; throws std::out_of_range past 33.
    static int checked(int index);
    const std::string& stored(int index) const;
    void assign(int index, std::string&& value);
    void append(int index, std::string_view value);
};

template <typename Fn>
void Entry::edit(int index, Fn&& fn) {
    if (!holds(checked(index))) {
        std::string fresh;
        fn(fresh);
        assign(index, std::move(fresh));
        return;
    }
    std::string& current = m_values[slotOf(index)];
    fn(current);
    if (current.empty()) assign(index, {});
}

/// Fills the survivor of a de-duplication with what only the erased entry knew (and sets
/// those mask bits).
void fillFrom(Entry& kept, const Entry& gone);
/// Merges the extras of `from` into `into` as fields merge: `replace` puts each slot `from`
/// holds in place of the same slot of `into`; otherwise only slots `into` lacks are filled.
void mergeExtras(Entry& into, const Entry& from, bool replace);

}  // namespace vesk
