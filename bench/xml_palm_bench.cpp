// Reading Forte Agent XML books and Palm Desktop address books of generated contacts, and
// writing Agent books: time should grow in proportion to the book, at 10^3 and 10^4 alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "contact_generator.h"
#include "formats/xml_contacts.h"
#include "platform/run_context.h"
#include "stores/palm.h"

namespace vesk::bench {
namespace {

std::string tempPath(const std::string& tag) {
    return "/tmp/vesk-bench-" + tag + "-" + std::to_string(::getpid());
}

/// An Agent book written by ToXML from generated contacts.
std::string agentBook(std::size_t count) {
    vesk::RecordingRun run;
    const std::string path = tempPath("agent") + ".xml";
    ToXML writer(run, path);
    for (const Entry& e : generateContacts(count, {.seed = 21})) writer.write(e);
    writer.finish();
    return path;
}

std::string le(std::uint32_t v, int width = 4) {
    std::string out;
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

std::string cstring(const std::string& s) {
    const std::string bytes = s.substr(0, 254);
    return static_cast<char>(bytes.size()) + bytes;
}

/// A Palm address.dat laid out as documented, one record per generated contact.
std::string palmBook(std::size_t count) {
    static const int types[30] = {1, 1, 1, 5, 5, 5, 5, 1, 5, 1, 5, 1, 5, 1, 5,
                                  1, 5, 5, 5, 5, 5, 5, 5, 6, 1, 5, 5, 5, 5, 1};
    std::string out("\x00\x01\x42\x41", 4);
    out += cstring("address.dat") + cstring("") + le(1) + le(0) + le(0) + le(30) + le(0) + le(1) +
           le(2) + le(30, 2);
    for (int t : types) out += le(static_cast<std::uint32_t>(t), 2);
    out += le(static_cast<std::uint32_t>(count * 30));
    for (const Entry& e : generateContacts(count, {.seed = 22})) {
        for (int i = 0; i < 30; ++i) {
            out += le(static_cast<std::uint32_t>(types[i]));
            if (types[i] != 5) {
                out += le(0);
                continue;
            }
            const Field f = i == 3    ? Field::LastName
                            : i == 4  ? Field::FirstName
                            : i == 16 ? Field::Email
                            : i == 22 ? Field::Notes
                                      : Field::Organization;
            out += le(0) + cstring(e[f]);
        }
    }
    const std::string path = tempPath("palm");
    std::ofstream(path, std::ios::binary) << out;
    return path;
}

template <class Reader>
void readAll(benchmark::State& state, Reader& reader, std::size_t count) {
    std::size_t n = 0;
    while (!reader.atEnd()) {
        benchmark::DoNotOptimize(reader.nextEntry());
        ++n;
    }
    if (n != count) state.SkipWithError("wrong count");
}

void BM_ReadAgentXml(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = agentBook(count);
    vesk::RecordingRun run;
    for (auto _ : state) {
        iterators::IterXML reader(run, path, iterators::IterXML::kAgent);
        readAll(state, reader, count);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadAgentXml)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_WriteAgentXml(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) std::remove(agentBook(count).c_str());
}
BENCHMARK(BM_WriteAgentXml)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ReadPalm(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = palmBook(count);
    vesk::RecordingRun run;
    for (auto _ : state) {
        iterators::IterPALM reader(run, path);
        readAll(state, reader, count);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadPalm)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench

BENCHMARK_MAIN();
