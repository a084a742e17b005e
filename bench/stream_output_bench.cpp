// Writing a book of 10^5 generated contacts to a file through the streaming output: the text is
// encoded as it is written and goes out in chunks. Bytes per second are those of the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "contact_generator.h"
#include "formats/csv_writer.h"
#include "formats/ldif.h"
#include "parsing/vcard_cards.h"
#include "platform/run_context.h"

namespace {

using namespace vesk;
using vesk::bench::generateContacts;

template <class Writer>
void BM_WriteFile(benchmark::State& state) {
    RecordingRun run;
    const std::vector<Entry> entries =
        generateContacts(static_cast<std::size_t>(state.range(0)), {.seed = 12});
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("vesk-stream-bench-" + std::to_string(::getpid())))
                                 .string();
    std::size_t bytes = 0;
    for (auto _ : state) {
        Writer writer(run, path);
        for (const Entry& e : entries) writer.write(e);
        if (!writer.finish()) state.SkipWithError("write failed");
        bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    }
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK_TEMPLATE(BM_WriteFile, ToVCF)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WriteFile, ToLDIF)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WriteFile, ToCSV)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
