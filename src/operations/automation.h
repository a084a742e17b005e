// Automation tasks: named conversions (source application and file, destination application
// and file) kept under "Software\Vesk\Automation", one key per task, run with "/auto NAME".
#pragma once

#include <string>
#include <string_view>

#include "operations/dispatch.h"

namespace vesk {

inline constexpr std::string_view kAutomationKey = "Software\\Vesk\\Automation";
/// A task that names an application Vesk does not know (the registry's "invalid parameter").
inline constexpr int kErrorInvalidParameter = 87;

struct AutomationTask {
    std::string fromApp;
    std::string fromFile;
    std::string toApp;
    std::string toFile;
};

/// True for a name a conversion can read from: an application with a source route, or a
/// format id of `formats`.
bool isSourceApplication(const Registry& formats, const std::string& name);
/// True for a name a conversion can write to: any application (those without a route of their
/// own are written by the file's extension), a format id, or "" (by the file's extension).
bool isDestinationApplication(const Registry& formats, const std::string& name);
/// `path` as a task keeps it: a relative path made absolute against the current folder, so
/// that the task runs the same from anywhere; "" stays "".
std::string taskPath(const std::string& path);

/// Creates or replaces a task: "from" and "to" are multi-strings (application, file), the
/// files kept as absolute paths. Returns 0, kErrorInvalidParameter (nothing stored) for an
/// application neither the application list nor `formats` knows, or the first settings error.
int SaveAutomationTask(RunContext& run, const std::string& name, const std::string& fromApp,
                       const std::string& fromFile, const std::string& toApp,
                       const std::string& toFile, const Registry& formats = Registry::builtIn());
/// Index 0 starts an enumeration of the task names, further calls give the next name, -1
/// gives one more and ends it. Returns 0, kErrorNoMoreItems, or a settings error.
int EnumAutomationTask(RunContext& run, int index, std::string& name);
/// Removes a task; no question, no report.
void DeleteAutomationTask(RunContext& run, const std::string& name);
/// Reads a task; false when its key, "from" or "to" cannot be read.
bool readAutomationTask(RunContext& run, const std::string& name, AutomationTask& task);
/// "Convert from <app> <file> to <app> <file>".
std::string describeTask(const AutomationTask& task);

/// Runs a task through the application dispatch; false (after "Invalid automation task: ")
/// when it cannot be read. `outcome` receives how the conversion went.
bool RunAutomationTask(BookView& view, const std::string& name, DispatchOutcome* outcome = nullptr,
                       const DispatchContext& context = {});

}  // namespace vesk
