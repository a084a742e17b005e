// The conversion wizard: Welcome, Source, Destination and Completion pages in one modal
// dialog, in the five modes of WizardMode. The pages' logic (lists, second steps, texts,
// buttons) is WizardLogic in app/common; this file binds it to widgets.
#pragma once

#include <QWizard>
#include <functional>
#include <string>

#include "app/common/main_view.h"
#include "app/common/wizard_logic.h"
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

/// The wizard dialog itself (RunWizard shows it); tests drive it without showing it modally.
class ConversionWizard : public QWizard {
  public:
    ConversionWizard(WizardMode mode, QWidget* owner, RunContext& run, MainView* view,
                     const WizardPreset& preset = {});
    ~ConversionWizard() override;

    WizardLogic& logic() { return m_logic; }
    MainView* view() const { return m_view; }
    /// The page of `which`, or nullptr when the mode has none.
    QWizardPage* pageOf(WizardPage which) const;
    /// The page shown now.
    WizardPage current() const { return static_cast<WizardPage>(currentId()); }
    /// Runs the help viewer on a topic (replaced by tests).
    std::function<void(const std::string&)> openHelp;
    /// Runs page work inside the crash guard; a failure the user does not recover from ends
    /// the wizard.
    void guarded(int point, const std::function<void()>& work);

    int nextId() const override;
    void accept() override;

  private:
    WizardLogic m_logic;
    MainView* m_view;
};

}  // namespace vesk::gui
