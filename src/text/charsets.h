// Legacy character sets, decoded per value: a file is UTF-8 wherever its bytes are valid UTF-8,
// and only the bytes that are not fall back to the charset a value or the user names (through
// the C library's iconv, so every charset it knows), else to Windows-1252.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk {

/// True when iconv (or Vesk itself, for UTF-8 and the Windows-1252 family) can read `charset`.
bool isKnownCharset(std::string_view charset);

/// Bytes in `charset` as UTF-8; bytes the charset cannot decode are read as Windows-1252.
/// nullopt when the charset is unknown. Phones' "SHIFT_JIS" is read as Windows' CP932 (its
/// superset, with the backslash and tilde of ASCII) and GB2312 as GB18030.
std::optional<std::string> charsetToUtf8(std::string_view bytes, std::string_view charset);

/// Every well-formed UTF-8 sequence of `bytes` stays; each byte that is not part of one is read
/// as Windows-1252. Without a `fallback` charset; with one, each line that is not UTF-8 is read
/// whole in that charset (multi-byte charsets cannot be cut between bytes).
std::string decodeMixed(std::string_view bytes, std::string_view fallback = {});

/// One value's bytes: valid UTF-8 stays UTF-8; otherwise the value's own `charset` decides,
/// then the file's `fallback`, then Windows-1252 for the bytes that are not UTF-8.
std::string decodeValue(std::string_view bytes, std::string_view charset,
                        std::string_view fallback = {});

}  // namespace vesk
