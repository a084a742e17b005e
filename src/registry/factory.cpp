#include "registry/factory.h"

#include <map>

#include "formats/csv.h"
#include "formats/html_book.h"
#include "formats/kynt.h"
#include "formats/ldif.h"
#include "parsing/tagged_file.h"
#include "parsing/vcard_cards.h"
#include "platform/trace.h"
#include "stores/juno.h"
#include "stores/nickname_text.h"
#include "stores/simeon.h"

namespace vesk {

namespace {

constexpr int kEudora = 8;
constexpr int kPine = 11;

/// The general tagged-text reader; an extension it has no table for gets no reader at all, so
/// the user hears that the file type is unknown instead of seeing an empty book.
std::unique_ptr<IterBase> generalFileReader(const FormatArgs& a) {
    if (a.subKind == 0) return nullptr;
    return readerOfFileAndSubKind<iterators::IterFile>(a);
}

// One row a line, so that a format is wired in by naming its maker in its row.
// clang-format off
// Reader rows, tried in this order; the first match decides.
// Rows with no extension and a format number are chosen by that number only (the stores the
// application dispatch names); the row with neither is the general file reader.
const std::vector<FormatRow> kReaderRows = {
    {"", 13, -1, "Windows Address Book (Outlook Express)", nullptr, nullptr},  // TODO(wab): &readerOfFile<iterators::IterWAB>
    {"", 18, -1, "Microsoft Outlook", nullptr, nullptr},  // TODO(outlook): &readerOfFile<iterators::IterOL>
    {"simeon", -1, -1, "Simeon/Execmail export", &readerOfFile<iterators::IterSimeon>, nullptr},
    {"vcf;bab", -1, -1, "vCard", &readerOfFile<iterators::IterVCF>, nullptr},
    {"kynt", -1, -1, "Vesk archive", &readerOfFile<iterators::IterKYNT>, nullptr},
    {"txt", -1, kEudora, "plain text address list", &readerOfFileAs<iterators::IterTXT, 0>, nullptr},
    {"pml", -1, -1, "Pegasus Mail distribution list", &readerOfFileAs<iterators::IterTXT, 3>, nullptr},
    {"pmr", -1, -1, "Pegasus Mail address book", nullptr, nullptr},  // TODO(pegasus): &readerOfFile<iterators::IterPMR>
    {"csv", -1, -1, "CSV", &readerOfFileAs<iterators::IterCSV, 5>, nullptr},
    {"abx", -1, -1, "Corel address book export", &readerOfFileAs<iterators::IterCSV, 6>, nullptr},
    {"mab", -1, -1, "Mork address book", nullptr, nullptr},  // TODO(mork): &readerOfFile<iterators::IterMAB>
    {"dat", -1, -1, "Palm Desktop", nullptr, nullptr},  // TODO(palm): &readerOfFile<iterators::IterPALM>
    {"addressbook", kPine, -1, "Pine address book", &readerOfFile<iterators::IterPine>, nullptr},
    {"adr", -1, -1, "Opera hotlist", nullptr, nullptr},  // TODO(opera): &readerOfFileAndBase<iterators::IterOpera>
    {"xml;contact", -1, -1, "XML contacts", nullptr, nullptr},  // TODO(xml): &readerOfFile<iterators::IterXML>
    {"", -1, -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", &generalFileReader, nullptr},
};

// Writer rows; an extension no row names has no writer.
const std::vector<FormatRow> kWriterRows = {
    {"", 13, -1, "Windows Address Book (Outlook Express)", nullptr, nullptr},  // TODO(wab): &writerOfFile<ToWAB>
    {"", 18, -1, "Microsoft Outlook", nullptr, nullptr},  // TODO(outlook): &writerOfFile<ToOL>
    {"ldif", -1, -1, "LDIF", nullptr, &writerOfFile<ToLDIF>},
    {"", kEudora, -1, "Eudora nicknames", nullptr, +[](const FormatArgs& a) -> std::unique_ptr<ToBase> { return std::make_unique<ToTXT>(a.fileName, "", "alias "); }},
    {"vcf;bab", -1, -1, "vCard", nullptr, &writerOfFile<ToVCF>},
    {"kynt", -1, -1, "Vesk archive", nullptr, &writerOfFile<ToKYNT>},
    {"txt", -1, -1, "plain text address list", nullptr, +[](const FormatArgs& a) -> std::unique_ptr<ToBase> { return std::make_unique<ToTXT>(a.fileName, "", ""); }},
    {"pml", -1, -1, "Pegasus Mail distribution list", nullptr, +[](const FormatArgs& a) -> std::unique_ptr<ToBase> { return std::make_unique<ToTXT>(a.fileName, "\\TITLE " + a.baseName + "\n", ""); }},
    {"csv", -1, -1, "CSV", nullptr, &writerOfFile<ToCSV>},
    {"mab", -1, -1, "Mork address book", nullptr, nullptr},  // TODO(mork): &writerOfFile<ToMAB>
    {"nv", -1, -1, "Juno", nullptr, &writerOfFile<ToNV>},
    {"xml", -1, -1, "XML contacts", nullptr, nullptr},  // TODO(xml): &writerOfFile<ToXML>
    {"htm;html", -1, -1, "Netscape 3 HTML", nullptr, &writerOfFile<ToHTML>},
    {"pmr", -1, -1, "Pegasus Mail address book", nullptr, nullptr},  // TODO(pegasus): &writerOfFileAndBase<ToPMR>
    {"adr", 19, -1, "Opera hotlist", nullptr, nullptr},  // TODO(opera): &writerOfFileAndBase<ToOpera>
};
// clang-format on

struct Override {
    ReaderMaker reader;
    WriterMaker writer;
};

std::map<std::string, Override>& overrides() {
    static std::map<std::string, Override> o;
    return o;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool extensionIn(const char* list, const std::string& ext) {
    std::string_view rest(list);
    while (!rest.empty()) {
        const std::size_t semi = rest.find(';');
        if (rest.substr(0, semi) == ext) return true;
        if (semi == std::string_view::npos) break;
        rest.remove_prefix(semi + 1);
    }
    return false;
}

bool isGeneralRow(const FormatRow& row) {
    return row.extensions[0] == '\0' && row.formatNumber < 0;
}

bool rowMatches(const FormatRow& row, const std::string& ext, int formatNumber) {
    if (row.notForFormat >= 0 && row.notForFormat == formatNumber) return false;
    if (row.formatNumber >= 0 && row.formatNumber == formatNumber) return true;
    return row.extensions[0] != '\0' && extensionIn(row.extensions, ext);
}

}  // namespace

FormatArgs formatArgs(const std::string& fileName, int formatNumber) {
    const std::string ext = fileExtension(fileName);
    FormatArgs a;
    a.fileName = fileName;
    a.baseName = fileBaseName(fileName);
    a.formatNumber = formatNumber;
    if (ext == "ldif")
        a.subKind = 2;
    else if (ext == "htm" || ext == "html")
        a.subKind = 1;
    else if (ext == "nv")
        a.subKind = 9;
    else if (ext == "ini")
        a.subKind = 14;
    if (formatNumber == kEudora) a.subKind = 8;
    return a;
}

namespace {

std::size_t nameStart(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    return slash == std::string_view::npos ? 0 : slash + 1;
}

}  // namespace

std::string fileExtension(std::string_view fileName) {
    // Only the file's own name counts: "/home/a.b/book" has no extension.
    const std::string_view name = fileName.substr(nameStart(fileName));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : lower(name.substr(dot + 1));
}

std::string fileBaseName(std::string_view fileName) {
    const std::string_view name = fileName.substr(nameStart(fileName));
    return std::string(name.substr(0, name.rfind('.')));
}

const std::vector<FormatRow>& readerRows() {
    return kReaderRows;
}
const std::vector<FormatRow>& writerRows() {
    return kWriterRows;
}

void setFormatOverride(const std::string& extension, ReaderMaker reader, WriterMaker writer) {
    if (!reader && !writer) {
        overrides().erase(lower(extension));
    } else {
        overrides()[lower(extension)] = {reader, writer};
    }
}

const FormatRow* readerRowFor(const std::string& fileName, int formatNumber) {
    const std::string ext = fileExtension(fileName);
    for (const FormatRow& row : kReaderRows) {
        if (isGeneralRow(row) || rowMatches(row, ext, formatNumber)) return &row;
    }
    return nullptr;
}

const FormatRow* writerRowFor(const std::string& fileName, int formatNumber) {
    const std::string ext = fileExtension(fileName);
    for (const FormatRow& row : kWriterRows) {
        if (rowMatches(row, ext, formatNumber)) return &row;
    }
    return nullptr;
}

std::unique_ptr<IterBase> createReader(const std::string& fileName, int formatNumber) {
    debugTrace(0, "Detecting file type by extension.", "Debug");
    const FormatArgs args = formatArgs(fileName, formatNumber);
    const std::string ext = fileExtension(fileName);
    if (auto o = overrides().find(ext); o != overrides().end() && o->second.reader) {
        return o->second.reader(args);
    }
    const FormatRow* row = readerRowFor(fileName, formatNumber);
    if (!row || !row->reader) return nullptr;
    if (ext == "mab") {
        debugTrace(0, "File is Mozilla Address Book", "Debug");
        debugTrace(0, "Declaring structure", "Debug");
    }
    auto reader = row->reader(args);
    if (ext == "mab") debugTrace(0, "About to process the file", "Debug");
    return reader;
}

std::unique_ptr<ToBase> createWriter(const std::string& fileName, int formatNumber) {
    debugTrace(0, "Reading File Name", "Debug");
    debugTrace(0, "Singling out the extension", "Debug");
    const std::string ext = fileExtension(fileName);
    debugTrace(0, "Creating iterator based on file type", "Debug");
    if (auto o = overrides().find(ext); o != overrides().end() && o->second.writer) {
        return o->second.writer(formatArgs(fileName, formatNumber));
    }
    const FormatRow* row = writerRowFor(fileName, formatNumber);
    return row && row->writer ? row->writer(formatArgs(fileName, formatNumber)) : nullptr;
}

std::unique_ptr<IterBase> createReaderOf(int formatNumber, const std::string& fileName) {
    for (const FormatRow& row : kReaderRows) {
        if (row.formatNumber == formatNumber) {
            return row.reader ? row.reader(formatArgs(fileName, formatNumber)) : nullptr;
        }
    }
    return nullptr;
}

std::unique_ptr<ToBase> createWriterOf(int formatNumber, const std::string& fileName) {
    for (const FormatRow& row : kWriterRows) {
        if (row.formatNumber == formatNumber) {
            return row.writer ? row.writer(formatArgs(fileName, formatNumber)) : nullptr;
        }
    }
    return nullptr;
}

bool hasReaderFor(const std::string& fileName, int formatNumber) {
    const std::string ext = fileExtension(fileName);
    if (auto o = overrides().find(ext); o != overrides().end() && o->second.reader) return true;
    const FormatRow* row = readerRowFor(fileName, formatNumber);
    return row && row->reader;
}

bool hasWriterFor(const std::string& fileName, int formatNumber) {
    const std::string ext = fileExtension(fileName);
    if (auto o = overrides().find(ext); o != overrides().end() && o->second.writer) return true;
    const FormatRow* row = writerRowFor(fileName, formatNumber);
    return row && row->writer;
}

}  // namespace vesk
