// Shared body of the fuzz targets of the tagged text books: the bytes become a file, the
// reader imports it into a book, and the book is written back through the matching writer
// and read once more, so writers and readers both meet whatever the fuzzer invents.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "model/adbook.h"
#include "model/to_file.h"
#include "parsing/tagged_file.h"
#include "platform/run_context.h"

namespace vesk::fuzzing {

inline void runTaggedReader(const std::uint8_t* data, std::size_t size, int kind, ToFile* writer) {
    vesk::RecordingRun run;
    const InputFile input(data, size);
    iterators::IterFile reader(run, input.path(), kind);
    NewAdbook book(run);
    book.fromIter(reader, false);
    if (!writer) return;
    // The conversion loop without finish(): the text stays in memory.
    writer->saveFrom(book, false, false);
    auto again = iterators::IterFile::fromText(writer->text(), kind);
    NewAdbook back(run);
    back.fromIter(*again, false);
}

}  // namespace vesk::fuzzing
