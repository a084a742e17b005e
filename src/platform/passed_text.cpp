#include "platform/passed_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vesk {

namespace {

// Given back in whole huge pages: the text was read into them (platform/large_buffer.h), and a
// step this large costs one system call per couple of MiB read.
constexpr std::uintptr_t kStep = std::uintptr_t{2} << 20;

std::uintptr_t alignUp(std::uintptr_t p) {
    return (p + kStep - 1) / kStep * kStep;
}

std::uintptr_t alignDown(std::uintptr_t p) {
    return p / kStep * kStep;
}

bool giveBack(char* from, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_DONTNEED)
    return ::madvise(from, bytes, MADV_DONTNEED) == 0;
#else
    (void)from;
    (void)bytes;
    return false;
#endif
}

}  // namespace

void PassedText::watch(std::string& text, std::string path, const DecodeOptions& options,
                       std::size_t floor, bool countLines) {
    m_text = &text;
    m_path = std::move(path);
    m_options = options;
    m_floor = std::min(floor, text.size());
    m_countLines = countLines;
    const auto base = reinterpret_cast<std::uintptr_t>(text.data());
    m_start = std::min<std::size_t>(alignUp(base + m_floor) - base, text.size());
    m_end = m_start;
    m_lines = 0;
}

void PassedText::passed(std::size_t pos) {
    if (!m_text) return;
    char* data = m_text->data();
    const auto base = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t limit = alignDown(base + std::min(pos, m_text->size()));
    if (limit <= base + m_end) return;
    const std::size_t to = limit - base;
    const std::size_t lines =
        m_countLines ? static_cast<std::size_t>(std::count(data + m_end, data + to, '\n')) : 0;
    // Where the system keeps the memory, the text stays as it is and nothing is given back.
    if (!giveBack(data + m_end, to - m_end)) return;
    m_lines += lines;
    m_end = to;
}

std::size_t PassedText::lineFeedsBefore(std::size_t pos) const {
    const auto count = [this](std::size_t from, std::size_t to) {
        const char* data = m_text ? m_text->data() : nullptr;
        return to > from ? static_cast<std::size_t>(std::count(data + from, data + to, '\n')) : 0;
    };
    if (!m_text) return 0;
    pos = std::min(pos, m_text->size());
    if (!anyGivenBack() || pos <= m_start) return count(0, pos);
    return count(0, m_start) + m_lines + count(m_end, pos);
}

bool PassedText::restore() {
    if (!m_text || !anyGivenBack()) return true;
    const std::optional<std::string> again = readTextFile(m_path, m_options);
    std::string& text = *m_text;
    // The parts still held must be the same, or the file changed since it was read.
    if (!again || again->size() != text.size() ||
        std::memcmp(again->data(), text.data(), m_start) != 0 ||
        std::memcmp(again->data() + m_end, text.data() + m_end, text.size() - m_end) != 0) {
        return false;
    }
    std::memcpy(text.data() + m_start, again->data() + m_start, m_end - m_start);
    m_end = m_start;
    m_lines = 0;
    return true;
}

bool PassedText::restoreOrReport(RunContext* run, const std::string& fileName) {
    if (restore()) return true;
    stop();
    if (run) {
        run->report(Severity::Error, "File changed while it was being read: the rest is not read",
                    fileName, Where{fileName});
    }
    return false;
}

}  // namespace vesk
