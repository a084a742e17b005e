#include "formats/csv_format.h"

#include <string>
#include <vector>

#include "formats/csv.h"
#include "parsing/sniff_text.h"

namespace vesk {

namespace {

/// A heading line that names at least two contact fields is a CSV file; records that agree on
/// their number of separators may be one.
Sniff sniffCsv(std::string_view head) {
    const std::string_view first = sniff::firstContentLine(head);
    const char separator = csv::detectSeparator(first);
    if (sniff::countOf(first, separator) == 0) return Sniff::No;
    csv::Scanner scanner(first, separator);
    std::vector<csv::Cell> cells;
    scanner.record(0, cells);
    int known = 0;
    for (const csv::Cell& cell : cells) {
        if (csvAutomaticField(csv::trimHeading(scanner.value(cell))) >= 0) ++known;
    }
    if (known >= 2) return Sniff::Yes;
    const std::string_view second = sniff::nextContentLine(head, first);
    return sniff::countOf(second, separator) == sniff::countOf(first, separator) ? Sniff::Maybe
                                                                                 : Sniff::No;
}

std::unique_ptr<IterBase> readCsv(const FormatArgs& a) {
    return std::make_unique<iterators::IterCSV>(a.run, a.fileName, kCsvFormat);
}
std::unique_ptr<IterBase> readAbx(const FormatArgs& a) {
    return std::make_unique<iterators::IterCSV>(a.run, a.fileName, kAbxFormat);
}

}  // namespace

namespace {

/// A second e-mail address and the birthday have columns of their own.
ExtraMask csvExtras() {
    ExtraMask m;
    m.set(static_cast<std::size_t>(ExtraKind::Email));
    m.set(static_cast<std::size_t>(ExtraKind::Birthday));
    return m;
}

}  // namespace

const FormatInfo& csvFormat() {
    static const FormatInfo info = {
        .id = "csv",
        .displayName = "CSV",
        .extensions = {"csv"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .sharedExtension = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .readExtras = csvExtras(),
        .writeExtras = csvExtras(),
        .extraEmailLimit = 1,
        .datesAsText = true,
        .sniff = &sniffCsv,
        .reader = &readCsv,
        .writer = &writerOfFile<ToCSV>,
        .openFilters = {{"Comma separated value files (*.csv)", "*.csv", 5}},
        .saveFilters = {{"Comma Separated Values (*.csv)", "*.csv", 5}},
        .docsPage = "csv.md",
    };
    return info;
}

const FormatInfo& abxFormat() {
    static const FormatInfo info = {
        .id = "abx",
        .displayName = "Corel address book export",
        .extensions = {"abx"},
        .reads = true,
        .readFields = allFields(),
        .reader = &readAbx,
        .openFilters = {{"WordPerfect 8 files (*.abx)", "*.abx", 6}},
        .docsPage = "csv.md",
    };
    return info;
}

}  // namespace vesk
