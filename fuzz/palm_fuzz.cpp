// Feeds arbitrary bytes to the Palm Desktop address book reader and imports what it gives.
#include <cstdint>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "stores/palm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size);
    vesk::iterators::IterPALM reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    return 0;
}
