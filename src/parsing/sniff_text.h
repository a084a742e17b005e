// Small helpers for telling a format by the first bytes of a file, shared by every format's
// sniffer so that each stays a few lines.
#pragma once

#include <string_view>

namespace vesk::sniff {

/// The first line of `text` that holds more than blanks, without its line end.
std::string_view firstContentLine(std::string_view text);
/// The line after `line` (a view into the same text), or an empty view at the end.
std::string_view nextContentLine(std::string_view text, std::string_view line);
/// True when `text` starts with `prefix`, ASCII letters compared without case.
bool startsWithNoCase(std::string_view text, std::string_view prefix);
/// True when `text` holds `needle`, ASCII letters compared without case.
bool containsNoCase(std::string_view text, std::string_view needle);
/// How many times `c` occurs in `text`.
int countOf(std::string_view text, char c);

}  // namespace vesk::sniff
