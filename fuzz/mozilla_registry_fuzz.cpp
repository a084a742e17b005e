// The profile analyzer's readers: the Mozilla registry file and profiles.ini.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "discovery/mozilla_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vesk::readMozillaRegistry(bytes);
    vesk::readProfilesIni(bytes, "/f");
    return 0;
}
