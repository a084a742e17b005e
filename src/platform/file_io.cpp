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

/// A complete temporary file beside its target, waiting to replace it.
struct StagedFile {
    std::string target;
    std::string tmp;
    bool existed = false;
};

/// Writes `bytes` to a flushed temporary file beside `path`; false (and `error`) when it could
/// not, leaving nothing behind.
bool stageFile(const std::string& path, std::string_view bytes, StagedFile& staged,
               std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    staged.target = resolveTarget(path);
    struct stat old {};
    staged.existed = ::stat(staged.target.c_str(), &old) == 0;
    if (staged.existed && S_ISDIR(old.st_mode)) {
        error = "is a directory";
        return false;
    }

    std::string tmpl = staged.target + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = systemError("cannot create a temporary file");
        return false;
    }
    staged.tmp = name.data();
    const mode_t mode = staged.existed ? (old.st_mode & 07777) : newFileMode();
    (void)::fchmod(fd, mode);  // a mode we cannot set is no reason to fail the save
    bool ok = writeAll(fd, bytes);
    if (!ok) error = systemError("write failed");
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        error = systemError("flush failed");
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = systemError("close failed");
    }
    if (!ok) ::unlink(staged.tmp.c_str());
    return ok;
}

/// Puts a staged file in place of its target.
bool commitFile(const StagedFile& staged, bool keepBackup, std::string& error) {
    if (staged.existed && keepBackup) keepBackupOf(staged.target);
    if (::rename(staged.tmp.c_str(), staged.target.c_str()) != 0) {
        error = systemError("cannot replace the file");
        ::unlink(staged.tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

WriteResult writeFileAtomically(const std::string& path, std::string_view bytes, bool keepBackup) {
    return writeFilesAtomically({FileContent{path, bytes}}, keepBackup);
}

WriteResult writeFilesAtomically(const std::vector<FileContent>& files, bool keepBackup) {
    WriteResult result;
    std::vector<StagedFile> staged(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (stageFile(files[i].path, files[i].bytes, staged[i], result.error)) continue;
        for (std::size_t k = 0; k < i; ++k) ::unlink(staged[k].tmp.c_str());
        return result;
    }
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (commitFile(staged[i], keepBackup, result.error)) continue;
        for (std::size_t k = i + 1; k < staged.size(); ++k) ::unlink(staged[k].tmp.c_str());
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace vesk
