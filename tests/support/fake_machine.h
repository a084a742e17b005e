// A machine made by a test: a home folder and a Wine prefix whose user.reg and system.reg the
// test writes, with a drive_c tree beside them, and a run that detects on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "discovery/detection.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "platform/settings.h"
#include "support/temp_dir.h"

namespace vesk::testing {

/// One value of a Wine registry key: name ("@" for the default) and text, or "dword:..." as it is.
using RegValue = std::pair<std::string, std::string>;

inline std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

inline std::string wineKey(const std::string& key, const std::vector<RegValue>& values) {
    std::string out = "\n[" + escaped(key) + "] 1700000000\n";
    for (const auto& [name, text] : values) {
        out += name == "@" ? std::string("@") : "\"" + escaped(name) + "\"";
        out += text.starts_with("dword:") ? "=" + text + "\n" : "=\"" + escaped(text) + "\"\n";
    }
    return out;
}

constexpr const char* kAppData = "C:\\users\\me\\AppData\\Roaming";

/// A machine made by the test: a home, a Wine prefix and the run that detects on it.
class FakeMachine {
  public:
    explicit FakeMachine(const std::string& system = {}, const std::string& user = {},
                         bool wine = true) {
        home = dir.file("home");
        prefix = dir.file("wine");
        std::filesystem::create_directories(home);
        if (wine) {
            std::filesystem::create_directories(prefix + "/drive_c/users/me/AppData/Roaming");
            spit(prefix + "/system.reg", "WINE REGISTRY Version 2\n" + system);
            spit(prefix + "/user.reg",
                 "WINE REGISTRY Version 2\n" +
                     wineKey("Volatile Environment", {{"APPDATA", kAppData}}) + user);
        }
        store = std::make_unique<FileSettingsStore>(dir.file("settings.reg"), prefix);
        run = std::make_unique<RunContext>(prompts, *store);
#ifdef VESK_REGEXPORT
        run->programDirectory = std::filesystem::path(VESK_REGEXPORT).parent_path().string() + "/";
#endif
        detectionEnvironment(*run).set("HOME", home);
        detectionEnvironment(*run).set("WINEPREFIX", prefix);
    }

    /// Creates a file (and its folders) below the prefix's drive_c ("c/...") or the home.
    std::string make(const std::string& where, const std::string& bytes = "x") const {
        const std::string path =
            (where.starts_with("c/") ? prefix + "/drive_" : home + "/") + where;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        spit(path, bytes);
        return path;
    }
    std::string c(const std::string& rest) const {
        return prefix + "/drive_c/" + rest;
    }

    TempDir dir;
    std::string home;
    std::string prefix;
    RecordingPrompt prompts;
    std::unique_ptr<FileSettingsStore> store;
    std::unique_ptr<RunContext> run;
};

}  // namespace vesk::testing
