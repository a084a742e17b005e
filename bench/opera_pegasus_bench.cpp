// Opera hotlists and Pegasus Mail books of generated contacts: reading each, putting new items
// into an existing hotlist, and writing a Pegasus book. The time per entry should stay the same
// at 10^4 and 10^5 entries.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "contact_generator.h"
#include "platform/run_context.h"
#include "stores/opera.h"
#include "stores/pegasus_book.h"

namespace vesk::bench {
namespace {

std::string tempPath(const std::string& tag) {
    return "/tmp/vesk-bench-" + tag + "-" + std::to_string(::getpid());
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

/// A hotlist of `count` contacts, a folder of its own around every 500 of them.
std::string hotlistText(std::size_t count) {
    vesk::RecordingRun run;
    ToOpera writer(run, "");
    writer.intoMemory();
    std::size_t i = 0;
    for (const Entry& e : generateContacts(count, {.seed = 21})) {
        if (i % 500 == 0) writer.write(markerEntry(KindFolderBegin, "F" + std::to_string(i / 500)));
        writer.write(e);
        if (++i % 500 == 0) writer.write(markerEntry(KindFolderEnd, ""));
    }
    return writer.text();
}

/// The bytes of a Pegasus book of `count` contacts.
std::string pegasusBytes(std::size_t count) {
    vesk::RecordingRun run;
    const std::string path = tempPath("pmr-make") + ".pmr";
    ToPMR writer(run, path, "Bench");
    for (const Entry& e : generateContacts(count, {.seed = 22})) writer.write(e);
    writer.finish();
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    std::remove(ToPMR::indexFileOf(path).c_str());
    return bytes;
}

template <typename Reader>
void readAll(benchmark::State& state, Reader& reader) {
    reader.rewind();
    std::size_t n = 0;
    while (!reader.atEnd()) {
        benchmark::DoNotOptimize(reader.nextEntry());
        ++n;
    }
    state.counters["entries"] = static_cast<double>(n);
}

void BM_ReadOperaHotlist(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = tempPath("adr") + ".adr";
    put(path, hotlistText(count));
    vesk::RecordingRun run;
    for (auto _ : state) {
        iterators::IterOpera reader(run, path);
        readAll(state, reader);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadOperaHotlist)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

/// 100 new contacts into a folder of an existing hotlist of `count`, found by name.
void BM_InsertIntoOperaHotlist(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = tempPath("adr-insert") + ".adr";
    const std::string existing = hotlistText(count);
    const std::vector<Entry> added = generateContacts(100, {.seed = 23});
    vesk::RecordingRun run;
    for (auto _ : state) {
        state.PauseTiming();
        put(path, existing);
        state.ResumeTiming();
        ToOpera writer(run, path, ToOpera::IntoHotlist{"F5"});
        for (const Entry& e : added) writer.write(e);
        benchmark::DoNotOptimize(writer.finish());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
}
BENCHMARK(BM_InsertIntoOperaHotlist)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadPegasusBook(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = tempPath("pmr") + ".pmr";
    put(path, pegasusBytes(count));
    vesk::RecordingRun run;
    for (auto _ : state) {
        iterators::IterPMR reader(run, path);
        readAll(state, reader);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadPegasusBook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_WritePegasusBook(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<Entry> entries = generateContacts(count, {.seed = 24});
    const std::string path = tempPath("pmr-write") + ".pmr";
    vesk::RecordingRun run;
    for (auto _ : state) {
        ToPMR writer(run, path, "Bench");
        for (const Entry& e : entries) writer.write(e);
        benchmark::DoNotOptimize(writer.finish());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
    for (const std::string& p : {path, ToPMR::indexFileOf(path)}) {
        std::remove(p.c_str());
        std::remove((p + ".bak").c_str());
    }
}
BENCHMARK(BM_WritePegasusBook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench

BENCHMARK_MAIN();
