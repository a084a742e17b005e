#include "formats/vcard.h"

#include "parsing/sniff_text.h"
#include "parsing/vcard_cards.h"

namespace vesk {

namespace {

Sniff sniffVcard(std::string_view head) {
    if (sniff::startsWithNoCase(sniff::firstContentLine(head), "BEGIN:VCARD")) return Sniff::Yes;
    return sniff::containsNoCase(head, "\nBEGIN:VCARD") ? Sniff::Maybe : Sniff::No;
}

}  // namespace

const FormatInfo& vcardFormat() {
    static const FormatInfo info = {
        .id = "vcard",
        .displayName = "vCard",
        .extensions = {"vcf", "bab"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .readExtras = allExtras(),
        .writeExtras = allExtras(),
        .datesAsText = true,
        .sniff = &sniffVcard,
        .reader = &readerOfFile<iterators::IterVCF>,
        .writer = &writerOfFile<ToVCF>,
        .openFilters = {{"Becky! Address Books (*.bab)", "*.bab", 10},
                        {"vCard Files (*.vcf)", "*.vcf", 11}},
        .saveFilters = {{"Becky! Address Book (*.bab)", "*.bab", 8}},
        .docsPage = "vcard.md",
    };
    return info;
}

}  // namespace vesk
