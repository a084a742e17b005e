#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vesk {

namespace {

TraceSink* g_sink = nullptr;

bool& enabledFlag() {
    static bool enabled = [] {
        const char* v = std::getenv("VESK_TRACE");
        return v != nullptr && std::strcmp(v, "0") != 0 && *v != '\0';
    }();
    return enabled;
}

void emit(std::string_view text) {
    if (g_sink) {
        g_sink->write(text);
    } else if (enabledFlag()) {
        StderrTraceSink().write(text);
    }
}

}  // namespace

void StderrTraceSink::write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

int debugTrace(int level, std::string_view text, std::string_view caption) {
    if (level == 0 || level == 2) {
        std::string line;
        line.reserve(caption.size() + text.size() + 3);
        line.append(caption).append(": ").append(text).append("\n");
        emit(line);
    }
    return 0;
}

void diagnostic(std::string_view text) {
    emit(text);
}

void enableTrace(bool on) {
    enabledFlag() = on;
}

bool traceEnabled() {
    return enabledFlag();
}

TraceSink* setTraceSink(TraceSink* sink) {
    TraceSink* previous = g_sink;
    g_sink = sink;
    return previous;
}

}  // namespace vesk
