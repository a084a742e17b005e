#include "platform/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/file_io.h"
#include "platform/registry_text.h"
#include "platform/settings_file.h"
#include "platform/trace.h"
#include "platform/wine_registry.h"

namespace vesk {

namespace {

using regtext::foldChar;

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

FileSettingsStore::FileSettingsStore(std::string settingsFile, std::string winePrefix,
                                     TraceSink* trace)
    : m_file(std::move(settingsFile)), m_winePrefix(std::move(winePrefix)), m_trace(trace) {}

void FileSettingsStore::note(const std::string& text) const {
    if (m_trace) m_trace->write("Vesk Settings: " + text + "\n");
}

FileSettingsStore::~FileSettingsStore() {
    try {
        flush();
    } catch (...) {
        // Nothing more can be done for the settings at this point; the old file stays.
    }
}

bool FileSettingsStore::reloadOwn() {
    // Changes held back live only here: reading the file again would drop them.
    if (!m_pending.empty()) return !m_ownUnreadable;
    const std::int64_t stamp = fileStamp(m_file);
    if (stamp == m_stamp && stamp != -1) return true;
    m_own = SettingsKey();
    m_kept.clear();
    m_unparsedText.clear();
    m_stamp = stamp;
    m_ownUnreadable = false;
    if (stamp == -1) return true;  // no file yet: no settings
    std::string text;
    if (!readWholeFile(m_file, text)) {
        m_ownUnreadable = true;
        return false;
    }
    int bad = 0;
    parseSettingsText(text, m_own, &bad, &m_kept);
    if (bad > 0) {
        note(m_file + ": " + std::to_string(bad) + " line(s) not understood, kept as they are");
        m_unparsedText = std::move(text);
    }
    return true;
}

int FileSettingsStore::saveOwn() {
    const std::size_t slash = m_file.rfind('/');
    if (slash != std::string::npos && !makeDirectories(m_file.substr(0, slash))) {
        return kErrorCantWrite;
    }
    if (!m_unparsedText.empty()) {
        // The lines not understood are written back, but the file as it was is kept too,
        // where the next save's .bak cannot reach it.
        const WriteResult kept = writeFileAtomically(m_file + ".unparsed", m_unparsedText, false);
        if (!kept.ok) {
            note(m_file + ".unparsed: " + kept.error);
            return kErrorCantWrite;
        }
        m_unparsedText.clear();
    }
    const WriteResult r = writeFileAtomically(m_file, formatSettingsText(m_own, m_kept), true);
    if (!r.ok) {
        note(m_file + ": " + r.error);
        m_stamp = -2;  // read again next time: the file on disk is what counts
        return kErrorCantWrite;
    }
    m_stamp = fileStamp(m_file);
    return kErrorSuccess;
}

namespace {
constexpr int kUnchanged = -1;
}

int FileSettingsStore::change(const Change& op) {
    // Never overwrite a settings file we could not read: its content would be lost.
    if (!reloadOwn()) return kErrorAccessDenied;
    const int rc = op(m_own);
    if (rc == kUnchanged) return kErrorSuccess;
    if (rc != kErrorSuccess) return rc;
    if (!m_holding) return saveOwn();
    m_pending.push_back(op);
    return kErrorSuccess;
}

int FileSettingsStore::flush() {
    if (m_pending.empty()) return kErrorSuccess;
    std::vector<Change> pending = std::move(m_pending);
    m_pending.clear();
    if (fileStamp(m_file) != m_stamp) {
        // Another run saved meanwhile: its settings are read and ours applied over them.
        m_stamp = -2;
        if (!reloadOwn()) return kErrorAccessDenied;
        for (const Change& op : pending) op(m_own);
    }
    return saveOwn();
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
    return change([key = std::string(key), name = std::string(name), value](SettingsKey& own) {
        own.findOrNew(key).setValue(name, value);
        return kErrorSuccess;
    });
}

int FileSettingsStore::deleteValue(RootKey root, std::string_view key, std::string_view name) {
    if (!isOwnKey(root, key)) return kErrorAccessDenied;
    return change([key = std::string(key), name = std::string(name)](SettingsKey& own) {
        SettingsKey* k = own.find(key);
        return k && k->removeValue(name) ? kErrorSuccess : kErrorFileNotFound;
    });
}

int FileSettingsStore::createKey(RootKey root, std::string_view key) {
    if (!isOwnKey(root, key)) return keyExists(root, key) ? kErrorSuccess : kErrorAccessDenied;
    if (!validKeyPath(key)) return kErrorInvalidData;
    return change([key = std::string(key)](SettingsKey& own) {
        if (own.find(key)) return kUnchanged;
        own.findOrNew(key);
        return kErrorSuccess;
    });
}

int FileSettingsStore::deleteKey(RootKey root, std::string_view key) {
    // "Software\Vesk" itself may go, but nothing above it.
    if (!isOwnKey(root, key)) return kErrorAccessDenied;
    return change([key = std::string(key)](SettingsKey& own) {
        auto parts = splitPath(key);
        const std::string last(parts.back());
        parts.pop_back();
        SettingsKey* parent = &own;
        for (std::string_view p : parts) {
            parent = parent->child(p);
            if (!parent) return kErrorFileNotFound;
        }
        return parent->removeChild(last) ? kErrorSuccess : kErrorFileNotFound;
    });
}

int FileSettingsStore::subKeys(RootKey root, std::string_view key,
                               std::vector<std::string>& names) {
    const SettingsKey* k = lookup(root, key);
    if (!k) return kErrorFileNotFound;
    names = k->childNames();
    return kErrorSuccess;
}

// ---- the user's files and the process-wide store -----------------------------------------

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

int ReadRegistryValue(SettingsStore& s, RootKey root, std::string_view subKey,
                      std::string_view valueName, std::string& out) {
    out.clear();
    if (!s.keyExists(root, subKey)) return kErrorInvalidData;
    SettingValue v;
    const int rc = s.readValue(root, subKey, valueName, v);
    if (rc != kErrorSuccess) return rc;
    out = v.flatText();
    return kErrorSuccess;
}

int WriteRegistryValue(SettingsStore& store, RootKey root, std::string_view subKey,
                       std::string_view valueName, std::string_view data, ValueType type) {
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
    return store.writeValue(root, subKey, valueName, v);
}

}  // namespace vesk
