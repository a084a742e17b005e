#include "discovery/mozilla_registry.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/environment.h"
#include "text/text_io.h"

namespace vesk {

namespace {

constexpr std::uint32_t kMagic = 0x76644441;  // "AdDv"
constexpr std::size_t kDescSize = 36;
constexpr std::uint16_t kTypeUtfString = 0x11;

/// One node of the registry file: a key or a value.
struct Desc {
    std::uint32_t name = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t type = 0;
    std::uint32_t left = 0;   ///< next sibling
    std::uint32_t down = 0;   ///< first child key
    std::uint32_t value = 0;  ///< first value (of a key) or the data (of a value)
    std::uint32_t valueLength = 0;
};

class RegistryFile {
  public:
    explicit RegistryFile(std::string_view bytes) : m_bytes(bytes) {}

    bool u32(std::size_t at, std::uint32_t& out) const {
        if (at > m_bytes.size() || m_bytes.size() - at < 4) return false;
        out = 0;
        for (int i = 3; i >= 0; --i)
            out =
                (out << 8) | static_cast<unsigned char>(m_bytes[at + static_cast<std::size_t>(i)]);
        return true;
    }
    bool u16(std::size_t at, std::uint16_t& out) const {
        std::uint32_t v = 0;
        if (at > m_bytes.size() || m_bytes.size() - at < 2) return false;
        v = static_cast<unsigned char>(m_bytes[at]) |
            (static_cast<std::uint32_t>(static_cast<unsigned char>(m_bytes[at + 1])) << 8);
        out = static_cast<std::uint16_t>(v);
        return true;
    }
    bool desc(std::uint32_t at, Desc& d) const {
        if (at == 0 || at > m_bytes.size() || m_bytes.size() - at < kDescSize) return false;
        return u32(at + 4, d.name) && u16(at + 8, d.nameLength) && u16(at + 10, d.type) &&
               u32(at + 12, d.left) && u32(at + 16, d.down) && u32(at + 20, d.value) &&
               u32(at + 24, d.valueLength);
    }
    /// Text stored at `at`, `length` bytes with its terminator.
    std::string text(std::uint32_t at, std::uint32_t length) const {
        if (at > m_bytes.size() || m_bytes.size() - at < length) return {};
        std::string s(m_bytes.substr(at, length));
        if (const std::size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
        return s;
    }
    std::string name(const Desc& d) const { return text(d.name, d.nameLength); }

    /// The child key of `parent` named `wanted`, 0 when none.
    std::uint32_t child(const Desc& parent, const std::string& wanted) const {
        for (std::uint32_t at : siblings(parent.down)) {
            Desc d;
            if (desc(at, d) && name(d) == wanted) return at;
        }
        return 0;
    }
    /// Offsets of a chain of siblings, stopping at a loop or a bad offset.
    std::vector<std::uint32_t> siblings(std::uint32_t first) const {
        std::vector<std::uint32_t> out;
        std::set<std::uint32_t> seen;
        Desc d;
        for (std::uint32_t at = first; desc(at, d) && seen.insert(at).second; at = d.left)
            out.push_back(at);
        return out;
    }

  private:
    std::string_view m_bytes;
};

std::string iniValue(const std::string& line, const std::string& key) {
    if (!line.starts_with(key + "=")) return {};
    return line.substr(key.size() + 1);
}

}  // namespace

std::vector<MozillaProfile> readMozillaRegistry(std::string_view bytes) {
    std::vector<MozillaProfile> out;
    RegistryFile file(bytes);
    std::uint32_t magic = 0;
    std::uint32_t root = 0;
    Desc d;
    if (!file.u32(0, magic) || magic != kMagic || !file.u32(12, root) || !file.desc(root, d))
        return out;
    Desc common;
    Desc profiles;
    if (!file.desc(file.child(d, "Common"), common) ||
        !file.desc(file.child(common, "Profiles"), profiles))
        return out;
    for (std::uint32_t at : file.siblings(profiles.down)) {
        Desc key;
        if (!file.desc(at, key)) continue;
        MozillaProfile p{file.name(key), {}};
        for (std::uint32_t v : file.siblings(key.value)) {
            Desc value;
            if (file.desc(v, value) && value.type == kTypeUtfString &&
                file.name(value) == "directory")
                p.directory = file.text(value.value, value.valueLength);
        }
        if (!p.name.empty() && !p.directory.empty()) out.push_back(p);
    }
    return out;
}

std::vector<MozillaProfile> readProfilesIni(std::string_view text, const std::string& folder) {
    std::vector<MozillaProfile> out;
    std::istringstream in{std::string(text)};
    std::string line;
    bool inProfile = false;
    bool relative = true;
    MozillaProfile p;
    auto finish = [&] {
        if (inProfile && !p.name.empty() && !p.directory.empty()) {
            if (relative) p.directory = joinPath(folder, p.directory);
            out.push_back(p);
        }
        p = {};
        relative = true;
    };
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("[")) {
            finish();
            inProfile = line.starts_with("[Profile");
        } else if (auto v = iniValue(line, "Name"); !v.empty()) {
            p.name = v;
        } else if (auto path = iniValue(line, "Path"); !path.empty()) {
            p.directory = path;
        } else if (line == "IsRelative=0") {
            relative = false;
        }
    }
    finish();
    return out;
}

std::string analyzerText(const std::vector<MozillaProfile>& profiles) {
    std::string out = "nsRegistry::Common -  Profiles\r\n";
    for (const auto& p : profiles) {
        out += "nsRegistry::Common -  Profiles -  " + p.name + "\r\n";
        out += "directory\t = " + p.directory + "\r\n";
    }
    return out;
}

std::string toUtf16Le(std::string_view utf8) {
    std::string out;
    std::size_t i = 0;
    auto unit = [&](std::uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>((u >> 8) & 0xFF));
    };
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::uint32_t cp = len == 1 ? c : (c & (0x7Fu >> len));
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::string fromUtf16Le(std::string_view bytes) {
    std::string out;
    std::size_t i = bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE" ? 2 : 0;
    auto at = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k + 1])) << 8);
    };
    for (; i + 1 < bytes.size(); i += 2) {
        std::uint32_t u = at(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size() && at(i + 2) >= 0xDC00 &&
            at(i + 2) < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (at(i + 2) - 0xDC00);
            i += 2;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        appendUtf8(out, static_cast<char32_t>(u));
    }
    return out;
}

std::string analyzeProfileFiles(const std::vector<std::string>& files) {
    std::vector<MozillaProfile> all;
    for (const auto& f : files) {
        const std::string bytes = readFileBytes(f).value_or("");
        auto found = readMozillaRegistry(bytes);
        if (found.empty()) {
            found = readProfilesIni(bytes, std::filesystem::path(f).parent_path().string());
        }
        all.insert(all.end(), found.begin(), found.end());
    }
    return all.empty() ? std::string() : toUtf16Le(analyzerText(all));
}

}  // namespace vesk
