// The command line: the switches of the Windows program ("/convert", "/sync", "/auto",
// "/help", "/?", "/wizard", "/prefs", a file name) and, beside them, commands in the habits of
// Linux (`vesk convert SRC DST`, `vesk sync A B`, ...). Exit codes: 0 done, 1 failed, 2 usage.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/arguments.h"
#include "app/cli/report.h"
#include "platform/run_context.h"
#include "registry/registry.h"

namespace vesk::cli {

/// What the command line talks to: its output streams, the formats it knows and the run it
/// works in (runIn fills it).
struct Streams {
    std::ostream& out;
    std::ostream& err;
    const Registry& formats = Registry::builtIn();
    RunContext* run = nullptr;
    std::istream* in = nullptr;  ///< what "-" reads; nullptr: the standard input
};

/// `vesk formats`: one line for every format of `registry`.
int listFormats(const Registry& registry, Streams streams);

/// Runs the command line `args` (without the program's name) in the program's own run: the
/// console's prompt, the user's settings, the trace on stderr when asked for. Returns the
/// exit code.
int run(const std::vector<std::string>& args, const std::string& version, Streams streams);
/// The same in a run the caller made (tests, another front end).
int runIn(RunContext& run, const std::vector<std::string>& args, const std::string& version,
          Streams streams);

/// main(): sets up the process (fault handler, trace) and runs the command line.
int main(int argc, char** argv, const char* version);

}  // namespace vesk::cli
