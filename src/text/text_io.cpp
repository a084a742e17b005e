#include "text/text_io.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "text/charsets.h"

namespace vesk {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 0x80-0x9F; the five unassigned bytes keep their Latin-1 code points.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

/// Length of the well-formed UTF-8 sequence at `i`, or 0 when it is ill-formed.
std::size_t sequenceLength(std::string_view s, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1Fu;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0Fu;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void appendNewlineFolded(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size());
    // Copies the runs between carriage returns whole: files of any size pass at memory speed.
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t cr = text.find('\r', from);
        if (cr == std::string_view::npos) {
            out.append(text.substr(from));
            break;
        }
        out.append(text.substr(from, cr - from));
        if (cr + 1 >= text.size() || text[cr + 1] != '\n') out.push_back('\r');
        from = cr + 1;
    }
}

/// appendNewlineFolded within `text` itself.
void foldNewlinesInPlace(std::string& text) {
    std::size_t read = text.find('\r');
    if (read == std::string::npos) return;
    std::size_t write = read;
    while (read < text.size()) {
        // text[read] is a CR; the run up to the next one moves down whole.
        if (read + 1 >= text.size() || text[read + 1] != '\n') text[write++] = '\r';
        ++read;
        std::size_t next = text.find('\r', read);
        if (next == std::string::npos) next = text.size();
        std::memmove(text.data() + write, text.data() + read, next - read);
        write += next - read;
        read = next;
    }
    text.resize(write);
}

std::string sanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        char32_t cp = 0;
        const std::size_t len = sequenceLength(s, i, cp);
        if (len == 0) {
            appendUtf8(out, kReplacement);
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string decodeUtf16(std::string_view s, bool bigEndian) {
    std::string out;
    out.reserve(s.size());
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(s[i + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    std::size_t i = 0;
    while (i + 1 < s.size()) {
        char32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size()) {
            const char32_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                u = kReplacement;
            }
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        appendUtf8(out, u);
    }
    if (i < s.size()) appendUtf8(out, kReplacement);  // a dangling odd byte
    return out;
}

std::string decodeLegacy(std::string_view s, std::string_view fallback) {
    // Old 8-bit files end at a NUL.
    return decodeMixed(s.substr(0, s.find('\0')), fallback);
}

/// Removes the folds (line end plus one blank) that fall between two bytes of one UTF-8
/// sequence.
std::string joinFoldsInsideSequences(std::string_view bytes) {
    const auto high = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]) >= 0x80; };
    const auto trail = [&](std::size_t i) {
        return (static_cast<unsigned char>(bytes[i]) & 0xC0u) == 0x80u;
    };
    const auto blank = [&](std::size_t i) { return bytes[i] == ' ' || bytes[i] == '\t'; };
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && high(i - 1)) {
            std::size_t j = i;
            if (j < bytes.size() && bytes[j] == '\r') ++j;
            if (j + 2 < bytes.size() && bytes[j] == '\n' && blank(j + 1) && trail(j + 2)) {
                i = j + 1;
                continue;
            }
        }
        out.push_back(bytes[i]);
    }
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    appendWindows1252(out, bytes);
    return out;
}

void appendWindows1252(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else if (b < 0xA0) {
            appendUtf8(out, kCp1252High[b - 0x80u]);
        } else {
            appendUtf8(out, b);
        }
    }
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Thirty-two, then eight ASCII bytes at a time: most text is ASCII.
        std::uint64_t words[4] = {};
        if (i + sizeof words <= bytes.size()) {
            std::memcpy(words, bytes.data() + i, sizeof words);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) == 0) {
                i += sizeof words;
                continue;
            }
        }
        if (i + sizeof words[0] <= bytes.size()) {
            std::memcpy(words, bytes.data() + i, sizeof words[0]);
            if ((words[0] & 0x8080808080808080ull) == 0) {
                i += sizeof words[0];
                continue;
            }
        }
        char32_t cp = 0;
        const std::size_t len = sequenceLength(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::size_t utf8SequenceAt(std::string_view bytes, std::size_t i) {
    char32_t cp = 0;
    return i < bytes.size() ? sequenceLength(bytes, i, cp) : 0;
}

namespace {

/// decodeText; `owned`, when given, holds `bytes` and gives its buffer to the result where it
/// can, so that a file in UTF-8 is not copied once more.
std::string decode(std::string_view bytes, const DecodeOptions& options, std::string* owned) {
    std::string text;
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        text = sanitizeUtf8(bytes.substr(3));
    } else if (startsWith(bytes, "\xFF\xFE")) {
        text = decodeUtf16(bytes.substr(2), false);
    } else if (startsWith(bytes, "\xFE\xFF")) {
        text = decodeUtf16(bytes.substr(2), true);
    } else if (options.utf16WithoutBom && bytes.size() >= 2 &&
               (bytes[0] == '\0') != (bytes[1] == '\0')) {
        text = decodeUtf16(bytes, bytes[0] == '\0');
    } else if (isValidUtf8(bytes)) {
        if (owned) {
            foldNewlinesInPlace(*owned);
            return std::move(*owned);
        }
        std::string out;
        appendNewlineFolded(out, bytes);
        return out;
    } else {
        if (options.joinFoldsInSequences) {
            std::string joined = joinFoldsInsideSequences(bytes);
            if (joined.size() != bytes.size() && isValidUtf8(joined)) {
                return decode(joined, {}, &joined);
            }
        }
        if (options.keepBytes) {
            std::string out;
            appendNewlineFolded(out, bytes.substr(0, bytes.find('\0')));
            return out;
        }
        text = decodeLegacy(bytes, options.fallbackCharset);
    }
    std::string out;
    appendNewlineFolded(out, text);
    return out;
}

}  // namespace

std::string decodeText(std::string_view bytes, const DecodeOptions& options) {
    return decode(bytes, options, nullptr);
}

std::string encodeForFile(std::string_view text) {
    const std::string clean = isValidUtf8(text) ? std::string(text) : sanitizeUtf8(text);
    std::string out;
    out.reserve(clean.size() + clean.size() / 16 + 16);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const char c = clean[i];
        // A CR already before the LF stays single: values from stores may carry CR LF.
        if (c == '\n' && (i == 0 || clean[i - 1] != '\r')) out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::optional<std::string> readFileBytes(const std::string& path,
                                         void (*prepare)(void* data, std::size_t bytes)) {
    // A folder opens, but its size reads as the largest offset there is.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    // One read of the whole file where its size is known; byte by byte otherwise (pipes).
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0 && in) {
        bytes.reserve(static_cast<std::size_t>(size));
        if (prepare) prepare(bytes.data(), bytes.capacity());
        bytes.resize(static_cast<std::size_t>(size));
        in.read(bytes.data(), size);
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return std::nullopt;
    } else {
        in.clear();
        in.seekg(0, std::ios::beg);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> readTextFile(const std::string& path, const DecodeOptions& options) {
    std::optional<std::string> bytes = readFileBytes(path, options.prepareBuffer);
    if (!bytes) return std::nullopt;
    return decode(*bytes, options, &*bytes);
}

std::string utf16LeToUtf8(std::string_view bytes) {
    return decodeUtf16(bytes, false);
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        std::size_t len = sequenceLength(text, i, cp);
        if (len == 0) {
            cp = kReplacement;
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& cp) {
    return sequenceLength(text, i, cp);
}

int windows1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t b = 0; b < kCp1252High.size(); ++b) {
        if (kCp1252High[b] == cp) return static_cast<int>(0x80 + b);
    }
    return -1;
}

std::size_t codePointCount(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u) ++n;
    }
    return n;
}

std::string_view truncateCodePoints(std::string_view text, std::size_t maxCodePoints) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u) {
            if (n == maxCodePoints) return text.substr(0, i);
            ++n;
        }
    }
    return text;
}

}  // namespace vesk
