// Vesk's entry point. The command line and the window come with their own modules; until then
// the program reports what it is.
#include <cstdio>
#include <cstring>

#include "platform/faults.h"
#include "platform/trace.h"

namespace {

void printUsage() {
    std::puts("Usage: vesk [--help] [--version] [--trace]");
    std::puts("Vesk moves address books between mail programs.");
}

}  // namespace

int main(int argc, char** argv) {
    vesk::installFaultHandler();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("vesk " VESK_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "/?") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--trace") == 0) {
            vesk::enableTrace(true);
            continue;
        }
        std::fprintf(stderr, "vesk: unknown argument '%s'\n", argv[i]);
        printUsage();
        return 2;
    }
    printUsage();
    return 0;
}
