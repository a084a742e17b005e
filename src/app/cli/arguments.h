// The grammars of the command line: the Windows program's switches ("/convert /from /app ...",
// "/sync "A" "B"", a tail after the program's name) taken apart the way that program did, with
// whole-argument markers so that Linux paths pass through.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::cli {

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

/// The arguments from `from` on, joined with single blanks.
std::string joinArgs(const std::vector<std::string>& args, std::size_t from = 0);

}  // namespace vesk::cli
