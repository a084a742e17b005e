#include "platform/progress.h"

#include <unistd.h>

#include <cstdio>

namespace vesk {

std::string itemText(int n) {
    return "Processing Item " + std::to_string(n);
}

std::string percentText(int p) {
    return std::to_string(p) + "% Complete";
}

ConsoleProgress::ConsoleProgress() : m_terminal(isatty(STDERR_FILENO) != 0) {}

ConsoleProgress::~ConsoleProgress() {
    if (m_drawn) std::fputc('\n', stderr);
}

void ConsoleProgress::itemCount(int n) {
    m_text = itemText(n);
    draw();
}

void ConsoleProgress::percent(int p) {
    if (p < 0) return;
    m_percent = p > 100 ? 100 : p;
    m_text = percentText(m_percent);
    draw();
}

void ConsoleProgress::draw() {
    if (!m_terminal) return;
    constexpr int kWidth = 30;
    const int filled = m_percent < 0 ? 0 : m_percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %-28s", bar.c_str(), m_text.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void RecordingProgress::itemCount(int n) {
    items.push_back(n);
    texts.push_back(itemText(n));
}

void RecordingProgress::percent(int p) {
    percents.push_back(p);
    if (p >= 0) texts.push_back(percentText(p));
}

bool RecordingProgress::pump() {
    ++pumps;
    return cancelAtPump >= 0 && pumps >= cancelAtPump;
}

}  // namespace vesk
