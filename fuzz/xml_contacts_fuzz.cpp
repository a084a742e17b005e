// Feeds arbitrary bytes to the Forte Agent and Windows Contacts readers (the first byte picks
// one) through the registry, lists included, and imports what they give.
#include <cstdint>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "registry/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    vesk::RecordingRun run;
    const bool agent = data[0] % 2 == 0;
    const vesk::fuzzing::InputFile input(data + 1, size - 1, agent ? ".xml" : ".contact");
    const vesk::FormatInfo* format =
        vesk::Registry::builtIn().byId(agent ? "agent_xml" : "windows_contact");
    auto reader = format->reader(vesk::FormatArgs{.run = run, .fileName = input.path()});
    vesk::NewAdbook book(run);
    book.fromIter(*reader, false);
    return 0;
}
