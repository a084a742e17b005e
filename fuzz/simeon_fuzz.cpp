// Feeds arbitrary bytes to the Simeon/Execmail export reader and imports what it gives.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "stores/simeon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size);
    vesk::iterators::IterSimeon reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    return 0;
}
