// Vesk's entry point: the command line does the work (see app/cli/command_line.h).
#include "app/cli/command_line.h"

int main(int argc, char** argv) {
    return vesk::cli::main(argc, argv, VESK_VERSION);
}
