#include "platform/run_context.h"

#include <algorithm>

namespace vesk {

int Diagnostics::count(Severity least) const {
    return static_cast<int>(
        std::count_if(m_items.begin(), m_items.end(), [least](const Diagnostic& d) {
            return static_cast<int>(d.severity) >= static_cast<int>(least);
        }));
}

int RunContext::trace(int level, std::string_view text, std::string_view caption) const {
    if (m_trace && (level == 0 || level == 2)) {
        std::string line;
        line.reserve(caption.size() + text.size() + 3);
        line.append(caption).append(": ").append(text).append("\n");
        m_trace->write(line);
    }
    return 0;
}

void RunContext::diagnostic(std::string_view text) const {
    if (m_trace) m_trace->write(text);
}

void RunContext::report(Severity severity, std::string_view message, std::string_view caption,
                        Where where) {
    Diagnostic d{severity,
                 std::move(where.file),
                 where.line,
                 where.offset,
                 std::move(where.entry),
                 std::string(message),
                 std::move(where.reason)};
    m_diagnostics.add(d);
    if (m_reportSink) {
        m_reportSink(d, caption);
    } else {
        m_prompt->message(d.message, std::string(caption), Buttons::Ok, Icon::None);
    }
}

void RunContext::note(Severity severity, std::string_view message, Where where) {
    Diagnostic d{severity,
                 std::move(where.file),
                 where.line,
                 where.offset,
                 std::move(where.entry),
                 std::string(message),
                 std::move(where.reason)};
    m_diagnostics.add(d);
    if (m_reportSink) m_reportSink(d, {});
    diagnostic((d.file.empty() ? std::string() : d.file + ":" + std::to_string(d.line) + ": ") +
               d.message + "\n");
}

}  // namespace vesk
