#include "platform/settings_file.h"

#include <cstdio>
#include <map>

#include "platform/registry_text.h"

namespace vesk {

namespace {

using regtext::hexValue;
using regtext::isHex;
using regtext::readHexBytes;
using regtext::skipBlanks;

// One value a line: "name"="text", dword:, multi:, expand:, hex:.

void appendQuoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02x", u);
                    out += buf;
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

/// Reads a quoted string at `pos` (which holds the opening quote); false when it is not closed.
bool readQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (pos >= line.size()) return false;
        const char e = line[pos++];
        switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case '0':
                out.push_back('\0');
                break;
            case 'x':
                if (pos + 1 < line.size() && isHex(line[pos]) && isHex(line[pos + 1])) {
                    out.push_back(
                        static_cast<char>(hexValue(line[pos]) * 16 + hexValue(line[pos + 1])));
                    pos += 2;
                } else {
                    return false;
                }
                break;
            default:
                out.push_back(e);  // \\ and \" and anything a person typed
        }
    }
    return false;
}

/// Parses the data after "=" of our file; false when it is malformed.
bool parseOwnData(std::string_view line, std::size_t pos, SettingValue& v) {
    skipBlanks(line, pos);
    const std::string_view rest = line.substr(pos);
    auto trailingOk = [&](std::size_t p) {
        skipBlanks(line, p);
        return p == line.size();
    };
    if (!rest.empty() && rest[0] == '"') {
        v = SettingValue::ofText({});
        return readQuoted(line, pos, v.text) && trailingOk(pos);
    }
    if (rest.starts_with("expand:")) {
        pos += 7;
        v = SettingValue::ofText({}, ValueType::ExpandString);
        return readQuoted(line, pos, v.text) && trailingOk(pos);
    }
    if (rest.starts_with("dword:")) {
        const std::string digits(rest.substr(6));
        if (digits.empty() || digits.size() > 8) return false;
        for (char c : digits) {
            if (!isHex(c)) return false;
        }
        v = SettingValue::ofNumber(static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16)));
        return true;
    }
    if (rest.starts_with("multi:")) {
        pos += 6;
        v = SettingValue::ofStrings({});
        skipBlanks(line, pos);
        if (pos == line.size()) return true;  // an empty list
        for (;;) {
            std::string s;
            if (!readQuoted(line, pos, s)) return false;
            v.strings.push_back(std::move(s));
            skipBlanks(line, pos);
            if (pos == line.size()) return true;
            if (line[pos] != ',') return false;
            ++pos;
            skipBlanks(line, pos);
        }
    }
    if (rest.starts_with("hex:")) {
        v = SettingValue::ofText({}, ValueType::Binary);
        return readHexBytes(rest.substr(4), v.text);
    }
    return false;
}

/// A key path as the store compares it: components without case, empty ones dropped.
std::string foldedPath(std::string_view path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

using KeptByKey = std::map<std::string, std::vector<const KeptLine*>>;

void appendKept(const KeptByKey& kept, const std::string& path, std::string& out) {
    const auto it = kept.find(foldedPath(path));
    if (it == kept.end()) return;
    for (const KeptLine* k : it->second) out += k->line + "\n";
}

void formatKey(const SettingsKey& key, const std::string& path, const KeptByKey& kept,
               std::string& out) {
    const auto vals = key.values();
    // A key is written when it holds values or nothing at all (so an empty task key survives);
    // keys that only hold sub-keys appear through their sub-keys.
    const bool hasKept = kept.count(foldedPath(path)) > 0;
    if (!path.empty() && (!vals.empty() || key.childNames().empty() || hasKept)) {
        out += "\n[" + path + "]\n";
        for (const auto& [name, value] : vals) {
            if (name.empty()) {
                out += "@";
            } else {
                appendQuoted(out, name);
            }
            out += "=";
            switch (value->type) {
                case ValueType::String:
                    appendQuoted(out, value->text);
                    break;
                case ValueType::ExpandString:
                    out += "expand:";
                    appendQuoted(out, value->text);
                    break;
                case ValueType::Number: {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "dword:%08x", value->number);
                    out += buf;
                    break;
                }
                case ValueType::MultiString:
                    out += "multi:";
                    for (std::size_t i = 0; i < value->strings.size(); ++i) {
                        if (i > 0) out += ",";
                        appendQuoted(out, value->strings[i]);
                    }
                    break;
                case ValueType::Binary:
                    out += "hex:";
                    for (std::size_t i = 0; i < value->text.size(); ++i) {
                        char buf[4];
                        std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x",
                                      static_cast<unsigned char>(value->text[i]));
                        out += buf;
                    }
                    break;
            }
            out += "\n";
        }
        appendKept(kept, path, out);
    }
    for (const std::string& childName : key.childNames()) {
        formatKey(*key.child(childName), path.empty() ? childName : path + "\\" + childName, kept,
                  out);
    }
}

}  // namespace

std::string formatSettingsText(const SettingsKey& user, const std::vector<KeptLine>& kept) {
    KeptByKey byKey;
    for (const KeptLine& k : kept) byKey[foldedPath(k.key)].push_back(&k);
    std::string out =
        "; Vesk settings (the HKEY_CURRENT_USER keys of Vesk). Vesk rewrites this file when it\n"
        "; saves settings; the previous version stays beside it as .bak. Lines Vesk does not\n"
        "; understand are kept as they are.\n"
        "; [key path], then one value a line: \"name\"=\"text\", \"name\"=dword:<8 hex digits>,\n"
        "; \"name\"=multi:\"first\",\"second\", \"name\"=expand:\"text\", \"name\"=hex:01,02;\n"
        "; @ names a key's unnamed value. In quotes, \\\\ is one backslash and \\\" a quote.\n";
    // Lines that stood before any key (or after a key line not understood) stay there.
    appendKept(byKey, {}, out);
    formatKey(user, {}, byKey, out);
    return out;
}

void parseSettingsText(std::string_view text, SettingsKey& user, int* badLines,
                       std::vector<KeptLine>* kept) {
    SettingsKey* current = nullptr;
    std::string currentPath;
    int bad = 0;
    std::string_view whole;
    // A line not understood is counted and kept as it was, under the key it stood in.
    auto notUnderstood = [&] {
        ++bad;
        if (kept) kept->push_back({current ? currentPath : std::string(), std::string(whole)});
    };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        whole = line;
        std::size_t pos = 0;
        skipBlanks(line, pos);
        line = line.substr(pos);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < 2) {
                current = nullptr;
                notUnderstood();
                continue;
            }
            currentPath = std::string(line.substr(1, close - 1));
            current = &user.findOrNew(currentPath);
            continue;
        }
        std::string name;
        pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, name)) {
            notUnderstood();
            continue;
        }
        skipBlanks(line, pos);
        SettingValue v;
        if (current == nullptr || pos >= line.size() || line[pos] != '=' ||
            !parseOwnData(line, pos + 1, v)) {
            notUnderstood();
            continue;
        }
        current->setValue(name, std::move(v));
    }
    if (badLines) *badLines = bad;
}

}  // namespace vesk
