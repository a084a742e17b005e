#include "formats/vcard.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "parsing/sniff_text.h"

namespace vesk {

namespace {

Sniff sniffVcard(std::string_view head) {
    if (sniff::startsWithNoCase(sniff::firstContentLine(head), "BEGIN:VCARD")) return Sniff::Yes;
    return sniff::containsNoCase(head, "\nBEGIN:VCARD") ? Sniff::Maybe : Sniff::No;
}

/// A physical line holds at most this many octets; longer ones are folded.
constexpr std::size_t kFoldLength = 75;

/// Octets of the UTF-8 sequence a lead byte starts (1 for anything else).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

/// Appends one logical line and its line feed, folded at 75 octets (a blank starts each
/// continuation) and never inside a UTF-8 sequence.
void appendFolded(std::string& out, std::string_view line) {
    std::size_t column = 0;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t n = sequenceLength(static_cast<unsigned char>(line[i]));
        if (i + n > line.size()) n = line.size() - i;
        if (column + n > kFoldLength) {
            out.append("\n ");
            column = 1;
        }
        out.append(line.substr(i, n));
        column += n;
        i += n;
    }
    out.push_back('\n');
}

/// Text escapes of 3.0 and 4.0: backslash, comma and line breaks, and the semicolon inside a
/// component of a structured value (Thunderbird keeps "\\;" of a plain text value as it is).
std::string escapeText(std::string_view s, bool component = false) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') continue;
            out.append("\\n");
        } else if (c == '\n') {
            out.append("\\n");
        } else {
            if (c == '\\' || c == ',' || (c == ';' && component)) out.push_back('\\');
            out.push_back(c);
        }
    }
    return out;
}

/// A structured value: each part escaped, joined by ";"; empty when every part is.
std::string structured(const Entry& e, std::initializer_list<Field> fields, std::size_t lead = 0) {
    std::string v(lead, ';');
    bool any = false;
    bool first = true;
    for (const Field f : fields) {
        if (!first) v.push_back(';');
        first = false;
        any = any || !e[f].empty();
        v += escapeText(e[f], true);
    }
    return any ? v : std::string();
}

void appendProperty(std::string& out, std::string_view head, const std::string& value) {
    if (value.empty()) return;
    std::string line(head);
    line.push_back(':');
    line += value;
    appendFolded(out, line);
}

/// FN is required: the full name, else a name made of the name parts, the organization or
/// the address.
std::string formattedName(const Entry& e) {
    if (!e[Field::FullName].empty()) return e[Field::FullName];
    std::string name;
    for (const Field f : {Field::Title, Field::FirstName, Field::LastName}) {
        if (e[f].empty()) continue;
        if (!name.empty()) name.push_back(' ');
        name += e[f];
    }
    if (name.empty()) name = e[Field::Organization];
    if (name.empty()) name = e[Field::Email];
    return name;
}

std::uint64_t fnv1a(std::string_view s, std::uint64_t hash) {
    for (const char c : s) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

/// The values beyond the fields, after the classic lines; the UID is written by the caller.
void appendExtras(std::string& out, const Entry& e, bool v4) {
    std::string categories;
    for (const Extra& x : e.extras) {
        if (x.kind != ExtraKind::Category) continue;
        if (!categories.empty()) categories.push_back(',');
        categories += escapeText(x.value);
    }
    appendProperty(out, "CATEGORIES", categories);
    for (const Extra& x : e.extras) {
        switch (x.kind) {
            case ExtraKind::Email:
                appendProperty(out, v4 ? "EMAIL" : "EMAIL;TYPE=INTERNET", escapeText(x.value));
                break;
            case ExtraKind::Birthday:
                appendProperty(out, "BDAY", x.value);
                break;
            case ExtraKind::Anniversary:
                appendProperty(out, v4 ? "ANNIVERSARY" : "X-ANNIVERSARY", x.value);
                break;
            case ExtraKind::Property:
                if (vcard::writableHead(x.name)) appendProperty(out, x.name, x.value);
                break;
            case ExtraKind::Category:
            case ExtraKind::Uid:
                break;
        }
    }
}

}  // namespace

namespace vcard {

std::string derivedUid(const Entry& e) {
    const std::string key = e[Field::FullName] + '\n' + e[Field::Email];
    const std::uint64_t hi = fnv1a(key, 0xcbf29ce484222325ULL);
    const std::uint64_t lo = fnv1a(key, hi ^ 0x9e3779b97f4a7c15ULL);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-8%03x-%04x-%012llx", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((lo >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
    return buf;
}

}  // namespace vcard

ToVCard::ToVCard(RunContext& run, std::string fileName, int version)
    : ToVCF(run, std::move(fileName)), m_version(version) {}

bool ToVCard::write(Entry e) {
    if (m_version < 4) {
        if (skipsListPart(e) || e.isMarker()) return false;
        appendModernCard(e);
        return true;
    }
    if (e.kind == KindListBegin) {
        m_inList = true;
        m_listName = e[Field::FullName];
        m_members.clear();
        return true;
    }
    if (e.kind == KindListEnd) {
        if (m_inList) appendGroup();
        m_inList = false;
        return true;
    }
    if (e.isMarker()) return false;
    if (m_inList) {
        m_members.push_back(std::move(e));
        return true;
    }
    appendModernCard(e);
    return true;
}

void ToVCard::appendModernCard(const Entry& e) {
    const bool v4 = m_version >= 4;
    m_card.clear();
    std::string& out = m_card;
    out.append(v4 ? "BEGIN:VCARD\nVERSION:4.0\n" : "BEGIN:VCARD\nVERSION:3.0\n");
    // Every card gets a UID: khard refuses cards without one, and groups name members by it.
    std::string uid = cardUid(e);
    // Two cards of one name and address each keep a UID of their own.
    for (int n = 2; m_uids.count(uid) != 0; ++n) {
        Entry other = e;
        other.extras.clear();
        other[Field::FullName] += '\n' + std::to_string(n);
        uid = cardUid(other);
    }
    m_uids.insert(uid);
    appendProperty(out, "UID", escapeText(uid));
    const std::string n =
        structured(e, {Field::LastName, Field::FirstName, Field::MiddleName, Field::Title}, 0);
    // 3.0 requires N; 4.0 leaves it out when there is no name part.
    appendProperty(out, "N", n.empty() && !v4 ? std::string(";;;;") : n + (n.empty() ? "" : ";"));
    appendProperty(out, "FN", escapeText(formattedName(e)));
    appendProperty(out, "NICKNAME", escapeText(e[Field::Nickname]));
    appendProperty(out, "ORG",
                   e[Field::Department].empty()
                       ? escapeText(e[Field::Organization], true)
                       : structured(e, {Field::Organization, Field::Department}));
    appendProperty(out, "TITLE", escapeText(e[Field::JobTitle]));
    // Thunderbird goes by the first type: FAX first, or a fax becomes its work phone.
    const std::pair<std::string_view, Field> phones[] = {
        {"TEL;TYPE=WORK,VOICE", Field::BusinessPhone}, {"TEL;TYPE=HOME,VOICE", Field::HomePhone},
        {"TEL;TYPE=CELL", Field::CellularPhone},       {"TEL;TYPE=PAGER", Field::Pager},
        {"TEL;TYPE=FAX,WORK", Field::BusinessFax},     {"TEL;TYPE=FAX,HOME", Field::HomeFax}};
    for (const auto& [head, field] : phones) appendProperty(out, head, escapeText(e[field]));
    // post-office box; extended address (the office); street; locality; region; code; country
    appendProperty(
        out, "ADR;TYPE=WORK",
        structured(e,
                   {Field::Office, Field::BusinessStreet, Field::BusinessCity, Field::BusinessState,
                    Field::BusinessPostalCode, Field::BusinessCountry},
                   1));
    const std::string home = structured(e, {Field::HomeStreet, Field::HomeCity, Field::HomeState,
                                            Field::HomePostalCode, Field::HomeCountry});
    appendProperty(out, "ADR;TYPE=HOME", home.empty() ? home : ";;" + home);
    appendProperty(out, "URL;TYPE=HOME", escapeText(e[Field::HomeWebPage]));
    appendProperty(out, "URL;TYPE=WORK", escapeText(e[Field::BusinessWebPage]));
    appendProperty(out, v4 ? "EMAIL;PREF=1" : "EMAIL;TYPE=INTERNET,PREF",
                   escapeText(e[Field::Email]));
    // ROLE is where Outlook puts the profession; the X-MS- names are Outlook's too.
    const std::pair<std::string_view, Field> extras[] = {{"NOTE", Field::Notes},
                                                         {"ROLE", Field::Profession},
                                                         {"X-MS-MANAGER", Field::Manager},
                                                         {"X-MS-ASSISTANT", Field::Assistant},
                                                         {"X-MS-SPOUSE", Field::Spouse}};
    for (const auto& [head, field] : extras) appendProperty(out, head, escapeText(e[field]));
    appendExtras(out, e, v4);
    if (e.revisionTime != 0) {
        std::string rev = vcard::formatRevision(e.revisionTime);
        if (v4) {  // the basic form 4.0 asks for: 20060301T120000Z
            std::string basic;
            for (const char c : rev) {
                if (c != '-' && c != ':') basic.push_back(c);
            }
            rev = basic;
        }
        appendProperty(out, "REV", rev);
    }
    // Only a contact that holds fewer fields than all says so, for the reader of this file.
    if (!e.mask.all()) appendProperty(out, "X-KYNT-SUPPORTED", maskToText(e.mask));
    out.append("END:VCARD\n");
    m_text += out;
}

std::string ToVCard::cardUid(const Entry& e) {
    // The contact's own identifier where its source gave one, so that others keep recognising it.
    const std::string& own = e.extra(ExtraKind::Uid);
    return own.empty() ? "urn:uuid:" + vcard::derivedUid(e) : own;
}

std::string ToVCard::memberReference(const Entry& e) {
    const std::string uid = cardUid(e);
    if (m_uids.count(uid) != 0) return uid;
    if (!e[Field::Email].empty()) return "mailto:" + e[Field::Email];
    // A member without an address and without a card of its own gets one.
    appendModernCard(e);
    return uid;
}

void ToVCard::appendGroup() {
    std::vector<std::string> references;
    for (const Entry& member : m_members) references.push_back(memberReference(member));
    m_card.clear();
    std::string& out = m_card;
    out.append("BEGIN:VCARD\nVERSION:4.0\nKIND:group\n");
    Entry self;
    self[Field::FullName] = m_listName;
    appendProperty(out, "UID", "urn:uuid:" + vcard::derivedUid(self));
    appendProperty(out, "FN", escapeText(m_listName));
    for (const std::string& ref : references) appendProperty(out, "MEMBER", ref);
    out.append("END:VCARD\n");
    m_text += out;
    m_members.clear();
}

namespace {

std::unique_ptr<ToBase> writeVcard30(const FormatArgs& a) {
    return std::make_unique<ToVCard>(a.run, a.fileName, 3);
}
std::unique_ptr<ToBase> writeVcard40(const FormatArgs& a) {
    return std::make_unique<ToVCard>(a.run, a.fileName, 4);
}

}  // namespace

const FormatInfo& vcardFormat() {
    static const FormatInfo info = {
        .id = "vcard",
        .displayName = "vCard",
        .extensions = {"vcf"},
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
        .writer = &writeVcard30,
        .openFilters = {{"vCard Files (*.vcf)", "*.vcf", 11}},
        .docsPage = "vcard.md",
    };
    return info;
}

const FormatInfo& vcard21Format() {
    static const FormatInfo info = {
        .id = "vcard21",
        .displayName = "vCard 2.1",
        .extensions = {"bab"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .readExtras = allExtras(),
        .writeExtras = allExtras(),
        .datesAsText = true,
        .reader = &readerOfFile<iterators::IterVCF>,
        .writer = &writerOfFile<ToVCF>,
        .openFilters = {{"Becky! Address Books (*.bab)", "*.bab", 10}},
        .saveFilters = {{"Becky! Address Book (*.bab)", "*.bab", 8}},
        .docsPage = "vcard21.md",
    };
    return info;
}

const FormatInfo& vcard40Format() {
    static const FormatInfo info = {
        .id = "vcard40",
        .displayName = "vCard 4.0",
        // The 3.0 row before it decides for .vcf files; this one is chosen by its id.
        .extensions = {"vcf"},
        .reads = true,
        .writes = true,
        .holdsLists = true,
        .mergesExisting = true,
        .readFields = allFields(),
        .writeFields = allFields(),
        .readExtras = allExtras(),
        .writeExtras = allExtras(),
        .datesAsText = true,
        .reader = &readerOfFile<iterators::IterVCF>,
        .writer = &writeVcard40,
        .docsPage = "vcard40.md",
    };
    return info;
}

}  // namespace vesk
