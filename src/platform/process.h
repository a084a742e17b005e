// Starting other programs: always with an argument vector, so no shell ever reads a path.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    std::string output;  ///< Standard output, when captured.
};

/// Runs `argv` and waits for it (at most `timeout`), capturing its standard output if asked.
ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         bool captureOutput = false);

/// Starts `argv` without waiting; false when it could not be started.
bool launchDetached(const std::vector<std::string>& argv);

/// Looks `program` up on PATH; nullopt when it is not there.
std::optional<std::string> findProgram(const std::string& program);

}  // namespace vesk
