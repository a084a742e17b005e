// Feeds arbitrary bytes to the Outlook data file reader (libpff behind the object model),
// imports what it gives with its folders and lists.
#include <cstdint>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/outlook_pst.h"
#include "platform/run_context.h"
#include "stores/outlook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".pst");
    vesk::iterators::IterOL reader(run, vesk::outlook::pstApplication(input.path()));
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    return 0;
}
