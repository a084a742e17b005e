// Pegasus Mail address book reader over arbitrary bytes, then the book written back as a
// record file and an index, whose records must all read again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "stores/pegasus_book.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".pmr");
    vesk::iterators::IterPMR reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);

    const std::string out = input.path() + "-out.pmr";
    int written = 0;
    {
        vesk::ToPMR writer(run, out, reader.name());
        book.rewind();
        while (!book.atEnd()) written += writer.write(book.nextEntry()) ? 1 : 0;
        if (!writer.finish()) std::abort();
    }
    vesk::iterators::IterPMR back(run, out);
    int read = 0;
    while (!back.atEnd()) {
        back.nextEntry();
        ++read;
    }
    if (read != written) std::abort();
    for (const char* suffix : {"", ".bak"}) {
        std::remove((out + suffix).c_str());
        std::remove((vesk::ToPMR::indexFileOf(out) + suffix).c_str());
    }
    return 0;
}
