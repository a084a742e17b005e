// Feeds arbitrary bytes to the vCard reader, imports them into a book and writes the book with
// the vCard 2.1 writer: nothing may crash, hang or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/vcard.h"
#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".vcf");
    vesk::iterators::IterVCF reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    // What was read, lists included, must survive the writer.
    vesk::ToVCF writer(run, input.path() + ".out");
    writer.fromStart(book);
    (void)writer.text();
    return 0;
}
