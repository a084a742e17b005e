#include "formats/csv_columns.h"

#include <algorithm>
#include <cstddef>

#include "formats/csv_scanner.h"

namespace vesk::csv {

namespace {

constexpr std::size_t kMaxPhoneColumns = 3;

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool looksLikePhone(std::string_view v) {
    std::size_t digits = 0;
    for (const char c : v) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (std::string_view(" +-()./").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return digits >= 5;
}

/// Letters and blanks (and the marks names carry), no digits, no "@"; short, so that a
/// column of notes is not taken for names.
bool looksLikeName(std::string_view v) {
    constexpr std::size_t kMaxNameBytes = 60;
    constexpr std::ptrdiff_t kMaxBlanks = 4;
    v = trimBlanks(v);
    if (v.empty() || v.size() > kMaxNameBytes || std::count(v.begin(), v.end(), ' ') > kMaxBlanks)
        return false;
    return std::none_of(v.begin(), v.end(),
                        [](char c) { return (c >= '0' && c <= '9') || c == '@' || c == '\n'; });
}

std::string_view cellOf(const Row& row, std::size_t column) {
    return column < row.size() ? std::string_view(row[column]) : std::string_view();
}

std::size_t columnCount(const std::vector<Row>& rows) {
    std::size_t n = 0;
    for (const Row& r : rows) n = std::max(n, r.size());
    return n;
}

/// How many rows hold a value in `column`, and how many of those `test` accepts.
template <class Test>
std::pair<std::size_t, std::size_t> count(const std::vector<Row>& rows, std::size_t column,
                                          Test test) {
    std::size_t filled = 0, fit = 0;
    for (const Row& r : rows) {
        const std::string_view v = trimBlanks(cellOf(r, column));
        if (v.empty()) continue;
        ++filled;
        if (test(v)) ++fit;
    }
    return {filled, fit};
}

/// The column whose values are mostly e-mail addresses (the first address of the cell), the
/// first row's among them; -1 when none is.
int emailColumn(const std::vector<Row>& rows) {
    const auto email = [](std::string_view v) { return looksLikeEmail(firstAddress(v)); };
    int best = -1;
    std::size_t bestFit = 0;
    for (std::size_t c = 0; c < columnCount(rows); ++c) {
        const auto [filled, fit] = count(rows, c, email);
        if (fit * 2 <= filled || fit <= bestFit) continue;
        best = static_cast<int>(c);
        bestFit = fit;
    }
    return best;
}

void set(ColumnMap& map, Field f, std::size_t column) {
    map[static_cast<std::size_t>(f)] = static_cast<int>(column);
}

}  // namespace

bool looksLikeEmail(std::string_view v) {
    v = trimBlanks(v);
    const std::size_t at = v.find('@');
    if (at == 0 || at == std::string_view::npos || v.find('@', at + 1) != std::string_view::npos)
        return false;
    const std::size_t dot = v.find('.', at);
    if (dot == std::string_view::npos || dot == at + 1 || dot + 1 >= v.size()) return false;
    return v.find_first_of(" \t,;<>\"") == std::string_view::npos;
}

std::string_view firstAddress(std::string_view cell) {
    return trimBlanks(cell.substr(0, cell.find(',')));
}

void addAddresses(Entry& e, std::string_view cell, std::string_view separator) {
    while (!cell.empty()) {
        const std::size_t end = cell.find(separator);
        std::string address(trimBlanks(cell.substr(0, end)));
        if (e[Field::Email].empty()) {
            e[Field::Email] = std::move(address);
        } else {
            e.addExtra(ExtraKind::Email, std::move(address));
        }
        if (end == std::string_view::npos) break;
        cell.remove_prefix(end + separator.size());
    }
}

bool looksHeaderless(const std::vector<Row>& rows) {
    const int c = emailColumn(rows);
    return c >= 0 &&
           looksLikeEmail(firstAddress(cellOf(rows.front(), static_cast<std::size_t>(c))));
}

ColumnMap columnsByContent(const std::vector<Row>& rows) {
    ColumnMap map;
    map.fill(-1);
    const int email = emailColumn(rows);
    if (email >= 0) set(map, Field::Email, static_cast<std::size_t>(email));
    // The name: the column of names that most often holds more than one word.
    int name = -1;
    std::size_t nameSpaced = 0;
    std::vector<std::size_t> nameColumns;
    std::size_t phones = 0;
    const Field phoneFields[kMaxPhoneColumns] = {Field::HomePhone, Field::BusinessPhone,
                                                 Field::CellularPhone};
    for (std::size_t c = 0; c < columnCount(rows); ++c) {
        if (static_cast<int>(c) == email) continue;
        const auto [filled, names] = count(rows, c, looksLikeName);
        if (filled > 0 && names * 2 > filled) {
            nameColumns.push_back(c);
            const auto spaced = count(rows, c, [](std::string_view v) {
                                    return v.find(' ') != std::string_view::npos;
                                }).second;
            if (name < 0 || spaced > nameSpaced) {
                name = static_cast<int>(c);
                nameSpaced = spaced;
            }
            continue;
        }
        const auto [phoneFilled, phoneLike] = count(rows, c, looksLikePhone);
        if (phoneFilled > 0 && phoneLike * 2 > phoneFilled && phones < kMaxPhoneColumns) {
            set(map, phoneFields[phones++], c);
        }
    }
    if (name < 0) return map;
    set(map, Field::FullName, static_cast<std::size_t>(name));
    // Two other name columns that join to the full name are its first and last name.
    for (const std::size_t first : nameColumns) {
        for (const std::size_t last : nameColumns) {
            if (first == last || static_cast<int>(first) == name || static_cast<int>(last) == name)
                continue;
            const auto joined = [&](const Row& r) {
                return std::string(trimBlanks(cellOf(r, first))) + " " +
                           std::string(trimBlanks(cellOf(r, last))) ==
                       trimBlanks(cellOf(r, static_cast<std::size_t>(name)));
            };
            if (std::all_of(rows.begin(), rows.end(), joined)) {
                set(map, Field::FirstName, first);
                set(map, Field::LastName, last);
                return map;
            }
        }
    }
    return map;
}

// ---------------------------------------------------------------------------------------------
// Google's typed groups

namespace {

struct GroupHeading {
    TypedGroup::Kind kind;
    std::string number;
    std::string part;
};

/// "Phone 2 - Value" → Phone, "2", "value"; false for any other heading.
bool parseGroupHeading(std::string_view heading, GroupHeading& out) {
    static constexpr std::pair<std::string_view, TypedGroup::Kind> kKinds[] = {
        {"e-mail ", TypedGroup::Kind::Email},
        {"phone ", TypedGroup::Kind::Phone},
        {"website ", TypedGroup::Kind::Website},
        {"address ", TypedGroup::Kind::Address}};
    const std::string h = lowerAscii(trimHeading(heading));
    for (const auto& [prefix, kind] : kKinds) {
        if (h.rfind(prefix, 0) != 0) continue;
        const std::size_t dash = h.find(" - ", prefix.size());
        if (dash == std::string::npos) return false;
        out.kind = kind;
        out.number = h.substr(prefix.size(), dash - prefix.size());
        out.part = h.substr(dash + 3);
        return !out.number.empty() && std::all_of(out.number.begin(), out.number.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
    }
    return false;
}

void placePart(TypedGroup& g, const std::string& part, int column) {
    const std::pair<std::string_view, int TypedGroup::*> parts[] = {
        {"type", &TypedGroup::type},
        {"label", &TypedGroup::type},
        {"value", &TypedGroup::value},
        {"street", &TypedGroup::street},
        {"extended address", &TypedGroup::extended},
        {"po box", &TypedGroup::poBox},
        {"city", &TypedGroup::city},
        {"region", &TypedGroup::region},
        {"postal code", &TypedGroup::postalCode},
        {"country", &TypedGroup::country},
        {"formatted", &TypedGroup::formatted}};
    for (const auto& [name, member] : parts) {
        if (part == name && g.*member < 0) g.*member = column;
    }
}

std::string cellText(const Row& row, int column) {
    if (column < 0) return {};
    std::string_view v = trimBlanks(cellOf(row, static_cast<std::size_t>(column)));
    // Several values of one item are joined by " ::: "; the first is the primary one.
    v = trimBlanks(v.substr(0, v.find(" ::: ")));
    return std::string(v);
}

bool has(std::string_view type, std::string_view word) {
    return type.find(word) != std::string_view::npos;
}

void fill(Entry& e, Field f, std::string value) {
    if (!value.empty() && e[f].empty()) e[f] = std::move(value);
}

void fillAddress(const TypedGroup& g, const Row& row, bool work, Entry& e) {
    std::string street = cellText(row, g.street);
    for (const int extra : {g.extended, g.poBox}) {
        const std::string line = cellText(row, extra);
        if (!line.empty()) street += (street.empty() ? "" : "\n") + line;
    }
    if (street.empty()) street = cellText(row, g.formatted);
    const Field fields[2][5] = {{Field::HomeStreet, Field::HomeCity, Field::HomeState,
                                 Field::HomePostalCode, Field::HomeCountry},
                                {Field::BusinessStreet, Field::BusinessCity, Field::BusinessState,
                                 Field::BusinessPostalCode, Field::BusinessCountry}};
    const Field* f = fields[work ? 1 : 0];
    // An address of the other kind never lands half in a filled one.
    if (!e[f[0]].empty() || !e[f[1]].empty()) return;
    fill(e, f[0], std::move(street));
    fill(e, f[1], cellText(row, g.city));
    fill(e, f[2], cellText(row, g.region));
    fill(e, f[3], cellText(row, g.postalCode));
    fill(e, f[4], cellText(row, g.country));
}

}  // namespace

std::vector<TypedGroup> findTypedGroups(const std::vector<std::string>& headings) {
    std::vector<std::pair<std::string, TypedGroup>> found;
    for (std::size_t c = 0; c < headings.size(); ++c) {
        GroupHeading h;
        if (!parseGroupHeading(headings[c], h)) continue;
        const std::string key = std::to_string(static_cast<int>(h.kind)) + "/" + h.number;
        auto it =
            std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.first == key; });
        if (it == found.end()) {
            TypedGroup g;
            g.kind = h.kind;
            found.emplace_back(key, g);
            it = found.end() - 1;
        }
        placePart(it->second, h.part, static_cast<int>(c));
    }
    std::vector<TypedGroup> out;
    for (auto& [key, g] : found) {
        if (g.type >= 0) out.push_back(g);
    }
    return out;
}

std::vector<int> columnsOf(const TypedGroup& g) {
    std::vector<int> out;
    for (const int c : {g.value, g.street, g.extended, g.poBox, g.city, g.region, g.postalCode,
                        g.country, g.formatted}) {
        if (c >= 0) out.push_back(c);
    }
    return out;
}

void fillTyped(const TypedGroup& g, const Row& row, Entry& e) {
    std::string type = lowerAscii(cellText(row, g.type));
    const bool work = has(type, "work") || has(type, "business");
    switch (g.kind) {
        case TypedGroup::Kind::Email:
            addAddresses(
                e,
                g.value < 0 ? std::string_view() : cellOf(row, static_cast<std::size_t>(g.value)),
                " ::: ");
            return;
        case TypedGroup::Kind::Website:
            fill(e, work ? Field::BusinessWebPage : Field::HomeWebPage, cellText(row, g.value));
            return;
        case TypedGroup::Kind::Address:
            fillAddress(g, row, work, e);
            return;
        case TypedGroup::Kind::Phone:
            break;
    }
    std::string number = cellText(row, g.value);
    Field f = Field::BusinessPhone;
    if (has(type, "fax")) {
        f = has(type, "home") ? Field::HomeFax : Field::BusinessFax;
    } else if (has(type, "mobile") || has(type, "cell")) {
        f = Field::CellularPhone;
    } else if (has(type, "pager")) {
        f = Field::Pager;
    } else if (has(type, "home")) {
        f = Field::HomePhone;
    } else if (!work && !e[Field::BusinessPhone].empty()) {
        f = Field::HomePhone;  // "Other" or "Main": whichever plain phone is still free
    }
    fill(e, f, std::move(number));
}

FieldMask fieldsOf(const TypedGroup& g) {
    FieldMask m;
    const auto add = [&m](std::initializer_list<Field> fields) {
        for (const Field f : fields) m.set(static_cast<std::size_t>(f));
    };
    switch (g.kind) {
        case TypedGroup::Kind::Email:
            add({Field::Email});
            break;
        case TypedGroup::Kind::Website:
            add({Field::HomeWebPage, Field::BusinessWebPage});
            break;
        case TypedGroup::Kind::Address:
            add({Field::HomeStreet, Field::HomeCity, Field::HomeState, Field::HomePostalCode,
                 Field::HomeCountry, Field::BusinessStreet, Field::BusinessCity,
                 Field::BusinessState, Field::BusinessPostalCode, Field::BusinessCountry});
            break;
        case TypedGroup::Kind::Phone:
            add({Field::BusinessPhone, Field::HomePhone, Field::CellularPhone, Field::Pager,
                 Field::BusinessFax, Field::HomeFax});
            break;
    }
    return m;
}

int secondLineField(std::string_view heading) {
    static constexpr std::pair<std::string_view, Field> kLines[] = {
        {"home address 2", Field::HomeStreet},
        {"work address 2", Field::BusinessStreet},
        {"home street 2", Field::HomeStreet},
        {"home street 3", Field::HomeStreet},
        {"business street 2", Field::BusinessStreet},
        {"business street 3", Field::BusinessStreet},
        {"home address line 2", Field::HomeStreet},
        {"work address line 2", Field::BusinessStreet},
    };
    const std::string h = lowerAscii(trimHeading(heading));
    for (const auto& [name, field] : kLines) {
        if (h == name) return static_cast<int>(field);
    }
    return -1;
}

}  // namespace vesk::csv
