// Opera hotlist reader over arbitrary bytes: the whole hotlist into a book, the same bytes read
// with a folder chosen by name and by path, and the writer putting one contact into them as an
// existing hotlist, which must then read back with exactly one contact more.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "stores/opera.h"

namespace {

int contactsIn(vesk::RunContext& run, const std::string& path) {
    vesk::iterators::IterOpera reader(run, path);
    int contacts = 0;
    for (int guard = 0; !reader.atEnd(); ++guard) {
        if (guard > 10000000) std::abort();  // every entry consumes input
        if (reader.nextEntry().kind == vesk::KindContact) ++contacts;
    }
    return contacts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    const vesk::fuzzing::InputFile input(data, size, ".adr");
    {
        vesk::iterators::IterOpera reader(run, input.path());
        vesk::NewAdbook book(run);
        book.fromIter(reader, false);
    }
    for (const char* folder : {"A", "Contacts\\A\\B\\"}) {
        vesk::iterators::IterOpera reader(run, input.path(), folder);
        vesk::NewAdbook book(run);
        book.fromIter(reader, false);
    }

    const int before = contactsIn(run, input.path());
    vesk::Entry added;
    added[vesk::Field::FullName] = "Added\nName";
    vesk::ToOpera writer(run, input.path(), vesk::ToOpera::IntoHotlist{"Contacts\\A\\"});
    writer.write(added);
    if (writer.finish() && contactsIn(run, input.path()) != before + 1) std::abort();
    std::remove((input.path() + ".bak").c_str());
    return 0;
}
