// Finding the mail programs installed on this machine and where each keeps its address book:
// from their registry keys inside a Wine prefix (Windows paths mapped into the prefix), and
// from the homes the native Linux builds of the same programs use.
#pragma once

#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/run_context.h"

namespace vesk {

/// Markers a slot may hold instead of a path.
inline constexpr const char* kPresent = "Present";
inline constexpr const char* kOutlookExpressAvailable = "5.0";

/// The environment detection reads (HOME, WINEPREFIX, ...): the process's own unless a test
/// or front end set values in it.
Environment& detectionEnvironment(RunContext& run);

/// The Wine prefix detection maps Windows paths into ("" when it has no registry files).
std::string detectionWinePrefix(RunContext& run);
/// A Windows path from a registry value as a path of this machine: "C:\x" inside the prefix's
/// drive_c; "" for a path that cannot be mapped (no backslash path reaches the file system).
std::string hostPath(RunContext& run, const std::string& windowsPath);
/// "%APPDATA%" and "%PROGRAMFILES%" expanded as the Wine prefix defines them; "" when the
/// text names a variable that is not known.
std::string expandWindowsPath(RunContext& run, const std::string& text);

/// The detector of a format number; `present` asks only whether the program is there (the
/// profile-based programs then give "Present" instead of their profile listing). "" when the
/// number has no detector or the program is not found.
std::string detectFormat(RunContext& run, int number, bool present = true);

/// The Thunderbird listing: the profiles folder, a line feed and the text of its
/// profiles.ini (the folder + "/Profiles/default" when there is none); "" when not installed.
std::string thunderbirdListing(RunContext& run);

}  // namespace vesk
