// LDIF reader, then the LDIF writer and the reader again.
#include "formats/ldif.h"
#include "platform/run_context.h"
#include "tagged_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    vesk::ToLDIF writer(run, "unused.ldif");
    vesk::fuzzing::runTaggedReader(data, size, vesk::iterators::IterFile::Ldif, &writer);
    return 0;
}
