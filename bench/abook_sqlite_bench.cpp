// Thunderbird SQLite address books of 10^4 and 10^5 generated cards with a list for every
// hundred cards: writing them (vCard text and flat copies per card, the book built straight
// in its new file) and reading what Vesk wrote. Compare with mork_bench at the same sizes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "contact_generator.h"
#include "platform/run_context.h"
#include "stores/abook_sqlite.h"

namespace vesk::bench {
namespace {

std::string bookPath(const std::string& tag) {
    return "/tmp/vesk-bench-sqlite-" + tag + "-" + std::to_string(::getpid()) + ".sqlite";
}

std::vector<Entry> contactsFor(const benchmark::State& state) {
    return generateContacts(static_cast<std::size_t>(state.range(0)),
                            {.seed = 21, .exactDuplicates = 0.0, .nearDuplicates = 0.0});
}

/// The contacts, then one list of ten members for every hundred contacts, written to `path`.
bool writeBook(const std::vector<Entry>& contacts, const std::string& path) {
    std::remove(path.c_str());
    vesk::RecordingRun run;
    ToABSQLite writer(run, path);
    for (const Entry& e : contacts) writer.write(e);
    for (std::size_t first = 0; first + 100 <= contacts.size(); first += 100) {
        writer.write(markerEntry(KindListBegin, "List " + std::to_string(first)));
        for (std::size_t i = first; i < first + 100; i += 10) writer.write(contacts[i]);
        writer.write(markerEntry(KindListEnd, "List " + std::to_string(first)));
    }
    return writer.finish();
}

void BM_SqliteWrite(benchmark::State& state) {
    const std::vector<Entry> contacts = contactsFor(state);
    const std::string path = bookPath("write");
    for (auto _ : state) {
        if (!writeBook(contacts, path)) state.SkipWithError("not written");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
}
BENCHMARK(BM_SqliteWrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SqliteRead(benchmark::State& state) {
    const std::string path = bookPath("read");
    if (!writeBook(contactsFor(state), path)) state.SkipWithError("not written");
    for (auto _ : state) {
        vesk::RecordingRun run;
        iterators::IterABSQLite reader(run, path);
        std::size_t cards = 0;
        while (!reader.atEnd()) {
            benchmark::DoNotOptimize(reader.nextEntry());
            ++cards;
        }
        std::size_t members = 0;
        while (!reader.listsDone()) {
            IterBase* list = reader.nextList();
            while (list && !list->atEnd()) {
                benchmark::DoNotOptimize(list->nextEntry());
                ++members;
            }
        }
        if (cards != static_cast<std::size_t>(state.range(0))) state.SkipWithError("lost cards");
        state.counters["members"] = static_cast<double>(members);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    std::remove(path.c_str());
}
BENCHMARK(BM_SqliteRead)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench
