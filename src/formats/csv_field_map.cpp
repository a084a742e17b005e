#include "formats/csv_field_map.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace vesk {

namespace {

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
bool readNumber(RunContext& run, std::string_view key, std::string_view name, std::uint32_t& out) {
    SettingValue v;
    const int rc = run.settings().readValue(RootKey::CurrentUser, key, name, v);
    if (rc == kErrorSuccess) {
        if (v.type == ValueType::Number) {
            out = v.number;
            return true;
        }
        return false;
    }
    if (rc != kErrorFileNotFound) run.report(Severity::Error, registryErrorText(rc), "Vesk");
    return false;
}

bool readText(RunContext& run, std::string_view key, std::string_view name, std::string& out) {
    SettingValue v;
    const int rc = run.settings().readValue(RootKey::CurrentUser, key, name, v);
    if (rc == kErrorSuccess) {
        if (v.type != ValueType::String && v.type != ValueType::ExpandString) return false;
        out = v.text;
        return true;
    }
    if (rc != kErrorFileNotFound) run.report(Severity::Error, registryErrorText(rc), "Vesk");
    return false;
}

}  // namespace

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

void CsvSettings::ensureLoaded(RunContext& run) {
    if (!loaded) load(run);
}

void CsvSettings::load(RunContext& run) {
    reset();
    std::uint32_t number = 0;
    if (readNumber(run, kCsvKey, "useInts", number)) mode = number != 0 ? 1 : 0;
    if (readNumber(run, kCsvKey, "keep", number)) keep = number;

    if (!absolute()) {
        for (int i = 0; i < kFieldCount; ++i) {
            std::string heading;
            if (readText(run, kCsvHeadingKey, fieldName(i), heading) && usableHeading(heading)) {
                headerStrings[static_cast<std::size_t>(i)] = heading;
            }
        }
    } else {
        // A missing key is read as missing values, with one message rather than one per field.
        if (!run.settings().keyExists(RootKey::CurrentUser, kCsvPositionKey)) {
            run.report(Severity::Error, "Error reading data!", "Vesk");
        } else {
            for (int i = 0; i < kFieldCount; ++i) {
                std::uint32_t column = 0;
                if (readNumber(run, kCsvPositionKey, fieldName(i), column)) {
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

bool CsvSettings::apply(RunContext& run, CsvChoice choice) {
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
        SettingsStore& store = run.settings();
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
        if (!ok) run.report(Severity::Error, "Error writing data!", "Vesk");
    }
    restoreFieldOrder();
    loaded = true;
    return ok;
}

CsvSettings& csvSettings(RunContext& run) {
    return run.state<CsvSettings>();
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

}  // namespace vesk
