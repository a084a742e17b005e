#include "platform/faults.h"

#include <dlfcn.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/process.h"
#include "platform/prompt.h"
#include "platform/trace.h"

namespace vesk {

namespace {

struct FaultName {
    std::uint32_t code;
    const char* name;
};

constexpr FaultName kFaultNames[] = {
    {0xC0000005, "Access Violation"},
    {0xC0000006, "In Page Error"},
    {0xC0000008, "Invalid Handle"},
    {0xC000001D, "Illegal Instruction"},
    {0xC0000025, "Non-continuable Exception"},
    {0xC0000026, "Invalid Disposition"},
    {0xC000008C, "Array Bounds Exceeded"},
    {0xC000008D, "Denormal Floating Point Operand"},
    {0xC000008E, "Floating Point Divide by Zero"},
    {0xC000008F, "Floating Point Inexact Result"},
    {0xC0000090, "Floating Point Invalid Operation"},
    {0xC0000091, "Floating Point Overflow"},
    {0xC0000092, "Floating Point Stack Check"},
    {0xC0000093, "Floating Point Underflow"},
    {0xC0000094, "Integer Division by Zero"},
    {0xC0000095, "Integer Overflow"},
    {0xC0000096, "Privileged Instruction"},
    {0xC00000FD, "Stack Overflow"},
    {0x80000001, "Guard Page"},
    {0x80000002, "Datatype Misalignment"},
    {0x80000003, "Breakpoint"},
    {0x80000004, "Single Step"},
};

constexpr std::size_t kMaxWhat = 1023;

std::uintptr_t faultingInstruction(const siginfo_t* info, void* context) {
#if defined(__x86_64__)
    if (context) {
        return static_cast<std::uintptr_t>(
            static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
    }
#elif defined(__i386__)
    if (context) {
        return static_cast<std::uintptr_t>(
            static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EIP]);
    }
#elif defined(__aarch64__)
    if (context)
        return static_cast<std::uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#endif
    (void)context;
    return reinterpret_cast<std::uintptr_t>(info->si_addr);
}

void onFault(int sig, siginfo_t* info, void* context) {
    const std::uintptr_t address = faultingInstruction(info, context);
    // Not strictly async-signal-safe, but the process ends right after: a readable report is
    // worth the small risk.
    const Win32Exception fault(faultCodeForSignal(sig, info->si_code), address);
    const char* text = fault.what();
    static const char kPrefix[] = "vesk: ";
    (void)!::write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1);
    (void)!::write(STDERR_FILENO, text, std::strlen(text));
    (void)!::write(STDERR_FILENO, "\n", 1);
    // Back to the default action, so the program ends by this signal (non-zero, with a core
    // dump where the system keeps them).
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::string hex8(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08" PRIX64, v);
    return buf;
}

std::filesystem::path docsFolder() {
    if (const char* dir = std::getenv("VESK_DOCS_DIR"); dir && *dir) return dir;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const auto& candidate :
             {exe.parent_path() / "../share/vesk/docs", exe.parent_path() / "docs",
              exe.parent_path() / "../docs", exe.parent_path() / "../../docs"}) {
            if (std::filesystem::is_directory(candidate, ec)) return candidate;
        }
    }
    return {};
}

}  // namespace

Win32Exception::Win32Exception(std::uint32_t code, std::uintptr_t address)
    : m_code(code), m_address(address) {}

const char* Win32Exception::what() const noexcept {
    try {
        std::string module;
        std::uintptr_t base = 0;
        findModule(m_address, module, base);
        m_text = describeFault(m_code, m_address, module, base);
    } catch (...) {
        m_text = "An exception occurred";
    }
    return m_text.c_str();
}

const char* faultName(std::uint32_t code) {
    for (const auto& n : kFaultNames) {
        if (n.code == code) return n.name;
    }
    return "Unknown";
}

std::string describeFault(std::uint32_t code, std::uintptr_t address, const std::string& module,
                          std::uintptr_t moduleBase) {
    std::string text = "An exception of type 0x" + hex8(code) + " - '" + faultName(code) +
                       "' - occurred at 0x" + hex8(address) + " in module '" +
                       (module.empty() ? std::string("Unknown?") : module) + "' at offset 0x" +
                       hex8(module.empty() ? address : address - moduleBase);
    if (text.size() > kMaxWhat) text.resize(kMaxWhat);
    return text;
}

bool findModule(std::uintptr_t address, std::string& module, std::uintptr_t& base) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0 || !info.dli_fname) return false;
    module = info.dli_fname;
    base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    if (!module.empty() && module.front() != '/') {
        // The main program is named as it was started; give its full path.
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (!ec && (module.empty() || exe.filename() == std::filesystem::path(module).filename())) {
            module = exe.string();
        }
    }
    return true;
}

std::uint32_t faultCodeForSignal(int signal, int siCode) {
    switch (signal) {
        case SIGSEGV:
            return 0xC0000005;
        case SIGBUS:
            return 0xC0000006;
        case SIGILL:
            return siCode == ILL_PRVOPC ? 0xC0000096 : 0xC000001D;
        case SIGFPE:
            switch (siCode) {
                case FPE_INTDIV:
                    return 0xC0000094;
                case FPE_INTOVF:
                    return 0xC0000095;
                case FPE_FLTDIV:
                    return 0xC000008E;
                case FPE_FLTOVF:
                    return 0xC0000091;
                case FPE_FLTUND:
                    return 0xC0000093;
                case FPE_FLTRES:
                    return 0xC000008F;
                case FPE_FLTINV:
                    return 0xC0000090;
                case FPE_FLTSUB:
                    return 0xC000008C;
                default:
                    return 0xC0000090;
            }
        default:
            return 0;
    }
}

void installFaultHandler() {
    // Its own stack, so that a stack overflow can still be reported.
    static std::vector<char> altStack(1 << 16);
    stack_t ss{};
    ss.ss_sp = altStack.data();
    ss.ss_size = altStack.size();
    ::sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = onFault;
    sa.sa_flags = static_cast<int>(SA_SIGINFO | SA_ONSTACK | SA_RESETHAND);
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) ::sigaction(sig, &sa, nullptr);
}

std::string recoveryText(const std::string& what) {
    return "An untrapped error has occured: \n" + what +
           ".\n Would you like to to attempt to recover? (Clicking \"no\" will quit Vesk)";
}

std::string recoveryCaption(int point) {
    return "WinMain Error Level(0), point " + std::to_string(point);
}

GuardResult CrashGuard::run(const std::function<void()>& command) {
    std::string what;
    try {
        command();
        return GuardResult::Done;
    } catch (const std::exception& ex) {
        what = ex.what();
    } catch (...) {
        what = "Unknown exception";
    }
    const Answer a = m_run.prompt().message(recoveryText(what), recoveryCaption(m_breadcrumb),
                                            Buttons::YesNo, Icon::Stop);
    if (a == Answer::Yes) return GuardResult::Recovered;
    m_run.trace(0, what, "Quitting");
    return GuardResult::Quit;
}

bool preferencesGuard(RunContext& run, int formatNumber, const std::string& displayName,
                      const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (...) {
        const Answer a = run.prompt().message(
            "An untrapped error has occured. Would you like to to attempt to recover? (Clicking "
            "\"no\" will quit Vesk)",
            "Error processing format number " + std::to_string(formatNumber) + ", " + displayName,
            Buttons::YesNo, Icon::Stop);
        return a == Answer::Yes;
    }
}

int showHelp(const std::string& target) {
    std::string location;
    if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0) {
        location = target;
    } else {
        // "…help.chm::/topic.html>window": the topic names a page in docs/.
        std::string topic = target;
        if (const auto at = topic.find("::/"); at != std::string::npos)
            topic = topic.substr(at + 3);
        if (const auto gt = topic.find('>'); gt != std::string::npos) topic.resize(gt);
        const auto folder = docsFolder();
        if (folder.empty() || topic.empty()) return 0;
        const auto page = folder / topic;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(page, ec)) return 0;
        location = page.string();
    }
    return launchDetached({"xdg-open", location}) ? 1 : 0;
}

}  // namespace vesk
