#include "formats/kynt.h"

#include "parsing/sniff_text.h"
#include "text/text_io.h"

namespace vesk {

namespace {

constexpr std::string_view kHeaderName = "KYNTv1";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || isBlank(s.back()))) s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

/// "<folder" or "<list" followed by a blank or the end of the tag.
bool isOpenTag(std::string_view line, std::string_view tag) {
    if (!startsWithNoCase(line, tag)) return false;
    return line.size() == tag.size() || isBlank(line[tag.size()]) || line[tag.size()] == '>';
}

/// Case-insensitive search for ASCII `needle` in `hay`.
std::size_t findNoCase(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        if (equalNoCase(hay.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

}  // namespace

namespace kynt {

std::string escapeName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string unescapeName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out.push_back(text[i]);
            continue;
        }
        const std::size_t semi = text.find(';', i + 1);
        if (semi == std::string_view::npos || semi - i > 10) {
            out.push_back('&');
            continue;
        }
        const std::string_view entity = text.substr(i + 1, semi - i - 1);
        char32_t cp = 0;
        if (entity == "amp") {
            cp = '&';
        } else if (entity == "quot") {
            cp = '"';
        } else if (entity == "lt") {
            cp = '<';
        } else if (entity == "gt") {
            cp = '>';
        } else if (entity == "apos") {
            cp = '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            for (std::size_t k = hex ? 2 : 1; k < entity.size() && cp <= 0x10FFFF; ++k) {
                const char d = entity[k];
                int v = -1;
                if (d >= '0' && d <= '9') v = d - '0';
                if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
                if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
                if (v < 0) {
                    cp = 0;
                    break;
                }
                cp = cp * (hex ? 16u : 10u) + static_cast<char32_t>(v);
            }
        }
        if (cp == 0) {
            out.push_back('&');
            continue;
        }
        appendUtf8(out, cp);
        i = semi;
    }
    return out;
}

}  // namespace kynt

namespace iterators {

IterKYNT::IterKYNT(RunContext& run, const std::string& fileName) : IterVCF(run, fileName) {
    // The archive's time is the first REV line: the header card's in every file we write.
    const std::string_view text(m_text);
    for (std::size_t pos = 0; pos < text.size(); pos = lineEnd(pos) + 1) {
        if ((text[pos] != 'R' && text[pos] != 'r') || !startsWithNoCase(text.substr(pos), "REV:")) {
            continue;
        }
        std::int64_t t = 0;
        if (vcard::parseRevision(text.substr(pos + 4, lineEnd(pos) - pos - 4), t)) {
            m_revisionTime = t;
        }
        break;
    }
    IterKYNT::rewind();
}

bool IterKYNT::rewind() {
    m_open.clear();
    m_openFolders = m_openLists = m_realFolders = 0;
    return IterVCF::rewind();
}

IterKYNT::Tag IterKYNT::tagAt(std::size_t lineStart) const {
    if (lineStart >= m_text.size() || m_text[lineStart] != '<') return Tag::None;
    const std::string_view line =
        trimRight(std::string_view(m_text).substr(lineStart, lineEnd(lineStart) - lineStart));
    if (equalNoCase(line, "</folder>")) return Tag::FolderClose;
    if (equalNoCase(line, "</list>")) return Tag::ListClose;
    if (isOpenTag(line, "<folder")) return Tag::FolderOpen;
    if (isOpenTag(line, "<list")) return Tag::ListOpen;
    return Tag::None;
}

std::size_t IterKYNT::findNextItem(std::size_t from) const {
    // Markers count only at the start of a line outside any card, so a value holding
    // "<list" or "BEGIN:VCARD" cannot split a card; each line is looked at once.
    for (std::size_t pos = from; pos < m_text.size(); pos = lineEnd(pos) + 1) {
        if (isCardStart(pos) || tagAt(pos) != Tag::None) return pos;
    }
    return std::string::npos;
}

bool IterKYNT::endsCard(std::string_view line) const {
    return !line.empty() && line[0] == '<';
}

Entry IterKYNT::nextEntry() {
    if (m_end || m_position == std::string::npos) {
        m_end = true;
        return Entry();
    }
    if (isCardStart(m_position)) {
        std::size_t end = 0;
        Entry e = readCard(m_position, end);
        m_itemEnd = end;
        nextCard();
        if (e[Field::FullName] == kHeaderName) return Entry();
        return e;
    }
    Entry e;
    bool advance = true;
    switch (tagAt(m_position)) {
        case Tag::FolderOpen:
            e = openElement(true);
            break;
        case Tag::ListOpen:
            e = openElement(false);
            break;
        case Tag::FolderClose:
            e = closeElement(true, advance);
            break;
        case Tag::ListClose:
            e = closeElement(false, advance);
            break;
        case Tag::None:
            break;
    }
    if (advance) nextCard();
    return e;
}

Entry IterKYNT::openElement(bool folder) {
    const std::string_view line =
        trimRight(std::string_view(m_text).substr(m_position, lineEnd(m_position) - m_position));
    // The name runs from name=" to the last quote before the ">" that ends the tag, so
    // names written unescaped by older versions keep their quotes and brackets.
    std::string_view name;
    bool found = false;
    const std::size_t key = findNoCase(line, "name=\"");
    if (key != std::string_view::npos) {
        const std::size_t start = key + 6;
        std::size_t close = line.rfind('>');
        if (close == std::string_view::npos || close < start) close = line.size();
        const std::size_t quote = line.substr(0, close).rfind('"');
        if (quote != std::string_view::npos && quote >= start) {
            name = line.substr(start, quote - start);
            found = true;
        }
    }
    // Lists hold only cards, and folders nest only so deep; anything else keeps its contents
    // but is not an element of its own.
    if (folder) {
        ++m_openFolders;
        if (!found || m_openLists > 0 || m_realFolders >= kMaxFolderDepth) {
            m_open.push_back(Element::IgnoredFolder);
            return Entry();
        }
        ++m_realFolders;
        m_open.push_back(Element::Folder);
        return markerEntry(KindFolderBegin, kynt::unescapeName(name));
    }
    ++m_openLists;
    if (!found || m_openLists > 1) {
        m_open.push_back(Element::IgnoredList);
        return Entry();
    }
    m_open.push_back(Element::List);
    return markerEntry(KindListBegin, kynt::unescapeName(name));
}

Entry IterKYNT::closeElement(bool folder, bool& advance) {
    advance = true;
    if ((folder ? m_openFolders : m_openLists) == 0) return Entry();  // nothing to close
    const Element top = m_open.back();
    m_open.pop_back();
    const bool topIsFolder = top == Element::Folder || top == Element::IgnoredFolder;
    if (topIsFolder) {
        --m_openFolders;
    } else {
        --m_openLists;
    }
    advance = topIsFolder == folder;
    switch (top) {
        case Element::Folder:
            --m_realFolders;
            return markerEntry(KindFolderEnd, {});
        case Element::List:
            return markerEntry(KindListEnd, {});
        default:
            return Entry();
    }
}

}  // namespace iterators

ToKYNT::ToKYNT(RunContext& run, std::string fileName, std::int64_t revisionTime,
               const FieldMask& mask)
    : ToVCF(run, std::move(fileName)) {
    keepsUndated = false;  // every card of the archive carries its time
    wantsFolders = true;
    wantsLists = true;
    mergesExisting = false;
    m_text += "<?xml version=\"1.0\"?>\n<!DOCTYPE adbook>\n<adbook>\n";
    m_text += "BEGIN:VCARD\nVERSION:2.1\nN:KYNTv1\nFN:KYNTv1\nREV:";
    m_text += vcard::formatRevision(revisionTime);
    m_text += "\nX-KYNT-SUPPORTED:";
    m_text += maskToText(mask);
    m_text += "\nEND:VCARD\n";
}

ToKYNT::ToKYNT(RunContext& run, std::string fileName)
    : ToKYNT(run, std::move(fileName), currentTime(), FieldMask().set()) {}

bool ToKYNT::writeView(const Entry& e) {
    switch (e.kind) {
        case KindFolderBegin:
            m_text += "<folder name=\"" + kynt::escapeName(e[Field::FullName]) + "\">\n";
            return true;
        case KindFolderEnd:
            m_text += "</folder>\n";
            return true;
        case KindListBegin:
            m_text += "<list name=\"" + kynt::escapeName(e[Field::FullName]) + "\">\n";
            return true;
        case KindListEnd:
            m_text += "</list>\n";
            return true;
        default:
            writeCard(e);
            return true;
    }
}

void ToKYNT::end() {
    m_text += "</adbook>\n";
}

namespace {

Sniff sniffKynt(std::string_view head) {
    if (sniff::containsNoCase(head, "<!DOCTYPE adbook>")) return Sniff::Yes;
    return sniff::containsNoCase(head, "<adbook>") ? Sniff::Maybe : Sniff::No;
}

}  // namespace

const FormatInfo& kyntFormat() {
    static const FormatInfo info = {
        .id = "kynt",
        .displayName = "Vesk archive",
        .extensions = {"kynt"},
        .reads = true,
        .writes = true,
        .holdsFolders = true,
        .holdsLists = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .readExtras = allExtras(),
        .writeExtras = allExtras(),
        .datesAsText = true,
        .sniff = &sniffKynt,
        .reader = &readerOfFile<iterators::IterKYNT>,
        .writer = &writerOfFile<ToKYNT>,
        .docsPage = "kynt.md",
    };
    return info;
}

}  // namespace vesk
