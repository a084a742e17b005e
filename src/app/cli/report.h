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
void reportConversion(const std::string& source, NewAdbook& book, const SaveOutcome& save,
                      std::ostream& err);
/// What became of a destination that existed, on `err`: "merged with what X already held",
/// "could not read the existing file; replaced it, the old one is X.bak" or "replaced X".
void reportMergedOrReplaced(const SaveOutcome& save, std::ostream& err);
/// Prints how a dispatch went and returns the exit code.
int judge(const DispatchOutcome& o, const std::string& source, NewAdbook& book, std::ostream& err);

}  // namespace vesk::cli
