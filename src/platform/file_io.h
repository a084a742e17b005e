// Safe file output: the new content goes to a temporary file beside the target, which
// replaces the target only once it is complete on disk; the old file is kept as .bak.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

struct WriteResult {
    bool ok = false;
    std::string error;  ///< The system's reason when ok is false.
};

/// True when `path` names something that is not a folder (a file, a pipe, a link to one).
bool isFile(const std::string& path);
/// True when `path` is such a file and opens for reading.
bool isReadableFile(const std::string& path);

/// Writes `bytes` to `path` atomically. On failure the old file is untouched.
/// When `keepBackup` is set and the target existed, its previous content stays as path + ".bak".
WriteResult writeFileAtomically(const std::string& path, std::string_view bytes,
                                bool keepBackup = true);

/// One file of a set written together.
struct FileContent {
    std::string path;
    std::string_view bytes;
};

/// Writes files that belong together (a book and its index): every temporary file is complete
/// on disk before the first target is replaced; when any cannot be written, none is.
WriteResult writeFilesAtomically(const std::vector<FileContent>& files, bool keepBackup = true);

}  // namespace vesk
