#include "platform/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace vesk {

namespace {

// The handler may only touch lock-free atomics and fixed buffers.
constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;
char g_paths[kSlots][kPathMax];
std::atomic<bool> g_used[kSlots];
std::atomic<int> g_signal{0};
std::atomic<int> g_count{0};

extern "C" void onInterrupt(int sig) {
    g_signal.store(sig);
    if (g_count.fetch_add(1) == 0) return;
    // Asked twice: the work did not reach a safe point; leave no temporary behind.
    for (int i = 0; i < kSlots; ++i) {
        if (g_used[i].load()) ::unlink(g_paths[i]);
    }
    ::_exit(128 + sig);
}

int takeSlot(const std::string& path) {
    if (path.size() >= kPathMax) return -1;
    // One thread registers; the handler only reads a slot once it is marked used.
    for (int i = 0; i < kSlots; ++i) {
        if (g_used[i].load()) continue;
        std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
        g_used[i].store(true);
        return i;
    }
    return -1;
}

}  // namespace

void installInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    // No SA_RESTART: a blocking read returns, and its loop looks at the request.
    sa.sa_flags = 0;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

bool interruptRequested() {
    return g_count.load() > 0;
}

int interruptSignal() {
    return g_signal.load();
}

void clearInterrupt() {
    g_count.store(0);
    g_signal.store(0);
}

TemporaryFile::~TemporaryFile() {
    remove();
}

void TemporaryFile::track(const std::string& path) {
    release();
    m_path = path;
    m_slot = takeSlot(path);
}

void TemporaryFile::release() {
    if (m_slot >= 0) g_used[m_slot].store(false);
    m_slot = -1;
    m_path.clear();
}

void TemporaryFile::remove() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
    release();
}

}  // namespace vesk
