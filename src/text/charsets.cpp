#include "text/charsets.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "text/text_io.h"

namespace vesk {

namespace {

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool isUtf8Name(const std::string& upper) {
    return upper == "UTF-8" || upper == "UTF8";
}

/// Names peers write for Latin-1 or ASCII mean Windows' code page: Outlook writes "ISO-8859-1"
/// for text holding the euro sign and curly quotes.
bool isWindows1252Name(const std::string& upper) {
    static constexpr std::string_view kNames[] = {
        "ISO-8859-1",   "ISO8859-1",       "ISO_8859-1", "LATIN1", "L1",
        "WINDOWS-1252", "CP1252",          "US-ASCII",   "ASCII",  "ANSI_X3.4-1968",
        "X-ANSI",       "ISO-8859-1:1987", "IBM819",     "CP819",  "ISO_8859-1:1987"};
    for (const std::string_view n : kNames) {
        if (upper == n) return true;
    }
    return false;
}

/// The name iconv is asked for: supersets of what phones and old mailers call their charset.
std::string iconvName(const std::string& upper) {
    if (upper == "SHIFT_JIS" || upper == "SHIFT-JIS" || upper == "SJIS" || upper == "X-SJIS" ||
        upper == "MS_KANJI" || upper == "CSSHIFTJIS") {
        return "CP932";
    }
    if (upper == "GB2312" || upper == "GBK" || upper == "X-GBK" || upper == "CSGB2312") {
        return "GB18030";
    }
    if (upper == "KS_C_5601-1987" || upper == "EUC-KR") return "CP949";
    return upper;
}

class Converter {
  public:
    explicit Converter(const std::string& name) : m_cd(iconv_open("UTF-8", name.c_str())) {}
    ~Converter() {
        if (ok()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    /// Converts all of `bytes`; a byte the charset cannot read goes in as Windows-1252.
    void append(std::string_view bytes, std::string& out) {
        std::size_t done = 0;
        char buffer[1024];
        while (done < bytes.size()) {
            // iconv's interface takes a non-const input pointer but does not write through it.
            char* in = const_cast<char*>(bytes.data() + done);
            std::size_t inLeft = bytes.size() - done;
            char* to = buffer;
            std::size_t toLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &in, &inLeft, &to, &toLeft);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(to - buffer));
            done = bytes.size() - inLeft;
            if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            // EILSEQ or EINVAL (a sequence cut short): that byte alone, then on.
            appendWindows1252(out, bytes.substr(done, 1));
            ++done;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }

  private:
    iconv_t m_cd;
};

std::string mixedWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    // What lies between two UTF-8 sequences (ASCII and stray bytes) goes over in one piece.
    std::size_t from = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceAt(bytes, i);
        if (len == 0) {
            ++i;
            continue;
        }
        appendWindows1252(out, bytes.substr(from, i - from));
        out.append(bytes.substr(i, len));
        i += len;
        from = i;
    }
    appendWindows1252(out, bytes.substr(from));
    return out;
}

}  // namespace

bool isKnownCharset(std::string_view charset) {
    const std::string upper = upperAscii(charset);
    if (isUtf8Name(upper) || isWindows1252Name(upper)) return true;
    return Converter(iconvName(upper)).ok();
}

std::optional<std::string> charsetToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string upper = upperAscii(charset);
    if (isUtf8Name(upper)) return mixedWindows1252(bytes);
    if (isWindows1252Name(upper)) return windows1252ToUtf8(bytes);
    Converter converter(iconvName(upper));
    if (!converter.ok()) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() * 2);
    converter.append(bytes, out);
    return out;
}

std::string decodeMixed(std::string_view bytes, std::string_view fallback) {
    if (fallback.empty()) return mixedWindows1252(bytes);
    const std::string upper = upperAscii(fallback);
    if (isUtf8Name(upper) || isWindows1252Name(upper)) return mixedWindows1252(bytes);
    Converter converter(iconvName(upper));
    if (!converter.ok()) return mixedWindows1252(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    std::size_t from = 0;
    while (from < bytes.size()) {
        std::size_t end = bytes.find('\n', from);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(from, end - from);
        if (isValidUtf8(line)) {
            out.append(line);
        } else {
            converter.append(line, out);
        }
        from = end;
    }
    return out;
}

namespace {

bool isLatinLetter(char32_t c) {
    return (c < 0x80 && std::isalpha(static_cast<int>(c)) != 0) ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool isVowel(char32_t c) {
    return c < 0x80 && std::strchr("aeiouyAEIOUY", static_cast<int>(c)) != nullptr;
}

/// How many characters of `text` read wrongly for a European name: a symbol between two
/// letters ("Wa³êsa"), an ñ before a consonant (Spanish writes it before vowels only) or an
/// ń before a vowel (Polish writes "ni" there).
int oddCharacters(std::string_view text) {
    std::vector<char32_t> cps;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = utf8SequenceAt(text, i, cp);
        cps.push_back(len == 0 ? 0xFFFD : cp);
        i += len == 0 ? 1 : len;
    }
    int odd = 0;
    for (std::size_t i = 1; i + 1 < cps.size(); ++i) {
        const char32_t c = cps[i];
        const char32_t next = cps[i + 1];
        if (c < 0x80 || !isLatinLetter(cps[i - 1]) || !isLatinLetter(next)) continue;
        if (!isLatinLetter(c)) ++odd;
        if ((c == 0xF1 || c == 0xD1) && !isVowel(next)) ++odd;   // ñ
        if ((c == 0x144 || c == 0x143) && isVowel(next)) ++odd;  // ń
    }
    return odd;
}

/// True when some bytes beyond ASCII form UTF-8: the value is UTF-8 with a few stray bytes.
bool hasValidUtf8Sequence(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80 && utf8SequenceAt(bytes, i) > 1)
            return true;
    }
    return false;
}

/// A value without a charset that is not UTF-8: Windows-1252, unless Central European
/// (Windows-1250) reads it as plainly better words, as The Bat! writes Polish names.
std::string guessSingleByte(std::string_view bytes) {
    std::string western = decodeMixed(bytes);
    std::optional<std::string> central = charsetToUtf8(bytes, "WINDOWS-1250");
    if (central && oddCharacters(*central) < oddCharacters(western)) return *central;
    return western;
}

}  // namespace

std::string decodeValue(std::string_view bytes, std::string_view charset,
                        std::string_view fallback) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    if (!charset.empty()) {
        if (std::optional<std::string> text = charsetToUtf8(bytes, charset)) return *text;
    }
    if (fallback.empty() && !hasValidUtf8Sequence(bytes)) return guessSingleByte(bytes);
    return decodeMixed(bytes, fallback);
}

}  // namespace vesk
