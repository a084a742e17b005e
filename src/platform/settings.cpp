#include "platform/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/file_io.h"
#include "platform/trace.h"
#include "text/text_io.h"

namespace vesk {

namespace {

char foldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = foldChar(c);
    return out;
}

bool equalFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldChar(a[i]) != foldChar(b[i])) return false;
    }
    return true;
}

/// The components of a backslash path; empty ones (doubled or trailing backslashes) dropped.
std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

/// Number of UTF-16 units that UTF-8 `text` takes (a four-byte sequence takes two).
std::size_t utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c & 0xC0) != 0x80) ++units;
        if (c >= 0xF0) ++units;
    }
    return units;
}

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

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

/// Changes whenever the file is replaced (a new inode with every atomic save) or edited.
std::int64_t fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    std::uint64_t h = static_cast<std::uint64_t>(st.st_ino);
    h = h * 1000003u ^ static_cast<std::uint64_t>(st.st_mtim.tv_sec);
    h = h * 1000003u ^ static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
    h = h * 1000003u ^ static_cast<std::uint64_t>(st.st_size);
    return static_cast<std::int64_t>(h & 0x3FFFFFFFFFFFFFFFu);
}

bool readWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

bool makeDirectories(const std::string& dir) {
    if (dir.empty()) return true;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// ---- our own file: "name"="text", dword:, multi:, expand:, hex: -------------------------

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

void skipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool readHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ',' || s[i] == ' ' || s[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= s.size() || !isHex(s[i]) || !isHex(s[i + 1])) return false;
        out.push_back(static_cast<char>(hexValue(s[i]) * 16 + hexValue(s[i + 1])));
        i += 2;
    }
    return true;
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

void formatKey(const SettingsKey& key, const std::string& path, std::string& out) {
    const auto vals = key.values();
    // A key is written when it holds values or nothing at all (so an empty task key survives);
    // keys that only hold sub-keys appear through their sub-keys.
    if (!path.empty() && (!vals.empty() || key.childNames().empty())) {
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
    }
    for (const std::string& childName : key.childNames()) {
        formatKey(*key.child(childName), path.empty() ? childName : path + "\\" + childName, out);
    }
}

// ---- Wine's registry files ----------------------------------------------------------------

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

SettingsStore* g_store = nullptr;

}  // namespace

// ---- SettingValue -------------------------------------------------------------------------

SettingValue SettingValue::ofText(std::string t, ValueType type) {
    SettingValue v;
    v.type = type;
    v.text = std::move(t);
    return v;
}

SettingValue SettingValue::ofNumber(std::uint32_t n) {
    SettingValue v;
    v.type = ValueType::Number;
    v.number = n;
    return v;
}

SettingValue SettingValue::ofStrings(std::vector<std::string> list) {
    SettingValue v;
    v.type = ValueType::MultiString;
    v.strings = std::move(list);
    return v;
}

std::string SettingValue::flatText() const {
    switch (type) {
        case ValueType::Number:
            return std::to_string(number);
        case ValueType::MultiString: {
            std::string out;
            for (const std::string& s : strings) {
                out += s;
                out.push_back('\0');
            }
            out.push_back('\0');
            return out;
        }
        default:
            return text;
    }
}

std::size_t SettingValue::registrySize() const {
    switch (type) {
        case ValueType::Number:
            return 4;
        case ValueType::Binary:
            return text.size();
        case ValueType::MultiString: {
            std::size_t units = 1;
            for (const std::string& s : strings) units += utf16Units(s) + 1;
            return 2 * units;
        }
        default:
            return 2 * (utf16Units(text) + 1);
    }
}

// ---- SettingsKey --------------------------------------------------------------------------

const SettingsKey* SettingsKey::child(std::string_view name) const {
    const auto it = m_children.find(fold(name));
    return it == m_children.end() ? nullptr : it->second.get();
}

SettingsKey* SettingsKey::child(std::string_view name) {
    const auto it = m_children.find(fold(name));
    return it == m_children.end() ? nullptr : it->second.get();
}

SettingsKey& SettingsKey::childOrNew(std::string_view name) {
    auto& slot = m_children[fold(name)];
    if (!slot) slot = std::make_unique<SettingsKey>(std::string(name));
    return *slot;
}

bool SettingsKey::removeChild(std::string_view name) {
    return m_children.erase(fold(name)) > 0;
}

std::vector<std::string> SettingsKey::childNames() const {
    std::vector<std::string> names;
    names.reserve(m_children.size());
    for (const auto& [folded, key] : m_children) names.push_back(key->name());
    return names;
}

const SettingValue* SettingsKey::value(std::string_view name) const {
    const auto it = m_values.find(fold(name));
    return it == m_values.end() ? nullptr : &it->second.second;
}

void SettingsKey::setValue(std::string_view name, SettingValue v) {
    auto& slot = m_values[fold(name)];
    if (slot.first.empty()) slot.first = std::string(name);
    slot.second = std::move(v);
}

bool SettingsKey::removeValue(std::string_view name) {
    return m_values.erase(fold(name)) > 0;
}

std::vector<std::pair<std::string, const SettingValue*>> SettingsKey::values() const {
    std::vector<std::pair<std::string, const SettingValue*>> out;
    out.reserve(m_values.size());
    for (const auto& [folded, entry] : m_values) out.emplace_back(entry.first, &entry.second);
    return out;
}

const SettingsKey* SettingsKey::find(std::string_view path) const {
    const SettingsKey* key = this;
    for (std::string_view part : splitPath(path)) {
        key = key->child(part);
        if (!key) return nullptr;
    }
    return key;
}

SettingsKey* SettingsKey::find(std::string_view path) {
    return const_cast<SettingsKey*>(static_cast<const SettingsKey*>(this)->find(path));
}

SettingsKey& SettingsKey::findOrNew(std::string_view path) {
    SettingsKey* key = this;
    for (std::string_view part : splitPath(path)) key = &key->childOrNew(part);
    return *key;
}

// ---- helpers ------------------------------------------------------------------------------

bool isOwnKey(RootKey root, std::string_view key) {
    if (root != RootKey::CurrentUser) return false;
    const auto parts = splitPath(key);
    return parts.size() >= 2 && equalFolded(parts[0], "Software") && equalFolded(parts[1], "Vesk");
}

namespace {

/// Key names become lines of our file and path parts: no line breaks, no NULs.
bool validKeyPath(std::string_view key) {
    for (char c : key) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

}  // namespace

// ---- MemorySettingsStore ------------------------------------------------------------------

bool MemorySettingsStore::keyExists(RootKey root, std::string_view key) {
    return tree(root).find(key) != nullptr;
}

int MemorySettingsStore::readValue(RootKey root, std::string_view key, std::string_view name,
                                   SettingValue& out) {
    const SettingsKey* k = tree(root).find(key);
    const SettingValue* v = k ? k->value(name) : nullptr;
    if (!v) return kErrorFileNotFound;
    out = *v;
    return kErrorSuccess;
}

int MemorySettingsStore::writeValue(RootKey root, std::string_view key, std::string_view name,
                                    const SettingValue& value) {
    if (failWrites) return kErrorCantWrite;
    if (!validKeyPath(key)) return kErrorInvalidData;
    tree(root).findOrNew(key).setValue(name, value);
    return kErrorSuccess;
}

int MemorySettingsStore::deleteValue(RootKey root, std::string_view key, std::string_view name) {
    if (failWrites) return kErrorCantWrite;
    SettingsKey* k = tree(root).find(key);
    return k && k->removeValue(name) ? kErrorSuccess : kErrorFileNotFound;
}

int MemorySettingsStore::createKey(RootKey root, std::string_view key) {
    if (failWrites) return kErrorCantWrite;
    if (!validKeyPath(key)) return kErrorInvalidData;
    tree(root).findOrNew(key);
    return kErrorSuccess;
}

int MemorySettingsStore::deleteKey(RootKey root, std::string_view key) {
    if (failWrites) return kErrorCantWrite;
    auto parts = splitPath(key);
    if (parts.empty()) return kErrorAccessDenied;
    const std::string_view last = parts.back();
    parts.pop_back();
    SettingsKey* parent = &tree(root);
    for (std::string_view p : parts) {
        parent = parent->child(p);
        if (!parent) return kErrorFileNotFound;
    }
    return parent->removeChild(last) ? kErrorSuccess : kErrorFileNotFound;
}

int MemorySettingsStore::subKeys(RootKey root, std::string_view key,
                                 std::vector<std::string>& names) {
    const SettingsKey* k = tree(root).find(key);
    if (!k) return kErrorFileNotFound;
    names = k->childNames();
    return kErrorSuccess;
}

// ---- FileSettingsStore --------------------------------------------------------------------

FileSettingsStore::FileSettingsStore(std::string settingsFile, std::string winePrefix)
    : m_file(std::move(settingsFile)), m_winePrefix(std::move(winePrefix)) {}

bool FileSettingsStore::reloadOwn() {
    const std::int64_t stamp = fileStamp(m_file);
    if (stamp == m_stamp && stamp != -1) return true;
    m_own = SettingsKey();
    m_stamp = stamp;
    m_ownUnreadable = false;
    if (stamp == -1) return true;  // no file yet: no settings
    std::string text;
    if (!readWholeFile(m_file, text)) {
        m_ownUnreadable = true;
        return false;
    }
    int bad = 0;
    parseSettingsText(text, m_own, &bad);
    if (bad > 0) {
        debugTrace(0, m_file + ": " + std::to_string(bad) + " line(s) not understood, skipped",
                   "Vesk Settings");
    }
    return true;
}

int FileSettingsStore::saveOwn() {
    const std::size_t slash = m_file.rfind('/');
    if (slash != std::string::npos && !makeDirectories(m_file.substr(0, slash))) {
        return kErrorCantWrite;
    }
    const WriteResult r = writeFileAtomically(m_file, formatSettingsText(m_own), true);
    if (!r.ok) {
        debugTrace(0, m_file + ": " + r.error, "Vesk Settings");
        m_stamp = -2;  // read again next time: the file on disk is what counts
        return kErrorCantWrite;
    }
    m_stamp = fileStamp(m_file);
    return kErrorSuccess;
}

const SettingsKey& FileSettingsStore::wine(RootKey root) {
    std::unique_ptr<SettingsKey>& slot = root == RootKey::CurrentUser ? m_wineUser : m_wineMachine;
    if (!slot) {
        slot = std::make_unique<SettingsKey>();
        if (!m_winePrefix.empty()) {
            std::string text;
            const std::string file =
                m_winePrefix + (root == RootKey::CurrentUser ? "/user.reg" : "/system.reg");
            if (readWholeFile(file, text)) {
                parseWineRegistry(text, *slot);
                if (root == RootKey::LocalMachine &&
                    text.find("#arch=win64") != std::string::npos) {
                    m_wine64 = true;
                }
            }
        }
    }
    return *slot;
}

const SettingsKey* FileSettingsStore::lookup(RootKey root, std::string_view key) {
    if (isOwnKey(root, key)) {
        reloadOwn();
        return m_own.find(key);
    }
    const SettingsKey& tree = wine(root);
    // A 64-bit prefix keeps the machine keys of 32-bit programs (all the mail programs we read)
    // under Wow6432Node, where a 32-bit program's reads are redirected.
    if (root == RootKey::LocalMachine && m_wine64) {
        const auto parts = splitPath(key);
        if (!parts.empty() && equalFolded(parts[0], "Software")) {
            std::string redirected = "Software\\Wow6432Node";
            for (std::size_t i = 1; i < parts.size(); ++i)
                redirected += "\\" + std::string(parts[i]);
            if (const SettingsKey* k = tree.find(redirected)) return k;
        }
    }
    return tree.find(key);
}

bool FileSettingsStore::keyExists(RootKey root, std::string_view key) {
    return lookup(root, key) != nullptr;
}

int FileSettingsStore::readValue(RootKey root, std::string_view key, std::string_view name,
                                 SettingValue& out) {
    const SettingsKey* k = lookup(root, key);
    if (isOwnKey(root, key) && m_ownUnreadable) return kErrorAccessDenied;
    const SettingValue* v = k ? k->value(name) : nullptr;
    if (!v) return kErrorFileNotFound;
    out = *v;
    return kErrorSuccess;
}

int FileSettingsStore::writeValue(RootKey root, std::string_view key, std::string_view name,
                                  const SettingValue& value) {
    if (!isOwnKey(root, key)) return kErrorAccessDenied;
    if (!validKeyPath(key)) return kErrorInvalidData;
    // Never overwrite a settings file we could not read: its content would be lost.
    if (!reloadOwn()) return kErrorAccessDenied;
    m_own.findOrNew(key).setValue(name, value);
    return saveOwn();
}

int FileSettingsStore::deleteValue(RootKey root, std::string_view key, std::string_view name) {
    if (!isOwnKey(root, key)) return kErrorAccessDenied;
    if (!reloadOwn()) return kErrorAccessDenied;
    SettingsKey* k = m_own.find(key);
    if (!k || !k->removeValue(name)) return kErrorFileNotFound;
    return saveOwn();
}

int FileSettingsStore::createKey(RootKey root, std::string_view key) {
    if (!isOwnKey(root, key)) return keyExists(root, key) ? kErrorSuccess : kErrorAccessDenied;
    if (!validKeyPath(key)) return kErrorInvalidData;
    if (!reloadOwn()) return kErrorAccessDenied;
    if (m_own.find(key)) return kErrorSuccess;
    m_own.findOrNew(key);
    return saveOwn();
}

int FileSettingsStore::deleteKey(RootKey root, std::string_view key) {
    auto parts = splitPath(key);
    // "Software\Vesk" itself may go, but nothing above it.
    if (!isOwnKey(root, key)) return kErrorAccessDenied;
    if (!reloadOwn()) return kErrorAccessDenied;
    const std::string_view last = parts.back();
    parts.pop_back();
    SettingsKey* parent = &m_own;
    for (std::string_view p : parts) {
        parent = parent->child(p);
        if (!parent) return kErrorFileNotFound;
    }
    if (!parent->removeChild(last)) return kErrorFileNotFound;
    return saveOwn();
}

int FileSettingsStore::subKeys(RootKey root, std::string_view key,
                               std::vector<std::string>& names) {
    const SettingsKey* k = lookup(root, key);
    if (!k) return kErrorFileNotFound;
    names = k->childNames();
    return kErrorSuccess;
}

// ---- text forms ---------------------------------------------------------------------------

std::string formatSettingsText(const SettingsKey& user) {
    std::string out =
        "; Vesk settings (the HKEY_CURRENT_USER keys of Vesk). Vesk rewrites this file when it\n"
        "; saves a setting; the previous version stays beside it as .bak.\n"
        "; [key path], then one value a line: \"name\"=\"text\", \"name\"=dword:<8 hex digits>,\n"
        "; \"name\"=multi:\"first\",\"second\", \"name\"=expand:\"text\", \"name\"=hex:01,02;\n"
        "; @ names a key's unnamed value. In quotes, \\\\ is one backslash and \\\" a quote.\n";
    formatKey(user, {}, out);
    return out;
}

void parseSettingsText(std::string_view text, SettingsKey& user, int* badLines) {
    SettingsKey* current = nullptr;
    int bad = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t pos = 0;
        skipBlanks(line, pos);
        line = line.substr(pos);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < 2) {
                ++bad;
                current = nullptr;
                continue;
            }
            current = &user.findOrNew(line.substr(1, close - 1));
            continue;
        }
        std::string name;
        pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, name)) {
            ++bad;
            continue;
        }
        skipBlanks(line, pos);
        SettingValue v;
        if (current == nullptr || pos >= line.size() || line[pos] != '=' ||
            !parseOwnData(line, pos + 1, v)) {
            ++bad;
            continue;
        }
        current->setValue(name, std::move(v));
    }
    if (badLines) *badLines = bad;
}

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

std::string defaultSettingsFile() {
    if (const char* dir = std::getenv("VESK_CONFIG_DIR"); dir && *dir) {
        return std::string(dir) + "/settings.reg";
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        return std::string(xdg) + "/vesk/settings.reg";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/vesk/settings.reg";
}

std::string defaultWinePrefix() {
    std::string prefix;
    if (const char* w = std::getenv("WINEPREFIX"); w && *w) {
        prefix = w;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        prefix = std::string(home) + "/.wine";
    } else {
        return {};
    }
    struct stat st {};
    if (::stat((prefix + "/user.reg").c_str(), &st) == 0 ||
        ::stat((prefix + "/system.reg").c_str(), &st) == 0) {
        return prefix;
    }
    return {};
}

SettingsStore& settings() {
    if (g_store) return *g_store;
    static FileSettingsStore user(defaultSettingsFile(), defaultWinePrefix());
    return user;
}

SettingsStore* setSettings(SettingsStore* store) {
    SettingsStore* previous = g_store;
    g_store = store;
    return previous;
}

int ReadRegistryValue(RootKey root, std::string_view subKey, std::string_view valueName,
                      std::string& out) {
    out.clear();
    SettingsStore& s = settings();
    if (!s.keyExists(root, subKey)) return kErrorInvalidData;
    SettingValue v;
    const int rc = s.readValue(root, subKey, valueName, v);
    if (rc != kErrorSuccess) return rc;
    out = v.flatText();
    return kErrorSuccess;
}

int WriteRegistryValue(RootKey root, std::string_view subKey, std::string_view valueName,
                       std::string_view data, ValueType type) {
    SettingValue v;
    switch (type) {
        case ValueType::Number: {
            std::uint32_t n = 0;
            for (char c : data) {
                if (c < '0' || c > '9') return kErrorInvalidData;
                n = n * 10 + static_cast<std::uint32_t>(c - '0');
            }
            v = SettingValue::ofNumber(n);
            break;
        }
        case ValueType::MultiString: {
            // The registry image: every string followed by a NUL, then one final NUL.
            std::vector<std::string> list;
            std::string_view rest = data;
            if (!rest.empty() && rest.back() == '\0') rest.remove_suffix(1);
            while (!rest.empty()) {
                const std::size_t nul = rest.find('\0');
                list.emplace_back(rest.substr(0, nul));
                rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
            }
            v = SettingValue::ofStrings(std::move(list));
            break;
        }
        default:
            v = SettingValue::ofText(std::string(data), type);
    }
    return settings().writeValue(root, subKey, valueName, v);
}

}  // namespace vesk
