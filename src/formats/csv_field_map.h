// The field map of CSV files: which column heading (or, in absolute-position mode, which
// column) each contact field is read from, kept under "Software\Vesk\CSV" and shared by the
// reader, the writer and the "CSV Options" page.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/entry.h"
#include "platform/run_context.h"

namespace vesk {

/// Where the field map lives in HKEY_CURRENT_USER, with its "tstring" and "Int" sub-keys.
inline constexpr std::string_view kCsvKey = "Software\\Vesk\\CSV";
inline constexpr std::string_view kCsvHeadingKey = "Software\\Vesk\\CSV\\tstring";
inline constexpr std::string_view kCsvPositionKey = "Software\\Vesk\\CSV\\Int";
/// The heading of a field that has none; it is stored as an empty string.
inline constexpr std::string_view kCsvPlaceholder =
    "hopefully this tstring will never be found in the header";

/// The three ways the "CSV Options" page can be left with OK.
enum class CsvChoice { AlwaysUse, OnlyThisOperation, AlwaysDisplay };

/// The field map shared by the reader, the writer and the options page; loaded from the
/// settings store once per run.
class CsvSettings {
  public:
    CsvSettings();

    bool loaded = false;
    /// Field display names; the options page may reorder them (entry k pairs with
    /// headerStrings[k]), apply() puts them back into field order.
    std::vector<std::string> fieldNames;
    /// 0: header-string mode; otherwise absolute-position mode ("useInts").
    std::uint8_t mode = 0;
    /// Nonzero: use the map without showing the options page ("keep").
    std::uint32_t keep = 0;
    std::vector<std::string> headerStrings;
    /// Column of each field in field order (absolute-position mode); -1: not in the file.
    std::vector<std::int32_t> positions;

    bool absolute() const { return mode != 0; }
    /// Loads from the settings store unless already loaded in this run.
    void ensureLoaded(RunContext& run);
    /// Reads the store now (absent values give the defaults).
    void load(RunContext& run);
    /// Field order, no headings, the writer's column order; not loaded.
    void reset();

    /// The heading paired with field `field`, or nullptr when the field is unpaired.
    const std::string* headingOf(int field) const;
    /// Pairs field `field` with `heading` (the placeholder or "" unpairs it).
    void setHeading(int field, std::string heading);
    /// Number of fields paired with a heading.
    int pairedCount() const;

    /// Stores the settings as the options page does on OK (nothing for OnlyThisOperation);
    /// false after "Error writing data!".
    bool apply(RunContext& run, CsvChoice choice);

  private:
    int slotOf(int field) const;
    void restoreFieldOrder();
};

/// The run's field map (loaded from the settings store once per run).
CsvSettings& csvSettings(RunContext& run);

/// The headings of the writer's fixed header, in field order ("Name", "E-mail Address", ...).
const std::array<std::string_view, kFieldCount>& csvFixedHeadings();

}  // namespace vesk
