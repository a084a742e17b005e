#include "model/to_file.h"

#include "platform/file_io.h"
#include "platform/prompt.h"
#include "platform/trace.h"
#include "text/text_io.h"

namespace vesk {

ToFile::ToFile(std::string fileName) : m_fileName(std::move(fileName)) {
    mergesExisting = true;
}

bool ToFile::finish() {
    debugTrace(0, "Opening File", "Debug");
    const std::string bytes = encodeForFile(text());
    debugTrace(0, "Checking whether file opening has succeded", "Debug");
    debugTrace(0, "Writing text to file", "Debug");
    const WriteResult result = writeFileAtomically(m_fileName, bytes);
    debugTrace(0, "Closing file", "Debug");
    if (!result.ok) {
        diagnostic(m_fileName + ": " + result.error + "\n");
        prompt().message("File write Error", m_fileName, Buttons::Ok, Icon::None);
        m_succeeded = false;
        return false;
    }
    m_succeeded = true;
    return true;
}

}  // namespace vesk
