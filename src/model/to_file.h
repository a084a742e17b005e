// A writer whose destination is one file: it collects its whole text and writes it
// when the conversion finishes, as UTF-8 with CR LF line ends, replacing the old file
// only once the new one is safely on disk.
#pragma once

#include <string>
#include <string_view>

#include "model/iter_base.h"

namespace vesk {

class ToFile : public ToBase {
  public:
    ToFile(RunContext& run, std::string fileName);

    /// The whole output text (LF line ends), after any closing lines of the format.
    virtual std::string text() = 0;
    /// Writes text() to fileName(); false (after "File write Error") when it could not.
    bool finish() override;

    const std::string& fileName() const { return m_fileName; }

  protected:
    /// Writes `bytes` as they are to fileName(), as finish() does; false (after the same
    /// message) when it could not.
    bool writeBytes(std::string_view bytes);

    std::string m_fileName;
};

}  // namespace vesk
