#include "platform/progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

namespace vesk {

std::string itemText(int n) {
    return "Processing Item " + std::to_string(n);
}

std::string percentText(int p) {
    return std::to_string(p) + "% Complete";
}

namespace {

constexpr std::chrono::milliseconds kRedrawInterval{100};

}  // namespace

ConsoleProgress::ConsoleProgress()
    : ConsoleProgress(std::cerr, isatty(STDERR_FILENO) != 0, std::chrono::steady_clock::now) {}

ConsoleProgress::ConsoleProgress(std::ostream& out, bool terminal, Clock clock)
    : m_out(out), m_terminal(terminal), m_clock(std::move(clock)) {}

ConsoleProgress::~ConsoleProgress() {
    clear();
}

void ConsoleProgress::itemCount(int n) {
    m_text = itemText(n);
    draw(false);
}

void ConsoleProgress::percent(int p) {
    if (p < 0) return;
    m_percent = p > 100 ? 100 : p;
    m_text = percentText(m_percent);
    draw(false);
}

void ConsoleProgress::finish() {
    if (m_drawnWidth == 0) return;  // nothing took long enough to show a bar
    m_percent = 100;
    m_text = percentText(100);
    draw(true);
}

void ConsoleProgress::clear() {
    if (m_drawnWidth == 0) return;
    m_out << '\r' << std::string(m_drawnWidth, ' ') << '\r' << std::flush;
    m_drawnWidth = 0;
}

void ConsoleProgress::draw(bool now) {
    if (!m_terminal) return;
    const auto time = m_clock();
    if (!now && m_drawnWidth > 0 && time - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = time;
    constexpr int kWidth = 30;
    const int filled = m_percent < 0 ? 0 : m_percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    char line[96];
    std::snprintf(line, sizeof line, "[%s] %-28s", bar.c_str(), m_text.c_str());
    m_out << '\r' << line << std::flush;
    m_drawnWidth = std::strlen(line);
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
