// Lexical pieces shared by the registry-style texts we read: our own settings file and Wine's
// registry files both write binary data as comma-separated hex bytes, and registry names fold
// ASCII letters only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk::regtext {

/// ASCII letters to lower case; every other byte unchanged.
char foldChar(char c);
bool isHex(char c);
/// The value of hex digit `c` (which isHex accepted).
unsigned hexValue(char c);
/// Moves `pos` past spaces and tabs.
void skipBlanks(std::string_view line, std::size_t& pos);
/// Hex byte pairs, separated by commas or blanks, into `out`; false on anything else.
bool readHexBytes(std::string_view s, std::string& out);

}  // namespace vesk::regtext
