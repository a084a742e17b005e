#include "model/to_file.h"

#include "platform/interrupt.h"
#include "text/text_io.h"

namespace vesk {

ToFile::ToFile(RunContext& run, std::string fileName)
    : ToBase(run), m_fileName(std::move(fileName)) {
    mergesExisting = true;
    m_text.setDrain([this](std::string_view bytes) { return drain(bytes); });
}

bool ToFile::drain(std::string_view bytes) {
    // The temporary is made with the first chunk: a writer that never finishes leaves none.
    if (!m_staged.isOpen() && !m_staged.open(m_fileName).ok) return false;
    return m_staged.write(bytes);
}

std::string ToFile::text() {
    intoMemory();
    endOnce();
    m_text.flush();
    return decodeText(m_text.bytes());
}

void ToFile::endOnce() {
    if (m_ended) return;
    m_ended = true;
    end();
}

bool ToFile::finish() {
    m_run->trace(0, "Opening File", "Debug");
    endOnce();
    m_run->trace(0, "Checking whether file opening has succeded", "Debug");
    m_run->trace(0, "Writing text to file", "Debug");
    WriteResult result;
    // Text rendered into memory (text()) goes to the file now; an empty text still makes an
    // (empty) file.
    if (m_text.flush() && drain(m_text.bytes())) {
        result = m_staged.close();
    } else {
        result.error = m_staged.error();
    }
    return putInPlace(result);
}

bool ToFile::writeBytes(std::string_view bytes) {
    return putInPlace(m_staged.stage(m_fileName, bytes));
}

bool ToFile::writeThrough(const std::function<bool(const std::string& temporary)>& fill) {
    WriteResult result = m_staged.open(m_fileName);
    if (result.ok && !fill(m_staged.temporaryPath())) {
        m_staged.discard();
        m_succeeded = false;
        return false;
    }
    if (result.ok) result = m_staged.close();
    return putInPlace(result);
}

bool ToFile::putInPlace(WriteResult result) {
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
