#include "platform/faults.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>

#include "platform/prompt.h"

namespace vesk {
namespace {

TEST(Faults, DescribesAnAccessViolationInALibrary) {
    EXPECT_EQ(describeFault(0xC0000005, 0x10001234, "/usr/lib/libx.so", 0x10000000),
              "An exception of type 0xC0000005 - 'Access Violation' - occurred at 0x10001234 in "
              "module '/usr/lib/libx.so' at offset 0x00001234");
    EXPECT_EQ(describeFault(0xE06D7363, 0x10, "", 0),
              "An exception of type 0xE06D7363 - 'Unknown' - occurred at 0x00000010 in module "
              "'Unknown?' at offset 0x00000010");
}

TEST(Faults, SignalsMapToTheirFaultCodes) {
    EXPECT_EQ(faultCodeForSignal(SIGSEGV, 0), 0xC0000005u);
    EXPECT_EQ(faultCodeForSignal(SIGBUS, 0), 0xC0000006u);
    EXPECT_EQ(faultCodeForSignal(SIGILL, ILL_ILLOPC), 0xC000001Du);
    EXPECT_EQ(faultCodeForSignal(SIGFPE, FPE_INTDIV), 0xC0000094u);
    EXPECT_EQ(faultCodeForSignal(SIGFPE, FPE_FLTDIV), 0xC000008Eu);
    EXPECT_EQ(faultCodeForSignal(SIGFPE, FPE_FLTOVF), 0xC0000091u);
    EXPECT_EQ(faultCodeForSignal(SIGTERM, 0), 0u);
    EXPECT_STREQ(faultName(0xC0000094), "Integer Division by Zero");
    EXPECT_STREQ(faultName(0x80000004), "Single Step");
}

void somewhereInTheProgram() {}

TEST(Faults, WhatNamesTheModuleAndTheOffsetFromItsBase) {
    const auto address = reinterpret_cast<std::uintptr_t>(&somewhereInTheProgram);
    std::string module;
    std::uintptr_t base = 0;
    ASSERT_TRUE(findModule(address, module, base));
    EXPECT_EQ(module.front(), '/');
    const Win32Exception fault(0xC0000005, address);
    const std::string text = fault.what();
    EXPECT_NE(text.find("'Access Violation'"), std::string::npos);
    EXPECT_NE(text.find(module), std::string::npos) << text;
    char offset[32];
    std::snprintf(offset, sizeof offset, "at offset 0x%08llX",
                  static_cast<unsigned long long>(address - base));
    EXPECT_NE(text.find(offset), std::string::npos) << text;
}

TEST(CrashGuard, AsksToRecoverWithTheExactTexts) {
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    CrashGuard guard(run);
    guard.setBreadcrumb(40);
    prompts.answers.push_back(Answer::Yes);
    EXPECT_EQ(guard.run([] { throw std::runtime_error("boom"); }), GuardResult::Recovered);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "WinMain Error Level(0), point 40");
    EXPECT_EQ(prompts.messages[0].text,
              "An untrapped error has occured: \nboom.\n Would you like to to attempt to "
              "recover? (Clicking \"no\" will quit Vesk)");
    EXPECT_EQ(prompts.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompts.messages[0].icon, Icon::Stop);

    EXPECT_EQ(guard.run([] { throw 7; }), GuardResult::Quit);  // console default: No
    EXPECT_EQ(guard.run([] {}), GuardResult::Done);
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST(CrashGuard, PreferencesGuardNamesTheFormat) {
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    prompts.answers.push_back(Answer::Yes);
    EXPECT_TRUE(preferencesGuard(run, 5, "Thunderbird", [] { throw std::logic_error("x"); }));
    EXPECT_EQ(prompts.messages[0].caption, "Error processing format number 5, Thunderbird");
    EXPECT_FALSE(preferencesGuard(run, 5, "Thunderbird", [] { throw std::logic_error("x"); }));
}

int crashOnPurpose() {
    volatile int* nowhere = nullptr;
    return *nowhere;
}

TEST(FaultHandlerDeathTest, HardwareFaultIsReportedAndEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            installFaultHandler();
            crashOnPurpose();
        },
        "An exception of type 0xC0000005 - 'Access Violation' - occurred at 0x");
}

TEST(ShowHelp, MissingTopicDoesNothing) {
    ::setenv("VESK_DOCS_DIR", "/nonexistent-vesk-docs", 1);
    EXPECT_EQ(showHelp("help.chm::/overview.html"), 0);
    EXPECT_EQ(showHelp("help.chm::/wizard1.html>stripped"), 0);
    ::unsetenv("VESK_DOCS_DIR");
}

}  // namespace
}  // namespace vesk
