// The conversion wizard: Welcome, Source, Destination and Completion pages in one modal
// dialog, in the five modes of WizardMode. The pages' logic (lists, second steps, texts,
// buttons) is WizardLogic in app/common; this file binds it to widgets.
#pragma once

#include <string>

#include "app/common/main_view.h"
#include "operations/automation.h"

class QWidget;

namespace vesk::gui {

/// What the Automation page hands the wizard in mode Task: the task's name and its choices
/// when an existing task is modified (the wizard then shows them and saves under that name).
struct WizardPreset {
    std::string taskName;
    AutomationTask task;
};

/// Builds the pages of `mode` and shows the wizard modally over `owner`. `view` is the main
/// window's logic: modes Open and Export load into or write its current book; the other modes
/// convert through a temporary book of their own and may pass nullptr. Returns 0, or -1 after
/// an error message.
int RunWizard(WizardMode mode, QWidget* owner, RunContext& run, MainView* view = nullptr,
              const WizardPreset& preset = {});

}  // namespace vesk::gui
