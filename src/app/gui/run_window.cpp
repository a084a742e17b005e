#include "app/gui/run_window.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/gui/main_window.h"
#include "app/gui/qt_prompt.h"
#include "app/gui/wizard.h"
#include "platform/environment.h"
#include "platform/faults.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace vesk::gui {

namespace {

/// "/prefs": the Preferences sheet alone, without the main window.
bool asksForPreferences(int argc, char** argv) {
    return argc == 2 && std::string(argv[1]) == "/prefs";
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

/// "/wizard" (a prefix, as the command line matches switches), unless a file of that name exists.
bool isWizardSwitch(const char* arg) {
    std::error_code ec;
    return std::string_view(arg).starts_with("/wizard") && !std::filesystem::exists(arg, ec);
}

}  // namespace

bool wantsWindow(int argc, char** argv) {
    if (!hasDisplay()) return false;
    if (argc == 1) return true;
    if (asksForPreferences(argc, argv)) return true;
    if (argc != 2 || argv[1][0] == '-') return false;
    if (isWizardSwitch(argv[1])) return true;
    std::error_code ec;
    return std::filesystem::is_regular_file(argv[1], ec);
}

int runWindow(int argc, char** argv) {
    installFaultHandler();
    QApplication app(argc, argv);
    const bool trace = traceRequestedByEnvironment();
    StderrTraceSink traceSink;
    QtPrompt prompt;
    FileSettingsStore settings(defaultSettingsFile(), defaultWinePrefix(),
                               trace ? &traceSink : nullptr);
    RunContext run(prompt, settings);
    if (trace) run.setTraceSink(&traceSink);
    run.programDirectory = programDirectory();
    MainWindow window(run);
    // "/wizard" runs the conversion wizard over the window, which is never shown, then quits.
    if (argc == 2 && isWizardSwitch(argv[1]))
        return RunWizard(WizardMode::Convert, &window, run, &window.view()) == 0 ? 0 : 1;
    if (asksForPreferences(argc, argv)) {
        // The sheet with all its pages, the first one selected; closing it ends the program.
        window.view().command(Command::Preferences);
        return 0;
    }
    window.show();
    // A file named on the command line is added to the book before the user takes over.
    if (argc == 2) window.view().addFile(argv[1]);
    return app.exec();
}

}  // namespace vesk::gui
