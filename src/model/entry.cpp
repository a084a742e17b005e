#include "model/entry.h"

#include <algorithm>
#include <ctime>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace vesk {

namespace {

const std::array<std::string, kFieldCount>& displayNames() {
    static const std::array<std::string, kFieldCount> names = {"Full Name",
                                                               "E-Mail Address",
                                                               "Nickname",
                                                               "Home Phone",
                                                               "Business Phone",
                                                               "Organization",
                                                               "Home Street Address",
                                                               "Home City",
                                                               "Home Postal Code",
                                                               "Home State",
                                                               "Home Country",
                                                               "Home Fax",
                                                               "Cellular Phone",
                                                               "Home Web Page",
                                                               "Business Street Address",
                                                               "Business City",
                                                               "Business Postal Code",
                                                               "Business State",
                                                               "Business Country",
                                                               "Business Web Page",
                                                               "Business Fax",
                                                               "Pager",
                                                               "Job Title",
                                                               "Department",
                                                               "Notes",
                                                               "Profession",
                                                               "Manager",
                                                               "Assistant",
                                                               "First Name",
                                                               "Middle Name",
                                                               "Last Name",
                                                               "Title",
                                                               "Office",
                                                               "Spouse"};
    return names;
}

constexpr std::size_t kFirstCapacity = 8;

std::size_t checkedIndex(int index) {
    // The text of the standard library's bitset error, which callers and tests rely on.
    if (index < 0 || index >= kFieldCount) throw std::out_of_range("invalid bitset<N> position");
    return static_cast<std::size_t>(index);
}

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

const std::string& fieldName(int index) {
    return displayNames()[checkedIndex(index)];
}

int fieldIndex(std::string_view displayName) {
    const auto& names = displayNames();
    for (int i = 0; i < kFieldCount; ++i) {
        if (names[static_cast<std::size_t>(i)] == displayName) return i;
    }
    return -1;
}

std::string maskToText(const FieldMask& mask) {
    return mask.to_string();
}

bool maskFromText(std::string_view text, FieldMask& mask) {
    if (text.size() != static_cast<std::size_t>(kFieldCount)) return false;
    if (text.find_first_not_of("01") != std::string_view::npos) return false;
    mask = FieldMask(std::string(text));
    return true;
}

int compareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = foldAscii(static_cast<unsigned char>(a[i]));
        const unsigned char cb = foldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

const std::string& extraKindName(ExtraKind kind) {
    static const std::array<std::string, kExtraKindCount> names = {
        "Other E-Mail", "Birthday", "Anniversary", "Category", "UID", "Other Property"};
    return names[static_cast<std::size_t>(kind)];
}

ExtraMask allExtras() {
    return ExtraMask().set();
}

namespace {

/// Reads exactly `count` digits at `i`.
bool digits(std::string_view s, std::size_t& i, std::size_t count, int& out) {
    if (i + count > s.size()) return false;
    out = 0;
    for (std::size_t k = 0; k < count; ++k, ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

bool parseExtraDate(std::string_view text, int& year, int& month, int& day) {
    const std::string_view s = trimBlanks(text);
    std::size_t i = 0;
    year = 0;
    if (s.substr(0, 2) == "--") {
        i = 2;
    } else if (!digits(s, i, 4, year)) {
        return false;
    }
    if (i < s.size() && s[i] == '-') ++i;
    if (!digits(s, i, 2, month)) return false;
    if (i < s.size() && s[i] == '-') ++i;
    if (!digits(s, i, 2, day)) return false;
    if (i < s.size() && s[i] != 'T' && s[i] != 't' && s[i] != ' ') return false;
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

std::string formatExtraDate(int year, int month, int day) {
    const auto two = [](int v) {
        return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
    };
    std::string out = year > 0 ? std::to_string(year) : std::string("-");
    while (year > 0 && out.size() < 4) out.insert(0, "0");
    return out + "-" + two(month) + "-" + two(day);
}

std::string normalExtraDate(std::string_view text) {
    int y = 0;
    int m = 0;
    int d = 0;
    if (parseExtraDate(text, y, m, d)) return formatExtraDate(y, m, d);
    return std::string(trimBlanks(text));
}

std::string dateFromParts(std::string_view year, std::string_view month, std::string_view day) {
    const auto number = [](std::string_view s) {
        s = trimBlanks(s);
        int v = 0;
        for (const char c : s) {
            if (c < '0' || c > '9' || v > 9999) return -1;
            v = v * 10 + (c - '0');
        }
        return s.empty() ? -1 : v;
    };
    const int y = number(year);
    const int m = number(month);
    const int d = number(day);
    if (m < 1 || m > 12 || d < 1 || d > 31) return {};
    return formatExtraDate(y > 0 && y <= 9999 ? y : 0, m, d);
}

void Entry::addExtra(ExtraKind type, std::string value, std::string name) {
    if (value.empty()) return;
    Extra x{type, std::move(value), std::move(name)};
    if (std::find(extras.begin(), extras.end(), x) != extras.end()) return;
    extras.push_back(std::move(x));
}

const std::string& Entry::extra(ExtraKind type) const {
    static const std::string none;
    for (const Extra& x : extras) {
        if (x.kind == type) return x.value;
    }
    return none;
}

ExtraMask Entry::extraKinds() const {
    ExtraMask m;
    for (const Extra& x : extras) m.set(static_cast<std::size_t>(x.kind));
    return m;
}

std::int64_t currentTime() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

Entry::Entry() : revisionTime(currentTime()) {
    mask.set();
}

const std::string& FieldRef::str() const {
    return m_entry->stored(m_index);
}

FieldRef& FieldRef::operator=(const FieldRef& other) {
    // Copied first: the other field may be one of this entry's, moved by the assignment.
    m_entry->assign(m_index, std::string(other.str()));
    return *this;
}

FieldRef& FieldRef::operator=(const std::string& value) {
    if (m_entry->holds(m_index)) {
        m_entry->m_values[m_entry->slotOf(m_index)] = value;
        if (value.empty()) m_entry->assign(m_index, {});
    } else {
        m_entry->assign(m_index, std::string(value));
    }
    return *this;
}

FieldRef& FieldRef::operator=(std::string&& value) {
    m_entry->assign(m_index, std::move(value));
    return *this;
}

FieldRef& FieldRef::operator=(std::string_view value) {
    if (m_entry->holds(m_index) && !value.empty()) {
        m_entry->m_values[m_entry->slotOf(m_index)].assign(value);
    } else {
        m_entry->assign(m_index, std::string(value));
    }
    return *this;
}

FieldRef& FieldRef::operator=(const char* value) {
    return *this = std::string_view(value);
}

FieldRef& FieldRef::operator+=(std::string_view value) {
    m_entry->append(m_index, value);
    return *this;
}

void FieldRef::clear() {
    m_entry->assign(m_index, {});
}

std::string FieldRef::take() {
    return m_entry->take(m_index);
}

std::ostream& operator<<(std::ostream& out, const FieldRef& f) {
    return out << f.str();
}

int Entry::checked(int index) {
    return static_cast<int>(checkedIndex(index));
}

const std::string& Entry::value(int index) const {
    return stored(checked(index));
}

const std::string& Entry::stored(int index) const {
    static const std::string none;
    return holds(index) ? m_values[slotOf(index)] : none;
}

void Entry::assign(int index, std::string&& value) {
    const std::size_t slot = slotOf(index);
    const auto at = m_values.begin() + static_cast<std::ptrdiff_t>(slot);
    const std::uint64_t bit = std::uint64_t{1} << index;
    if (m_present & bit) {
        if (value.empty()) {
            m_values.erase(at);
            m_present &= ~bit;
        } else {
            *at = std::move(value);
        }
    } else if (!value.empty()) {
        if (m_values.size() == m_values.capacity()) {
            // A reader stores a contact's fields one by one: skip the smallest steps.
            m_values.reserve(std::max<std::size_t>(kFirstCapacity, 2 * m_values.size()));
        }
        m_values.insert(m_values.begin() + static_cast<std::ptrdiff_t>(slot), std::move(value));
        m_present |= bit;
    }
}

void Entry::append(int index, std::string_view value) {
    if (holds(index)) {
        m_values[slotOf(index)].append(value);
    } else {
        assign(index, std::string(value));
    }
}

void Entry::set(int index, std::string value) {
    assign(static_cast<int>(checkedIndex(index)), std::move(value));
}

std::string Entry::take(int index) {
    checkedIndex(index);
    if (!holds(index)) return {};
    const std::size_t slot = slotOf(index);
    std::string out = std::move(m_values[slot]);
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(slot));
    m_present &= ~(std::uint64_t{1} << index);
    return out;
}

std::array<std::string, kFieldCount> Entry::allFields() const {
    std::array<std::string, kFieldCount> out;
    forEachField([&](int i, const std::string& v) { out[static_cast<std::size_t>(i)] = v; });
    return out;
}

void Entry::keepFields(const FieldMask& supported) {
    const std::uint64_t keep = m_present & supported.to_ullong();
    if (keep == m_present) return;
    std::vector<std::string> kept;
    kept.reserve(static_cast<std::size_t>(std::popcount(keep)));
    std::uint64_t bits = m_present;
    for (std::size_t slot = 0; bits != 0; ++slot, bits &= bits - 1) {
        if (keep & bits & (~bits + 1)) kept.push_back(std::move(m_values[slot]));
    }
    m_values = std::move(kept);
    m_present = keep;
}

Entry Entry::maskedFields() const {
    Entry copy;
    copy.sourceId = sourceId;
    copy.extras = extras;
    copy.kind = kind;
    copy.mask = mask;
    copy.revisionTime = revisionTime;
    const std::uint64_t keep = m_present & mask.to_ullong();
    copy.m_present = keep;
    copy.m_values.reserve(static_cast<std::size_t>(std::popcount(keep)));
    std::uint64_t bits = m_present;
    for (std::size_t slot = 0; bits != 0; ++slot, bits &= bits - 1) {
        if (keep & bits & (~bits + 1)) copy.m_values.push_back(m_values[slot]);
    }
    return copy;
}

Entry Entry::maskedCopy() const {
    Entry copy = maskedFields();
    if (copy.revisionTime == 0) copy.revisionTime = currentTime();
    return copy;
}

FieldRef Entry::at(int index) {
    return FieldRef(*this, static_cast<int>(checkedIndex(index)));
}

const std::string& Entry::at(int index) const {
    return stored(checked(index));
}

bool Entry::isMarker() const {
    return kind == KindListBegin || kind == KindListEnd || kind == KindFolderBegin ||
           kind == KindFolderEnd;
}

void Entry::clear() {
    m_present = 0;
    m_values.clear();
    extras.clear();
    kind = KindContact;
}

bool Entry::completeNames() {
    const Entry& self = *this;
    const std::string& full = self[Field::FullName];
    const std::string& first = self[Field::FirstName];
    const std::string& last = self[Field::LastName];
    if (!full.empty()) {
        if (!first.empty() || !last.empty()) return true;
        std::size_t space = full.rfind(' ');
        if (space != std::string::npos && space + 1 == full.size()) {
            space = space == 0 ? std::string::npos : full.rfind(' ', space - 1);
        }
        const std::size_t comma = full.find(',');
        // Both parts are cut before either is stored: storing one moves the others.
        std::string newFirst;
        std::string newLast;
        if (comma == std::string::npos) {
            if (space == std::string::npos) {
                newFirst = full;
                newLast = full;
            } else {
                newFirst = full.substr(0, space);
                newLast = full.substr(space + 1);
            }
        } else {
            newLast = full.substr(0, comma);
            newFirst = full.substr(comma + 1);
        }
        set(Field::FirstName, std::move(newFirst));
        set(Field::LastName, std::move(newLast));
        return true;
    }
    if (first.empty() && last.empty()) return false;
    if (first.empty()) {
        set(Field::FullName, last);
    } else if (last.empty()) {
        set(Field::FullName, first);
    } else {
        set(Field::FullName, first + " " + last);
    }
    return true;
}

namespace {

/// The 34 field bits of a mask as a word.
std::uint64_t bitsOf(const FieldMask& mask) {
    return mask.to_ullong();
}

/// Calls fn(slotA, slotB) for each field held by both entries among `wanted`.
template <typename Fn>
bool allHeldByBoth(std::uint64_t presentA, std::uint64_t presentB, std::uint64_t wanted, Fn fn) {
    for (std::uint64_t bits = presentA & presentB & wanted; bits != 0; bits &= bits - 1) {
        const std::uint64_t below = (bits & (~bits + 1)) - 1;
        const auto slotA = static_cast<std::size_t>(std::popcount(presentA & below));
        const auto slotB = static_cast<std::size_t>(std::popcount(presentB & below));
        if (!fn(slotA, slotB)) return false;
    }
    return true;
}

}  // namespace

int Entry::similarity(const Entry& other) const {
    const std::uint64_t common = bitsOf(mask & other.mask);
    // Halves and wholes add exactly in a float, so counting them first gives the same sums.
    const auto count = [](std::uint64_t bits) { return static_cast<float>(std::popcount(bits)); };
    float excluded = static_cast<float>(kFieldCount) - count(common);
    excluded += count(common & ~(m_present | other.m_present));
    excluded += 0.5f * count(common & (m_present ^ other.m_present));
    float matches = 0.0f;
    allHeldByBoth(m_present, other.m_present, common, [&](std::size_t a, std::size_t b) {
        if (equalNoCase(m_values[a], other.m_values[b])) matches += 1.0f;
        return true;
    });
    if (excluded == static_cast<float>(kFieldCount)) return 100;
    const float result = matches * 100.0f / (static_cast<float>(kFieldCount) - excluded);
    return static_cast<int>(result);
}

bool Entry::sameAs(const Entry& other) const {
    // A one-sided or differing field keeps the score below 100 (at most 98.5), so the first
    // such field decides; this is the hot test of every de-duplication.
    const std::uint64_t common = bitsOf(mask & other.mask);
    if ((m_present ^ other.m_present) & common) return false;
    return allHeldByBoth(m_present, other.m_present, common, [&](std::size_t a, std::size_t b) {
        return equalNoCase(m_values[a], other.m_values[b]);
    });
}

bool Entry::mergeFrom(const Entry& incoming) {
    // Without a time nothing shows the incoming values to be newer: they may only fill gaps.
    const bool undated = incoming.revisionTime == 0;
    const bool replaces = !undated && incoming.revisionTime >= revisionTime;
    if (replaces) revisionTime = incoming.revisionTime;
    mergeExtras(*this, incoming, replaces);
    for (int i = 0; i < kFieldCount; ++i) {
        const auto bit = static_cast<std::size_t>(i);
        if (!incoming.mask.test(bit)) continue;
        const std::string& value = incoming.stored(i);
        if (undated) {
            if (value.empty() || (mask.test(bit) && holds(i))) continue;
        } else if (!replaces && mask.test(bit)) {
            continue;
        }
        try {
            set(i, value);
            if (!replaces) mask.set(bit);
        } catch (const std::exception&) {
            // One field that cannot be copied must not cost the others.
        }
    }
    return replaces;
}

void mergeExtras(Entry& into, const Entry& from, bool replace) {
    if (from.extras.empty()) return;
    std::vector<Extra> merged;
    for (const Extra& x : into.extras) {
        const bool replaced = replace && std::any_of(from.extras.begin(), from.extras.end(),
                                                     [&](const Extra& y) { return x.sameSlot(y); });
        if (!replaced) merged.push_back(x);
    }
    for (const Extra& y : from.extras) {
        const bool held = std::any_of(into.extras.begin(), into.extras.end(),
                                      [&](const Extra& x) { return x.sameSlot(y); });
        if ((replace || !held) && std::find(merged.begin(), merged.end(), y) == merged.end()) {
            merged.push_back(y);
        }
    }
    into.extras = std::move(merged);
}

void fillFrom(Entry& kept, const Entry& gone) {
    mergeExtras(kept, gone, false);
    const FieldMask missing = gone.presentFields() & ~kept.presentFields();
    gone.forEachField([&](int i, const std::string& value) {
        if (!missing.test(static_cast<std::size_t>(i))) return;
        kept.set(i, value);
        kept.mask.set(static_cast<std::size_t>(i));
    });
}

bool Entry::sortsBefore(const Entry& other, int field) const {
    checkedIndex(field);
    return compareNoCase(stored(field), other.stored(field)) < 0;
}

}  // namespace vesk
