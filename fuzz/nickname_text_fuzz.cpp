// Feeds arbitrary bytes to the text list reader in each of its modes, and checks that any
// name and address the text writer quotes reads back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "stores/nickname_text.h"

namespace {

std::string oneLine(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out.push_back(s[i] == '\r' || s[i] == '\n' ? ' ' : s[i]);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    using vesk::iterators::IterTXT;
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    {
        const vesk::fuzzing::InputFile input(data, size, ".txt");
        for (int mode : {IterTXT::kModePlain, IterTXT::kModePegasus}) {
            IterTXT reader(run, input.path(), mode);
            vesk::NewAdbook book(run);
            book.fromIter(reader, false);
        }
    }
    {
        IterTXT given(run, {}, IterTXT::kModeGiven, "list", bytes);
        vesk::NewAdbook book(run);
        book.fromIter(given, false);
    }

    // Quoting: the first half is a name, the rest an address; both must come back.
    const std::string name = bytes.substr(0, size / 2);
    const std::string address = bytes.substr(size / 2);
    vesk::ToTXT writer(run, "", "", "");
    vesk::Entry e;
    e[vesk::Field::FullName] = name;
    e[vesk::Field::Email] = address;
    writer.write(e);
    IterTXT back(run, {}, IterTXT::kModeGiven, "", writer.text());
    const vesk::Entry got = back.nextEntry();
    if (got[vesk::Field::FullName] != oneLine(name) ||
        got[vesk::Field::Email] != oneLine(address)) {
        std::abort();
    }
    return 0;
}
