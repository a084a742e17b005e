// Juno address book reader, then the Juno writer and the reader again.
#include "platform/run_context.h"
#include "stores/juno.h"
#include "tagged_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vesk::RecordingRun run;
    vesk::ToNV writer(run, "unused.nv");
    vesk::fuzzing::runTaggedReader(data, size, vesk::iterators::IterFile::Juno, &writer);
    return 0;
}
