// Feeds arbitrary bytes to the Simeon/Execmail export reader and imports what it gives.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "model/adbook.h"
#include "platform/prompt.h"
#include "stores/simeon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingPrompt quiet;
    vesk::PromptScope scope(quiet);
    const std::string path = "/tmp/vesk-fuzz-simeon-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    {
        vesk::iterators::IterSimeon reader(path);
        vesk::NewAdbook book;
        book.fromIter(reader, false);
    }
    std::remove(path.c_str());
    return 0;
}
