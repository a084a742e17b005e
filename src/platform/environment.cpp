#include "platform/environment.h"

#include <unistd.h>

#include <climits>

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

}  // namespace vesk
