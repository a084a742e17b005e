// Reading plain text lists, Pine books and Simeon exports of generated books: each reader
// should take time in proportion to the file, at 10^4 and 10^5 entries alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "contact_generator.h"
#include "platform/run_context.h"
#include "stores/nickname_text.h"
#include "stores/simeon.h"

namespace vesk::bench {
namespace {

std::string tempFile(const std::string& tag, const std::string& text) {
    const std::string path = "/tmp/vesk-bench-" + tag + "-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string plainText(std::size_t count) {
    vesk::RecordingRun run;
    ToTXT writer(run, "", "", "");
    writer.intoMemory();
    for (const Entry& e : generateContacts(count, {.seed = 11})) writer.write(e);
    return writer.text();
}

std::string pineText(std::size_t count) {
    std::string text;
    std::size_t i = 0;
    for (const Entry& e : generateContacts(count, {.seed = 12})) {
        text += "n" + std::to_string(i++) + "\t" + e[Field::FullName] + "\t" + e[Field::Email] +
                "\t\t" + e[Field::Notes] + "\n";
        // Every tenth entry wraps onto a continuation line, as Pine does for long ones.
        if (i % 10 == 0) text += "   continued\n";
    }
    return text;
}

std::string simeonText(std::size_t count) {
    std::string text;
    for (const Entry& e : generateContacts(count, {.seed = 13})) {
        text += "Name=" + e[Field::FullName] + "\tAlias=" + e[Field::Nickname] +
                "\tEmail=" + e[Field::Email] + "\tPhone=" + e[Field::BusinessPhone] +
                "\tAddress=" + e[Field::BusinessCity] + "\r\n";
    }
    return text;
}

template <typename MakeReader>
void readAll(benchmark::State& state, const std::string& path, MakeReader make, std::size_t count) {
    for (auto _ : state) {
        auto reader = make(path);
        std::size_t n = 0;
        while (!reader.atEnd()) {
            benchmark::DoNotOptimize(reader.nextEntry());
            ++n;
        }
        state.counters["entries"] = static_cast<double>(n);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
    std::remove(path.c_str());
}

void BM_ReadPlainTextList(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    vesk::RecordingRun run;
    readAll(
        state, tempFile("txt", plainText(count)),
        [&run](const std::string& p) {
            return iterators::IterTXT(run, p, iterators::IterTXT::kModePlain);
        },
        count);
}
BENCHMARK(BM_ReadPlainTextList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadPineBook(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    vesk::RecordingRun run;
    readAll(
        state, tempFile("pine", pineText(count)),
        [&run](const std::string& p) { return iterators::IterPine(run, p); }, count);
}
BENCHMARK(BM_ReadPineBook)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadSimeonExport(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    vesk::RecordingRun run;
    readAll(
        state, tempFile("simeon", simeonText(count)),
        [&run](const std::string& p) { return iterators::IterSimeon(run, p); }, count);
}
BENCHMARK(BM_ReadSimeonExport)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench

BENCHMARK_MAIN();
