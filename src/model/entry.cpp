#include "model/entry.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

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

Entry Entry::maskedFields() const {
    Entry copy;
    copy.sourceId = sourceId;
    copy.extras = extras;
    copy.kind = kind;
    copy.mask = mask;
    copy.revisionTime = revisionTime;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (mask.test(i)) copy.fields[i] = fields[i];
    }
    return copy;
}

Entry Entry::maskedCopy() const {
    Entry copy = maskedFields();
    if (copy.revisionTime == 0) copy.revisionTime = currentTime();
    return copy;
}

std::string& Entry::at(int index) {
    return fields[checkedIndex(index)];
}

const std::string& Entry::at(int index) const {
    return fields[checkedIndex(index)];
}

bool Entry::isMarker() const {
    return kind == KindListBegin || kind == KindListEnd || kind == KindFolderBegin ||
           kind == KindFolderEnd;
}

bool Entry::isEmpty() const {
    return std::all_of(fields.begin(), fields.end(),
                       [](const std::string& f) { return f.empty(); });
}

void Entry::clear() {
    for (auto& f : fields) f.clear();
    extras.clear();
    kind = KindContact;
}

bool Entry::completeNames() {
    std::string& full = (*this)[Field::FullName];
    std::string& first = (*this)[Field::FirstName];
    std::string& last = (*this)[Field::LastName];
    if (!full.empty()) {
        if (!first.empty() || !last.empty()) return true;
        std::size_t space = full.rfind(' ');
        if (space != std::string::npos && space + 1 == full.size()) {
            space = space == 0 ? std::string::npos : full.rfind(' ', space - 1);
        }
        const std::size_t comma = full.find(',');
        if (comma == std::string::npos) {
            if (space == std::string::npos) {
                first = full;
                last = full;
            } else {
                first = full.substr(0, space);
                last = full.substr(space + 1);
            }
        } else {
            last = full.substr(0, comma);
            first = full.substr(comma + 1);
        }
        return true;
    }
    if (first.empty() && last.empty()) return false;
    if (first.empty()) {
        full = last;
    } else if (last.empty()) {
        full = first;
    } else {
        full = first + " " + last;
    }
    return true;
}

int Entry::similarity(const Entry& other) const {
    const FieldMask common = mask & other.mask;
    float excluded = static_cast<float>(kFieldCount - static_cast<int>(common.count()));
    float matches = 0.0f;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!common.test(i)) continue;
        const std::string& a = fields[i];
        const std::string& b = other.fields[i];
        if (!a.empty() && !b.empty()) {
            if (equalNoCase(a, b)) matches += 1.0f;
        } else if (a.empty() && b.empty()) {
            excluded += 1.0f;
        } else {
            excluded += 0.5f;
        }
    }
    if (excluded == static_cast<float>(kFieldCount)) return 100;
    const float result = matches * 100.0f / (static_cast<float>(kFieldCount) - excluded);
    return static_cast<int>(result);
}

bool Entry::sameAs(const Entry& other) const {
    // A one-sided or differing field keeps the score below 100 (at most 98.5), so the first
    // such field decides; this is the hot test of every de-duplication.
    const FieldMask common = mask & other.mask;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!common.test(i)) continue;
        const std::string& a = fields[i];
        const std::string& b = other.fields[i];
        if (a.empty() != b.empty()) return false;
        if (!a.empty() && !equalNoCase(a, b)) return false;
    }
    return true;
}

bool Entry::mergeFrom(const Entry& incoming) {
    // Without a time nothing shows the incoming values to be newer: they may only fill gaps.
    const bool undated = incoming.revisionTime == 0;
    const bool replaces = !undated && incoming.revisionTime >= revisionTime;
    if (replaces) revisionTime = incoming.revisionTime;
    mergeExtras(*this, incoming, replaces);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!incoming.mask.test(i)) continue;
        if (undated) {
            if (incoming.fields[i].empty() || (mask.test(i) && !fields[i].empty())) continue;
        } else if (!replaces && mask.test(i)) {
            continue;
        }
        try {
            fields[i] = incoming.fields[i];
            if (!replaces) mask.set(i);
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
    for (std::size_t i = 0; i < kept.fields.size(); ++i) {
        if (kept.fields[i].empty() && !gone.fields[i].empty()) {
            kept.fields[i] = gone.fields[i];
            kept.mask.set(i);
        }
    }
}

bool Entry::sortsBefore(const Entry& other, int field) const {
    const std::size_t f = checkedIndex(field);
    return compareNoCase(fields[f], other.fields[f]) < 0;
}

}  // namespace vesk
