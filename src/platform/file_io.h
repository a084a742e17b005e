// Safe file output: the new content goes to a temporary file beside the target, which
// replaces the target only once it is complete on disk; the old file is kept as .bak. Only
// regular files are read back or replaced: a pipe or a device is never turned into a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/interrupt.h"

namespace vesk {

struct WriteResult {
    bool ok = false;
    std::string error;  ///< The system's reason when ok is false.
};

/// True when `path` names something that is not a folder (a file, a pipe, a link to one).
bool isFile(const std::string& path);
/// True when `path` is such a file and may be read (a pipe is not opened to find out).
bool isReadableFile(const std::string& path);

/// What a path names, links followed.
enum class FileKind { Missing, Regular, Directory, Other };
FileKind fileKind(const std::string& path);
/// The size of a regular file (0 when it is none).
std::uint64_t fileSize(const std::string& path);
/// True when both paths name the same existing file (links and other paths included).
bool sameFile(const std::string& a, const std::string& b);
/// "" when `path` may be written (absent, or a regular file or a link to one); else why not.
std::string destinationProblem(const std::string& path);

/// "256 MB": a size in the words of the messages.
std::string sizeText(std::uint64_t bytes);

struct SpoolResult {
    bool ok = false;
    bool tooLarge = false;  ///< more than the limit arrived
    std::string error;      ///< the system's reason, or the size message
};
/// Copies what `fd` gives, to its end but at most `limit` bytes, into a new file `temp`
/// (a regular file, so that readers can look at it more than once). The copy is removed on
/// failure and when an interruption stops it.
SpoolResult spoolToFile(int fd, std::uint64_t limit, TemporaryFile& temp,
                        const std::string& extension);

/// A new empty temporary file ("vesk-XXXXXX" + extension) in $TMPDIR or /tmp; "" on failure.
std::string makeTemporaryFile(TemporaryFile& temp, const std::string& extension = {});

/// A file written in full beside its target, waiting to replace it. Destroyed uncommitted,
/// it removes its temporary.
class StagedFile {
  public:
    StagedFile() = default;
    ~StagedFile();  ///< the temporary goes with it unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    /// Writes `bytes` to a temporary beside `path` (owner, group and mode taken from the file
    /// it will replace), flushed to disk.
    WriteResult stage(const std::string& path, std::string_view bytes);

    /// stage() in steps, for content written piece by piece: open() makes the temporary,
    /// write() adds to it, close() flushes it to disk. A step that fails removes the
    /// temporary; error() says why.
    WriteResult open(const std::string& path);
    bool write(std::string_view bytes);
    WriteResult close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }

    bool staged() const { return !m_temp.path().empty(); }
    /// The temporary after open(), for a writer that fills it through its own file handle.
    const std::string& temporaryPath() const { return m_temp.path(); }
    /// Removes the temporary of an unfinished write.
    void discard() { fail(m_error); }
    /// The file it will replace (links followed).
    const std::string& target() const { return m_target; }

  private:
    friend WriteResult commitStaged(const std::vector<StagedFile*>& files, bool keepBackup,
                                    int* failed, bool* restored);
    void fail(std::string error);

    std::string m_target;
    TemporaryFile m_temp;
    bool m_existed = false;
    int m_fd = -1;
    std::string m_error;
};

/// Replaces the targets of the staged files, in order. When one cannot be replaced, those
/// already replaced get their previous content back; `failed` receives its index (-1 when
/// all went well) and `restored` whether putting back succeeded. The old files stay as .bak
/// when `keepBackup` is set.
WriteResult commitStaged(const std::vector<StagedFile*>& files, bool keepBackup = true,
                         int* failed = nullptr, bool* restored = nullptr);

/// Writes `bytes` to `path` atomically. On failure the old file is untouched.
/// When `keepBackup` is set and the target existed, its previous content stays as path + ".bak".
WriteResult writeFileAtomically(const std::string& path, std::string_view bytes,
                                bool keepBackup = true);

/// The system's text for the error `code` ("No space left on device").
std::string systemReason(int code);

}  // namespace vesk
