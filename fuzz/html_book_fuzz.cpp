// Netscape 3 HTML address book reader, then the HTML writer and the reader again.
#include "formats/html_book.h"
#include "platform/run_context.h"
#include "tagged_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    vesk::ToHTML writer(run, "unused.htm");
    vesk::fuzzing::runTaggedReader(data, size, vesk::iterators::IterFile::Html, &writer);
    return 0;
}
