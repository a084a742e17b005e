#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace vesk {

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool isReadableFile(const std::string& path) {
    return isFile(path) && static_cast<bool>(std::ifstream(path, std::ios::binary));
}

namespace {

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

/// A symbolic link is followed, so that the file it names is replaced, not the link.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char buf[PATH_MAX];
        if (realpath(path.c_str(), buf) != nullptr) return buf;
    }
    return path;
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void keepBackupOf(const std::string& target) {
    const std::string backup = target + ".bak";
    ::unlink(backup.c_str());
    if (::link(target.c_str(), backup.c_str()) == 0) return;
    // No hard links on this file system: copy instead. A failed backup never stops the save.
    const int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    const int out = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out >= 0) {
        std::vector<char> buf(1 << 16);
        ssize_t n;
        while ((n = ::read(in, buf.data(), buf.size())) > 0) {
            if (!writeAll(out, std::string_view(buf.data(), static_cast<std::size_t>(n)))) break;
        }
        ::close(out);
    }
    ::close(in);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

WriteResult writeFileAtomically(const std::string& path, std::string_view bytes, bool keepBackup) {
    WriteResult result;
    if (path.empty()) {
        result.error = "no file name";
        return result;
    }
    const std::string target = resolveTarget(path);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        result.error = std::strerror(EISDIR);
        return result;
    }

    std::string tmpl = target + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        result.error = systemError("cannot create a temporary file");
        return result;
    }
    const std::string tmp(name.data());
    const mode_t mode = existed ? (old.st_mode & 07777) : newFileMode();
    (void)::fchmod(fd, mode);  // a mode we cannot set is no reason to fail the save
    bool ok = writeAll(fd, bytes);
    if (!ok) result.error = systemError("write failed");
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        result.error = systemError("flush failed");
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        result.error = systemError("close failed");
    }
    if (ok && existed && keepBackup) keepBackupOf(target);
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        ok = false;
        result.error = systemError("cannot replace the file");
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace vesk
