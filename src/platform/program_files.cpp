#include "platform/program_files.h"

#include <filesystem>

namespace vesk {

namespace fs = std::filesystem;

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string findProgramFile(const std::string& name) {
    const std::string folder = executableFolder();
    if (folder.empty()) return {};
    const fs::path here(folder);
    for (const fs::path& place : {here, here / "data", here.parent_path() / "share" / "vesk"}) {
        std::error_code ec;
        if (fs::is_regular_file(place / name, ec)) return (place / name).string();
    }
    return {};
}

}  // namespace vesk
