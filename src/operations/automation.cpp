#include "operations/automation.h"

#include <filesystem>
#include <vector>

#include "discovery/applications.h"
#include "platform/settings.h"
#include "registry/applications.h"

namespace vesk {

namespace {

std::string taskKey(const std::string& name) {
    return std::string(kAutomationKey) + "\\" + name;
}

/// Application name, then the path up to the next NUL, as a task value is split.
void splitTaskValue(const std::string& value, std::string& app, std::string& file) {
    const std::size_t nul = value.find('\0');
    app = value.substr(0, nul);
    file.clear();
    if (nul == std::string::npos) return;
    const std::size_t end = value.find('\0', nul + 1);
    file = value.substr(nul + 1, end == std::string::npos ? std::string::npos : end - nul - 1);
}

struct Enumeration {
    std::vector<std::string> names;
    std::size_t pos = 0;
    bool open = false;
};

Enumeration& enumeration(RunContext& run) {
    return run.state<Enumeration>();
}

}  // namespace

bool isSourceApplication(const Registry& formats, const std::string& name) {
    const ApplicationInfo* app = applicationNamed(name);
    return (app && app->source != SourceRoute::None) || formats.byId(name) != nullptr;
}

bool isDestinationApplication(const Registry& formats, const std::string& name) {
    if (name.empty() || applicationNamed(name) || formats.byId(name)) return true;
    return name == "LDAP/LDIF File";
}

std::string taskPath(const std::string& path) {
    const bool windowsAbsolute =
        (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
        path.rfind("\\\\", 0) == 0;
    if (path.empty() || path.front() == '/' || windowsAbsolute) return path;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

int SaveAutomationTask(RunContext& run, const std::string& name, const std::string& fromApp,
                       const std::string& fromFile, const std::string& toApp,
                       const std::string& toFile, const Registry& formats) {
    // A task with a misspelt application would be stored and fail only when it runs, perhaps
    // unattended: refuse it now.
    if (!isSourceApplication(formats, fromApp) || !isDestinationApplication(formats, toApp)) {
        return kErrorInvalidParameter;
    }
    SettingsStore& store = run.settings();
    const std::string key = taskKey(name);
    if (int rc = store.createKey(RootKey::CurrentUser, key); rc != kErrorSuccess) return rc;
    // Both values must be stored: a task with only "from" would pass for saved and never run.
    if (int rc = store.writeValue(RootKey::CurrentUser, key, "from",
                                  SettingValue::ofStrings({fromApp, taskPath(fromFile)}));
        rc != kErrorSuccess) {
        return rc;
    }
    return store.writeValue(RootKey::CurrentUser, key, "to",
                            SettingValue::ofStrings({toApp, taskPath(toFile)}));
}

int EnumAutomationTask(RunContext& run, int index, std::string& name) {
    Enumeration& e = enumeration(run);
    name.clear();
    if (index == 0) {
        if (int rc = run.settings().createKey(RootKey::CurrentUser, kAutomationKey); rc != 0) {
            return rc;
        }
        e.names.clear();
        if (int rc = run.settings().subKeys(RootKey::CurrentUser, kAutomationKey, e.names);
            rc != 0) {
            return rc;
        }
        e.pos = 0;
        e.open = true;
    }
    if (!e.open) return kErrorNoMoreItems;
    int rc = kErrorNoMoreItems;
    if (e.pos < e.names.size()) {
        name = e.names[e.pos++];
        rc = kErrorSuccess;
    }
    if (index == -1) {
        e.names.clear();
        e.open = false;
    }
    return rc;
}

void DeleteAutomationTask(RunContext& run, const std::string& name) {
    run.settings().deleteKey(RootKey::CurrentUser, taskKey(name));
}

bool readAutomationTask(RunContext& run, const std::string& name, AutomationTask& task) {
    const std::string key = taskKey(name);
    std::string from;
    std::string to;
    if (ReadRegistryValue(run.settings(), RootKey::CurrentUser, key, "from", from) != kErrorSuccess)
        return false;
    if (ReadRegistryValue(run.settings(), RootKey::CurrentUser, key, "to", to) != kErrorSuccess)
        return false;
    splitTaskValue(from, task.fromApp, task.fromFile);
    splitTaskValue(to, task.toApp, task.toFile);
    return true;
}

std::string describeTask(const AutomationTask& task) {
    return "Convert from " + task.fromApp + " " + task.fromFile + " to " + task.toApp + " " +
           task.toFile;
}

bool RunAutomationTask(BookView& view, const std::string& name, DispatchOutcome* outcome,
                       const DispatchContext& context) {
    RunContext& run = view.currentBook().run();
    AutomationTask task;
    if (!readAutomationTask(run, name, task)) {
        run.report(Severity::Error, "Invalid automation task: " + name, "Vesk Error");
        return false;
    }
    refreshConfiguredPaths(run);
    DispatchOutcome result =
        dispatchApplications(task.fromApp, task.fromFile, task.toApp, task.toFile, view, context);
    if (outcome) *outcome = std::move(result);
    return true;
}

}  // namespace vesk
