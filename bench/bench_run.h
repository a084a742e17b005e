// A run context for benchmarks: messages are kept, not shown, and settings live in memory.
#pragma once

#include "platform/prompt.h"
#include "platform/run_context.h"
#include "platform/settings.h"

namespace vesk::bench {

class BenchRun : public RunContext {
  public:
    // The base keeps references to the members below; it does not use them while they are made.
    BenchRun() : RunContext(prompts, store) {}

    RecordingPrompt prompts;
    MemorySettingsStore store;
};

}  // namespace vesk::bench
