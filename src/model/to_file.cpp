#include "model/to_file.h"

#include "platform/interrupt.h"
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
    WriteResult result = m_staged.stage(m_fileName, bytes);
    if (result.ok && !m_stageOnly) {
        result = commitStaged({&m_staged});
        if (result.ok) replaced();
    }
    m_run->trace(0, "Closing file", "Debug");
    m_succeeded = result.ok;
    // An interruption is the front end's to tell; the old file is untouched either way.
    if (!result.ok && !interruptRequested()) {
        m_run->diagnostic(m_fileName + ": " + result.error + "\n");
        m_run->report(Severity::Error, "File write Error", m_fileName,
                      Where{m_fileName, 0, -1, {}, result.error});
    }
    return result.ok;
}

}  // namespace vesk
