// addEntry + sortAndMerge over generated books, and the import and copy loops.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <limits>

#include "contact_generator.h"
#include "model/adbook.h"
#include "platform/run_context.h"

namespace vesk::bench {
namespace {

void BM_AddSortAndMerge(benchmark::State& state) {
    vesk::RecordingRun run;
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<Entry> contacts = generateContacts(count, {.seed = 42, .lists = 0});
    if (state.range(1) != 0) {
        // Warm: the heap already holds the memory of a book this size, as in a session that
        // has loaded a book before. Cold: every page is new to the process (first import).
        std::vector<Entry> batch = contacts;
        NewAdbook book(run);
        for (auto& e : batch) book.addEntry(std::move(e));
    } else {
        malloc_trim(0);
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Entry> batch = contacts;
        auto book = std::make_unique<NewAdbook>(run);
        state.ResumeTiming();
        for (auto& e : batch) book->addEntry(std::move(e));
        book->sortAndMerge(0);
        benchmark::DoNotOptimize(book->entryCount());
        state.PauseTiming();
        state.counters["kept"] = book->entryCount();
        book.reset();  // freeing a million entries is not part of the measurement
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_AddSortAndMerge)
    ->ArgNames({"entries", "warm"})
    ->ArgsProduct({{10000, 100000, 1000000}, {1, 0}})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_ImportTwiceWithNamesakes(benchmark::State& state) {
    vesk::RecordingRun run;
    // Every contact shares one name with a tenth of the book, and the second import brings a
    // copy of each: every copy is looked for among thousands of namesakes.
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<Entry> contacts = generateContacts(count, {.seed = 5, .lists = 0});
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        contacts[i][Field::FullName] = "Person " + std::to_string(i % 10);
        contacts[i][Field::FirstName].clear();
        contacts[i][Field::LastName].clear();
    }
    for (auto _ : state) {
        NewAdbook book(run);
        for (int round = 0; round < 2; ++round) {
            for (const Entry& e : contacts) book.addEntry(e);
            book.sortAndMerge(0);
        }
        benchmark::DoNotOptimize(book.entryCount());
        state.counters["kept"] = book.entryCount();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_ImportTwiceWithNamesakes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ImportBookIntoBook(benchmark::State& state) {
    vesk::RecordingRun run;
    const auto count = static_cast<std::size_t>(state.range(0));
    NewAdbook source(run);
    fillBook(source, count, {.seed = 7, .folders = 5, .lists = 20});
    source.sortAndMerge(0);
    for (auto _ : state) {
        NewAdbook target(run);
        target.fromStart(source);
        benchmark::DoNotOptimize(target.entryCount());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_ImportBookIntoBook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ImportBookWithALargeList(benchmark::State& state) {
    vesk::RecordingRun run;
    // One list holding half the book: its members are resolved by key, not by a scan each.
    const auto count = static_cast<std::size_t>(state.range(0));
    NewAdbook source(run);
    fillBook(source, count, {.seed = 11});
    source.sortAndMerge(0);
    DistList* list = source.addList("Everyone");
    for (int i = 0; i < source.entryCount(); i += 2) list->addMember(source.entryPtr(i));
    for (auto _ : state) {
        NewAdbook target(run);
        target.fromStart(source);
        benchmark::DoNotOptimize(target.listAt(0)->entryCount());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_ImportBookWithALargeList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench

int main(int argc, char** argv) {
    // Keep freed memory in the heap, so that a warm run reuses it instead of new pages.
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    mallopt(M_MMAP_MAX, 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
