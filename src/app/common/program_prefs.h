// The Program Preferences page without widgets: which applications the wizard offers ("will
// appear") and which it does not ("will not appear"), and where each keeps its data. Every
// change is stored at once; there is no Apply.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/run_context.h"

namespace vesk {

inline constexpr const char* kDialogErrorText = "An Error occured in this Dialog Box.";
inline constexpr const char* kNotInstalledText =
    "You do not have this application installed on your machine";
inline constexpr const char* kSelectFolderTitle = "Please select a folder";

class ProgramPrefs {
  public:
    explicit ProgramPrefs(RunContext& run);

    /// The detector of a format number (the discovery layer's unless a test sets one).
    std::function<std::string(int number)> detect;
    /// The folder dialog titled `title`; "" when cancelled (none: always cancelled).
    std::function<std::string(const std::string& title)> askFolder;

    /// Reads every configured application again into the two lists.
    void load();
    const std::vector<std::string>& hidden() const { return m_hidden; }
    const std::vector<std::string>& shown() const { return m_shown; }
    /// The configured path of a shown application ("" for any other).
    std::string pathOf(const std::string& name) const;

    /// False for the applications found only by detection (their data is a profile or a
    /// store, not a place the user could point at): Browse and Save stay disabled for them.
    static bool choosableByHand(const std::string& name);
    /// Browse: a file for Opera and Forte Agent, else a folder; the choice, or "" when none.
    std::string browse(const std::string& name);
    /// Save: stores `path` for a shown application, then reads the lists again.
    void save(const std::string& name, const std::string& path);
    /// "-->": detection, else the user's file or folder; nothing is stored when neither
    /// gives a place. Then reads the lists again.
    void moveToShown(const std::string& name);
    /// "<--": stores an empty value, which keeps the application hidden until it is moved
    /// back or detected again.
    void moveToHidden(const std::string& name);
    /// "Re-&Detect": runs and stores every detector, then reads the lists again.
    void redetect();

  private:
    std::string askFile(const std::string& name);

    RunContext& m_run;
    std::vector<std::string> m_hidden;
    std::vector<std::string> m_shown;
    std::vector<std::pair<std::string, std::string>> m_paths;
};

}  // namespace vesk
