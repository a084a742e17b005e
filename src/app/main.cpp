// Vesk's entry point: the window when there is a display and nothing else to do (or one file to
// open), the command line otherwise (see app/cli/command_line.h).
#include "app/cli/command_line.h"
#ifdef VESK_WITH_GUI
#include "app/gui/run_window.h"
#endif

int main(int argc, char** argv) {
#ifdef VESK_WITH_GUI
    if (vesk::gui::wantsWindow(argc, argv)) return vesk::gui::runWindow(argc, argv);
#endif
    return vesk::cli::main(argc, argv, VESK_VERSION);
}
