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
#include "stores/nickname_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingPrompt quiet;
    vesk::PromptScope scope(quiet);
    const vesk::fuzzing::InputFile input(data, size);
    {
        vesk::iterators::IterPine reader(input.path());
        vesk::NewAdbook book;
        book.fromIter(reader, false);
        // A second pass over the same reader must see the same book.
        vesk::NewAdbook again;
        again.fromIter(reader, false);
        if (again.entryCount() != book.entryCount() || again.listCount() != book.listCount()) {
            std::abort();
        }
    }
    return 0;
}
