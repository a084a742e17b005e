// How the command line tells of a problem: one line on stderr that names the file, what went
// wrong and the system's reason, without the caption a message box would carry.
#pragma once

#include <string>
#include <string_view>

#include "platform/run_context.h"

namespace vesk::cli {

/// "vesk: FILE: MESSAGE: REASON" for a reported problem, on one line; the file is left out
/// when the message names it, the caption when it only names the program.
std::string reportLine(const Diagnostic& d, std::string_view caption);

/// Why `path` cannot be read as a file ("No such file or directory", "Is a directory",
/// "Permission denied"), or "" when it can.
std::string unreadableReason(const std::string& path);

}  // namespace vesk::cli
