// Imports of generated files whose shape once made the import quadratic: many sibling
// folders, many folders of one name, many lists, many LDIF groups, one list naming every
// contact. Each line should take ten times as long for ten times the entries.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>

#include "import_shapes.h"
#include "model/adbook.h"
#include "platform/run_context.h"
#include "registry/registry.h"

namespace vesk::bench {
namespace {

/// The shape's file, written once per size into the temporary folder.
std::string shapeFile(const ShapeInfo& info, std::size_t count) {
    const std::string path = "/tmp/vesk-import-bench-" + std::to_string(::getpid()) + "-" +
                             info.name + "-" + std::to_string(count) + info.extension;
    std::ofstream(path, std::ios::binary) << shapeText(info.shape, count);
    return path;
}

void BM_ImportShape(benchmark::State& state) {
    const ShapeInfo& info = importShapes().at(static_cast<std::size_t>(state.range(0)));
    const auto count = static_cast<std::size_t>(state.range(1));
    state.SetLabel(info.name);
    const std::string path = shapeFile(info, count);
    const Registry& registry = Registry::builtIn();
    const FormatInfo* format =
        registry.byId(std::string(info.extension) == ".ldif" ? "ldif" : "kynt");
    for (auto _ : state) {
        RecordingRun run;
        auto reader = makeReader(run, *format, path);
        NewAdbook book(run);
        book.fromStart(*reader);
        benchmark::DoNotOptimize(book.entryCount());
        state.counters["folders"] = book.folderCount();
        state.counters["lists"] = book.listCount();
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
    ::unlink(path.c_str());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(count));
}
BENCHMARK(BM_ImportShape)
    ->ArgNames({"shape", "entries"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {10000, 100000}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench
