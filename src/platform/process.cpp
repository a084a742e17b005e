#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

extern char** environ;

namespace vesk {

namespace {

std::vector<char*> argvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    out.reserve(argv.size() + 1);
    for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::optional<std::string> findProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        if (::access(program.c_str(), X_OK) == 0) return program;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         bool captureOutput) {
    ProcessResult result;
    if (argv.empty()) return result;
    const auto exe = findProgram(argv[0]);
    if (!exe) return result;

    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureOutput) {
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return result;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    }
    auto args = argvPointers(argv);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, exe->c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (captureOutput) ::close(pipeFds[1]);
    if (rc != 0) {
        if (captureOutput) ::close(pipeFds[0]);
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    bool exited = false;
    // Read the pipe while waiting, so a chatty child never blocks on a full pipe.
    while (!exited) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (captureOutput && pipeFds[0] >= 0) {
            pollfd p{pipeFds[0], POLLIN, 0};
            const int ready =
                ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
            if (ready > 0) {
                char buf[4096];
                const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
                if (n > 0) {
                    result.output.append(buf, static_cast<std::size_t>(n));
                } else {
                    ::close(pipeFds[0]);
                    pipeFds[0] = -1;
                }
            }
        } else {
            ::usleep(10000);
        }
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) exited = true;
    }
    if (!exited) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.timedOut = true;
    } else if (captureOutput && pipeFds[0] >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) {
            result.output.append(buf, static_cast<std::size_t>(n));
        }
    }
    if (pipeFds[0] >= 0) ::close(pipeFds[0]);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

bool launchDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    const auto exe = findProgram(argv[0]);
    if (!exe) return false;
    auto args = argvPointers(argv);  // built before fork: the child may only exec
    // A double fork leaves no zombie behind for the viewer.
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            ::execv(exe->c_str(), args.data());
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return true;
}

}  // namespace vesk
