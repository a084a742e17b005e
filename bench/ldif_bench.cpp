// LDIF reading and writing over 100,000 generated contacts with accented names, several
// address fields and multi-line notes (which the writer has to base64-encode).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "formats/ldif.h"
#include "parsing/tagged_file.h"
#include "platform/run_context.h"

namespace {

using vesk::Entry;
using vesk::Field;

std::vector<Entry> makeContacts(int count) {
    static const char* const kFirst[] = {"Jürgen", "Ann", "Иван", "Zoë", "Bob", "François"};
    static const char* const kLast[] = {"Müller", "Lee", "Петров", "Ørsted", "Smith", "Dupré"};
    std::vector<Entry> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        Entry e;
        e[Field::FirstName] = kFirst[k % 6];
        e[Field::LastName] = kLast[(k / 6) % 6];
        e[Field::FullName] =
            e[Field::FirstName] + " " + e[Field::LastName] + " " + std::to_string(i);
        e[Field::Email] = "user" + std::to_string(i) + "@example.org";
        e[Field::Nickname] = "u" + std::to_string(i);
        e[Field::BusinessPhone] = "+41 44 555 " + std::to_string(1000 + i % 9000);
        e[Field::Organization] = "Example & Co, Ltd.";
        e[Field::HomeStreet] = "Bahnhofstrasse " + std::to_string(i % 200);
        e[Field::HomeCity] = "Zürich";
        e[Field::HomePostalCode] = "8001";
        e[Field::BusinessCity] = "Basel";
        if (i % 3 == 0) e[Field::Notes] = "Met at the fair.\nCall after 6pm.";
        out.push_back(std::move(e));
    }
    return out;
}

std::string writeAll(const std::vector<Entry>& contacts) {
    vesk::RecordingRun run;
    vesk::ToLDIF writer(run, "unused.ldif");
    writer.intoMemory();
    for (const Entry& e : contacts) writer.write(e);
    return writer.text();
}

void BM_LdifWrite(benchmark::State& state) {
    const auto contacts = makeContacts(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = writeAll(contacts);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LdifWrite)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LdifRead(benchmark::State& state) {
    const std::string text = writeAll(makeContacts(static_cast<int>(state.range(0))));
    std::size_t bytes = 0;
    for (auto _ : state) {
        // Copying the text stands for reading the file, which is not what is measured here.
        state.PauseTiming();
        std::string copy = text;
        state.ResumeTiming();
        auto reader =
            vesk::iterators::IterFile::fromText(std::move(copy), vesk::iterators::IterFile::Ldif);
        std::size_t n = 0;
        while (!reader->atEnd()) {
            Entry e = reader->nextEntry();
            benchmark::DoNotOptimize(e);
            ++n;
        }
        if (n != static_cast<std::size_t>(state.range(0))) state.SkipWithError("lost entries");
        bytes += text.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LdifRead)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
