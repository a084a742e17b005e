// One measurement per process, for bench/run.sh: the peak memory of a process is only its own
// when nothing else ran in it. Prints one line: entries, bytes, CPU seconds, peak kB of the step.
//
//   vesk_measure gen FORMAT COUNT FILE     write COUNT generated contacts (a tenth repeated)
//   vesk_measure shape NAME COUNT FILE     write a generated import shape (import_shapes.h)
//   vesk_measure read FORMAT FILE          read every entry, folder and list of FILE
//   vesk_measure write FORMAT COUNT FILE   write COUNT generated contacts (the write is timed)
//   vesk_measure import FILE               import FILE into a book (sorted, de-duplicated)
//   vesk_measure sync FILE_A FILE_B        synchronise two books read from the files
//   vesk_measure formats                   "id extension reads writes" for every format
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>

#include "contact_generator.h"
#include "import_shapes.h"
#include "model/sync.h"
#include "platform/run_context.h"
#include "registry/registry.h"

namespace vesk::bench {
namespace {

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(in, line)) {
        if (line.compare(0, n, key) == 0) return std::stol(line.substr(n + 1));
    }
    return 0;
}

/// CPU seconds (user and system) of this process: on a shared machine the wall clock also
/// counts the other processes.
double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// Runs `step` and prints its line; the peak is what the step added to the resident memory.
int measure(const std::function<long long(long long& bytes)>& step) {
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const long before = statusKb("VmRSS:");
    long long bytes = 0;
    const double t0 = cpuSeconds();
    const long long entries = step(bytes);
    const double t1 = cpuSeconds();
    const long peak = statusKb("VmHWM:") - before;
    std::printf("%lld %lld %.6f %ld\n", entries, bytes, t1 - t0, peak);
    return entries < 0 ? 1 : 0;
}

long long fileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

const FormatInfo* formatNamed(const std::string& id) {
    const FormatInfo* f = Registry::builtIn().byId(id);
    if (!f) std::fprintf(stderr, "no format %s\n", id.c_str());
    return f;
}

long long countAll(IterBase& reader) {
    long long n = 0;
    reader.rewind();
    while (reader.hasFolders && !reader.foldersDone()) {
        if (IterBase* sub = reader.nextFolder()) n += countAll(*sub);
    }
    while (!reader.atEnd()) {
        if (!reader.nextEntry().isMarker()) ++n;
    }
    while (!reader.listsDone()) {
        if (IterBase* sub = reader.nextList()) countAll(*sub);
    }
    return n;
}

/// Generated contacts; for a file to import, with a tenth of them repeated (exactly or nearly)
/// in the generator's order, with folders and lists; else sorted, without repeats, folders or
/// lists, as a plain book stands after reading.
std::unique_ptr<NewAdbook> generatedBook(RunContext& run, long long count, bool withRepeats) {
    auto book = std::make_unique<NewAdbook>(run);
    GeneratorOptions options{.seed = 3};
    if (withRepeats) {
        options.folders = 3;
        options.lists = 10;
    } else {
        options.exactDuplicates = options.nearDuplicates = 0;
    }
    fillBook(*book, static_cast<std::size_t>(count), options);
    if (!withRepeats) book->sortAndMerge(0);
    return book;
}

std::unique_ptr<NewAdbook> readBook(RunContext& run, const std::string& path) {
    auto book = std::make_unique<NewAdbook>(run);
    const FormatInfo* f = Registry::builtIn().chooseReader(path, Application::None).format;
    if (auto reader = f ? makeReader(run, *f, path) : nullptr) book->fromStart(*reader);
    return book;
}

/// Contacts of the book and of all its folders.
long long treeEntries(NewAdbook& book) {
    long long n = book.entryCount();
    for (int i = 0; i < book.folderCount(); ++i) n += treeEntries(*book.folder(i));
    return n;
}

bool writeBook(RunContext& run, const FormatInfo& format, NewAdbook& book,
               const std::string& path) {
    ::unlink(path.c_str());  // a writer that merges must not find an older file
    auto writer = makeWriter(run, format, path);
    return writer && writer->fromStart(book);
}

int run(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    RecordingRun run;
    if ((mode == "gen" || mode == "write") && argc == 5) {
        const FormatInfo* format = formatNamed(argv[2]);
        if (!format) return 2;
        auto book = generatedBook(run, std::stoll(argv[3]), mode == "gen");
        const std::string path = argv[4];
        if (mode == "gen") return writeBook(run, *format, *book, path) ? 0 : 1;
        return measure([&](long long& bytes) -> long long {
            if (!writeBook(run, *format, *book, path)) return -1;
            bytes = fileBytes(path);
            return book->entryCount();
        });
    }
    if (mode == "formats") {
        for (const FormatInfo* f : Registry::builtIn().formats()) {
            if (f->extensions.empty()) continue;
            std::printf("%.*s %.*s %d %d\n", static_cast<int>(f->id.size()), f->id.data(),
                        static_cast<int>(f->extensions[0].size()), f->extensions[0].data(),
                        f->reads ? 1 : 0, f->writes && f->writesHere ? 1 : 0);
        }
        return 0;
    }
    if (mode == "shape" && argc == 5) {
        for (const ShapeInfo& s : importShapes()) {
            if (s.name != std::string(argv[2])) continue;
            std::ofstream(argv[4], std::ios::binary)
                << shapeText(s.shape, static_cast<std::size_t>(std::stoll(argv[3])));
            return 0;
        }
        return 2;
    }
    if (mode == "read" && argc == 4) {
        const FormatInfo* format = formatNamed(argv[2]);
        if (!format) return 2;
        const std::string path = argv[3];
        return measure([&](long long& bytes) -> long long {
            auto reader = makeReader(run, *format, path);
            if (!reader) return -1;
            bytes = fileBytes(path);
            return countAll(*reader);
        });
    }
    if (mode == "import" && argc == 3) {
        const std::string path = argv[2];
        return measure([&](long long& bytes) -> long long {
            bytes = fileBytes(path);
            return treeEntries(*readBook(run, path));
        });
    }
    if (mode == "sync" && argc == 4) {
        auto a = readBook(run, argv[2]);
        auto b = readBook(run, argv[3]);
        return measure([&](long long& bytes) -> long long {
            bytes = fileBytes(argv[2]) + fileBytes(argv[3]);
            return treeEntries(*synchronize(*a, *b));
        });
    }
    std::fprintf(stderr, "usage: see the head of bench/measure.cpp\n");
    return 2;
}

}  // namespace
}  // namespace vesk::bench

int main(int argc, char** argv) {
    return vesk::bench::run(argc, argv);
}
