// Vesk's entry point: the window when there is a display and nothing else to do (or one file to
// open), the command line otherwise (see app/cli/command_line.h).
#include "app/cli/command_line.h"
#ifdef VESK_WITH_GUI
#include "app/gui/run_window.h"
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // Large blocks (a file's text, a writer's tables) come from the system and go back to it
    // when freed. Left to itself, glibc raises this threshold to the size of the first large
    // block freed (a whole file read) and keeps later ones in its heap, whose freed space it
    // does not give back: several MB more at the peak of a conversion.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
#ifdef VESK_WITH_GUI
    if (vesk::gui::wantsWindow(argc, argv)) return vesk::gui::runWindow(argc, argv);
#endif
    return vesk::cli::main(argc, argv, VESK_VERSION);
}
