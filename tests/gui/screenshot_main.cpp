// Takes the picture of the window for the help pages: the files given are opened into the
// book, and the window is grabbed into a PNG. Run by tools/screenshot.sh.
#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>
#include <cstdio>

#include "app/gui/main_window.h"
#include "platform/run_context.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vesk_screenshot OUT.png FILE...\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vesk::RecordingRun run;
    vesk::gui::MainWindow window(run);
    window.resize(1130, 440);
    window.show();
    for (int i = 2; i < argc; ++i) window.view().addFile(argv[i]);
    window.view().setSelectedRow(0);
    window.selectRow(0);
    QApplication::processEvents();
    if (!window.grab().save(argv[1], "PNG")) {
        std::fprintf(stderr, "vesk_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    for (const auto& m : run.prompts.messages) std::fprintf(stderr, "%s\n", m.text.c_str());
    return 0;
}
