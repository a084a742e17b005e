// Feeds arbitrary bytes to the CSV reader (field map, ABX columns and absolute positions, chosen
// by the first byte) and imports what it gives; written values must read back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "formats/csv.h"
#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace {

void writeFile(const std::string& path, const char* data, std::size_t size) {
    std::ofstream(path, std::ios::binary).write(data, static_cast<std::streamsize>(size));
}

/// Reading folds CR LF into LF (in one pass), also inside values.
std::string folded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out.push_back(s[i]);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesk;
    RecordingPrompt quiet;
    RecordingTraceSink trace;
    MemorySettingsStore store;
    RunContext run{quiet, store};
    run.setTraceSink(&trace);

    const unsigned mode = size > 0 ? data[0] % 3u : 0u;
    if (mode == 2) {
        store.writeValue(RootKey::CurrentUser, kCsvKey, "useInts", SettingValue::ofNumber(1));
        store.writeValue(RootKey::CurrentUser, kCsvKey, "keep", SettingValue::ofNumber(1));
        store.createKey(RootKey::CurrentUser, kCsvPositionKey);
    }
    const std::string path = "/tmp/vesk-fuzz-csv-" + std::to_string(::getpid());
    const char* bytes = reinterpret_cast<const char*>(data);
    writeFile(path, size > 0 ? bytes + 1 : bytes, size > 0 ? size - 1 : 0);
    {
        iterators::IterCSV reader(run, path, mode == 1 ? kAbxFormat : kCsvFormat);
        NewAdbook book(run);
        book.fromIter(reader, false);
        NewAdbook again(run);
        again.fromIter(reader, false);
        if (again.entryCount() != book.entryCount()) std::abort();

        // What the writer makes of the book reads back field for field.
        if (book.entryCount() > 0) {
            // A run of its own: its field map starts from nothing stored.
            MemorySettingsStore fresh;
            RunContext freshRun{quiet, fresh};
            ToCSV writer(freshRun, path);
            for (int i = 0; i < book.entryCount(); ++i) writer.write(book.entryAt(i));
            if (!writer.finish()) std::abort();
            iterators::IterCSV back(freshRun, path, kCsvFormat);
            int i = 0;
            for (back.rewind(); !back.atEnd(); ++i) {
                const Entry e = back.nextEntry();
                if (i >= book.entryCount()) std::abort();
                const Entry original = book.entryAt(i);
                for (int f = 0; f < kFieldCount; ++f) {
                    if (e.at(f) != folded(original.at(f))) std::abort();
                }
            }
            if (i != book.entryCount()) std::abort();
        }
    }
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
    return 0;
}
