// Converting from a named application to a named application through a book: the route of
// each application (its file, its store, its configured folder, its own export or import) comes
// from the application table; a format id may stand for an application on either side.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "operations/selection.h"
#include "platform/process.h"

namespace vesk {

/// What the application dispatch needs besides the view: the files the wizard keeps and the
/// way to run another program (the process layer unless replaced).
struct DispatchContext {
    std::string operaFile;
    std::string simeonFile;
    /// False writes destination files afresh instead of merging with what they hold.
    bool allowMerge = true;
    /// Runs a program to its end (the process layer unless replaced).
    std::function<ProcessResult(const std::vector<std::string>& argv)> run;
    const Registry* registry = nullptr;  ///< nullptr: the built-in one
};

struct DispatchOutcome {
    bool sourceKnown = false;      ///< the source application name was recognised
    int loadResult = 0;            ///< loadFile's result where the source loads a file
    bool sourceAvailable = true;   ///< false: its reader or program is not available
    bool destinationKnown = true;  ///< false only for the Netscape 4.x import not started
    SaveOutcome save;
};

/// Converts from a named application (or format id) to a named application (or format id)
/// through the view's book; an unknown destination name writes by the file's extension.
DispatchOutcome dispatchApplications(const std::string& fromApp, const std::string& fromFile,
                                     const std::string& toApp, const std::string& toFile,
                                     BookView& view, const DispatchContext& context = {});

/// The file that external exports and imports exchange, in the program's folder.
std::string externalLdifPath(const RunContext& run);

}  // namespace vesk
