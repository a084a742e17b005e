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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vesk::fuzzing::InputFile input(data, size, ".kynt");
    vesk::RecordingPrompt quiet;
    vesk::PromptScope scope(quiet);
    vesk::iterators::IterKYNT reader(input.path());
    vesk::NewAdbook book;
    book.fromIter(reader, false);
    vesk::ToKYNT writer(input.path() + ".out", 0, vesk::FieldMask().set());
    writer.saveFrom(book, false, false);
    (void)writer.text();
    return 0;
}
