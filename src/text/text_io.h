// Text in and out, in one place for every format: files are decoded once on the way in
// and encoded once on the way out, so accents survive a round trip.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

/// What decodeText may take a file without a byte-order mark for, beyond UTF-8 and
/// Windows-1252; each for the formats whose files need it.
struct DecodeOptions {
    /// Two first bytes of which exactly one is NUL mean UTF-16 (a NUL first: big-endian). Only
    /// for formats whose text always starts with an ASCII character.
    bool utf16WithoutBom = false;
    /// Text that is UTF-8 but for folds (a line end and one blank) that split a UTF-8 sequence
    /// is read as UTF-8 with those folds removed: some servers fold long lines by bytes.
    bool joinFoldsInSequences = false;
    /// The charset the user names for a file without a marker (`--encoding`): lines that are
    /// not UTF-8 are read in it instead of Windows-1252. The caller keeps the text alive.
    std::string_view fallbackCharset = {};
    /// Text that is not UTF-8 is kept as bytes (line ends still LF), for a reader that decodes
    /// each value by the charset the value names (vCard's CHARSET=).
    bool keepBytes = false;
    /// Called on the buffer a whole file is read into before it is filled: a reader of large
    /// books asks for huge pages there (platform/large_buffer.h).
    void (*prepareBuffer)(void* data, std::size_t bytes) = nullptr;
};

/// File bytes to UTF-8 text with LF line ends. A BOM picks UTF-8 or UTF-16 (LE/BE); without
/// one, valid UTF-8 stays UTF-8 wherever it is valid, and only the bytes that are not are read
/// as Windows-1252 (or the fallback charset); such a file ends at its first NUL.
std::string decodeText(std::string_view bytes, const DecodeOptions& options = {});

/// Windows-1252 bytes (every byte, NUL included) as UTF-8.
std::string windows1252ToUtf8(std::string_view bytes);
/// Appends Windows-1252 `bytes` to `out` as UTF-8.
void appendWindows1252(std::string& out, std::string_view bytes);

/// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view bytes);
/// Length of the well-formed UTF-8 sequence that starts at `bytes[i]`; 0 when there is none.
std::size_t utf8SequenceAt(std::string_view bytes, std::size_t i);

/// UTF-8 text to file bytes: ill-formed sequences become U+FFFD and every line end CR LF.
std::string encodeForFile(std::string_view text);

/// Reads a whole file's bytes; nullopt when it cannot be read (a folder cannot). `prepare`,
/// when given, sees the buffer before it is filled.
std::optional<std::string> readFileBytes(const std::string& path,
                                         void (*prepare)(void* data, std::size_t bytes) = nullptr);

/// Reads a whole file and decodes it; nullopt when it cannot be read (a folder cannot).
std::optional<std::string> readTextFile(const std::string& path, const DecodeOptions& options = {});

/// UTF-16LE bytes (no BOM) as UTF-8; unpaired surrogates and an odd last byte become U+FFFD.
std::string utf16LeToUtf8(std::string_view bytes);
/// UTF-8 text as UTF-16 code units; ill-formed sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

/// Appends code point `cp` to `out` as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

/// The length of the well-formed UTF-8 sequence at `i` of `text` (its code point in `cp`), or 0
/// when it is ill-formed or cut off by the end of `text`.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp);
/// The Windows-1252 byte for code point `cp`, or -1 when it has none.
int windows1252Byte(char32_t cp);

/// Number of code points in UTF-8 `text`.
std::size_t codePointCount(std::string_view text);
/// The longest prefix of `text` with at most `maxCodePoints` code points (never cuts a sequence).
std::string_view truncateCodePoints(std::string_view text, std::size_t maxCodePoints);

}  // namespace vesk
