#include "app/common/automation_prefs.h"

#include <algorithm>

#include "platform/settings.h"

namespace vesk {

void AutomationPrefs::load() {
    m_tasks.clear();
    std::string name;
    for (int i = 0;; ++i) {
        const int rc = EnumAutomationTask(m_run, i, name);
        if (rc == kErrorNoMoreItems) break;
        if (rc != kErrorSuccess) {
            m_run.prompt().message(
                "The settings could not be read (error " + std::to_string(rc) + ").", "Vesk",
                Buttons::Ok, Icon::None);
            break;
        }
        m_tasks.push_back(name);
    }
    EnumAutomationTask(m_run, -1, name);
}

std::string AutomationPrefs::describe(const std::string& name) {
    AutomationTask task;
    if (!readAutomationTask(m_run, name, task)) {
        m_run.prompt().message("An error has occured", "Vesk Error", Buttons::Ok, Icon::None);
        return {};
    }
    return describeTask(task);
}

void AutomationPrefs::runWizard(const TaskDraft* draft, const std::string& replaces) {
    if (!wizard) {
        m_run.prompt().message("The conversion wizard is not part of this version of Vesk yet.",
                               "Vesk", Buttons::Ok, Icon::Information);
        return;
    }
    load();
    const std::vector<std::string> before = m_tasks;
    wizard(draft);
    load();
    // Modify saved under a new name is a rename: two tasks doing one job would both run.
    if (replaces.empty()) return;
    const bool renamed = std::any_of(m_tasks.begin(), m_tasks.end(), [&](const std::string& t) {
        return std::find(before.begin(), before.end(), t) == before.end();
    });
    if (renamed) remove(replaces);
}

void AutomationPrefs::add() {
    runWizard(nullptr, {});
}

void AutomationPrefs::modify(const std::string& name) {
    TaskDraft draft;
    draft.name = name;
    if (!readAutomationTask(m_run, name, draft.task)) {
        m_run.prompt().message("An error has occured", "Vesk Error", Buttons::Ok, Icon::None);
        return;
    }
    runWizard(&draft, name);
}

void AutomationPrefs::remove(const std::string& name) {
    DeleteAutomationTask(m_run, name);
    load();
}

bool AutomationPrefs::runNow(const std::string& name, DispatchOutcome* outcome) {
    bool started = false;
    const auto job = [&] {
        // A view of its own: the window's book is not touched, and the result goes with it.
        PlainBookView view(m_run);
        started = RunAutomationTask(view, name, outcome);
    };
    if (withProgress) {
        withProgress(job);
    } else {
        job();
    }
    return started;
}

}  // namespace vesk
