// A run context for tests: a recording prompt and an in-memory settings store of its own, no
// progress and no trace unless a test sets them.
#pragma once

#include "platform/prompt.h"
#include "platform/run_context.h"
#include "platform/settings.h"

namespace vesk::testing {

class TestRun : public RunContext {
  public:
    // The base keeps references to the members below; it does not use them while they are made.
    TestRun() : RunContext(prompts, store) {}

    RecordingPrompt prompts;
    MemorySettingsStore store;
};

}  // namespace vesk::testing
