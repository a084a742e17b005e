// CSV writing and reading over generated contacts at 10^4 and 10^5 rows: bytes per second should
// stay flat as the file grows (the reader makes one pass per record, never a search to the end).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "contact_generator.h"
#include "formats/csv.h"
#include "platform/prompt.h"
#include "platform/run_context.h"
#include "platform/settings.h"
#include "text/text_io.h"

namespace vesk::bench {
namespace {

std::string tempPath(const char* what) {
    return "/tmp/vesk-csv-bench-" + std::to_string(::getpid()) + "-" + what + ".csv";
}

/// Every generated contact, with a multi-line note holding quotes and commas in every tenth.
std::vector<Entry> contacts(std::size_t count) {
    std::vector<Entry> out = generateContacts(count, {.seed = 11});
    for (std::size_t i = 0; i < out.size(); i += 10) {
        out[i][Field::Notes] = "Met at \"the fair\", booth 12.\nCall back in spring.";
    }
    return out;
}

std::string writtenText(const std::vector<Entry>& entries) {
    vesk::RecordingRun run;
    ToCSV writer(run, tempPath("unused"));
    writer.intoMemory();
    for (const Entry& e : entries) writer.write(e);
    return writer.text();
}

void BM_WriteCsv(benchmark::State& state) {
    vesk::RecordingRun run;
    const std::vector<Entry> entries = contacts(static_cast<std::size_t>(state.range(0)));
    std::size_t bytes = 0;
    std::vector<Entry> batch;
    std::unique_ptr<ToCSV> writer;
    for (auto _ : state) {
        // The caller's copies of the entries, and freeing them, are not the writer's work.
        state.PauseTiming();
        writer.reset();
        batch = entries;
        state.ResumeTiming();
        writer = std::make_unique<ToCSV>(run, tempPath("unused"));
        writer->intoMemory();
        for (Entry& e : batch) writer->write(std::move(e));
        bytes = writer->text().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries.size()));
}
BENCHMARK(BM_WriteCsv)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_WriteCsvFile(benchmark::State& state) {
    vesk::RecordingRun run;
    const std::vector<Entry> entries = contacts(static_cast<std::size_t>(state.range(0)));
    const std::string path = tempPath("write");
    std::size_t bytes = 0;
    for (auto _ : state) {
        ToCSV writer(run, path);
        for (const Entry& e : entries) writer.write(e);
        if (!writer.finish()) state.SkipWithError("write failed");
        bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    }
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteCsvFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadCsv(benchmark::State& state) {
    vesk::RecordingRun run;
    const std::string text = writtenText(contacts(static_cast<std::size_t>(state.range(0))));
    const std::string path = tempPath("read");
    std::ofstream(path, std::ios::binary) << encodeForFile(text);
    std::int64_t rows = 0;
    for (auto _ : state) {
        iterators::IterCSV reader(run, path, kCsvFormat);
        rows = 0;
        for (reader.rewind(); !reader.atEnd(); ++rows) {
            benchmark::DoNotOptimize(reader.nextEntry());
        }
    }
    std::remove(path.c_str());
    if (rows != state.range(0)) state.SkipWithError("rows lost");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_ReadCsv)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench

int main(int argc, char** argv) {
    // Keep freed memory in the heap, as a session that has converted a file before does, so
    // that the figures show the work rather than the kernel handing out fresh pages.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_MAX, 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
