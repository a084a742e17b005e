// The conversion wizard's logic without widgets: which pages a mode has, the application lists,
// the second step each application needs, the current-selection texts, which buttons a page
// enables, and what Next and Finish do. The Qt wizard (app/gui/wizard.h) only binds widgets to
// it, so every rule is tested without a display.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/common/main_view.h"
#include "operations/automation.h"
#include "operations/dispatch.h"

namespace vesk {

enum class WizardPage { Welcome, Source, Destination, Completion };
enum class WizardSide { Source, Destination };

/// The wizard buttons a page enables, as a set of bits.
enum WizardButtons : int { kWizardBack = 1, kWizardNext = 2, kWizardFinish = 4 };

/// One item of a page's second-step list.
struct SecondChoice {
    std::string label;
    std::string file;       ///< what the source or destination file becomes
    bool asksFile = false;  ///< "Select File": picking it opens the file dialog
};

/// The second step an application needs on a page.
struct SecondStep {
    std::vector<SecondChoice> choices;      ///< the second list; empty: hidden
    std::string prompt;                     ///< the text beside Browse and the list
    bool browse = false;                    ///< "&Browse..." shown
    bool browseFolder = false;              ///< Browse asks for a folder (Pegasus Mail)
    int filterNumber = -1;                  ///< the format number whose filter Browse offers
    bool operaTree = false;                 ///< the Opera folder tree is shown
    std::vector<std::string> operaFolders;  ///< "Contacts" and the hotlist's folder paths
    bool newFolder = false;                 ///< the new-folder name edit is shown
    bool needed = true;  ///< false: the application's configured path is the choice
};

/// The texts of a message box the wizard shows.
struct WizardMessage {
    std::string text;
    std::string caption;
    Icon icon = Icon::Information;
};

/// The open or save dialog filter of a format number; empty for a number without one.
std::vector<FileFilter> wizardFilter(int number, bool save);

/// The name the application dispatch and automation tasks take for an application chosen in
/// the wizard: the application itself where the dispatch has a route for it, else the format
/// of its file ("mork" for a Thunderbird book, "ldif" for an LDIF file, ...).
std::string dispatchName(const std::string& app, const std::string& file, bool source);

/// What Finish reports for a conversion: the success box only when something was written.
WizardMessage finishMessage(const DispatchOutcome& outcome, const std::string& fromApp,
                            const std::string& fromFile, const std::string& toApp,
                            const std::string& toFile, int entriesRead);

class WizardLogic {
  public:
    WizardLogic(RunContext& run, WizardMode mode);

    RunContext& run() const { return m_run; }
    WizardMode mode() const { return m_mode; }
    /// The mode's pages, in order.
    static std::vector<WizardPage> pagesOf(WizardMode mode);
    std::vector<WizardPage> pages() const { return pagesOf(m_mode); }
    /// The page's header title and subtitle ("" for the pages without a header).
    static std::string title(WizardPage page);
    static std::string subtitle(WizardPage page);
    /// The help topic of the page's Help button.
    static std::string helpTopic(WizardPage page);

    /// The application list of a page: the configured applications (detected once per run),
    /// then the fixed entries.
    std::vector<std::string> applications(WizardSide side);

    /// The selection in a page's application list changed.
    void selectApplication(WizardSide side, const std::string& name);
    const std::string& selectedApplication(WizardSide side) const { return state(side).app; }
    const SecondStep& step(WizardSide side) const { return state(side).step; }
    /// An item of the second list was picked; "Select File" asks for the file. False when no
    /// choice resulted.
    bool chooseItem(WizardSide side, int index);
    /// Browse: a file of the filter, or a folder whose books fill the list (Pegasus Mail).
    bool browse(WizardSide side);
    /// An Opera folder of the tree was picked ("Contacts" or a backslash path).
    void chooseOperaFolder(WizardSide side, const std::string& path);
    /// The destination's new Opera folder name (edit 1000); "" returns to the tree's folder.
    void setNewFolderName(const std::string& name);
    /// A choice made elsewhere (a task being modified): taken as it stands.
    void preset(WizardSide side, const std::string& app, const std::string& file);

    std::string selectionText(WizardSide side) const;
    bool selectionComplete(WizardSide side) const;
    /// The buttons a page enables when it becomes active.
    int buttons(WizardPage page) const;

    /// Next on the Source or Destination page: keeps the choice as fromApp/fromFile or
    /// toApp/toFile.
    void commit(WizardSide side);
    const std::string& fromApp() const { return m_fromApp; }
    const std::string& fromFile() const { return m_fromFile; }
    const std::string& toApp() const { return m_toApp; }
    const std::string& toFile() const { return m_toFile; }
    /// The context the dispatch needs for the kept Opera and Simeon files.
    DispatchContext dispatchContext() const;

    /// Mode Open: reads the committed source into the view's current book.
    DispatchOutcome loadSource(BookView& view);
    /// Mode Export: writes the view's current book to the committed destination.
    DispatchOutcome writeDestination(BookView& view);
    /// What Next in modes Open and Export tells the user afterwards; empty text: nothing.
    WizardMessage nextMessage(const DispatchOutcome& outcome, bool source) const;

    /// The Completion page's description.
    std::string completionText() const;
    void setEventName(const std::string& name) { m_eventName = name; }
    const std::string& eventName() const { return m_eventName; }
    /// Finish in modes Convert and Full: converts through a new book of its own, under
    /// `withProgress` (the window's progress dialog), and says how it went.
    WizardMessage convert(const std::function<void(const std::function<void()>&)>& withProgress);
    /// Finish in mode Task: saves the task under the event name; the message when it fails.
    WizardMessage saveTask();

    /// Asks for a folder (Pegasus Mail's Browse); "" when cancelled. Set by the window.
    std::function<std::string(const std::string& title)> chooseFolder;

  private:
    struct SideState {
        std::string app;
        SecondStep step;
        std::string choiceLabel;
        std::string file;
        bool chosen = false;
        std::string operaFolder;
        std::string newFolder;
    };
    SideState& state(WizardSide side) { return side == WizardSide::Source ? m_source : m_dest; }
    const SideState& state(WizardSide side) const {
        return side == WizardSide::Source ? m_source : m_dest;
    }
    void detectOnce();
    SecondStep makeStep(WizardSide side, const std::string& app);
    std::string askFile(WizardSide side, int filterNumber);
    void choose(WizardSide side, const std::string& label, const std::string& file);

    RunContext& m_run;
    WizardMode m_mode;
    SideState m_source;
    SideState m_dest;
    std::string m_fromApp, m_fromFile, m_toApp, m_toFile;
    std::string m_operaFile;
    std::string m_eventName;
};

/// Runs `work` inside the Source page's crash guard: an exception asks the recovery question
/// under "Wizard dialog 1 Error level(2.1), point %d". False when the user chose not to recover.
bool wizardSourceGuard(RunContext& run, int point, const std::function<void()>& work);

}  // namespace vesk
