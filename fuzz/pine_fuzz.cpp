// Feeds arbitrary bytes to the Pine address book reader and imports what it gives.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "stores/nickname_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size);
    {
        vesk::iterators::IterPine reader(run, input.path());
        vesk::NewAdbook book(run);
        book.fromIter(reader, false);
        // A second pass over the same reader must see the same book.
        vesk::NewAdbook again(run);
        again.fromIter(reader, false);
        if (again.entryCount() != book.entryCount() || again.listCount() != book.listCount()) {
            std::abort();
        }
    }
    return 0;
}
