// The applications Vesk knows, by format number and display name, and the address-book
// location configured for each (kept under "Software\Vesk\Formats"). The display names are
// also what automation tasks and the command line name applications by.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vesk {

constexpr int kFormatCount = 24;
constexpr int kFormatOther = 100;
constexpr int kFormatEudora = 8;
constexpr int kFormatPine = 11;
constexpr int kFormatForteAgent = 21;

inline constexpr std::string_view kFormatsKey = "Software\\Vesk\\Formats";

/// The number of a display name (exact, case-sensitive); "Pegasus Mail" gives 3 for a path
/// ending in "pml" or "PML", else 4; "Other" gives 100; an unknown name gives -1.
int FormatNumberOf(std::string_view name, std::string_view filePath);
/// The display name of a number ("" for none); with `ldifVariant`, 2 gives "LDAP/LDIF File".
std::string FormatName(int number, bool ldifVariant = false);
/// True for the numbers that have a configured-path slot.
bool hasPathSlot(int number);

/// The configured path of a format number ("" when none or not installed).
std::string configuredPath(int number);
void setConfiguredPath(int number, std::string path);

/// The stored path of an application, detecting and saving every format first when nothing is
/// stored yet. A stored value counts only when it starts like a path (a letter, a digit, "/",
/// or "\\").
std::string GetFormatPath(const std::string& displayName);
/// Stores one path; "Error writing data!" when the settings cannot be written.
void SetFormatPath(const std::string& displayName, const std::string& path);
/// Writes the fifteen detected slots.
void SaveAllFormats();
/// Runs the installed-program detection (none until a detector is set).
void DetectAllFormats();
/// Sets the detection that DetectAllFormats runs; returns the previous one.
std::function<void()> setFormatDetector(std::function<void()> detector);
/// Fills every slot that has a display name from the stored paths, as an automation run does
/// before it starts.
void refreshConfiguredPaths();

}  // namespace vesk
