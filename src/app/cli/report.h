// What the command line tells the user after a conversion: the summary on stderr (read,
// written, merged, flattened) and the exit code. 0 done, 1 failed, 2 usage.
#pragma once

#include <iosfwd>
#include <string>

#include "model/adbook.h"
#include "operations/dispatch.h"

namespace vesk::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

/// The summary after a conversion, on `err`: what was read, written, merged and flattened.
/// With a `reportFile`, each value left behind is written to it as a JSON line.
void reportConversion(const std::string& source, NewAdbook& book, const SaveOutcome& save,
                      std::ostream& err, const std::string& reportFile = {});
/// What became of a destination that existed, on `err`: "merged with what X already held",
/// "could not read the existing file; replaced it, the old one is X.bak" or "replaced X".
void reportMergedOrReplaced(const SaveOutcome& save, std::ostream& err);
/// Prints how a dispatch went and returns the exit code. `failureTold`: a problem was
/// already reported on its own line, so a failure needs no second line.
int judge(const DispatchOutcome& o, const std::string& source, NewAdbook& book, std::ostream& err,
          bool failureTold = false, const std::string& reportFile = {});

}  // namespace vesk::cli
