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
    /// Opera's hotlist as the wizard keeps it; when set, an Opera destination names the folder
    /// in it that takes the contacts ("Contacts" or a backslash path as the reader takes it).
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
    bool cancelled = false;        ///< the reading was cancelled: nothing was written
    SaveOutcome save;
};

/// Converts from a named application (or format id) to a named application (or format id)
/// through the view's book; an unknown destination name writes by the file's extension.
DispatchOutcome dispatchApplications(const std::string& fromApp, const std::string& fromFile,
                                     const std::string& toApp, const std::string& toFile,
                                     BookView& view, const DispatchContext& context = {});

/// The source half of the dispatch alone: reads into the view's current book (the wizard's
/// "open" mode).
DispatchOutcome dispatchSource(const std::string& fromApp, const std::string& fromFile,
                               BookView& view, const DispatchContext& context = {});
/// The destination half alone: writes the view's current book (the wizard's "export" mode).
DispatchOutcome dispatchDestination(const std::string& toApp, const std::string& toFile,
                                    BookView& view, const DispatchContext& context = {});

/// The file that external exports and imports exchange, in the program's folder.
std::string externalLdifPath(const RunContext& run);

}  // namespace vesk
