// vCard and archive throughput: a file of 100,000 generated cards read into a book, and a
// book written as an archive. Bytes per second are those of the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "formats/kynt.h"
#include "formats/vcard.h"
#include "model/adbook.h"
#include "platform/run_context.h"

namespace {

namespace fs = std::filesystem;
using namespace vesk;

constexpr int kCards = 100000;

/// A deterministic contact: typical field lengths, a few accents, a two-line note now and then.
Entry generated(int i) {
    static const char* const kFirst[] = {"Anna", "Jürgen", "Marie", "Olaf", "Zoë", "Ivan"};
    static const char* const kLast[] = {"Smith", "Müller", "Dubois", "Nowak", "García", "Lee"};
    Entry e;
    const std::string n = std::to_string(i);
    e[Field::FirstName] = kFirst[i % 6];
    e[Field::LastName] = std::string(kLast[(i / 6) % 6]) + n;
    e[Field::FullName] = e[Field::FirstName] + " " + e[Field::LastName];
    e[Field::Email] = "user" + n + "@example.org";
    e[Field::BusinessPhone] = "+1 555 " + n;
    e[Field::CellularPhone] = "+1 666 " + n;
    e[Field::Organization] = "Company " + std::to_string(i % 97);
    e[Field::Department] = "Sales";
    e[Field::JobTitle] = "Manager";
    e[Field::BusinessStreet] = n + " Main Street";
    e[Field::BusinessCity] = "Springfield";
    e[Field::BusinessPostalCode] = "12345";
    e[Field::BusinessCountry] = "USA";
    if (i % 4 == 0) e[Field::Notes] = "Met at the fair.\nCall back in spring.";
    e.revisionTime = 1141214400 + i;
    return e;
}

struct Files {
    fs::path dir;
    std::string vcf;
    std::size_t vcfBytes = 0;

    Files() {
        dir = fs::temp_directory_path() / ("vesk-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        vcf = (dir / "cards.vcf").string();
        RecordingRun run;
        ToVCF w(run, vcf);
        for (int i = 0; i < kCards; ++i) w.write(generated(i));
        w.finish();
        vcfBytes = fs::file_size(vcf);
    }
    ~Files() { fs::remove_all(dir); }
};

Files& files() {
    static Files f;
    return f;
}

void BM_ReadVcf(benchmark::State& state) {
    vesk::RecordingRun run;
    files();
    for (auto _ : state) {
        iterators::IterVCF r(run, files().vcf);
        std::size_t n = 0;
        while (!r.atEnd()) {
            benchmark::DoNotOptimize(r.nextEntry());
            ++n;
        }
        if (n != kCards) state.SkipWithError("lost cards");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files().vcfBytes));
}
BENCHMARK(BM_ReadVcf)->Unit(benchmark::kMillisecond);

void BM_ReadVcfIntoBook(benchmark::State& state) {
    vesk::RecordingRun run;
    files();
    for (auto _ : state) {
        iterators::IterVCF r(run, files().vcf);
        NewAdbook book(run);
        book.fromIter(r, false);
        if (book.entryCount() != kCards) state.SkipWithError("lost cards");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files().vcfBytes));
}
BENCHMARK(BM_ReadVcfIntoBook)->Unit(benchmark::kMillisecond);

void BM_WriteKynt(benchmark::State& state) {
    vesk::RecordingRun run;
    iterators::IterVCF r(run, files().vcf);
    NewAdbook book(run);
    book.fromIter(r, false);
    const std::string out = (files().dir / "book.kynt").string();
    std::size_t bytes = 0;
    for (auto _ : state) {
        ToKYNT w(run, out);
        w.fromStart(book);
        if (!w.succeeded()) state.SkipWithError("write failed");
    }
    bytes = fs::file_size(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteKynt)->Unit(benchmark::kMillisecond);

/// Writes the book as vCard 2.1 (`vcard21`), 3.0 (`vcard`) or 4.0 (`vcard40`): the argument.
void BM_WriteVcf(benchmark::State& state) {
    vesk::RecordingRun run;
    iterators::IterVCF r(run, files().vcf);
    NewAdbook book(run);
    book.fromIter(r, false);
    const int version = static_cast<int>(state.range(0));
    const std::string out = (files().dir / "out.vcf").string();
    for (auto _ : state) {
        std::unique_ptr<ToVCF> w = version == 2 ? std::make_unique<ToVCF>(run, out)
                                                : std::make_unique<ToVCard>(run, out, version);
        w->fromStart(book);
        if (!w->succeeded()) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(out)));
}
BENCHMARK(BM_WriteVcf)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
