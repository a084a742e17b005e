#include "registry/registry.h"

#include <fstream>

#include "text/text_io.h"

namespace vesk {

namespace {

constexpr std::size_t kHeadSize = 4096;

std::size_t nameStart(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool selects(const FormatInfo& f, std::string_view ext, Application app) {
    if (app != Application::None && app == f.notFor) return false;
    if (f.serves(app)) return true;
    return !ext.empty() && f.hasExtension(ext);
}

std::string rawHead(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string bytes(kHeadSize, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

/// The head without a UTF-8 sequence cut off at its end, so that it still decodes as UTF-8.
std::string_view wholeSequences(std::string_view head) {
    for (std::size_t cut = 0; cut < 4 && cut < head.size(); ++cut) {
        const std::string_view part = head.substr(0, head.size() - cut);
        if (isValidUtf8(part)) return part;
    }
    return head;
}

struct Magic {
    std::string_view bytes;
    const char* what;
};

constexpr Magic kMagic[] = {
    {"%PDF", "a PDF document"},
    {"PK\x03\x04", "a ZIP archive"},
    {"\x89PNG", "a PNG image"},
    {"\xFF\xD8\xFF", "a JPEG image"},
    {"GIF8", "a GIF image"},
    {"\x1F\x8B", "gzip-compressed data"},
    {"SQLite format 3", "an SQLite database"},
    {"{\\rtf", "an RTF document"},
    {"\xD0\xCF\x11\xE0", "an Office document"},
};

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

Registry::Registry(std::vector<const FormatInfo*> rows) : m_rows(std::move(rows)) {}

Registry Registry::withExtra(std::vector<const FormatInfo*> extra) {
    const std::vector<const FormatInfo*>& own = builtIn().formats();
    extra.insert(extra.end(), own.begin(), own.end());
    return Registry(std::move(extra));
}

const FormatInfo* Registry::byId(std::string_view id) const {
    for (const FormatInfo* f : m_rows) {
        if (f->id == id) return f;
    }
    return nullptr;
}

const FormatInfo* Registry::readerFormatFor(std::string_view fileName, Application app) const {
    const std::string ext = fileExtension(fileName);
    for (const FormatInfo* f : m_rows) {
        if (f->reads && selects(*f, ext, app)) return f;
    }
    return nullptr;
}

const FormatInfo* Registry::writerFormatFor(std::string_view fileName, Application app) const {
    const std::string ext = fileExtension(fileName);
    for (const FormatInfo* f : m_rows) {
        if (f->writes && selects(*f, ext, app)) return f;
    }
    return nullptr;
}

const FormatInfo* Registry::readerFormatOf(Application app) const {
    for (const FormatInfo* f : m_rows) {
        if (f->reads && f->serves(app)) return f;
    }
    return nullptr;
}

const FormatInfo* Registry::writerFormatOf(Application app) const {
    for (const FormatInfo* f : m_rows) {
        if (f->writes && f->serves(app)) return f;
    }
    return nullptr;
}

const FormatInfo* Registry::sniff(std::string_view head) const {
    for (const FormatInfo* f : m_rows) {
        if (f->reads && f->sniff && f->sniff(head) == Sniff::Yes) return f;
    }
    return nullptr;
}

ReaderChoice Registry::chooseReader(const std::string& fileName, Application app) const {
    ReaderChoice choice;
    if (app != Application::None && app != Application::Other) {
        // The user said which program wrote the file.
        choice.format = readerFormatFor(fileName, app);
        return choice;
    }
    choice.format = readerFormatFor(fileName, Application::None);
    if (choice.format && !choice.format->sharedExtension) return choice;

    const std::string raw = rawHead(fileName);
    const std::string head = decodeText(wholeSequences(raw));
    const FormatInfo* sniffed = sniff(head);
    if (!choice.format) {
        choice.format = sniffed;
        choice.bySniffing = sniffed != nullptr;
        if (!sniffed) choice.looksLike = describeContent(raw);
        return choice;
    }
    // sniff() returns only sure matches; the extension's own format keeps a file it is sure of.
    const bool ownSure = choice.format->sniff && choice.format->sniff(head) == Sniff::Yes;
    if (sniffed && !ownSure) {
        choice.format = sniffed;
        choice.bySniffing = true;
    }
    return choice;
}

std::unique_ptr<IterBase> makeReader(RunContext& run, const FormatInfo& format,
                                     const std::string& fileName, Application app) {
    if (!format.reader) return nullptr;
    return format.reader(FormatArgs{run, fileName, fileBaseName(fileName), app});
}

std::unique_ptr<ToBase> makeWriter(RunContext& run, const FormatInfo& format,
                                   const std::string& fileName, Application app,
                                   const std::string& folderPath) {
    if (!format.writer) return nullptr;
    return format.writer(FormatArgs{run, fileName, fileBaseName(fileName), app, folderPath});
}

std::string describeContent(std::string_view raw) {
    if (raw.empty()) return "an empty file";
    for (const Magic& m : kMagic) {
        if (raw.starts_with(m.bytes)) return m.what;
    }
    const bool utf16 = raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF");
    if (!utf16 && raw.find('\0') != std::string_view::npos) return "binary data";
    const std::string text = decodeText(wholeSequences(raw));
    std::string_view line = text;
    const std::size_t start = line.find_first_not_of(" \t\n");
    if (start == std::string_view::npos) return "blank text";
    line.remove_prefix(start);
    line = line.substr(0, line.find('\n'));
    std::string shown(truncateCodePoints(line, 40));
    if (shown.size() < line.size()) shown += "...";
    return "text beginning \"" + shown + "\"";
}

}  // namespace vesk
