// Mork address books of 10^4 and 10^5 generated cards with lists and accented names: writing
// them, reading what Vesk wrote, and reading a book shaped as Thunderbird leaves one (sixty
// cells a card, every tenth card edited later in a transaction of its own). Reading should
// take time in proportion to the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "contact_generator.h"
#include "platform/run_context.h"
#include "stores/mork.h"

namespace vesk::bench {
namespace {

std::string tempFile(const std::string& tag, const std::string& text) {
    const std::string path = "/tmp/vesk-bench-mork-" + tag + "-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

/// The generated contacts, then one list of ten members for every hundred contacts.
std::string writeBook(const std::vector<Entry>& contacts) {
    vesk::RecordingRun run;
    ToMAB writer(run, "unused.mab");
    writer.intoMemory();
    for (const Entry& e : contacts) writer.write(e);
    for (std::size_t first = 0; first + 100 <= contacts.size(); first += 100) {
        writer.write(markerEntry(KindListBegin, "List " + std::to_string(first)));
        for (std::size_t i = first; i < first + 100; i += 10) writer.write(contacts[i]);
        writer.write(markerEntry(KindListEnd, "List " + std::to_string(first)));
    }
    return writer.text();
}

std::string hex(std::size_t n) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%zX", n);
    return buf;
}

/// A book as Thunderbird writes one: a large column dictionary, rows with every column (empty
/// ones as literals), and later edits appended as transactions.
std::string thunderbirdBook(const std::vector<Entry>& contacts) {
    static const char* const kColumns[] = {
        "FirstName", "LastName",  "DisplayName", "NickName",         "PrimaryEmail",
        "WorkPhone", "HomePhone", "HomeAddress", "HomeCity",         "HomeZipCode",
        "Company",   "Notes",     "SecondEmail", "PreferMailFormat", "PopularityIndex"};
    std::string text =
        "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n< <(a=c)> // (f=iso-8859-1)\n"
        "  (80=ns:addrbk:db:row:scope:card:all)(81=ns:addrbk:db:row:scope:list:all)\n"
        "  (82=ns:addrbk:db:row:scope:data:all)(83=ns:addrbk:db:table:kind:pab)\n";
    for (std::size_t c = 0; c < 60; ++c) {
        text += "(" + hex(0x90 + c) + "=" +
                (c < std::size(kColumns) ? kColumns[c] : "Custom" + std::to_string(c)) + ")";
        if (c % 5 == 4) text += "\n  ";
    }
    text += ">\n";
    std::size_t atom = 0x80;
    std::string atoms = "<";
    std::string rows = "{1:^80 {(k^83:c)(s=9)} \n  [1:^82(^9F=0)]\n";
    const Field fields[] = {Field::FirstName,      Field::LastName,     Field::FullName,
                            Field::Nickname,       Field::Email,        Field::BusinessPhone,
                            Field::HomePhone,      Field::HomeStreet,   Field::HomeCity,
                            Field::HomePostalCode, Field::Organization, Field::Notes};
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        rows += "  [" + hex(i + 1);
        for (std::size_t c = 0; c < 60; ++c) {
            rows += "(^" + hex(0x90 + c);
            if (c < std::size(fields) && !contacts[i][fields[c]].empty()) {
                atoms += "(" + hex(atom) + "=";
                mork::appendEscaped(atoms, contacts[i][fields[c]]);
                atoms += ")";
                rows += "^" + hex(atom++) + ")";
            } else {
                rows += "=)";
            }
            if (c % 6 == 5) rows += "\n    ";
        }
        rows += "]\n";
    }
    text += atoms + ">\n" + rows + "}\n";
    for (std::size_t i = 0; i < contacts.size(); i += 10) {
        const std::string id = hex(atom++);
        text += "@$${" + hex(i + 2) + "{@\n<(" + id + "=edited " + std::to_string(i) + ")>\n[-" +
                hex(i + 1) + ":^80(^92^" + id + ")(^94=e" + std::to_string(i) +
                "@example.org)]\n@$$}" + hex(i + 2) + "}@\n";
    }
    return text;
}

/// Reads every card and list member of `text`: from the file when `fromFile`, otherwise from
/// memory (filled outside the timing, as reading the file is not what is measured then).
void readBook(benchmark::State& state, const std::string& text, bool fromFile) {
    const std::string path = tempFile(fromFile ? "file" : "memory", text);
    for (auto _ : state) {
        vesk::RecordingRun run;
        std::unique_ptr<iterators::IterMAB> reader;
        if (fromFile) {
            reader = std::make_unique<iterators::IterMAB>(run, path);
        } else {
            state.PauseTiming();
            LargeBytes bytes = allocateLargeBytes(text.size());
            std::copy(text.begin(), text.end(), bytes.get());
            state.ResumeTiming();
            reader = std::make_unique<iterators::IterMAB>(run, path, std::move(bytes), text.size());
        }
        std::size_t cards = 0;
        while (!reader->atEnd()) {
            const Entry e = reader->nextEntry();
            if (!e.isEmpty()) ++cards;
        }
        std::size_t members = 0;
        while (!reader->listsDone()) {
            IterBase* list = reader->nextList();
            while (list && !list->atEnd()) {
                benchmark::DoNotOptimize(list->nextEntry());
                ++members;
            }
        }
        if (cards != static_cast<std::size_t>(state.range(0))) state.SkipWithError("lost cards");
        state.counters["members"] = static_cast<double>(members);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    std::remove(path.c_str());
}

std::vector<Entry> contactsFor(const benchmark::State& state) {
    // Exact duplicates would be de-duplicated by a book, not by a writer: none here.
    return generateContacts(static_cast<std::size_t>(state.range(0)),
                            {.seed = 21, .exactDuplicates = 0.0, .nearDuplicates = 0.0});
}

void BM_MorkWrite(benchmark::State& state) {
    const std::vector<Entry> contacts = contactsFor(state);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = writeBook(contacts);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MorkWrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MorkRead(benchmark::State& state) {
    readBook(state, writeBook(contactsFor(state)), false);
}
BENCHMARK(BM_MorkRead)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MorkReadThunderbirdShaped(benchmark::State& state) {
    readBook(state, thunderbirdBook(contactsFor(state)), false);
}
BENCHMARK(BM_MorkReadThunderbirdShaped)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same book from its file: what a user waits for, the system's file reading included.
void BM_MorkReadFile(benchmark::State& state) {
    readBook(state, writeBook(contactsFor(state)), true);
}
BENCHMARK(BM_MorkReadFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vesk::bench
