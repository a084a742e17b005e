// A writer whose destination is one file: it collects its whole text and writes it
// when the conversion finishes, as UTF-8 with CR LF line ends, replacing the old file
// only once the new one is safely on disk.
#pragma once

#include <string>

#include "model/iter_base.h"
#include "platform/file_io.h"

namespace vesk {

class ToFile : public ToBase {
  public:
    ToFile(RunContext& run, std::string fileName);

    /// The whole output text (LF line ends), after any closing lines of the format.
    virtual std::string text() = 0;
    /// Writes text() to fileName(); false (after "File write Error") when it could not.
    bool finish() override;

    const std::string& fileName() const { return m_fileName; }

    /// From now on finish() leaves the new file staged beside its target (staged()), for a
    /// caller that replaces several files together.
    void stageOnly() { m_stageOnly = true; }
    StagedFile& staged() { return m_staged; }
    /// Called once the new file has replaced the old one (by finish(), or by the caller that
    /// committed the staged file): what belongs to the old file may go now.
    virtual void replaced() {}

  protected:
    std::string m_fileName;

  private:
    bool m_stageOnly = false;
    StagedFile m_staged;
};

}  // namespace vesk
