#pragma once
// The command line run in-process over the test line formats, with its streams captured.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "support/line_format.h"
#include "support/temp_dir.h"

namespace vesk::testing {

class CommandLineFixture : public ::testing::Test {
  protected:
    TempDir dir;
    MemorySettingsStore store;
    RecordingPrompt prompts;
    RunContext run{prompts, store};
    std::ostringstream out;
    std::ostringstream err;

    int vesk(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return cli::runIn(run, args, "9.9", cli::Streams{out, err, lineRegistry()});
    }
    std::string file(const std::string& name) { return dir.file(name); }
};

}  // namespace vesk::testing
