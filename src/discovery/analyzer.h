// The profile analyzer: our own small program "regExport", which prints the profiles of the
// Mozilla family's registry as UTF-16 text that IterPipe reads.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/run_context.h"

namespace vesk {

inline constexpr const char* kAnalyzerName = "regExport";
inline constexpr std::chrono::milliseconds kAnalyzerTimeout{5000};

/// The analyzer's full path: the program folder of the run + "regExport".
std::string analyzerPath(RunContext& run);

/// Runs the analyzer with `arguments` (the files it is to read), reading its output until it
/// ends; the UTF-16 output as UTF-8. "" after a reported failure or time-out.
std::string RunAnalyzer(RunContext& run, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout = kAnalyzerTimeout);

}  // namespace vesk
