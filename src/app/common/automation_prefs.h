// The Automation page without widgets: the stored tasks, the description of the selected one,
// and Add, Modify, Remove and Run Now.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "operations/automation.h"

namespace vesk {

/// What the wizard starts from when it defines a task: nothing (Add), or a task's name and
/// its four values (Modify).
struct TaskDraft {
    std::string name;
    AutomationTask task;
};

/// Runs the conversion wizard in its task mode (20), owned by the page, starting from `draft`
/// (nullptr: a new task); the wizard saves the task itself when the user finishes it.
using TaskWizard = std::function<void(const TaskDraft* draft)>;

class AutomationPrefs {
  public:
    explicit AutomationPrefs(RunContext& run) : m_run(run) {}

    /// The wizard; none: Add and Modify say that this build has no wizard.
    TaskWizard wizard;
    /// Runs a conversion while its progress shows (none: runs it as it is).
    std::function<void(const std::function<void()>& job)> withProgress;

    /// Reads the task names again; an error other than the end of the list is shown.
    void load();
    const std::vector<std::string>& tasks() const { return m_tasks; }
    /// "Convert from ... to ..." for a task; "" after "An error has occured" when it cannot
    /// be read.
    std::string describe(const std::string& name);
    void add();
    /// Runs the wizard on a copy of the task; saved under another name, the old one goes.
    void modify(const std::string& name);
    void remove(const std::string& name);
    /// Runs the task into a book of its own, which is then discarded; false when the task
    /// could not be read.
    bool runNow(const std::string& name, DispatchOutcome* outcome = nullptr);

  private:
    void runWizard(const TaskDraft* draft, const std::string& replaces);

    RunContext& m_run;
    std::vector<std::string> m_tasks;
};

}  // namespace vesk
