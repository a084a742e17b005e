// Feeds arbitrary bytes to the Mork address book reader and imports what it gives (cards and
// lists); the book is then written as Mork and read again, which must give every card and
// list back.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "stores/mork.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".mab");
    vesk::iterators::IterMAB reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);

    vesk::ToMAB writer(run, input.path());
    writer.saveFrom(book, false, false);
    const std::string text = writer.text();
    const vesk::fuzzing::InputFile written(reinterpret_cast<const std::uint8_t*>(text.data()),
                                           text.size(), ".again.mab");
    vesk::iterators::IterMAB again(run, written.path());
    int cards = 0;
    while (!again.atEnd()) {
        if (!again.nextEntry().isEmpty()) ++cards;
    }
    int lists = 0;
    while (!again.listsDone()) {
        if (again.nextList()) ++lists;
    }
    if (cards != book.entryCount() || lists != book.listCount()) std::abort();
    return 0;
}
