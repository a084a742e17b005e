// Feeds arbitrary bytes to the .wab file reader, imports what it gives with its lists.
#include <cstdint>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "platform/wab_file.h"
#include "stores/wab.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".wab");
    vesk::iterators::IterWAB reader(run, vesk::wab::fileLibrary(""), input.path(), true);
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    return 0;
}
