// The "/sync" workflow: two address-book files are read into two folders, synchronised into a
// third, and the result is written back to both files, each in the format it was read in.
// Nothing is written unless both files read cleanly and the result holds something.
#pragma once

#include <string>

#include "registry/registry.h"

namespace vesk {

enum class SyncStatus {
    Done,
    NotReadWrite,  ///< `file` is of a type Vesk cannot both read and write
    Unreadable,    ///< `file` cannot be read
    ReadProblem,   ///< reading `file` reported a problem
    Empty,         ///< the result holds nothing: neither file was changed
    WriteFailed,   ///< `file` could not be written; only `changed` (if any) was changed
    SameFile,      ///< both paths name one file (`file` is the second)
    Interrupted,   ///< SIGINT or SIGTERM arrived: neither file was changed
};

struct SyncOutcome {
    SyncStatus status = SyncStatus::Done;
    std::string file;     ///< the file the status speaks of
    int firstCount = 0;   ///< contacts read from the first file
    int secondCount = 0;  ///< from the second
    int resultCount = 0;  ///< contacts both now hold
    std::string reason;   ///< why `file` could not be written, when known
    /// After a failed write, the file that holds the result anyway because the old one could
    /// not be put back (the previous version is its .bak); "" when neither file changed.
    std::string changed;
};

/// Nothing is written when reading either file reported an error to `run`.
SyncOutcome synchronizeFiles(RunContext& run, const std::string& first, const std::string& second,
                             const Registry& registry = Registry::builtIn());

}  // namespace vesk
