#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vesk {

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool isReadableFile(const std::string& path) {
    // Asked, not opened: opening a pipe to look would wait for its writer and then cut it off.
    return isFile(path) && ::access(path.c_str(), R_OK) == 0;
}

FileKind fileKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    return S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
}

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string destinationProblem(const std::string& path) {
    switch (fileKind(path)) {
        case FileKind::Missing:
        case FileKind::Regular:
            return {};
        case FileKind::Directory:
            return systemReason(EISDIR);
        case FileKind::Other:
            break;
    }
    return "not a regular file (a device, a pipe or a socket)";
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes >= (std::uint64_t{1} << 20)) return std::to_string(bytes >> 20) + " MB";
    if (bytes >= 1024) return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

std::string systemReason(int code) {
    return std::strerror(code);
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

/// Writes in pieces, so that an interruption is seen before the whole text is out.
bool writeAll(int fd, std::string_view bytes) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (interruptRequested()) {
            errno = EINTR;
            return false;
        }
        const std::size_t piece = std::min(kPiece, bytes.size() - done);
        const ssize_t n = ::write(fd, bytes.data() + done, piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/// Gives `fd` the owner, group and mode of `old` as far as the system lets us: a user's book
/// rewritten by root stays the user's.
void takeOwnership(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    // After the owner: changing it may clear set-id bits.
    (void)::fchmod(fd, old.st_mode & 07777);
}

bool copyFile(const std::string& from, const std::string& to, const struct stat& st) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    if (ok) {
        std::vector<char> buf(1 << 16);
        ssize_t n;
        while (ok && (n = ::read(in, buf.data(), buf.size())) != 0) {
            if (n < 0) {
                ok = errno == EINTR;
                continue;
            }
            ok = writeAll(out, std::string_view(buf.data(), static_cast<std::size_t>(n)));
        }
        takeOwnership(out, st);
        ok = ::close(out) == 0 && ok;
    }
    ::close(in);
    if (!ok) ::unlink(to.c_str());
    return ok;
}

/// Keeps the target's present content at `backup`: a second name for it, or a copy.
bool keepCopyOf(const std::string& target, const std::string& backup) {
    ::unlink(backup.c_str());
    if (::link(target.c_str(), backup.c_str()) == 0) return true;
    // No hard links on this file system: copy instead.
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && copyFile(target, backup, st);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string temporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

/// mkstemps over `prefix` + "XXXXXX" + `suffix`; "" on failure (errno set).
int createTemporary(const std::string& prefix, const std::string& suffix, std::string& path) {
    std::string tmpl = prefix + "XXXXXX" + suffix;
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    path = fd >= 0 ? std::string(name.data()) : std::string();
    return fd;
}

}  // namespace

std::string makeTemporaryFile(TemporaryFile& temp, const std::string& extension) {
    std::string path;
    const int fd = createTemporary(temporaryFolder() + "/vesk-", extension, path);
    if (fd < 0) return {};
    ::close(fd);
    temp.track(path);
    return path;
}

SpoolResult spoolToFile(int fd, std::uint64_t limit, TemporaryFile& temp,
                        const std::string& extension) {
    SpoolResult r;
    std::string path;
    const int out = createTemporary(temporaryFolder() + "/vesk-", extension, path);
    if (out < 0) {
        r.error = systemError("cannot create a temporary file");
        return r;
    }
    temp.track(path);
    std::vector<char> buf(1 << 16);
    std::uint64_t total = 0;
    bool ok = true;
    while (ok) {
        if (interruptRequested()) {
            r.error = systemReason(EINTR);
            ok = false;
            break;
        }
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            r.error = systemReason(errno);
            ok = false;
            break;
        }
        total += static_cast<std::uint64_t>(n);
        if (total > limit) {
            r.tooLarge = true;
            r.error = "more than " + sizeText(limit) + ", the most Vesk reads";
            ok = false;
            break;
        }
        if (!writeAll(out, std::string_view(buf.data(), static_cast<std::size_t>(n)))) {
            r.error = systemReason(errno);
            ok = false;
        }
    }
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        if (r.error.empty()) r.error = systemReason(errno);
        temp.remove();
        return r;
    }
    r.ok = true;
    return r;
}

StagedFile::~StagedFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void StagedFile::fail(std::string error) {
    m_error = std::move(error);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_temp.remove();
}

WriteResult StagedFile::open(const std::string& path) {
    WriteResult result;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_temp.remove();
    m_error.clear();
    if (path.empty()) {
        result.error = m_error = "no file name";
        return result;
    }
    m_target = resolveTarget(path);
    if (const std::string problem = destinationProblem(m_target); !problem.empty()) {
        result.error = m_error = problem;
        return result;
    }
    struct stat old {};
    m_existed = ::stat(m_target.c_str(), &old) == 0;

    std::string tmp;
    const int fd = createTemporary(m_target + ".", {}, tmp);
    if (fd < 0) {
        result.error = m_error = systemError("cannot create a temporary file");
        return result;
    }
    m_temp.track(tmp);
    m_fd = fd;
    if (m_existed) {
        takeOwnership(fd, old);
    } else {
        (void)::fchmod(fd, newFileMode());  // a mode we cannot set is no reason to fail
    }
    result.ok = true;
    return result;
}

bool StagedFile::write(std::string_view bytes) {
    if (m_fd < 0) {
        if (m_error.empty()) m_error = "nothing was opened";
        return false;
    }
    if (writeAll(m_fd, bytes)) return true;
    fail(systemError("write failed"));
    return false;
}

WriteResult StagedFile::close() {
    WriteResult result;
    if (m_fd < 0) {
        result.error = m_error.empty() ? "nothing was opened" : m_error;
        return result;
    }
    if (::fsync(m_fd) != 0) {
        fail(systemError("flush failed"));
        result.error = m_error;
        return result;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(systemError("close failed"));
        result.error = m_error;
        return result;
    }
    result.ok = true;
    return result;
}

WriteResult StagedFile::stage(const std::string& path, std::string_view bytes) {
    WriteResult result = open(path);
    if (!result.ok) return result;
    if (!write(bytes)) {
        result.ok = false;
        result.error = m_error;
        return result;
    }
    return close();
}

WriteResult commitStaged(const std::vector<StagedFile*>& files, bool keepBackup, int* failed,
                         bool* restored) {
    WriteResult result;
    if (failed) *failed = -1;
    if (restored) *restored = true;
    // The previous content of each target, kept until every target is replaced.
    std::vector<std::string> previous(files.size());
    std::vector<TemporaryFile> keep(files.size());
    // What is not in place when this fails is not left lying about.
    auto abandon = [&files] {
        for (StagedFile* f : files) f->m_temp.remove();
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile& f = *files[i];
        if (!f.staged() || interruptRequested()) {
            result.error = f.staged() ? systemReason(EINTR) : "nothing was written";
            if (failed) *failed = static_cast<int>(i);
            abandon();
            return result;
        }
        if (!f.m_existed) continue;
        if (keepBackup) {
            previous[i] = f.m_target + ".bak";
        } else {
            // A name of its own beside the target, removed once all are replaced.
            const int fd = createTemporary(f.m_target + ".previous-", {}, previous[i]);
            if (fd >= 0) ::close(fd);
            keep[i].track(previous[i]);
        }
        // One file alone is replaced even without its backup, as before; a set needs them all
        // to be able to go back.
        if (!keepCopyOf(f.m_target, previous[i])) {
            previous[i].clear();
            if (files.size() > 1) {
                result.error = systemError("cannot keep the previous version");
                if (failed) *failed = static_cast<int>(i);
                abandon();
                return result;
            }
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile& f = *files[i];
        if (::rename(f.m_temp.path().c_str(), f.m_target.c_str()) == 0) {
            f.m_temp.release();
            continue;
        }
        result.error = systemError("cannot replace the file");
        if (failed) *failed = static_cast<int>(i);
        for (std::size_t j = 0; j < i; ++j) {
            const StagedFile& done = *files[j];
            const bool back = previous[j].empty()
                                  ? (!done.m_existed && ::unlink(done.m_target.c_str()) == 0)
                                  : ::rename(previous[j].c_str(), done.m_target.c_str()) == 0;
            if (back) continue;
            keep[j].release();  // the only copy of what the file held
            if (restored) *restored = false;
        }
        abandon();
        return result;
    }
    result.ok = true;
    return result;
}

WriteResult writeFileAtomically(const std::string& path, std::string_view bytes, bool keepBackup) {
    StagedFile file;
    WriteResult result = file.stage(path, bytes);
    if (!result.ok) return result;
    return commitStaged({&file}, keepBackup);
}

}  // namespace vesk
