// The run context of tests: a recording prompt and an in-memory settings store of its own, no
// progress and no trace unless a test sets them.
#pragma once

#include "platform/run_context.h"

namespace vesk::testing {

using TestRun = RecordingRun;

}  // namespace vesk::testing
