// "-" on the command line: standard input as the source, standard output as the destination.
// Readers and writers work on files, so the data passes through a private temporary folder.
#pragma once

#include <iosfwd>
#include <string>

namespace vesk::cli {

class StreamFiles {
  public:
    StreamFiles() = default;
    /// Removes the folder and everything in it.
    ~StreamFiles();
    StreamFiles(const StreamFiles&) = delete;
    StreamFiles& operator=(const StreamFiles&) = delete;

    /// A path named `name` in the folder (made on first use); "" when no folder can be made.
    std::string path(const std::string& name);
    /// Copies `in` to path(name) and returns that path; "" when it cannot be written.
    std::string saveInput(std::istream& in, const std::string& name);
    /// Copies the file at `path` to `out`; false when it cannot be read.
    static bool copyTo(const std::string& path, std::ostream& out);

  private:
    std::string m_folder;
};

}  // namespace vesk::cli
