#include "model/to_file.h"

#include "platform/file_io.h"
#include "text/text_io.h"

namespace vesk {

ToFile::ToFile(RunContext& run, std::string fileName)
    : ToBase(run), m_fileName(std::move(fileName)) {
    mergesExisting = true;
}

bool ToFile::finish() {
    m_run->trace(0, "Opening File", "Debug");
    const std::string bytes = encodeForFile(text());
    m_run->trace(0, "Checking whether file opening has succeded", "Debug");
    m_run->trace(0, "Writing text to file", "Debug");
    const WriteResult result = writeFileAtomically(m_fileName, bytes);
    m_run->trace(0, "Closing file", "Debug");
    if (!result.ok) {
        m_run->diagnostic(m_fileName + ": " + result.error + "\n");
        m_run->report(Severity::Error, "File write Error", m_fileName,
                      Where{m_fileName, 0, -1, {}, result.error});
        m_succeeded = false;
        return false;
    }
    m_succeeded = true;
    return true;
}

}  // namespace vesk
