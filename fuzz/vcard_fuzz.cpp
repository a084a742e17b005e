// Feeds arbitrary bytes to the vCard reader and imports them into a book: nothing may crash,
// hang or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/vcard.h"
#include "model/adbook.h"
#include "platform/prompt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/vesk-vcard-fuzz-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return 0;
    const auto written = ::write(fd, data, size);
    ::close(fd);
    if (written == static_cast<ssize_t>(size)) {
        vesk::RecordingPrompt quiet;
        vesk::PromptScope scope(quiet);
        vesk::iterators::IterVCF reader(path);
        vesk::NewAdbook book;
        book.fromIter(reader, false);
        // What was read must survive our own writer and reader.
        vesk::ToVCF writer(std::string(path) + ".out");
        for (int i = 0; i < book.entryCount(); ++i) writer.write(book.entryAt(i));
        (void)writer.text();
    }
    ::unlink(path);
    return 0;
}
