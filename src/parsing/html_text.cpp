#include "parsing/html_text.h"

#include <charconv>
#include <iterator>

#include "text/text_io.h"

namespace vesk {

namespace html {

namespace {

/// The code point of the reference at the start of `s` ("&amp;"), and its length; 0 when
/// `s` does not start with one this reader knows.
std::size_t reference(std::string_view s, char32_t& cp) {
    const std::size_t semi = s.find(';');
    if (semi == std::string_view::npos || semi < 2 || semi > 10) return 0;
    const std::string_view body = s.substr(1, semi - 1);
    if (body.front() == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const std::string_view digits = body.substr(hex ? 2 : 1);
        std::uint32_t n = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), n, hex ? 16 : 10);
        if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) return 0;
        if (n == 0 || n > 0x10FFFF) return 0;
        cp = n;
        return semi + 1;
    }
    struct Named {
        std::string_view name;
        char32_t cp;
    };
    static constexpr Named kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const Named& n : kNamed) {
        if (body == n.name) {
            cp = n.cp;
            return semi + 1;
        }
    }
    // Netscape wrote the accented letters of its 8-bit character set by their HTML 2 names.
    static constexpr std::string_view kLatin1[] = {
        "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
        "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
        "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
        "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
        "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
        "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
        "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
        "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
        "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
        "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
        "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
    for (std::size_t i = 0; i < std::size(kLatin1); ++i) {
        if (body == kLatin1[i]) {
            cp = static_cast<char32_t>(0xA0 + i);
            return semi + 1;
        }
    }
    return 0;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string decodeEntities(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = 0;
        const std::size_t len = text[i] == '&' ? reference(text.substr(i), cp) : 0;
        if (len == 0) {
            out.push_back(text[i]);
            continue;
        }
        appendUtf8(out, cp);
        i += len - 1;
    }
    return out;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string decodeDescription(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && i + 3 < text.size() && equalsNoCase(text.substr(i, 4), "<BR>")) {
            joined.push_back('\n');
            i += 3;
        } else {
            joined.push_back(text[i]);
        }
    }
    std::string_view v = joined;
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
        v.remove_suffix(1);
    }
    return decodeEntities(v);
}

}  // namespace html

}  // namespace vesk
