#include "stores/nickname_text.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

#include "parsing/eudora_nicknames.h"
#include "parsing/sniff_text.h"
#include "parsing/tagged_file.h"
#include "platform/prompt.h"
#include "text/text_io.h"

namespace vesk {

namespace {

/// Characters a backslash escapes in a text list. Other backslashes are data, so names such
/// as DOMAIN\user in lists written by other programs read as before.
bool isEscapable(char c) {
    return c == '\\' || c == '"' || c == '<' || c == '>' || c == ',';
}

std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && isEscapable(s[i + 1])) ++i;
        out.push_back(s[i]);
    }
    return out;
}

/// Escapes the characters in `special`, and every backslash that the reader would otherwise
/// take as the start of an escape (before an escapable character, or at the end where the
/// closing quote or bracket follows). Line breaks become one blank: a line is one item.
std::string quoteFor(std::string_view value, std::string_view special) {
    std::string out;
    out.reserve(value.size() + 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out.push_back(' ');
        } else if (c == '\\') {
            const bool ambiguous = i + 1 == value.size() || isEscapable(value[i + 1]);
            if (ambiguous) out.push_back('\\');
            out.push_back(c);
        } else {
            if (special.find(c) != std::string_view::npos) out.push_back('\\');
            out.push_back(c);
        }
    }
    return out;
}

FieldMask maskOf(std::initializer_list<Field> fields) {
    FieldMask mask;
    for (Field f : fields) mask.set(static_cast<std::size_t>(f));
    return mask;
}

void reportUnopenable(RunContext& run, const std::string& fileName) {
    run.report(Severity::Error, "file cannot be opened!", fileName, Where{fileName});
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr std::string_view kDeletedMark = "#DELETED-";

}  // namespace

std::string quoteListName(std::string_view name) {
    return quoteFor(name, "\"");
}
std::string quoteListAddress(std::string_view address) {
    return quoteFor(address, "\"<>,");
}

namespace iterators {

// ---------------------------------------------------------------------------------------------
// IterTXT

IterTXT::IterTXT(RunContext& run, std::string fileName, int mode, std::string name,
                 std::string text)
    : m_mode(mode), m_mask(maskOf({Field::FullName, Field::Email})) {
    if (mode == kModeGiven) {
        m_text = std::move(text);
        m_name = std::move(name);
    } else if (auto loaded = readTextFile(fileName, {.fallbackCharset = run.sourceEncoding})) {
        m_text = std::move(*loaded);
    } else {
        reportUnopenable(run, fileName);
    }
    if (mode == kModePegasus) m_listTitle = std::filesystem::path(fileName).stem().string();
    rewind();
}

bool IterTXT::rewind() {
    m_pos = 0;
    if (m_mode == kModePegasus) skipPegasusHeader();
    return true;
}

void IterTXT::skipPegasusHeader() {
    // An empty file holds no list at all; one with only a title is an empty list.
    const bool blank = m_text.find_first_not_of(" \t\r\n") == std::string::npos;
    m_listPart = blank ? ListPart::Done : ListPart::Begin;
    // Only the header lines ("\TITLE", "\NOSIG", ...) are skipped: a member such as
    // DOMAIN\user further down is data.
    while (m_pos < m_text.size() && m_text[m_pos] == '\\') {
        std::size_t lf = m_text.find('\n', m_pos);
        if (lf == std::string::npos) lf = m_text.size();
        const std::string_view line = std::string_view(m_text).substr(m_pos, lf - m_pos);
        if (line.size() > 7 && equalNoCase(line.substr(0, 7), "\\TITLE ")) {
            const std::string_view title = line.substr(7);
            const std::size_t b = title.find_first_not_of(" \t\r");
            if (b != std::string_view::npos) {
                m_listTitle = std::string(title.substr(b, title.find_last_not_of(" \t\r") + 1 - b));
            }
        }
        m_pos = lf < m_text.size() ? lf + 1 : lf;
    }
}

bool IterTXT::atEnd() {
    if (m_mode == kModePegasus) return m_listPart == ListPart::Done;
    return m_pos >= m_text.size();
}

Entry IterTXT::listMarker(EntryKind kind) const {
    Entry marker = markerEntry(kind, m_listTitle);
    marker.mask = m_mask;
    marker.revisionTime = 0;
    return marker;
}

float IterTXT::progress() {
    if (m_text.empty()) return 1.0f;
    return static_cast<float>(std::min(m_pos, m_text.size())) / static_cast<float>(m_text.size());
}

IterTXT::Item IterTXT::parseItem(std::string_view text, std::size_t start) {
    const std::size_t s = start;
    std::size_t n1 = 0, n2 = 0, a1 = 0, a2 = 0;
    bool hasN1 = false, hasN2 = false, hasA1 = false, hasA2 = false;
    // Marks derived from a neighbour stop at the neighbour's delimiter and drop the blanks
    // in between, so "Ann Lee<ann>" keeps its last letter and two blanks count as one.
    bool trimN1 = false, trimN2 = false, trimA1 = false, trimA2 = false;
    bool inQuotes = false;
    Item item;
    std::size_t e = text.size();
    for (std::size_t i = s; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && isEscapable(text[i + 1])) {
            ++i;
            continue;
        }
        if (c == '\n' || (c == ',' && !inQuotes)) {
            e = i;
            break;
        }
        if (c == '"') {
            if (!inQuotes) {
                inQuotes = true;
                n1 = i + 1;
                hasN1 = true;
                // An address written before the quoted name ends at the quote.
                if (i > s + 1 && !hasA2) {
                    a2 = i;
                    hasA2 = trimA2 = true;
                }
            } else {
                inQuotes = false;
                n2 = i;
                hasN2 = true;
                if (hasA1 && hasN1 && hasA2) {
                    e = i;
                    item.stoppedEarly = true;
                    break;
                }
            }
        } else if (!inQuotes && c == '<') {
            a1 = i + 1;
            hasA1 = true;
        } else if (!inQuotes && c == '>') {
            a2 = i;
            hasA2 = true;
            trimA2 = false;
            if (hasA1 && hasN1 && hasN2) {
                e = i;
                item.stoppedEarly = true;
                break;
            }
        }
    }

    // Complete the marks in this order; each rule may use the ones completed before it.
    if (!hasA1) {
        if (hasN1 && hasN2 && n2 + 1 < e) {  // the address follows the quoted name
            a1 = n2 + 1;
            trimA1 = true;
        } else {
            a1 = s;
        }
    }
    if (!hasA2) {
        if (hasN1 && hasN2 && n2 + 1 >= e && n1 > s + 2) {  // the address precedes the name
            a2 = n1 - 1;
            trimA2 = true;
        } else {
            a2 = e;
        }
    }
    if (!hasN1) {
        if (a2 + 1 < e) {  // the name follows the address
            n1 = a2 + 1;
            trimN1 = true;
        } else {
            n1 = s;
        }
    }
    if (!hasN2) {
        if (a2 + 1 < e) {
            n2 = e;
        } else if (a1 > s + 2) {  // the name precedes "<"
            n2 = a1 - 1;
            trimN2 = true;
        } else {
            n2 = n1 == s ? s : e;
        }
    }
    if (n1 > n2) n2 = n1;
    if (a1 > a2) a2 = a1;
    for (std::size_t* mark : {&n1, &n2, &a1, &a2}) *mark = std::clamp(*mark, s, e);

    auto cut = [&](std::size_t from, std::size_t to, bool trimFront, bool trimBack) {
        if (trimFront) {
            while (from < to && isBlank(text[from])) ++from;
        }
        if (trimBack) {
            while (to > from && isBlank(text[to - 1])) --to;
        }
        return unescape(text.substr(from, to - from));
    };
    item.name = cut(n1, n2, trimN1, trimN2);
    item.address = cut(a1, a2, trimA1, trimA2);
    item.end = e;
    return item;
}

Entry IterTXT::nextEntry() {
    if (m_mode == kModePegasus && m_listPart != ListPart::Members) {
        if (m_listPart == ListPart::Done) return listMarker(KindListEnd);
        m_listPart = ListPart::Members;
        return listMarker(KindListBegin);
    }
    if (m_mode == kModePegasus && m_pos >= m_text.size()) {
        m_listPart = ListPart::Done;
        return listMarker(KindListEnd);
    }
    Entry entry;
    entry.mask = m_mask;
    entry.revisionTime = 0;  // a text list keeps no times
    if (m_pos >= m_text.size()) return entry;
    const Item item = parseItem(m_text, m_pos);
    entry[Field::FullName] = item.name;
    entry[Field::Email] = item.address;

    m_pos = item.end + 1;
    while (m_pos < m_text.size() && m_text[m_pos] == ' ') ++m_pos;
    if (item.stoppedEarly && m_pos < m_text.size() && m_text[m_pos] != '\n') {
        // What follows a complete `"Name" <address>` on its line is a comment such as
        // "(work)", not another contact; only a comma starts a further item.
        std::size_t q = m_pos;
        while (q < m_text.size() && isBlank(m_text[q])) ++q;
        if (q < m_text.size() && m_text[q] == ',') {
            m_pos = q;
        } else {
            const std::size_t lf = m_text.find('\n', q);
            m_pos = lf == std::string::npos ? m_text.size() : lf;
        }
    }
    return entry;
}

// ---------------------------------------------------------------------------------------------
// IterPine

IterPine::IterPine(RunContext& run, std::string fileName)
    : m_run(run), m_mask(maskOf({Field::FullName, Field::Email, Field::Nickname, Field::Notes})) {
    if (auto loaded = readTextFile(fileName, {.fallbackCharset = run.sourceEncoding})) {
        m_text = std::move(*loaded);
    } else {
        reportUnopenable(run, fileName);
    }
    rewind();
}

bool IterPine::rewind() {
    m_pos = 0;
    m_pending.clear();
    skipBlankLines();
    return true;
}

bool IterPine::atEnd() {
    return m_pending.empty() && m_pos >= m_text.size();
}

float IterPine::progress() {
    if (m_text.empty()) return 1.0f;
    return static_cast<float>(m_pos) / static_cast<float>(m_text.size());
}

void IterPine::skipBlankLines() {
    // A blank line is no entry, and Pine books may hold some between entries. Pine keeps a
    // deleted entry too, its nickname prefixed "#DELETED-date#"; it is gone for the user.
    while (m_pos < m_text.size()) {
        if (m_text.compare(m_pos, kDeletedMark.size(), kDeletedMark) == 0) {
            readLogicalLine();
            continue;
        }
        std::size_t q = m_pos;
        while (q < m_text.size() && (isBlank(m_text[q]) || m_text[q] == '\r')) ++q;
        if (q < m_text.size() && m_text[q] != '\n') return;
        m_pos = q < m_text.size() ? q + 1 : q;
    }
}

std::string IterPine::readLogicalLine() {
    std::string line;
    bool first = true;
    while (m_pos < m_text.size()) {
        if (!first && m_text[m_pos] != ' ') break;
        std::size_t begin = m_pos;
        if (!first) {
            while (begin < m_text.size() && m_text[begin] == ' ') ++begin;
        }
        std::size_t lf = m_text.find('\n', begin);
        if (lf == std::string::npos) lf = m_text.size();
        line.append(m_text, begin, lf - begin);
        m_pos = lf < m_text.size() ? lf + 1 : lf;
        first = false;
    }
    return line;
}

void IterPine::queueList(const std::string& listName, std::string_view members) {
    Entry begin = markerEntry(KindListBegin, listName);
    begin.mask = m_mask;
    m_pending.push_back(std::move(begin));
    // Members are written like the items of a text list: "Name" <addr>, addr, or a nickname.
    IterTXT items(m_run, {}, IterTXT::kModeGiven, listName, std::string(members));
    while (!items.atEnd()) {
        const Entry item = items.nextEntry();
        auto trimmed = [](const std::string& v) {
            const std::size_t b = v.find_first_not_of(" \t");
            if (b == std::string::npos) return std::string();
            return v.substr(b, v.find_last_not_of(" \t") - b + 1);
        };
        const std::string name = trimmed(item[Field::FullName]);
        const std::string address = trimmed(item[Field::Email]);
        if (name.empty() && address.empty()) continue;
        Entry member;
        member.mask = m_mask;
        member[Field::FullName] = name;
        // A bare word without "@" names another entry of the book by its nickname.
        if (name.empty() && address.find('@') == std::string::npos) {
            member[Field::Nickname] = address;
        } else {
            member[Field::Email] = address;
        }
        m_pending.push_back(std::move(member));
    }
    Entry end = markerEntry(KindListEnd, listName);
    end.mask = m_mask;
    m_pending.push_back(std::move(end));
}

Entry IterPine::nextEntry() {
    if (!m_pending.empty()) {
        Entry e = std::move(m_pending.front());
        m_pending.pop_front();
        return e;
    }
    Entry entry;
    entry.mask = m_mask;
    entry.revisionTime = 0;  // Pine keeps no times
    const std::string line = readLogicalLine();
    skipBlankLines();

    std::array<std::string, 5> fields;
    std::size_t from = 0;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const std::size_t tab = line.find('\t', from);
        const bool last = tab == std::string::npos || f + 1 == fields.size();
        fields[f] = line.substr(from, last ? std::string::npos : tab - from);
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    entry[Field::Nickname] = fields[0];
    entry[Field::FullName] = fields[1];
    entry[Field::Notes] = fields[4];

    const std::string& address = fields[2];
    const std::size_t b = address.find_first_not_of(" \t");
    if (b != std::string::npos && address[b] == '(') {
        std::size_t e = address.find_last_not_of(" \t");
        if (address[e] == ')') --e;
        // Named as the user named it; nicknames are short handles that may repeat.
        const std::string listName = !fields[1].empty() ? fields[1] : fields[0];
        queueList(listName, std::string_view(address).substr(b + 1, e - b));
        Entry first = std::move(m_pending.front());
        m_pending.pop_front();
        return first;
    }
    entry[Field::Email] = address;
    return entry;
}

}  // namespace iterators

// ---------------------------------------------------------------------------------------------
// ToTXT

namespace {

/// Eudora keeps a line break inside a note value as ETX; a raw one would end the note line.
std::string eudoraNoteValue(std::string_view value, bool dropCloser) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out.push_back('\x03');
        } else if (c == '>' && dropCloser) {
            continue;  // it would close the tag early; Eudora has no escape for it
        } else {
            out.push_back(c);
        }
    }
    return out;
}

/// A value of the alias line: line breaks become blanks and `drop` characters go, since
/// Eudora reads a quoted name up to the next quote and an address up to the next ">".
std::string eudoraLineValue(std::string_view value, std::string_view drop) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out.push_back(' ');
        } else if (drop.find(c) == std::string_view::npos) {
            out.push_back(c);
        }
    }
    return out;
}

struct NoteTag {
    const char* tag;
    Field field;
};

constexpr NoteTag kNoteTags[] = {
    {"<phone2:", Field::BusinessPhone},
    {"<company:", Field::Organization},
    {"<phone:", Field::HomePhone},
    {"<first:", Field::FirstName},
    {"<last:", Field::LastName},
    {"<address:", Field::HomeStreet},
    {"<city:", Field::HomeCity},
    {"<state:", Field::HomeState},
    {"<country:", Field::HomeCountry},
    {"<zip:", Field::HomePostalCode},
    {"<fax:", Field::HomeFax},
    {"<mobile:", Field::CellularPhone},
    {"<web:", Field::HomeWebPage},
    {"<title:", Field::JobTitle},
    {"<address2:", Field::BusinessStreet},
    {"<city2:", Field::BusinessCity},
    {"<state2:", Field::BusinessState},
    {"<country2:", Field::BusinessCountry},
    {"<zip2:", Field::BusinessPostalCode},
    {"<fax2:", Field::BusinessFax},
    {"<mobile2:", Field::Pager},
    {"<web2:", Field::BusinessWebPage},
};

}  // namespace

ToTXT::ToTXT(RunContext& run, std::string fileName, std::string initialText, std::string prefix)
    : ToFile(run, std::move(fileName)), m_prefix(std::move(prefix)) {
    takesViews = true;
    m_text += initialText;
}

void ToTXT::replaced() {
    // Only now: a write that failed leaves Eudora its old file and the index that goes with it.
    if (!isEudora()) return;
    const std::string toc = eudoraTocName(m_fileName);
    if (toc.empty()) return;
    std::error_code ec;
    std::filesystem::remove(toc, ec);
}

bool ToTXT::isEudora() const {
    return m_prefix.rfind("alias ", 0) == 0;
}

std::string ToTXT::eudoraTocName(const std::string& fileName) {
    // Only the last component's extension counts: "C:\Mail.old\nicknames" has none.
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    return fileName.substr(0, dot) + ".toc";
}

bool ToTXT::writeView(const Entry& e) {
    // Folder and list markers are structure, not contacts: a text list has no place for them.
    if (e.isMarker()) return false;
    const bool eudora = isEudora();
    // Eudora joins a note line to its alias line by their key, so both carry the same one:
    // the Full Name, or for a contact without one its nickname or address.
    const std::string& key = !e[Field::FullName].empty()   ? e[Field::FullName]
                             : !e[Field::Nickname].empty() ? e[Field::Nickname]
                                                           : e[Field::Email];
    const std::string name =
        eudora ? eudoraLineValue(key, "\"") : quoteListName(e[Field::FullName]);
    const std::string address =
        eudora ? eudoraLineValue(e[Field::Email], "<>") : quoteListAddress(e[Field::Email]);
    m_text += m_prefix;
    m_text += '"';
    m_text += name;
    m_text += "\" <";
    m_text += address;
    m_text += ">\n";
    if (!eudora) return true;

    std::string note = "note \"" + name + "\" ";
    bool any = false;
    for (const NoteTag& t : kNoteTags) {
        const std::string& value = e[t.field];
        if (value.empty()) continue;
        note += t.tag;
        note += eudoraNoteValue(value, true);
        note += '>';
        any = true;
    }
    if (!e[Field::Notes].empty()) {
        note += eudoraNoteValue(e[Field::Notes], false);
        any = true;
    }
    if (any) {
        m_text += note;
        m_text += '\n';
    }
    return true;
}

namespace {

/// A bare address: no blanks, one "@" with something on both sides.
bool isBareAddress(std::string_view s) {
    const std::size_t at = s.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == s.size()) return false;
    return s.find_first_of(" \t|;,\"<>", 0) == std::string_view::npos &&
           s.find('@', at + 1) == std::string_view::npos;
}

/// `Name <address>` or `"Name" <address>` items, or bare addresses.
Sniff sniffPlainText(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    if (line.find('\t') != std::string_view::npos || line.find('@') == std::string_view::npos ||
        line.starts_with("alias ") || line.starts_with("note ")) {
        return Sniff::No;
    }
    const std::size_t open = line.find('<');
    const std::size_t close = line.find('>', open == std::string_view::npos ? 0 : open);
    if (open != std::string_view::npos && close != std::string_view::npos &&
        isBareAddress(line.substr(open + 1, close - open - 1))) {
        return Sniff::Yes;
    }
    std::string_view trimmed = line.substr(0, line.find_last_not_of(" \r") + 1);
    return isBareAddress(trimmed) ? Sniff::Yes : Sniff::Maybe;
}

Sniff sniffPegasusList(std::string_view head) {
    return sniff::startsWithNoCase(sniff::firstContentLine(head), "\\TITLE ") ? Sniff::Yes
                                                                              : Sniff::No;
}

/// A Pine line: nickname, full name and an address (or a list in parentheses), tab-separated.
Sniff sniffPine(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    if (sniff::countOf(line, '\t') < 2) return Sniff::No;
    const std::size_t first = line.find('\t');
    const std::size_t second = line.find('\t', first + 1);
    const std::string_view address =
        line.substr(second + 1, line.find('\t', second + 1) - second - 1);
    if (address.find(',') != std::string_view::npos && !address.starts_with("(")) return Sniff::No;
    return address.find('@') != std::string_view::npos || address.starts_with("(") ? Sniff::Yes
                                                                                   : Sniff::No;
}

Sniff sniffEudora(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    return line.starts_with("alias ") || line.starts_with("note ") ? Sniff::Yes : Sniff::No;
}

std::unique_ptr<IterBase> readPlainText(const FormatArgs& a) {
    return std::make_unique<iterators::IterTXT>(a.run, a.fileName, iterators::IterTXT::kModePlain);
}
std::unique_ptr<IterBase> readPegasusList(const FormatArgs& a) {
    return std::make_unique<iterators::IterTXT>(a.run, a.fileName,
                                                iterators::IterTXT::kModePegasus);
}
std::unique_ptr<ToBase> writePlainText(const FormatArgs& a) {
    return std::make_unique<ToTXT>(a.run, a.fileName, "", "");
}
std::unique_ptr<ToBase> writePegasusList(const FormatArgs& a) {
    return std::make_unique<ToTXT>(a.run, a.fileName, "\\TITLE " + a.baseName + "\n", "");
}
std::unique_ptr<ToBase> writeEudora(const FormatArgs& a) {
    return std::make_unique<ToTXT>(a.run, a.fileName, "", "alias ");
}

}  // namespace

const FormatInfo& plainTextFormat() {
    static const FormatInfo info = {
        .id = "plain_text",
        .displayName = "plain text address list",
        .extensions = {"txt"},
        .notFor = Application::Eudora,
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .sharedExtension = true,
        .readFields = fieldsOf({Field::FullName, Field::Email}),
        .writeFields = fieldsOf({Field::FullName, Field::Email}),
        .sniff = &sniffPlainText,
        .reader = &readPlainText,
        .writer = &writePlainText,
        .openFilters = {{"Text files (*.txt)", "*.txt", 1}},
        .saveFilters = {{"Text files (*.txt)", "*.txt", 1}},
        .docsPage = "nickname_text.md",
    };
    return info;
}

const FormatInfo& pegasusListFormat() {
    static const FormatInfo info = {
        .id = "pegasus_list",
        .displayName = "Pegasus Mail distribution list",
        .extensions = {"pml"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = fieldsOf({Field::FullName, Field::Email}),
        .writeFields = fieldsOf({Field::FullName, Field::Email}),
        .sniff = &sniffPegasusList,
        .reader = &readPegasusList,
        .writer = &writePegasusList,
        // One filter serves the lists and the books of Pegasus Mail.
        .openFilters = {{"Pegasus Mail files (*.pml, *.pmr)", "*.pml;*.pmr", 4}},
        .saveFilters = {{"Pegasus Mail files (*.pml, *.pmr)", "*.pml;*.pmr", 4}},
        .docsPage = "nickname_text.md",
    };
    return info;
}

const FormatInfo& pineFormat() {
    static const FormatInfo info = {
        .id = "pine",
        .displayName = "Pine address book",
        .extensions = {"addressbook"},
        .applications = {Application::Pine},
        .reads = true,
        .holdsLists = true,
        .readFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::Notes}),
        .sniff = &sniffPine,
        .reader = &readerOfFile<iterators::IterPine>,
        .openFilters = {{"Pine Address Books", "*.addressbook", 9}},
        .saveFilters = {{"Pine Address Books", "*.addressbook", 9}},
        .docsPage = "pine.md",
    };
    return info;
}

const FormatInfo& eudoraFormat() {
    static const FormatInfo info = {
        .id = "eudora",
        .displayName = "Eudora nicknames",
        .applications = {Application::Eudora},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = eudora::supportedFields(),
        // The alias line names the contact by its full name, so the nickname is not kept.
        .writeFields = eudora::supportedFields() & ~fieldsOf({Field::Nickname}),
        .sniff = &sniffEudora,
        .reader = &iterators::taggedReader<iterators::IterFile::Eudora>,
        .writer = &writeEudora,
        .docsPage = "eudora.md",
    };
    return info;
}

}  // namespace vesk
