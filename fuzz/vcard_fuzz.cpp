// Feeds arbitrary bytes to the vCard reader and imports them into a book: nothing may crash,
// hang or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "parsing/vcard_cards.h"
#include "platform/prompt.h"
#include "platform/run_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".vcf");
    vesk::iterators::IterVCF reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    // What was read must survive our own writer.
    vesk::ToVCF writer(run, input.path() + ".out");
    for (int i = 0; i < book.entryCount(); ++i) writer.write(book.entryAt(i));
    (void)writer.text();
    return 0;
}
