// The debug trace and the diagnostic stream: checkpoint texts for whoever debugs a
// conversion. Silent unless VESK_TRACE=1 or --trace; never mixed into stdout output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void write(std::string_view text) = 0;
};

/// Writes to stderr when enabled.
class StderrTraceSink : public TraceSink {
  public:
    void write(std::string_view text) override;
};

/// For tests: keeps everything written.
class RecordingTraceSink : public TraceSink {
  public:
    std::string text;
    void write(std::string_view t) override { text.append(t); }
};

/// Debug trace at `level` (0-4). Levels 0 and 2 write "caption: text\n"; the message boxes
/// of all five levels are switched off, so the result is always 0.
int debugTrace(int level, std::string_view text, std::string_view caption);

/// Writes raw text to the diagnostic stream (the lines already end in "\n" where they should).
void diagnostic(std::string_view text);

/// Turns the stderr trace on or off (VESK_TRACE=1 turns it on at start).
void enableTrace(bool on);
bool traceEnabled();

/// Redirects the trace (nullptr: back to stderr); returns the previous sink.
TraceSink* setTraceSink(TraceSink* sink);

class TraceScope {
  public:
    explicit TraceScope(TraceSink& sink) : m_previous(setTraceSink(&sink)) {}
    ~TraceScope() { setTraceSink(m_previous); }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

  private:
    TraceSink* m_previous;
};

}  // namespace vesk
