// The debug trace: checkpoint texts for whoever debugs a conversion. A run sends it to the sink
// its front end chose (stderr with VESK_TRACE=1 or --trace), else nowhere; it never mixes into
// a conversion written to stdout.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void write(std::string_view text) = 0;
};

/// Writes to stderr.
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

/// True when the environment asks for the trace (VESK_TRACE set, not "0").
bool traceRequestedByEnvironment();

}  // namespace vesk
