#include "parsing/tagged_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "parsing/eudora_nicknames.h"
#include "parsing/html_text.h"
#include "parsing/ldif_records.h"
#include "platform/large_buffer.h"
#include "platform/prompt.h"
#include "text/text_io.h"

namespace vesk::iterators {

namespace {

using Table = IterFile::Table;

constexpr std::size_t idx(Field f) {
    return static_cast<std::size_t>(f);
}

Table htmlTable() {
    Table t;
    t.recordSeparator = "<DT>";
    t.fields[idx(Field::Email)] = {"<A HREF=\"mailto:", "\""};
    // The anchor text is the person's name; Netscape keeps the nickname as an attribute.
    t.fields[idx(Field::FullName)] = {"\">", "</A>"};
    t.fields[idx(Field::Nickname)] = {"NICKNAME=\"", "\""};
    t.fields[idx(Field::Notes)] = {"<DD>", "\n"};
    return t;
}

Table junoTable() {
    Table t;
    t.recordSeparator = "Type:";
    t.listMarker = "Type:MList";
    t.fields[idx(Field::FullName)] = {"\nName:", "\n"};
    t.fields[idx(Field::Email)] = {"\nEmail:", "\n"};
    t.fields[idx(Field::Nickname)] = {"\nAlias:", "\n"};
    // "Address" is split into street, city, state and postal code by splitJunoAddress.
    t.fields[idx(Field::HomeStreet)] = {"\nAddress:", "\n"};
    t.fields[idx(Field::HomePhone)] = {"\nPrimary Phone:", "\n"};
    t.fields[idx(Field::CellularPhone)] = {"\nMobile Phone:", "\n"};
    t.time = {"\nTime:", "\n"};
    return t;
}

Table iniTable() {
    Table t;
    t.recordSeparator = "\n[";
    t.fields[idx(Field::FullName)] = {"[", "]"};
    t.fields[idx(Field::Email)] = {"\nEmail=", "\n"};
    t.fields[idx(Field::Nickname)] = {"\nNickName=", "\n"};
    t.fields[idx(Field::HomePhone)] = {"\nHomePhone=", "\n"};
    t.fields[idx(Field::Organization)] = {"\nWorkCompany=", "\n"};
    t.fields[idx(Field::BusinessPhone)] = {"\nWorkPhone=", "\n"};
    t.fields[idx(Field::HomeStreet)] = {"\nHomeAddress=", "\n"};
    t.fields[idx(Field::HomeState)] = {"\nHomeStateOrProvince=", "\n"};
    // Without a line feed in front, so a longer key ending in "HomeCountry=" matches too.
    t.fields[idx(Field::HomeCountry)] = {"HomeCountry=", "\n"};
    t.fields[idx(Field::HomeFax)] = {"\nHomeFax=", "\n"};
    t.fields[idx(Field::CellularPhone)] = {"\nHomeMobile=", "\n"};
    t.fields[idx(Field::HomeWebPage)] = {"\nHomePage=", "\n"};
    t.fields[idx(Field::BusinessStreet)] = {"\nWorkAddress=", "\n"};
    t.fields[idx(Field::BusinessState)] = {"\nWorkStateOrProvince=", "\n"};
    t.fields[idx(Field::BusinessFax)] = {"\nWorkFax=", "\n"};
    t.fields[idx(Field::Pager)] = {"\nWorkPager=", "\n"};
    t.fields[idx(Field::Notes)] = {"\nNotes=", "\n"};
    return t;
}

const Table* tableFor(int kind) {
    static const Table html = htmlTable();
    static const Table juno = junoTable();
    static const Table ini = iniTable();
    static const Table none;
    switch (kind) {
        case IterFile::Html:
            return &html;
        case IterFile::Juno:
            return &juno;
        case IterFile::Ini:
            return &ini;
        default:
            return &none;
    }
}

/// The mask of the fields a table can fill: a set bit for a field that is never read would
/// let an empty value overwrite a real one when entries merge.
FieldMask maskOf(const Table& t) {
    FieldMask mask;
    for (std::size_t i = 0; i < t.fields.size(); ++i) mask.set(i, !t.fields[i].start.empty());
    return mask;
}

/// The text between the first `tags.start` of `piece` and the next `tags.end` after it (or the
/// end of the piece); empty when either tag is empty or the start tag is missing.
std::string_view extract(std::string_view piece, IterFile::Tags tags) {
    if (tags.start.empty() || tags.end.empty()) return {};
    const std::size_t at = piece.find(tags.start);
    if (at == std::string_view::npos) return {};
    const std::size_t from = at + tags.start.size();
    const std::size_t to = piece.find(tags.end, from);
    return piece.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from);
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == ','))
        s.remove_suffix(1);
    return s;
}

/// Juno's "Address" holds its lines joined by "^^", the last two (as Juno and Vesk's writer
/// lay them out) "City ST" and the postal code. An address of another shape stays whole in
/// the street, one line each.
void splitJunoAddress(Entry& e) {
    std::vector<std::string_view> lines;
    // Taken out: the lines below view it while other fields are stored.
    const std::string whole = e.take(Field::HomeStreet);
    std::string_view rest = whole;
    while (!rest.empty()) {
        const std::size_t sep = rest.find("^^");
        lines.push_back(trimBlanks(rest.substr(0, sep)));
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 2);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    const auto hasDigit = [](std::string_view v) {
        return std::any_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    std::string street;
    std::size_t streetLines = lines.size();
    if (lines.size() >= 3 && hasDigit(lines.back()) && lines.back().size() <= 10) {
        streetLines = lines.size() - 2;
        e[Field::HomePostalCode] = std::string(lines.back());
        std::string_view place = lines[lines.size() - 2];
        const std::size_t blank = place.rfind(' ');
        const std::string_view last =
            blank == std::string_view::npos ? "" : place.substr(blank + 1);
        if (last.size() == 2 && std::isupper(static_cast<unsigned char>(last[0])) &&
            std::isupper(static_cast<unsigned char>(last[1]))) {
            e[Field::HomeState] = std::string(last);
            place = trimBlanks(place.substr(0, blank));
        }
        e[Field::HomeCity] = std::string(place);
    }
    for (std::size_t i = 0; i < streetLines; ++i) {
        if (lines[i].empty()) continue;
        if (!street.empty()) street.push_back('\n');
        street.append(lines[i]);
    }
    e[Field::HomeStreet] = std::move(street);
}

/// Juno keeps a deleted record in the file with the line "Deleted:1".
bool isDeletedRecord(std::string_view record) {
    const std::size_t at = record.find("\nDeleted:");
    if (at == std::string_view::npos) return false;
    std::string_view v = record.substr(at + 9);
    v = v.substr(0, v.find('\n'));
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
        v.remove_suffix(1);
    }
    return v == "1";
}

std::int64_t leadingInteger(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    std::int64_t n = 0;
    std::from_chars(v.data(), v.data() + v.size(), n);
    return n;
}

}  // namespace

IterFile::IterFile(RunContext& run, const std::string& fileName, int subKind)
    : m_kind(subKind), m_run(&run), m_fileName(fileName) {
    const DecodeOptions decoding{.fallbackCharset = run.sourceEncoding,
                                 .prepareBuffer = &adviseLargeBuffer};
    std::optional<std::string> text = readTextFile(fileName, decoding);
    if (!text) {
        run.report(Severity::Error, "file cannot be opened!", fileName, Where{fileName});
        text.emplace();
    }
    install(std::move(*text));
    // Only LDIF keeps the text as the file gives it (the other kinds put a line feed first).
    if (m_kind == Ldif) m_passed.watch(m_text, fileName, decoding);
}

bool IterFile::wholeText() {
    if (m_passed.restoreOrReport(m_run, m_fileName)) return true;
    m_changed = true;
    m_pos = m_text.size();
    m_pending.clear();
    return false;
}

IterFile::IterFile(int subKind, std::string text) : m_kind(subKind) {
    install(std::move(text));
}

std::unique_ptr<IterFile> IterFile::fromText(std::string text, int subKind) {
    return std::unique_ptr<IterFile>(new IterFile(subKind, std::move(text)));
}

void IterFile::install(std::string text) {
    m_table = tableFor(m_kind);
    switch (m_kind) {
        case Ldif:
            m_mask = ldif::supportedFields();
            m_text = std::move(text);
            break;
        case Eudora:
            m_mask = eudora::supportedFields();
            m_text = std::move(text);
            break;
        default:
            m_mask = maskOf(*m_table);
            if (m_kind == Juno) {
                for (const Field f : {Field::HomeCity, Field::HomeState, Field::HomePostalCode})
                    m_mask.set(idx(f));
            }
            // Tags that start with a line feed then also match on the file's first line.
            m_text.reserve(text.size() + 1);
            m_text.push_back('\n');
            m_text.append(text);
            break;
    }
}

bool IterFile::rewind() {
    if (!wholeText()) return false;
    m_pos = 0;
    m_inHtmlList = false;
    m_pending.clear();
    return true;
}

bool IterFile::atEnd() {
    fill();
    return m_pending.empty();
}

Entry IterFile::nextEntry() {
    fill();
    if (m_pending.empty()) return Entry();
    Entry e = std::move(m_pending.front());
    m_pending.pop_front();
    return e;
}

float IterFile::progress() {
    if (m_text.empty()) return 1.0f;
    return static_cast<float>(static_cast<double>(m_pos) / static_cast<double>(m_text.size()));
}

void IterFile::fill() {
    while (m_pending.empty() && m_pos < m_text.size()) {
        switch (m_kind) {
            case Ldif: {
                // Records are read once, front to back: what lies behind goes back to the system.
                m_passed.passed(m_pos);
                const std::string_view record = ldif::nextRecord(m_text, m_pos);
                if (!record.empty()) ldif::readRecord(record, m_pending, personByDn());
                break;
            }
            case Eudora:
                eudora::readNicknames(m_text, m_pending);
                m_pos = m_text.size();
                break;
            default:
                readTaggedRecord();
                break;
        }
    }
}

ldif::DnLookup IterFile::personByDn() {
    // The index is built on the first member that only a record's whole name identifies.
    return [this](std::string_view dn) -> const Entry* {
        if (!m_dnIndex) {
            // The person may be any record of the file, before or after the group.
            if (!wholeText()) return nullptr;
            m_passed.stop();
            m_dnIndex = std::make_unique<ldif::DnIndex>(m_text);
        }
        return m_dnIndex->find(dn);
    };
}

void IterFile::readTaggedRecord() {
    const Table& t = *m_table;
    const std::string_view text = m_text;
    std::size_t end =
        t.recordSeparator.empty() ? std::string_view::npos : text.find(t.recordSeparator, m_pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view record = text.substr(m_pos, end - m_pos);
    const bool isList = !t.listMarker.empty() && m_pos > 0 &&
                        text.substr(m_pos - 1, t.listMarker.size()) == t.listMarker;
    // Every later record starts one character into the separator that ended this one.
    m_pos = end < text.size() ? end + 1 : text.size();
    if (m_kind == Juno && isDeletedRecord(record)) return;

    if (isList) {
        readJunoList(record);
        return;
    }
    if (m_kind == Html) {
        readHtmlRecord(record);
        if (m_pos >= text.size() && m_inHtmlList) {
            m_pending.push_back(markerEntry(KindListEnd, {}));
            m_inHtmlList = false;
        }
        return;
    }
    if (Entry e = readFields(record); !e.isEmpty()) m_pending.push_back(std::move(e));
}

Entry IterFile::readFields(std::string_view record) const {
    const Table& t = *m_table;
    Entry e;
    e.mask = m_mask;
    e.revisionTime = 0;
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
        e.at(static_cast<int>(i)) = std::string(extract(record, t.fields[i]));
    }
    FieldRef mail = e[Field::Email];
    if (mail.empty()) mail = std::string(extract(record, t.emailAlternate));
    // An address with a name in front keeps only its last word, the address itself.
    const std::size_t lastSpace = mail.rfind(' ');
    if (lastSpace != std::string::npos) mail = mail.substr(lastSpace + 1);
    FieldRef nick = e[Field::Nickname];
    if (nick.empty()) nick = std::string(extract(record, t.nicknameAlternate));
    if (!t.time.start.empty()) e.revisionTime = leadingInteger(extract(record, t.time));

    if (m_kind == Juno) splitJunoAddress(e);
    if (m_kind == Html) {
        for (const Field f : {Field::FullName, Field::Email, Field::Nickname}) {
            e[f] = html::decodeEntities(e[f]);
        }
        e[Field::Notes] = html::decodeDescription(e[Field::Notes]);
    }
    return e;
}

void IterFile::readHtmlRecord(std::string_view record) {
    constexpr auto npos = std::string_view::npos;
    const std::size_t heading = record.find("<H3");
    const std::size_t anchor = record.find("<A ");
    // A mailing list is a heading followed by a nested list of anchors that refer to people
    // listed elsewhere in the file (ALIASOF).
    if (heading != npos && (anchor == npos || heading < anchor)) {
        if (m_inHtmlList) m_pending.push_back(markerEntry(KindListEnd, {}));
        const std::string_view rest = record.substr(heading);
        const std::size_t open = rest.find('>');
        const std::size_t close = rest.find("</H3>");
        std::string name;
        if (open != npos && close != npos && open < close) {
            name = html::decodeEntities(rest.substr(open + 1, close - open - 1));
        }
        m_pending.push_back(markerEntry(KindListBegin, name));
        m_inHtmlList = rest.find("</DL>") == npos;
        if (!m_inHtmlList) m_pending.push_back(markerEntry(KindListEnd, {}));
        return;
    }
    // Without an anchor it is the header, not a person.
    if (anchor == npos) return;
    Entry e = readFields(record);
    const bool reference = record.find("ALIASOF=") != npos;
    if (m_inHtmlList && reference) {
        Entry member;
        member[Field::FullName] = std::move(e[Field::FullName]);
        member[Field::Email] = std::move(e[Field::Email]);
        if (!member.isEmpty()) m_pending.push_back(std::move(member));
    } else if (!reference && !e.isEmpty()) {
        m_pending.push_back(std::move(e));
    }
    if (m_inHtmlList && record.find("</DL>", anchor) != npos) {
        m_pending.push_back(markerEntry(KindListEnd, {}));
        m_inHtmlList = false;
    }
}

void IterFile::readJunoList(std::string_view record) {
    m_pending.push_back(
        markerEntry(KindListBegin, std::string(extract(record, m_table->fields[0]))));
    // Members are the "MemberN:" lines up to the empty line that ends the list.
    const std::size_t blank = record.find("\n\n");
    std::string_view rest = record.substr(0, blank);
    while (!rest.empty()) {
        std::size_t eol = rest.find('\n');
        if (eol == std::string_view::npos) eol = rest.size();
        std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(std::min(eol + 1, rest.size()));
        if (line.substr(0, 6) != "Member") continue;
        line.remove_prefix(6);
        std::size_t digits = 0;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
        if (digits == 0 || digits >= line.size() || line[digits] != ':') continue;
        Entry member;
        member[Field::Nickname] = std::string(line.substr(digits + 1));
        if (!member[Field::Nickname].empty()) m_pending.push_back(std::move(member));
    }
    m_pending.push_back(markerEntry(KindListEnd, {}));
}

}  // namespace vesk::iterators
