// The command line: the switches of the Windows program ("/convert", "/sync", "/auto",
// "/help", "/?", "/wizard", "/prefs", a file name) and, beside them, commands in the habits of
// Linux (`vesk convert SRC DST`, `vesk sync A B`, ...). Exit codes: 0 done, 1 failed, 2 usage.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "platform/run_context.h"
#include "registry/registry.h"

namespace vesk::cli {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

/// The command line after the program's name and the one blank after it (a quoted name is
/// skipped up to its closing quote, an unquoted one up to the first blank).
std::string argumentTail(std::string_view commandLine);
/// The folder of the program named at the start of a command line, up to and including its
/// last backslash or slash, without the quotes around it.
std::string programDirectoryOf(std::string_view commandLine);

/// The text between the first `start` in `text` and the next `end` after it (or the end of
/// the text); "" when `start` does not occur.
std::string Between(std::string_view text, std::string_view start, std::string_view end);
/// `text` without leading and trailing double quotes, blanks and tabs.
std::string Trim(std::string_view text);

enum class Switch { None, Wizard, Help, Auto, Prefs, Convert, Sync, File };
/// The switch a tail starts with, compared case-sensitively by prefix in the fixed order;
/// File for any other non-empty tail.
Switch matchSwitch(std::string_view tail);

struct ConvertRequest {
    std::string fromApp;
    std::string fromFile;
    std::string toApp;
    std::string toFile;
};
/// The "/convert" grammar over the arguments after the switch. A marker ("/from", "/to",
/// "/app", "/file", "/EOS") counts only as a whole argument, so paths such as
/// /home/tom/todo/book.csv are taken as they are; an argument holding the whole Windows form
/// in one piece is split at blanks outside double quotes first.
ConvertRequest parseConvert(const std::vector<std::string>& args);

/// The two paths of "/sync": the next two arguments, or the first two double-quoted strings
/// when the tail holds them. Fewer than two gives fewer.
std::vector<std::string> parseSyncPaths(const std::vector<std::string>& args);

/// What the command line talks to: its output streams, the formats it knows and the run it
/// works in (runIn fills it).
struct Streams {
    std::ostream& out;
    std::ostream& err;
    const Registry& formats = Registry::builtIn();
    RunContext* run = nullptr;
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
