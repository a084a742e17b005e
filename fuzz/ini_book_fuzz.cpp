// ".ini" address book reader.
#include "tagged_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::fuzzing::runTaggedReader(data, size, vesk::iterators::IterFile::Ini, nullptr);
    return 0;
}
