#include "app/cli/failures.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vesk::cli {

namespace {

/// Captions that say no more than that the program speaks ("vesk: Vesk: ..." says it twice).
bool namesOnlyTheProgram(std::string_view caption) {
    for (std::string_view generic : {"", "Vesk", "Vesk Error", "Vesk Debug", "Error", "Debug"}) {
        if (caption == generic) return true;
    }
    return false;
}

/// A message box may hold several lines; a line on stderr holds one.
std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

std::string reportLine(const Diagnostic& d, std::string_view caption) {
    std::string line = "vesk: ";
    if (!d.file.empty() && d.message.find(d.file) == std::string::npos) {
        line += d.file;
        if (d.line > 0) line += ":" + std::to_string(d.line);
        line += ": ";
    } else if (d.file.empty() && !namesOnlyTheProgram(caption) &&
               d.message.find(caption) == std::string::npos) {
        line += std::string(caption) + ": ";
    }
    line += oneLine(d.message);
    if (!d.entry.empty()) line += " (entry \"" + d.entry + "\")";
    if (!d.reason.empty()) line += ": " + d.reason;
    return line;
}

std::string unreadableReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

}  // namespace vesk::cli
