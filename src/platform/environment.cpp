#include "platform/environment.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace vesk {

std::string programDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const bool windows =
        folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
    const char sep = windows ? '\\' : '/';
    if (folder.back() == sep) return folder + name;
    return folder + sep + name;
}

std::string Environment::get(const std::string& name) const {
    if (auto it = m_values.find(name); it != m_values.end()) return it->second;
    const char* v = std::getenv(name.c_str());
    return v ? std::string(v) : std::string();
}

std::string Environment::configHome() const {
    const std::string xdg = get("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg;
    return joinPath(home(), ".config");
}

std::string Environment::winePrefix() const {
    const std::string prefix = get("WINEPREFIX");
    if (!prefix.empty()) return prefix;
    const std::string h = home();
    return h.empty() ? std::string() : joinPath(h, ".wine");
}

}  // namespace vesk
