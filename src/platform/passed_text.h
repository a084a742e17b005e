// A whole file's text that a reader goes through once, front to back. The memory of what the
// reader has gone past goes back to the system while it reads on, so that the book being built
// beside it does not come on top of the whole file. The bytes given back read as zeros until
// restore() reads the file again into the same buffer.
#pragma once

#include <cstddef>
#include <string>

#include "platform/run_context.h"
#include "text/text_io.h"

namespace vesk {

class PassedText {
  public:
    /// Watches `text`, which readTextFile(path, options) filled and which keeps its buffer from
    /// now on (the options' fallback charset must stay alive as long). Bytes before `floor` (a
    /// header read again later) are never given back; with `countLines` the line feeds given back
    /// are counted (linesGivenBack).
    void watch(std::string& text, std::string path, const DecodeOptions& options,
               std::size_t floor = 0, bool countLines = false);
    /// Stops watching; nothing is given back any more.
    void stop() { m_text = nullptr; }

    /// The reader does not read the text before `pos` again (until restore): whole pages of it
    /// go back to the system once a few MiB have gathered.
    void passed(std::size_t pos);
    /// True when some of the text reads as zeros now.
    bool anyGivenBack() const { return m_end > m_start; }
    /// Line feeds in the text before `pos`, those given back included when they were counted;
    /// `pos` lies before the part given back or after it (where the reader stands or beyond).
    std::size_t lineFeedsBefore(std::size_t pos) const;

    /// The text whole again, in the same buffer (views into it stay valid); false when the
    /// file no longer gives the same text.
    bool restore();
    /// restore(), and when the file changed: stops watching and tells `run` (when given) that
    /// the rest of `fileName` is not read.
    bool restoreOrReport(RunContext* run, const std::string& fileName);

  private:
    std::string* m_text = nullptr;
    std::string m_path;
    DecodeOptions m_options;
    std::size_t m_floor = 0;
    bool m_countLines = false;
    std::size_t m_start = 0;  ///< [m_start, m_end) reads as zeros
    std::size_t m_end = 0;
    std::size_t m_lines = 0;  ///< line feeds in [m_start, m_end) when counted
};

}  // namespace vesk
