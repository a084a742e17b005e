#include "formats/csv_automatic_map.h"

#include <array>
#include <memory>
#include <unordered_map>

#include "formats/csv_scanner.h"
#include "platform/prompt.h"

namespace vesk {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

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
            // Roundcube, and lists that name the kind of address; the first such column in a
            // file gives the e-mail address.
            {"Email Home", F::Email},
            {"Email Work", F::Email},
            {"Email Other", F::Email},
            {"E-mail Home", F::Email},
            {"E-mail Work", F::Email},
            {"E-mail Other", F::Email},
            {"Work Email", F::Email},
            {"Home Email", F::Email},
            // Outlook's further street lines ("Home Street 2") and Thunderbird's "Home Address 2"
            // are read as second lines of the street (csv::secondLineField), not here.
            // "E-mail 2 Address", "Secondary Email", "Birthday" and the like have no place
            // among the fields: the reader keeps them as the entry's extra values.
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
    // Pairs named on the command line come first.
    for (const CsvColumnPair& pair : csvCommandLineMap(m_run)) {
        for (std::size_t c = 0; c < headings.size(); ++c) {
            if (used[c] || !equalNoCase(csv::trimHeading(headings[c]), pair.heading)) continue;
            map.setHeading(pair.field, std::string(csv::trimHeading(headings[c])));
            used[c] = true;
            inFile[static_cast<std::size_t>(pair.field)] = true;
            break;
        }
    }
    // A heading the user paired before keeps its field.
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string* h = map.headingOf(f);
        if (!h || inFile[static_cast<std::size_t>(f)]) continue;
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
        m_run.report(
            Severity::Warning,
            "No column of this file could be paired with \"Full Name\" or \"E-Mail Address\" "
            "(nor with \"First Name\" and \"Last Name\"), so no contacts were read from it. "
            "Pair its columns with the contact fields with --csv-map \"Heading=Field,...\" "
            "(--csv-map \"Mail=E-Mail Address,Name=Full Name\").",
            fileName, Where{fileName});
        return false;
    }
    return true;
}

namespace {

/// The pairs given on the command line, for the run.
struct CommandLineMap {
    std::vector<CsvColumnPair> pairs;
};

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

/// A field by its display name, any letter case, or by a heading the automatic map knows.
int fieldNamed(std::string_view name) {
    for (int f = 0; f < kFieldCount; ++f) {
        if (equalNoCase(fieldName(f), name)) return f;
    }
    return csvAutomaticField(name);
}

}  // namespace

bool setCsvCommandLineMap(RunContext& run, std::string_view text, std::string& error) {
    std::vector<CsvColumnPair> pairs;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t comma = text.find(',', from);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view item = trimBlanks(text.substr(from, comma - from));
        from = comma + 1;
        if (item.empty()) continue;
        const std::size_t eq = item.rfind('=');
        const std::string_view heading =
            eq == std::string_view::npos ? std::string_view() : trimBlanks(item.substr(0, eq));
        const std::string_view field =
            eq == std::string_view::npos ? std::string_view() : trimBlanks(item.substr(eq + 1));
        const int f = field.empty() ? -1 : fieldNamed(field);
        if (heading.empty() || f < 0) {
            error = "--csv-map: '" + std::string(item) +
                    "' pairs no heading with a field (Heading=Field, the field by its name, such "
                    "as \"E-Mail Address\")";
            return false;
        }
        pairs.push_back({std::string(heading), f});
    }
    if (pairs.empty()) {
        error = "option '--csv-map' needs a value (\"Heading=Field,...\")";
        return false;
    }
    run.state<CommandLineMap>().pairs = std::move(pairs);
    return true;
}

const std::vector<CsvColumnPair>& csvCommandLineMap(RunContext& run) {
    return run.state<CommandLineMap>().pairs;
}

namespace {

/// What a run keeps for the CSV reader's request.
struct CsvRequestSlot {
    CsvOptionsRequest* request = nullptr;
    std::unique_ptr<AutomaticCsvOptions> automatic;
};

}  // namespace

CsvOptionsRequest& csvOptionsRequest(RunContext& run) {
    CsvRequestSlot& slot = run.state<CsvRequestSlot>();
    if (slot.request) return *slot.request;
    if (!slot.automatic) slot.automatic = std::make_unique<AutomaticCsvOptions>(run);
    return *slot.automatic;
}

void setCsvOptionsRequest(RunContext& run, CsvOptionsRequest* request) {
    run.state<CsvRequestSlot>().request = request;
}

}  // namespace vesk
