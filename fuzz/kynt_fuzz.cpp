// Feeds arbitrary bytes to the native archive reader and imports them into a book, folders
// and lists included; then writes the book back as an archive.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/kynt.h"
#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".kynt");
    vesk::iterators::IterKYNT reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    vesk::ToKYNT writer(run, input.path() + ".out", 0, vesk::FieldMask().set());
    writer.saveFrom(book, false, false);
    (void)writer.text();
    return 0;
}
