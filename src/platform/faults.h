// Fault reporting: hardware faults described in one line (type code, name, address, module,
// offset), the crash guard that offers to recover from a failed command, and the breadcrumb
// that names the handler that failed.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "platform/run_context.h"

namespace vesk {

/// A structured fault: a code of the exception-name table and the address it happened at.
class Win32Exception : public std::exception {
  public:
    Win32Exception(std::uint32_t code, std::uintptr_t address);
    ~Win32Exception() override = default;
    /// "An exception of type 0x… - '…' - occurred at 0x… in module '…' at offset 0x…".
    const char* what() const noexcept override;

    std::uint32_t code() const { return m_code; }
    std::uintptr_t address() const { return m_address; }

  private:
    std::uint32_t m_code;
    std::uintptr_t m_address;
    mutable std::string m_text;
};

/// The name of a fault code ("Access Violation", …, "Unknown").
const char* faultName(std::uint32_t code);

/// The fault description from known parts; `module` empty means none was found ("Unknown?").
std::string describeFault(std::uint32_t code, std::uintptr_t address, const std::string& module,
                          std::uintptr_t moduleBase);

/// The module that holds `address` (full path) and its load address, from the dynamic linker.
bool findModule(std::uintptr_t address, std::string& module, std::uintptr_t& base);

/// The fault code a Linux signal stands for (SIGSEGV 0xC0000005, SIGBUS 0xC0000006,
/// SIGILL 0xC000001D, SIGFPE by its si_code), or 0 for another signal.
std::uint32_t faultCodeForSignal(int signal, int siCode);

/// Reports SIGSEGV, SIGBUS, SIGILL and SIGFPE with the fault text on stderr and ends the
/// program: memory that faulted cannot be trusted to save a book.
void installFaultHandler();

enum class GuardResult { Done, Recovered, Quit };

/// The window's guard around each command: an exception shows "WinMain Error Level(0),
/// point %d" with the breadcrumb (the number of the handler at work) and asks whether to
/// recover. Yes gives Recovered, No (and the console's answer) gives Quit.
class CrashGuard {
  public:
    explicit CrashGuard(RunContext& run) : m_run(run) {}
    void setBreadcrumb(int point) { m_breadcrumb = point; }
    int breadcrumb() const { return m_breadcrumb; }
    GuardResult run(const std::function<void()>& command);

  private:
    RunContext& m_run;
    int m_breadcrumb = 0;
};
/// The recovery question for `what`, exactly as the crash box shows it.
std::string recoveryText(const std::string& what);
/// The caption of the crash box at breadcrumb `point`.
std::string recoveryCaption(int point);

/// Runs one step of the preferences page: an exception asks "Error processing format number %d,
/// %s"; true to go on with the next format, false to stop.
bool preferencesGuard(RunContext& run, int formatNumber, const std::string& displayName,
                      const std::function<void()>& step);

/// Opens a help topic ("::/wizard.html>stripped") or a web address; 0 when nothing can show it.
int showHelp(const std::string& target);

}  // namespace vesk
