// Feeds arbitrary bytes to the native archive reader and imports them into a book, folders
// and lists included; then writes the book back as an archive.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/kynt.h"
#include "model/adbook.h"
#include "platform/prompt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/vesk-kynt-fuzz-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return 0;
    const auto written = ::write(fd, data, size);
    ::close(fd);
    if (written == static_cast<ssize_t>(size)) {
        vesk::RecordingPrompt quiet;
        vesk::PromptScope scope(quiet);
        vesk::iterators::IterKYNT reader(path);
        vesk::NewAdbook book;
        book.fromIter(reader, false);
        vesk::ToKYNT writer(std::string(path) + ".out", 0, vesk::FieldMask().set());
        writer.saveFrom(book, false, false);
        (void)writer.text();
    }
    ::unlink(path);
    return 0;
}
