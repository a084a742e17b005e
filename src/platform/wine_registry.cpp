#include "platform/wine_registry.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/registry_text.h"
#include "text/text_io.h"

namespace vesk {

namespace {

using regtext::foldChar;
using regtext::hexValue;
using regtext::isHex;
using regtext::readHexBytes;
using regtext::skipBlanks;

void appendUtf8Cp(std::string& out, std::uint32_t cp) {
    appendUtf8(out, static_cast<char32_t>(cp));
}

/// UTF-16 units to UTF-8; lone surrogates become U+FFFD.
std::string fromUtf16(const std::vector<std::uint16_t>& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        appendUtf8Cp(out, u);
    }
    return out;
}

/// Reads Wine's escaped text up to the unescaped `delimiter` into UTF-16 units.
bool readWineString(std::string_view s, std::size_t& pos, char delimiter,
                    std::vector<std::uint16_t>& units) {
    units.clear();
    while (pos < s.size()) {
        const auto c = static_cast<unsigned char>(s[pos]);
        if (c == static_cast<unsigned char>(delimiter)) {
            ++pos;
            return true;
        }
        if (c >= 0x80) {
            // Wine writes plain ASCII; take any raw UTF-8 a hand edit left as it is.
            std::string one;
            std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (pos + len > s.size()) len = 1;
            std::uint32_t cp = len == 1 ? 0xFFFD : (c & (0x7F >> len));
            for (std::size_t k = 1; k < len; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(s[pos + k]) & 0x3F);
            pos += len;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
                units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                units.push_back(static_cast<std::uint16_t>(cp));
            }
            continue;
        }
        ++pos;
        if (c != '\\') {
            units.push_back(c);
            continue;
        }
        if (pos >= s.size()) return false;
        const char e = s[pos++];
        switch (e) {
            case 'a':
                units.push_back(7);
                break;
            case 'b':
                units.push_back(8);
                break;
            case 'e':
                units.push_back(27);
                break;
            case 'f':
                units.push_back(12);
                break;
            case 'n':
                units.push_back(10);
                break;
            case 'r':
                units.push_back(13);
                break;
            case 't':
                units.push_back(9);
                break;
            case 'v':
                units.push_back(11);
                break;
            case 'x': {
                unsigned v = 0;
                int n = 0;
                while (n < 4 && pos < s.size() && isHex(s[pos])) {
                    v = v * 16 + hexValue(s[pos++]);
                    ++n;
                }
                if (n == 0)
                    units.push_back('x');
                else
                    units.push_back(static_cast<std::uint16_t>(v));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned v = static_cast<unsigned>(e - '0');
                    int n = 1;
                    while (n < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7') {
                        v = v * 8 + static_cast<unsigned>(s[pos++] - '0');
                        ++n;
                    }
                    units.push_back(static_cast<std::uint16_t>(v));
                } else {
                    units.push_back(static_cast<unsigned char>(e));
                }
        }
    }
    return false;
}

std::vector<std::uint16_t> utf16leUnits(const std::string& bytes) {
    std::vector<std::uint16_t> units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(
            static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return units;
}

/// Splits UTF-16 units at NULs into strings, dropping the terminators.
std::vector<std::string> splitMulti(const std::vector<std::uint16_t>& units) {
    std::vector<std::string> out;
    std::vector<std::uint16_t> cur;
    bool pending = false;
    for (std::uint16_t u : units) {
        if (u == 0) {
            // A second NUL in a row ends the list, as the registry reads it.
            if (!pending) break;
            out.push_back(fromUtf16(cur));
            cur.clear();
            pending = false;
        } else {
            cur.push_back(u);
            pending = true;
        }
    }
    if (pending) out.push_back(fromUtf16(cur));
    return out;
}

/// Text up to the first NUL, as a string value reads.
std::string untilNul(std::vector<std::uint16_t> units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] == 0) {
            units.resize(i);
            break;
        }
    }
    return fromUtf16(units);
}

bool parseWineData(std::string_view d, SettingValue& v) {
    std::vector<std::uint16_t> units;
    std::size_t pos = 0;
    if (d.starts_with("\"")) {
        pos = 1;
        if (!readWineString(d, pos, '"', units)) return false;
        v = SettingValue::ofText(untilNul(units));
        return true;
    }
    if (d.starts_with("str(")) {
        const std::size_t close = d.find("):\"");
        if (close == std::string_view::npos) return false;
        const std::string_view typeText = d.substr(4, close - 4);
        pos = close + 3;
        if (!readWineString(d, pos, '"', units)) return false;
        if (typeText == "7") {
            v = SettingValue::ofStrings(splitMulti(units));
        } else {
            v = SettingValue::ofText(untilNul(units),
                                     typeText == "2" ? ValueType::ExpandString : ValueType::String);
        }
        return true;
    }
    if (d.starts_with("dword:")) {
        std::uint32_t n = 0;
        for (char c : d.substr(6)) {
            if (!isHex(c)) break;
            n = n * 16 + hexValue(c);
        }
        v = SettingValue::ofNumber(n);
        return true;
    }
    if (d.starts_with("hex")) {
        unsigned type = 3;
        std::size_t colon = d.find(':');
        if (colon == std::string_view::npos) return false;
        if (d.size() > 3 && d[3] == '(') {
            type = static_cast<unsigned>(
                std::strtoul(std::string(d.substr(4, colon)).c_str(), nullptr, 16));
        }
        std::string bytes;
        if (!readHexBytes(d.substr(colon + 1), bytes)) return false;
        if (type == 7) {
            v = SettingValue::ofStrings(splitMulti(utf16leUnits(bytes)));
        } else if (type == 1 || type == 2) {
            v = SettingValue::ofText(untilNul(utf16leUnits(bytes)),
                                     type == 2 ? ValueType::ExpandString : ValueType::String);
        } else if (type == 4 && bytes.size() == 4) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i) {
                n = (n << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
            }
            v = SettingValue::ofNumber(n);
        } else {
            v = SettingValue::ofText(std::move(bytes), ValueType::Binary);
        }
        return true;
    }
    return false;
}

}  // namespace

void parseWineRegistry(std::string_view text, SettingsKey& root) {
    SettingsKey* current = nullptr;
    std::size_t start = 0;
    std::string joined;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Long hex data continues on the next lines after a trailing backslash.
        if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos) {
            joined.assign(line.substr(0, line.size() - 1));
            while (start < text.size()) {
                end = text.find('\n', start);
                if (end == std::string_view::npos) end = text.size();
                std::string_view more = text.substr(start, end - start);
                start = end + 1;
                if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
                std::size_t p = 0;
                skipBlanks(more, p);
                more = more.substr(p);
                const bool goesOn = !more.empty() && more.back() == '\\';
                joined.append(goesOn ? more.substr(0, more.size() - 1) : more);
                if (!goesOn) break;
            }
            line = joined;
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        std::vector<std::uint16_t> units;
        std::size_t pos = 1;
        if (line[0] == '[') {
            current = nullptr;
            if (readWineString(line, pos, ']', units)) current = &root.findOrNew(fromUtf16(units));
            continue;
        }
        if (current == nullptr) continue;
        std::string name;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!readWineString(line, pos, '"', units)) continue;
            name = fromUtf16(units);
        } else {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=') continue;
        SettingValue v;
        if (parseWineData(line.substr(pos + 1), v)) current->setValue(name, std::move(v));
    }
}

std::string mapWinePath(const std::string& windowsPath, const std::string& winePrefix) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || winePrefix.empty()) return windowsPath;
    const char letter = foldChar(windowsPath[0]);
    if (letter < 'a' || letter > 'z') return windowsPath;
    std::string base;
    const std::string device = winePrefix + "/dosdevices/" + letter + ":";
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        base = device;
    } else if (letter == 'c') {
        base = winePrefix + "/drive_c";
    } else {
        return windowsPath;
    }
    std::string rest = windowsPath.substr(2);
    for (char& c : rest) {
        if (c == '\\') c = '/';
    }
    if (!rest.empty() && rest[0] != '/') rest.insert(rest.begin(), '/');
    return base + rest;
}

}  // namespace vesk
