// A writer whose destination is one file: its text is encoded as it is written (UTF-8 or the
// file's encoding, CR LF line ends) and goes in chunks to a temporary beside the file, which
// replaces the old file only once the new one is complete on disk.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "model/iter_base.h"
#include "platform/file_io.h"
#include "text/text_out.h"

namespace vesk {

class ToFile : public ToBase {
  public:
    ToFile(RunContext& run, std::string fileName);

    /// Ends the text (end()) and puts the file in place; false (after "File write Error")
    /// when it could not be written.
    bool finish() override;

    const std::string& fileName() const { return m_fileName; }

    /// Renders into memory instead of the file (the clipboard); call before writing.
    void intoMemory() { m_text.setDrain({}); }
    /// The text rendered into memory, closing lines included, with LF line ends: the whole of
    /// it after intoMemory(), else only while it is shorter than one chunk (small tests).
    virtual std::string text();

    /// From now on finish() leaves the new file staged beside its target (staged()), for a
    /// caller that replaces several files together.
    void stageOnly() { m_stageOnly = true; }
    StagedFile& staged() { return m_staged; }
    /// Called once the new file has replaced the old one (by finish(), or by the caller that
    /// committed the staged file): what belongs to the old file may go now.
    virtual void replaced() {}

  protected:
    /// Writes the closing lines of the format when the conversion finishes (called once).
    virtual void end() {}
    /// Writes `bytes` as they are to fileName() in place of the text, as finish() does; false
    /// (after the same message) when it could not.
    bool writeBytes(std::string_view bytes);
    /// Lets `fill` write the new file itself, given the temporary's path, and puts it in place
    /// as writeBytes() does. When `fill` fails the temporary is removed without a message:
    /// `fill` tells what went wrong.
    bool writeThrough(const std::function<bool(const std::string& temporary)>& fill);

    std::string m_fileName;
    /// The output text; what is appended goes to the file.
    TextOut m_text;

  private:
    bool drain(std::string_view bytes);
    void endOnce();
    bool putInPlace(WriteResult result);

    bool m_ended = false;
    bool m_stageOnly = false;
    StagedFile m_staged;
};

}  // namespace vesk
