#include "app/common/program_prefs.h"

#include <algorithm>

#include "discovery/applications.h"
#include "discovery/detection.h"
#include "platform/faults.h"

namespace vesk {

namespace {

constexpr const char* kDetectedOnly[] = {
    "Netscape 6.x/7.x", "Mozilla", "MS Outlook", "Outlook Express", "Mail Warrior", "Thunderbird",
};

/// The applications whose configured place is a file rather than a folder.
bool takesAFile(const std::string& name) {
    return name == "Opera" || name == "Forte Agent";
}

}  // namespace

ProgramPrefs::ProgramPrefs(RunContext& run) : m_run(run) {
    detect = [this](int number) { return detectFormat(m_run, number, true); };
}

void ProgramPrefs::load() {
    m_hidden.clear();
    m_shown.clear();
    m_paths.clear();
    for (int n = 0; n < kFormatCount; ++n) {
        const std::string name = FormatName(n);
        if (!hasPathSlot(n) || name.empty()) continue;
        const bool goOn = preferencesGuard(m_run, n, name, [&] {
            std::string path = GetFormatPath(m_run, name);
            if (path.empty()) {
                m_hidden.push_back(name);
                return;
            }
            setConfiguredPath(m_run, n, path);
            m_shown.push_back(name);
            m_paths.emplace_back(name, std::move(path));
        });
        if (!goOn) break;
    }
}

std::string ProgramPrefs::pathOf(const std::string& name) const {
    for (const auto& [shownName, path] : m_paths)
        if (shownName == name) return path;
    return {};
}

bool ProgramPrefs::choosableByHand(const std::string& name) {
    return std::none_of(std::begin(kDetectedOnly), std::end(kDetectedOnly),
                        [&](const char* n) { return name == n; });
}

std::string ProgramPrefs::askFile(const std::string& name) {
    const std::vector<FileFilter> filters =
        name == "Opera" ? std::vector<FileFilter>{{"Opera Hotlists (*.adr)", "*.adr"}}
                        : std::vector<FileFilter>{{"XML Files (*.xml)", "*.xml"}};
    const FileDialogResult r = m_run.prompt().openFileName(filters, 1);
    if (r.error != 0) {
        m_run.prompt().message(kDialogErrorText, "Vesk", Buttons::Ok, Icon::None);
        return {};
    }
    return r.ok ? r.fileName : std::string();
}

std::string ProgramPrefs::browse(const std::string& name) {
    if (!choosableByHand(name)) return {};
    if (takesAFile(name)) return askFile(name);
    return askFolder ? askFolder(kSelectFolderTitle) : std::string();
}

void ProgramPrefs::save(const std::string& name, const std::string& path) {
    SetFormatPath(m_run, name, path);
    setConfiguredPath(m_run, FormatNumberOf(name, ""), path);
    load();
}

void ProgramPrefs::moveToShown(const std::string& name) {
    const int number = FormatNumberOf(name, "");
    std::string place = detect ? detect(number) : std::string();
    if (place.empty()) {
        if (!choosableByHand(name)) {
            m_run.prompt().message(kNotInstalledText, "Vesk", Buttons::Ok, Icon::None);
        } else {
            place = browse(name);
        }
    }
    if (!place.empty()) {
        setConfiguredPath(m_run, number, place);
        SetFormatPath(m_run, name, place);
    }
    load();
}

void ProgramPrefs::moveToHidden(const std::string& name) {
    SetFormatPath(m_run, name, "");
    setConfiguredPath(m_run, FormatNumberOf(name, ""), "");
    load();
}

void ProgramPrefs::redetect() {
    DetectAllFormats(m_run);
    SaveAllFormats(m_run);
    load();
}

}  // namespace vesk
