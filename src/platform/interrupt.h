// Ctrl-C and SIGTERM: the first asks the work under way to stop at its next safe point (between
// entries, before a file is replaced); a second ends the program at once, after removing the
// temporary files still registered, so that no half-written copy is left beside a book.
#pragma once

#include <string>

namespace vesk {

/// Catches SIGINT and SIGTERM for the rest of the process.
void installInterruptHandler();
/// True once SIGINT or SIGTERM arrived (and the handler is installed).
bool interruptRequested();
/// The signal that asked to stop, or 0.
int interruptSignal();
/// Forgets an earlier request (a test, or a front end that carries on after a cancelled step).
void clearInterrupt();

/// A temporary file: removed when this goes (unless released), and by a second signal.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    explicit TemporaryFile(const std::string& path) { track(path); }
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    /// Starts tracking `path` (forgetting the previous one).
    void track(const std::string& path);
    /// Lets the file be (it was renamed into place, or must be kept).
    void release();
    /// Removes the file and stops tracking it.
    void remove();
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    int m_slot = -1;
};

}  // namespace vesk
