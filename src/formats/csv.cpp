#include "formats/csv.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "platform/prompt.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "text/text_io.h"

namespace vesk {

namespace {

constexpr std::size_t npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool isPlaceholder(std::string_view heading) {
    return heading == kCsvPlaceholder;
}

/// A stored heading counts only when it starts with a letter or a digit; bytes of non-ASCII
/// characters count as letters.
bool usableHeading(std::string_view h) {
    if (h.empty()) return false;
    const auto c = static_cast<unsigned char>(h.front());
    return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// The message text the system gives for a registry error.
std::string registryErrorText(int code) {
    switch (code) {
        case kErrorAccessDenied:
            return "Access is denied.";
        case kErrorInvalidData:
            return "The data is invalid.";
        case kErrorMoreData:
            return "More data is available.";
        case kErrorCantWrite:
            return "The configuration registry key could not be written.";
        default:
            return "Error " + std::to_string(code) + ".";
    }
}

/// Reads a number value; false when it is absent (an error other than absence is shown).
bool readNumber(std::string_view key, std::string_view name, std::uint32_t& out) {
    SettingValue v;
    const int rc = settings().readValue(RootKey::CurrentUser, key, name, v);
    if (rc == kErrorSuccess) {
        if (v.type == ValueType::Number) {
            out = v.number;
            return true;
        }
        return false;
    }
    if (rc != kErrorFileNotFound) prompt().message(registryErrorText(rc), "Vesk");
    return false;
}

bool readText(std::string_view key, std::string_view name, std::string& out) {
    SettingValue v;
    const int rc = settings().readValue(RootKey::CurrentUser, key, name, v);
    if (rc == kErrorSuccess) {
        if (v.type != ValueType::String && v.type != ValueType::ExpandString) return false;
        out = v.text;
        return true;
    }
    if (rc != kErrorFileNotFound) prompt().message(registryErrorText(rc), "Vesk");
    return false;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The field map

CsvSettings::CsvSettings() {
    reset();
}

void CsvSettings::reset() {
    loaded = false;
    mode = 0;
    keep = 0;
    fieldNames.clear();
    headerStrings.assign(kFieldCount, std::string(kCsvPlaceholder));
    positions.resize(kFieldCount);
    for (int i = 0; i < kFieldCount; ++i) {
        fieldNames.push_back(fieldName(i));
        positions[static_cast<std::size_t>(i)] = i;
    }
}

void CsvSettings::ensureLoaded() {
    if (!loaded) load();
}

void CsvSettings::load() {
    reset();
    std::uint32_t number = 0;
    if (readNumber(kCsvKey, "useInts", number)) mode = number != 0 ? 1 : 0;
    if (readNumber(kCsvKey, "keep", number)) keep = number;

    if (!absolute()) {
        for (int i = 0; i < kFieldCount; ++i) {
            std::string heading;
            if (readText(kCsvHeadingKey, fieldName(i), heading) && usableHeading(heading)) {
                headerStrings[static_cast<std::size_t>(i)] = heading;
            }
        }
    } else {
        // A missing key is read as missing values, with one message rather than one per field.
        if (!settings().keyExists(RootKey::CurrentUser, kCsvPositionKey)) {
            prompt().message("Error reading data!", "Vesk");
        } else {
            for (int i = 0; i < kFieldCount; ++i) {
                std::uint32_t column = 0;
                if (readNumber(kCsvPositionKey, fieldName(i), column)) {
                    const auto signedColumn = static_cast<std::int32_t>(column);
                    positions[static_cast<std::size_t>(i)] = signedColumn < 0 ? -1 : signedColumn;
                }
            }
        }
        // The page lists the fields in column order (its rows are the columns), so the list is
        // ordered by position; fields not in the file come last, unpaired.
        std::vector<int> order(kFieldCount);
        std::iota(order.begin(), order.end(), 0);
        const auto key = [this](int f) {
            const std::int32_t p = positions[static_cast<std::size_t>(f)];
            return p < 0 ? INT32_MAX : p;
        };
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
        for (std::size_t k = 0; k < order.size(); ++k) {
            const int f = order[k];
            fieldNames[k] = fieldName(f);
            const std::int32_t p = positions[static_cast<std::size_t>(f)];
            headerStrings[k] = p < 0 ? std::string(kCsvPlaceholder) : std::to_string(p);
        }
    }
    loaded = true;
}

int CsvSettings::slotOf(int field) const {
    const std::string& name = fieldName(field);
    for (std::size_t k = 0; k < fieldNames.size(); ++k) {
        if (fieldNames[k] == name) return static_cast<int>(k);
    }
    return -1;
}

const std::string* CsvSettings::headingOf(int field) const {
    const int k = slotOf(field);
    if (k < 0 || static_cast<std::size_t>(k) >= headerStrings.size()) return nullptr;
    const std::string& h = headerStrings[static_cast<std::size_t>(k)];
    return isPlaceholder(h) ? nullptr : &h;
}

void CsvSettings::setHeading(int field, std::string heading) {
    const int k = slotOf(field);
    if (k < 0) return;
    if (headerStrings.size() < fieldNames.size()) {
        headerStrings.resize(fieldNames.size(), std::string(kCsvPlaceholder));
    }
    headerStrings[static_cast<std::size_t>(k)] =
        heading.empty() ? std::string(kCsvPlaceholder) : std::move(heading);
}

int CsvSettings::pairedCount() const {
    return static_cast<int>(std::count_if(headerStrings.begin(), headerStrings.end(),
                                          [](const std::string& h) { return !isPlaceholder(h); }));
}

void CsvSettings::restoreFieldOrder() {
    std::vector<std::string> names;
    std::vector<std::string> strings;
    for (int f = 0; f < kFieldCount; ++f) {
        const int k = slotOf(f);
        names.push_back(fieldName(f));
        strings.push_back(k >= 0 && static_cast<std::size_t>(k) < headerStrings.size()
                              ? headerStrings[static_cast<std::size_t>(k)]
                              : std::string(kCsvPlaceholder));
    }
    // The heading moves with its field, so the pairing the user made stays.
    fieldNames = std::move(names);
    headerStrings = std::move(strings);
}

bool CsvSettings::apply(CsvChoice choice) {
    // The rows of the page are the headings up to the first unpaired one; in absolute-position
    // mode row k is column k.
    const auto firstFree = std::find_if(headerStrings.begin(), headerStrings.end(),
                                        [](const std::string& h) { return isPlaceholder(h); });
    const auto rows = static_cast<std::size_t>(firstFree - headerStrings.begin());
    if (absolute()) {
        for (std::size_t k = 0; k < fieldNames.size(); ++k) {
            const int f = fieldIndex(fieldNames[k]);
            if (f >= 0)
                positions[static_cast<std::size_t>(f)] = k < rows ? static_cast<int>(k) : -1;
        }
    }

    bool ok = true;
    if (choice != CsvChoice::OnlyThisOperation) {
        keep = choice == CsvChoice::AlwaysUse ? 1 : 0;
        SettingsStore& store = settings();
        const auto put = [&](std::string_view key, std::string_view name, SettingValue v) {
            if (ok && store.writeValue(RootKey::CurrentUser, key, name, v) != kErrorSuccess) {
                ok = false;
            }
        };
        put(kCsvKey, "useInts", SettingValue::ofNumber(mode));
        put(kCsvKey, "keep", SettingValue::ofNumber(keep));
        for (std::size_t k = 0; k < fieldNames.size() && k < headerStrings.size(); ++k) {
            if (absolute()) {
                // Unpaired fields are stored as -1, "not in the file", so that they do not
                // fall back to their own index and read another field's column.
                const auto column = k < rows ? static_cast<std::uint32_t>(k) : 0xFFFFFFFFu;
                put(kCsvPositionKey, fieldNames[k], SettingValue::ofNumber(column));
            } else {
                const std::string& h = headerStrings[k];
                put(kCsvHeadingKey, fieldNames[k], SettingValue::ofText(isPlaceholder(h) ? "" : h));
            }
        }
        if (!ok) prompt().message("Error writing data!", "Vesk");
    }
    restoreFieldOrder();
    loaded = true;
    return ok;
}

CsvSettings& csvSettings() {
    static CsvSettings settingsObject;
    return settingsObject;
}

const std::array<std::string_view, kFieldCount>& csvFixedHeadings() {
    static const std::array<std::string_view, kFieldCount> headings = {
        "Name",
        "E-mail Address",
        "Nickname",
        "Home Phone",
        "Business Phone",
        "Company",
        "Home Street",
        "Home City",
        "Home Postal Code",
        "Home State",
        "Home Country",
        "Home Fax",
        "Mobile Phone",
        "Personal Web Page",
        "Business Street",
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
        "Manager's Name",
        "Assistant's Name",
        "First Name",
        "Middle Name",
        "Last Name",
        "Title",
        "Office Location",
        "Spouse",
    };
    return headings;
}

// ---------------------------------------------------------------------------------------------
// The automatic map

namespace {

const std::unordered_map<std::string, int>& automaticTable() {
    static const std::unordered_map<std::string, int> table = [] {
        std::unordered_map<std::string, int> t;
        for (int i = 0; i < kFieldCount; ++i) {
            t.emplace(lowerAscii(fieldName(i)), i);
            t.emplace(lowerAscii(csvFixedHeadings()[static_cast<std::size_t>(i)]), i);
        }
        using F = Field;
        const std::pair<const char*, Field> extra[] = {
            // Outlook
            {"Business Country/Region", F::BusinessCountry},
            {"Home Country/Region", F::HomeCountry},
            {"Web Page", F::BusinessWebPage},
            {"Business Street Address", F::BusinessStreet},
            // Thunderbird
            {"Display Name", F::FullName},
            {"Primary Email", F::Email},
            {"Work Phone", F::BusinessPhone},
            {"Fax Number", F::BusinessFax},
            {"Pager Number", F::Pager},
            {"Mobile Number", F::CellularPhone},
            {"Home Address", F::HomeStreet},
            {"Home ZipCode", F::HomePostalCode},
            {"Work Address", F::BusinessStreet},
            {"Work City", F::BusinessCity},
            {"Work State", F::BusinessState},
            {"Work ZipCode", F::BusinessPostalCode},
            {"Work Country", F::BusinessCountry},
            {"Web Page 1", F::BusinessWebPage},
            {"Web Page 2", F::HomeWebPage},
            // Google (both the older and the current export)
            {"Given Name", F::FirstName},
            {"Additional Name", F::MiddleName},
            {"Family Name", F::LastName},
            {"Name Prefix", F::Title},
            {"Occupation", F::Profession},
            {"E-mail 1 - Value", F::Email},
            {"Organization 1 - Name", F::Organization},
            {"Organization 1 - Title", F::JobTitle},
            {"Organization 1 - Department", F::Department},
            {"Organization Name", F::Organization},
            {"Organization Title", F::JobTitle},
            {"Organization Department", F::Department},
            {"Address 1 - Street", F::HomeStreet},
            {"Address 1 - City", F::HomeCity},
            {"Address 1 - Region", F::HomeState},
            {"Address 1 - Postal Code", F::HomePostalCode},
            {"Address 1 - Country", F::HomeCountry},
            // Plain lists
            {"Email", F::Email},
            {"E-mail", F::Email},
            {"Email Address", F::Email},
            {"Mail", F::Email},
            {"Mobile", F::CellularPhone},
            {"Home Zip", F::HomePostalCode},
            {"Work Zip", F::BusinessPostalCode},
        };
        for (const auto& [heading, field] : extra) {
            t.emplace(lowerAscii(heading), static_cast<int>(field));
        }
        return t;
    }();
    return table;
}

CsvOptionsRequest* g_request = nullptr;

}  // namespace

int csvAutomaticField(std::string_view heading) {
    const auto& table = automaticTable();
    const auto it = table.find(lowerAscii(csv::trimHeading(heading)));
    return it == table.end() ? -1 : it->second;
}

bool AutomaticCsvOptions::editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                                       const std::string& fileName) {
    // Absolute positions are the user's own choice, and headings cannot improve on them.
    if (map.absolute()) return true;
    if (headings.empty()) return false;

    std::vector<bool> used(headings.size(), false);
    std::array<bool, kFieldCount> inFile{};
    // A heading the user paired before keeps its field.
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string* h = map.headingOf(f);
        if (!h) continue;
        const std::string_view want = csv::trimHeading(*h);
        for (std::size_t c = 0; c < headings.size(); ++c) {
            if (equalNoCase(csv::trimHeading(headings[c]), want)) {
                used[c] = true;
                inFile[static_cast<std::size_t>(f)] = true;
                break;
            }
        }
    }
    for (std::size_t c = 0; c < headings.size(); ++c) {
        if (used[c]) continue;
        const int f = csvAutomaticField(headings[c]);
        if (f < 0 || inFile[static_cast<std::size_t>(f)]) continue;
        map.setHeading(f, std::string(csv::trimHeading(headings[c])));
        inFile[static_cast<std::size_t>(f)] = true;
        used[c] = true;
    }
    const auto has = [&](Field f) { return inFile[static_cast<std::size_t>(f)]; };
    if (!has(Field::FullName) && !has(Field::Email) &&
        !(has(Field::FirstName) && has(Field::LastName))) {
        prompt().message(
            "No column of this file could be paired with \"Full Name\" or \"E-Mail Address\" "
            "(nor with \"First Name\" and \"Last Name\"), so no contacts were read from it. "
            "Pair its columns with the contact fields on the \"CSV Options\" page.",
            fileName, Buttons::Ok, Icon::Warning);
        return false;
    }
    return true;
}

CsvOptionsRequest& csvOptionsRequest() {
    static AutomaticCsvOptions automatic;
    return g_request ? *g_request : automatic;
}

CsvOptionsRequest* setCsvOptionsRequest(CsvOptionsRequest* request) {
    CsvOptionsRequest* previous = g_request;
    g_request = request;
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Records and values

namespace csv {

std::size_t Scanner::quotedEnd(std::size_t open, Cell& cell) {
    const std::size_t n = m_text.size();
    const char* s = m_text.data();
    const auto lineEnd = [&](std::size_t from) {
        const void* lf = std::memchr(s + from, '\n', n - from);
        return lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - s) : n;
    };
    // Once a quote has been seen that nothing closes, a later one cannot be closed on a later
    // line either; keeping those to their line keeps the reader linear.
    const std::size_t limit = m_unclosedAt != npos && open >= m_unclosedAt ? lineEnd(open) : n;
    std::size_t i = open + 1;
    bool escaped = false;
    while (i < limit) {
        const void* q = std::memchr(s + i, '"', limit - i);
        if (!q) break;
        const auto k = static_cast<std::size_t>(static_cast<const char*>(q) - s);
        if (k + 1 < limit && s[k + 1] == '"') {
            i = k + 2;
            escaped = true;
            continue;
        }
        std::size_t j = k + 1;
        while (j < n && isBlank(s[j]) && s[j] != m_separator) ++j;
        if (j >= n || s[j] == m_separator || s[j] == '\n') {
            if (!escaped) {
                cell.plain = true;
                cell.textBegin = open + 1;
                cell.textEnd = k;
            }
            return j;
        }
        // A quote inside the text, as writers that never doubled them left it.
        i = k + 1;
        escaped = true;
    }
    if (m_unclosedAt == npos || open < m_unclosedAt) m_unclosedAt = open;
    return lineEnd(open);
}

std::size_t Scanner::record(std::size_t pos, std::vector<Cell>& cells) {
    cells.clear();
    const std::size_t n = m_text.size();
    const char* s = m_text.data();
    std::size_t i = std::min(pos, n);
    for (;;) {
        // Filled in place: a copy of a cell just written field by field stalls the CPU.
        Cell& cell = cells.emplace_back();
        cell.begin = i;
        std::size_t j = i;
        while (j < n && (s[j] == ' ' || s[j] == '\t') && s[j] != m_separator) ++j;
        if (j < n && s[j] == '"') {
            cell.quoted = true;
            cell.end = quotedEnd(j, cell);
        } else {
            while (j < n && s[j] != m_separator && s[j] != '\n') ++j;
            cell.end = j;
        }
        i = cell.end;
        if (i >= n) return n;
        if (s[i] == '\n') return i + 1;
        ++i;
    }
}

std::string Scanner::value(const Cell& cell) const {
    const char* s = m_text.data();
    if (!cell.quoted) return std::string(s + cell.begin, cell.end - cell.begin);
    if (cell.plain) return std::string(s + cell.textBegin, cell.textEnd - cell.textBegin);
    std::size_t i = cell.begin;
    while (i < cell.end && s[i] != '"') ++i;
    ++i;
    const std::size_t end = cell.end;
    std::string out;
    out.reserve(end > i ? end - i : 0);
    while (i < end) {
        const void* q = std::memchr(s + i, '"', end - i);
        if (!q) {
            out.append(s + i, end - i);
            break;
        }
        const auto k = static_cast<std::size_t>(static_cast<const char*>(q) - s);
        out.append(s + i, k - i);
        if (k + 1 < end && s[k + 1] == '"') {
            out.push_back('"');
            i = k + 2;
            continue;
        }
        std::size_t j = k + 1;
        while (j < end && isBlank(s[j])) ++j;
        if (j == end) break;  // the closing quote
        out.push_back('"');
        i = k + 1;
    }
    return out;
}

char detectSeparator(std::string_view text) {
    Scanner scanner(text, ',');
    std::vector<Cell> cells;
    const std::size_t end = scanner.record(0, cells);
    if (cells.size() > 1) return ',';
    std::size_t tabs = 0;
    std::size_t semicolons = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\t') ++tabs;
        if (text[i] == ';') ++semicolons;
    }
    if (tabs == 0 && semicolons == 0) return ',';
    return tabs >= semicolons ? '\t' : ';';
}

std::string_view trimHeading(std::string_view heading) {
    const auto trimmed = [](char c) { return c == '"' || c == ' ' || c == '\t'; };
    while (!heading.empty() && trimmed(heading.front())) heading.remove_prefix(1);
    while (!heading.empty() && trimmed(heading.back())) heading.remove_suffix(1);
    return heading;
}

void appendQuoted(std::string& out, std::string_view value) {
    out.push_back('"');
    std::size_t from = 0;
    for (;;) {
        const std::size_t q = value.find('"', from);
        if (q == std::string_view::npos) {
            out.append(value.substr(from));
            break;
        }
        out.append(value.substr(from, q + 1 - from));
        out.push_back('"');
        from = q + 1;
    }
    out.push_back('"');
}

}  // namespace csv

// ---------------------------------------------------------------------------------------------
// The reader

namespace iterators {

namespace {

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

IterCSV::IterCSV(const std::string& fileName, int format)
    : m_fileName(fileName), m_format(format), m_scanner({}, ',') {
    m_columns.fill(-1);
    if (!open()) return;
    if (m_format == kAbxFormat) {
        for (const AbxColumn& c : kAbxColumns) columnOf(m_columns, c.field) = c.column;
    } else if (!buildColumnMap()) {
        m_state = State::Cancelled;
        return;
    }
    setMask();
    rewind();
}

bool IterCSV::open() {
    std::optional<std::string> text = readTextFile(m_fileName);
    if (!text) {
        prompt().message("file cannot be opened!", m_fileName);
        m_state = State::Unreadable;
        return false;
    }
    m_text = std::move(*text);
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
    if (m_state != State::Ready) return true;
    CsvSettings& map = csvSettings();
    map.ensureLoaded();
    CsvOptionsRequest& request = csvOptionsRequest();
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
    return true;
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
            prompt().message(error.what(), "error in property #" + std::to_string(f));
        }
        m_columns[static_cast<std::size_t>(f)] = column;
    }
}

void IterCSV::setMask() {
    m_mask.reset();
    for (int f = 0; f < kFieldCount; ++f) {
        if (m_columns[static_cast<std::size_t>(f)] >= 0) m_mask.set(static_cast<std::size_t>(f));
    }
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
    if (m_state == State::Unreadable || m_state == State::Cancelled) return false;
    if (m_state == State::NoData || m_dataStart >= m_text.size()) {
        if (!m_invalidShown) prompt().message("Invalid Data!", "error");
        m_invalidShown = true;
        return false;
    }
    m_position = m_dataStart;
    skipEmptyLines();
    return true;
}

bool IterCSV::atEnd() {
    return m_position == npos || m_position >= m_text.size();
}

float IterCSV::progress() {
    if (m_text.empty() || atEnd()) return 1.0f;
    return static_cast<float>(static_cast<double>(m_position) / static_cast<double>(m_text.size()));
}

Entry IterCSV::nextEntry() {
    Entry e;
    e.mask = m_mask;
    if (atEnd()) return e;
    const std::size_t lineStart = m_position;
    const std::size_t next = m_scanner.record(m_position, m_cells);
    for (std::size_t f = 0; f < m_columns.size(); ++f) {
        const int c = m_columns[f];
        if (c < 0 || static_cast<std::size_t>(c) >= m_cells.size()) continue;
        const csv::Cell& cell = m_cells[static_cast<std::size_t>(c)];
        if (cell.end == cell.begin) continue;
        if (cell.plain) {
            e.fields[f].assign(m_text, cell.textBegin, cell.textEnd - cell.textBegin);
        } else if (cell.quoted) {
            e.fields[f] = m_scanner.value(cell);
        } else {
            e.fields[f].assign(m_text, cell.begin, cell.end - cell.begin);
        }
    }
    if (!m_unclosedReported && m_scanner.unclosedAt() != npos && m_scanner.unclosedAt() < next) {
        m_unclosedReported = true;
        const auto line =
            1 + std::count(m_text.begin(), m_text.begin() + static_cast<std::ptrdiff_t>(lineStart),
                           '\n');
        diagnostic(m_fileName + ":" + std::to_string(line) +
                   ": a quoted value is not closed; it ends at the end of its line\n");
    }
    m_position = next;
    skipEmptyLines();
    return e;
}

}  // namespace iterators

// ---------------------------------------------------------------------------------------------
// The writer

ToCSV::ToCSV(std::string fileName) : ToFile(std::move(fileName)) {
    CsvSettings& map = csvSettings();
    map.ensureLoaded();
    const auto& fixed = csvFixedHeadings();
    if (!map.absolute() && map.keep != 0) {
        // A field without a heading of its own gets the fixed one, never the placeholder:
        // identical headings would all read back as one column.
        for (int f = 0; f < kFieldCount; ++f) {
            if (f > 0) m_text.push_back(',');
            const std::string* h = map.headingOf(f);
            const std::string_view heading =
                h ? std::string_view(*h) : fixed[static_cast<std::size_t>(f)];
            if (heading.find_first_of(",\"\n") != std::string_view::npos) {
                csv::appendQuoted(m_text, heading);
            } else {
                m_text.append(heading);
            }
        }
    } else {
        for (std::size_t f = 0; f < fixed.size(); ++f) {
            if (f > 0) m_text.push_back(',');
            m_text.append(fixed[f]);
        }
    }
    m_text.push_back('\n');
}

bool ToCSV::write(Entry e) {
    std::size_t size = 1;
    bool quotes = false;
    for (const std::string& v : e.fields) {
        size += v.size() + 3;
        quotes = quotes || std::memchr(v.data(), '"', v.size()) != nullptr;
    }
    if (quotes) {
        for (const std::string& v : e.fields) {
            csv::appendQuoted(m_text, v);
            m_text.push_back(',');
        }
        m_text.push_back('\n');
        return true;
    }
    // The common line without quotes inside, written in one piece.
    const std::size_t at = m_text.size();
    m_text.resize(at + size);
    char* out = m_text.data() + at;
    for (const std::string& v : e.fields) {
        *out++ = '"';
        std::memcpy(out, v.data(), v.size());
        out += v.size();
        *out++ = '"';
        *out++ = ',';
    }
    *out = '\n';
    return true;
}

}  // namespace vesk
