#include "discovery/analyzer.h"

#include "discovery/mozilla_registry.h"
#include "platform/environment.h"
#include "platform/process.h"

namespace vesk {

std::string analyzerPath(RunContext& run) {
    const std::string dir =
        run.programDirectory.empty() ? programDirectory() : run.programDirectory;
    return joinPath(dir, kAnalyzerName);
}

std::string RunAnalyzer(RunContext& run, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout) {
    run.trace(0, "Copying path of the analyzer", "Debug");
    std::vector<std::string> argv{analyzerPath(run)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    run.trace(0, "Running Analyzer", "Debug");
    // Started by its full path with an argument vector; the output is read while it runs and
    // up to its end.
    const ProcessResult r = runProcess(argv, timeout, true);
    if (!r.started) {
        run.report(Severity::Error, "Error launching Analyzer!", "Detection Error!");
        return {};
    }
    if (r.timedOut) {
        run.report(Severity::Error,
                   "The analyzer did not finish within " + std::to_string(timeout.count()) +
                       " ms; its output is ignored.",
                   "Detection Error!");
        return {};
    }
    run.trace(0, "Reading Analyzer's output", "Debug");
    std::string text = fromUtf16Le(r.output);
    run.trace(0,
              "Read " + std::to_string(r.output.size() / 2) + " characters, return " +
                  std::to_string(r.exitCode),
              "Debug");
    return text;
}

}  // namespace vesk
