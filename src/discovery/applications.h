// The applications Vesk knows, by format number and display name, and the address-book
// location configured for each (kept under "Software\Vesk\Formats"). The display names are
// also what automation tasks and the command line name applications by.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/run_context.h"
#include "registry/applications.h"

namespace vesk {

inline constexpr std::string_view kFormatsKey = "Software\\Vesk\\Formats";

/// The configured path of a format number, as this run knows it ("" when none or not installed).
std::string configuredPath(RunContext& run, int number);
void setConfiguredPath(RunContext& run, int number, std::string path);

/// The stored path of an application, detecting and saving every format first when nothing is
/// stored yet. A stored value counts only when it starts like a path (a letter, a digit, "/",
/// or "\\").
std::string GetFormatPath(RunContext& run, const std::string& displayName);
/// Stores one path; "Error writing data!" when the settings cannot be written.
void SetFormatPath(RunContext& run, const std::string& displayName, const std::string& path);
/// Writes the fifteen slots: those holding a path or marker; an empty slot removes its value.
void SaveAllFormats(RunContext& run);
/// Runs every detector and stores each result in its slot (a detector set with
/// setFormatDetector runs instead).
void DetectAllFormats(RunContext& run);
/// Sets the detection that DetectAllFormats runs; returns the previous one.
std::function<void()> setFormatDetector(RunContext& run, std::function<void()> detector);
/// Fills every slot that has a display name from the stored paths, as an automation run does
/// before it starts.
void refreshConfiguredPaths(RunContext& run);

}  // namespace vesk
