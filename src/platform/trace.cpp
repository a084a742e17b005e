#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vesk {

void StderrTraceSink::write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool traceRequestedByEnvironment() {
    const char* v = std::getenv("VESK_TRACE");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

}  // namespace vesk
