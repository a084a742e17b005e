// Eudora nickname file reader.
#include "tagged_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::fuzzing::runTaggedReader(data, size, vesk::iterators::IterFile::Eudora, nullptr);
    return 0;
}
