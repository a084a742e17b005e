// Reading generated .wab files through the native Windows Address Book reader: time should
// grow in proportion to the book, at 10^3 and 10^4 alike.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "contact_generator.h"
#include "platform/run_context.h"
#include "platform/wab_file.h"
#include "stores/wab.h"

namespace vesk::bench {
namespace {

std::string le(std::uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out + std::string(2, '\0');
}

/// One live contact record with its name, address and organisation.
std::string record(std::uint32_t id, const Entry& e) {
    const std::pair<std::uint32_t, std::string> props[] = {
        {0x3001001F, utf16(e[Field::FullName])},
        {0x3003001F, utf16(e[Field::Email])},
        {0x3A16001F, utf16(e[Field::Organization])},
        {0x3004001F, utf16(e[Field::Notes])},
    };
    std::string tags;
    std::string data;
    for (const auto& [tag, value] : props) {
        tags += le(tag);
        data += le(tag) + le(static_cast<std::uint32_t>(value.size())) + value;
    }
    return le(1) + le(1) + le(id) + le(4) + le(0x20) + le(16) + le(16) +
           le(static_cast<std::uint32_t>(data.size())) + tags + data;
}

/// A .wab file laid out as documented: the magic, the index table, the records.
std::string wabBook(std::size_t count) {
    std::string out("\x9C\xCB\xCB\x8D\x13\x75\xD2\x11\x91\x58\x00\xC0\x4F\x79\x56\xA4", 16);
    const auto n = static_cast<std::uint32_t>(count);
    const std::uint32_t indexAt = 0x100;
    out += le(0) + le(n) + le(8 * n) + le(8 * n) + le(indexAt) + le(n);
    out.resize(indexAt, '\0');
    std::string records;
    std::string index;
    std::uint32_t id = 1;
    for (const Entry& e : generateContacts(count, {.seed = 23})) {
        index += le(id) + le(indexAt + 8 * n + static_cast<std::uint32_t>(records.size()));
        records += record(id++, e);
    }
    out += index + records;
    const std::string path = "/tmp/vesk-bench-wab-" + std::to_string(::getpid()) + ".wab";
    std::ofstream(path, std::ios::binary) << out;
    return path;
}

void BM_ReadWab(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string path = wabBook(count);
    vesk::RecordingRun run;
    for (auto _ : state) {
        iterators::IterWAB reader(run, wab::fileLibrary(""), path, true);
        std::size_t n = 0;
        while (!reader.atEnd()) {
            benchmark::DoNotOptimize(reader.nextEntry());
            ++n;
        }
        if (n != count) state.SkipWithError("wrong count");
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadWab)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench
