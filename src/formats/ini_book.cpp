#include "formats/ini_book.h"

#include "parsing/sniff_text.h"
#include "parsing/tagged_file.h"

namespace vesk {

namespace {

Sniff sniffIniBook(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    if (!line.starts_with("[") || line.find(']') == std::string_view::npos) return Sniff::No;
    return sniff::containsNoCase(head, "\nEmail=") ? Sniff::Yes : Sniff::No;
}

}  // namespace

const FormatInfo& iniBookFormat() {
    static const FormatInfo info = {
        .id = "ini_book",
        .displayName = "INI address book",
        .extensions = {"ini"},
        .reads = true,
        .readFields = iterators::IterFile::fromText("", iterators::IterFile::Ini)->formatMask(),
        .sniff = &sniffIniBook,
        .reader = &iterators::taggedReader<iterators::IterFile::Ini>,
        .docsPage = "ini_book.md",
    };
    return info;
}

}  // namespace vesk
