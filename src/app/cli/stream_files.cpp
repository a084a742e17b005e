#include "app/cli/stream_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <vector>

namespace vesk::cli {

namespace {

/// Copies everything; unlike `out << in.rdbuf()`, an empty input is no failure.
bool copyAll(std::istream& in, std::ostream& out) {
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.write(buffer.data(), in.gcount());
    }
    return in.eof() && static_cast<bool>(out);
}

}  // namespace

StreamFiles::~StreamFiles() {
    if (m_folder.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::string StreamFiles::path(const std::string& name) {
    if (m_folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!::mkdtemp(buffer.data())) return {};
        m_folder = buffer.data();
    }
    return m_folder + "/" + name;
}

std::string StreamFiles::saveInput(std::istream& in, const std::string& name) {
    const std::string file = path(name);
    if (file.empty()) return {};
    std::ofstream out(file, std::ios::binary);
    const bool copied = copyAll(in, out);
    out.close();
    return copied && out ? file : std::string();
}

bool StreamFiles::copyTo(const std::string& path, std::ostream& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const bool copied = copyAll(in, out);
    out.flush();
    return copied && static_cast<bool>(out);
}

}  // namespace vesk::cli
