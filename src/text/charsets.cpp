#include "text/charsets.h"

#include <iconv.h>

#include <cerrno>

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

std::string decodeValue(std::string_view bytes, std::string_view charset,
                        std::string_view fallback) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    if (!charset.empty()) {
        if (std::optional<std::string> text = charsetToUtf8(bytes, charset)) return *text;
    }
    return decodeMixed(bytes, fallback);
}

}  // namespace vesk
