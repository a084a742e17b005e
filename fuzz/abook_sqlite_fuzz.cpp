// Feeds arbitrary bytes as a Thunderbird SQLite address book to its reader and imports what it
// gives (cards and lists); the book is then written as a new SQLite book and read again, which
// must give every card and list back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "stores/abook_sqlite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".sqlite");
    vesk::iterators::IterABSQLite reader(run, input.path());
    vesk::NewAdbook book(run);
    book.fromIter(reader, false);
    if (book.entryCount() == 0 && book.listCount() == 0) return 0;

    const std::string out = input.path() + ".out.sqlite";
    {
        vesk::ToABSQLite writer(run, out);
        writer.saveFrom(book, false, true);
    }
    vesk::iterators::IterABSQLite again(run, out);
    int cards = 0;
    while (!again.atEnd()) {
        again.nextEntry();
        ++cards;
    }
    int lists = 0;
    while (!again.listsDone()) {
        if (again.nextList()) ++lists;
    }
    std::remove(out.c_str());
    std::remove((out + ".bak").c_str());
    if (cards != book.entryCount() || lists != book.listCount()) std::abort();
    return 0;
}
