// The run context: everything a conversion talks to besides its files — the prompt, the
// progress display, the settings store, the trace and the diagnostics it reports — made by the
// front end (command line or window) and handed down to books, readers, writers and operations.
// Nothing below the front end keeps mutable state of its own beyond what it is handed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "platform/environment.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace vesk {

enum class Severity { Info, Warning, Error };

/// One problem a reader, writer or operation reported, where it knows where it happened.
struct Diagnostic {
    Severity severity = Severity::Warning;
    std::string file;
    std::int64_t line = 0;     ///< 1-based; 0 when unknown
    std::int64_t offset = -1;  ///< byte offset in the file; -1 when unknown
    std::string entry;         ///< the entry concerned, by name
    std::string message;
    std::string reason;  ///< the system's reason ("No space left on device"), when there is one
};

/// Where a reported problem happened; every part is optional.
struct Where {
    Where() = default;
    explicit Where(std::string inFile, std::int64_t atLine = 0, std::int64_t atOffset = -1,
                   std::string forEntry = {}, std::string because = {})
        : file(std::move(inFile)),
          line(atLine),
          offset(atOffset),
          entry(std::move(forEntry)),
          reason(std::move(because)) {}

    std::string file;
    std::int64_t line = 0;
    std::int64_t offset = -1;
    std::string entry;
    std::string reason;
};

/// The diagnostics of a run, in the order they were reported.
class Diagnostics {
  public:
    void add(Diagnostic d) { m_items.push_back(std::move(d)); }
    const std::vector<Diagnostic>& items() const { return m_items; }
    /// How many were reported at `least` or worse.
    int count(Severity least = Severity::Warning) const;
    void clear() { m_items.clear(); }

  private:
    std::vector<Diagnostic> m_items;
};

/// The most a source may hold: a file beyond it is refused with a message, never read whole.
inline constexpr std::uint64_t kMaxSourceBytes = std::uint64_t{256} << 20;

class RunContext {
  public:
    RunContext(Prompt& prompt, SettingsStore& settings)
        : m_prompt(&prompt), m_settings(&settings) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    Prompt& prompt() const { return *m_prompt; }
    /// Puts another prompt in place (a front end that asks differently for a while).
    void setPrompt(Prompt& prompt) { m_prompt = &prompt; }
    SettingsStore& settings() const { return *m_settings; }

    /// The progress of the conversion under way, or nullptr when none is shown.
    Progress* progress() const { return m_progress; }
    void setProgress(Progress* progress) { m_progress = progress; }

    /// Where the debug trace goes; nullptr (the default) keeps it silent.
    void setTraceSink(TraceSink* sink) { m_trace = sink; }
    TraceSink* traceSink() const { return m_trace; }
    /// Debug trace at `level` (0-4): levels 0 and 2 write "caption: text\n". Always 0.
    int trace(int level, std::string_view text, std::string_view caption) const;
    /// Raw text to the trace (the lines already end in "\n" where they should).
    void diagnostic(std::string_view text) const;

    Diagnostics& diagnostics() { return m_diagnostics; }
    /// Records a problem and shows it as the user knows it: a message box with `caption`, or,
    /// when the front end set a report sink, however that sink shows it.
    void report(Severity severity, std::string_view message, std::string_view caption,
                Where where = {});
    /// Records a problem the old program only traced: the report sink shows it, no message box.
    void note(Severity severity, std::string_view message, Where where = {});
    /// Takes over showing reported problems (the command line prints them with their place).
    void setReportSink(std::function<void(const Diagnostic&, std::string_view caption)> sink) {
        m_reportSink = std::move(sink);
    }

    /// State a layer above keeps for the length of the run (the CSV field map, configured
    /// locations): made on first use.
    template <class T>
    T& state() {
        auto& slot = m_state[std::type_index(typeid(T))];
        if (!slot)
            slot = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
        return *static_cast<T*>(slot.get());
    }

    /// The folder of the program, ending in "/": where files are exchanged with other programs.
    std::string programDirectory;
    /// The most a source file (or an existing destination to merge with) may hold.
    std::uint64_t maxSourceBytes = kMaxSourceBytes;
    /// The charset the user names for source files that carry no marker (`--encoding`); empty:
    /// bytes that are not UTF-8 are read as Windows-1252.
    std::string sourceEncoding;

  private:
    Prompt* m_prompt;
    SettingsStore* m_settings;
    Progress* m_progress = nullptr;
    TraceSink* m_trace = nullptr;
    Diagnostics m_diagnostics;
    std::function<void(const Diagnostic&, std::string_view)> m_reportSink;
    std::map<std::type_index, std::shared_ptr<void>> m_state;
};

/// A run whose prompt records every message and whose settings live in memory: for tests,
/// benchmarks and fuzzing, where nobody answers and nothing may touch the user's settings.
class RecordingRun : public RunContext {
  public:
    // The base keeps references to the members below; it does not use them while they are made.
    // Detection in such a run sees no home folder and no Wine prefix of the user's.
    RecordingRun() : RunContext(prompts, store) {
        state<Environment>().set("HOME", "");
        state<Environment>().set("WINEPREFIX", "");
    }

    RecordingPrompt prompts;
    MemorySettingsStore store;
};

}  // namespace vesk
