#include "formats/vcard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
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
    if (line.size() <= kFoldLength) {  // most lines: nothing to fold
        out.append(line);
        out.push_back('\n');
        return;
    }
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

/// Text escapes of 3.0 and 4.0, appended to `out`: backslash, comma and line breaks, and the
/// semicolon inside a component of a structured value (Thunderbird keeps "\\;" of a plain text
/// value as it is).
void appendEscaped(std::string& out, std::string_view s, bool component = false) {
    std::size_t plain = 0;  // start of the bytes that need no escape
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c != '\r' && c != '\n' && c != '\\' && c != ',' && !(c == ';' && component)) continue;
        out.append(s.substr(plain, i - plain));
        plain = i + 1;
        if (c == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') continue;
            out.append("\\n");
        } else if (c == '\n') {
            out.append("\\n");
        } else {
            out.push_back('\\');
            out.push_back(c);
        }
    }
    out.append(s.substr(plain));
}

/// Writes "head:value" lines folded into a card, building each line in buffers that are kept
/// from card to card.
class CardLines {
  public:
    CardLines(std::string& out, std::string& line) : m_out(out), m_line(line) {}

    /// The value as it is; no line for an empty value.
    void raw(std::string_view head, std::string_view value) {
        if (value.empty()) return;
        start(head);
        m_line.append(value);
        end();
    }

    /// The value escaped as text; no line for an empty value.
    void text(std::string_view head, std::string_view value, bool component = false) {
        if (value.empty()) return;
        start(head);
        appendEscaped(m_line, value, component);
        end();
    }

    /// `lead`, then the fields escaped and joined by ";", then `trail`; no line when every
    /// field is empty.
    void structured(std::string_view head, const Entry& e, std::initializer_list<Field> fields,
                    std::string_view lead = {}, std::string_view trail = {}) {
        bool any = false;
        for (const Field f : fields) any = any || !e[f].empty();
        if (!any) return;
        start(head);
        m_line.append(lead);
        bool first = true;
        for (const Field f : fields) {
            if (!first) m_line.push_back(';');
            first = false;
            appendEscaped(m_line, e[f], true);
        }
        m_line.append(trail);
        end();
    }

  private:
    void start(std::string_view head) {
        m_line.assign(head);
        m_line.push_back(':');
    }
    void end() { appendFolded(m_out, m_line); }

    std::string& m_out;
    std::string& m_line;
};

/// FN is required: the full name, else a name made of the name parts (built in `built`), the
/// organization or the address.
std::string_view formattedName(const Entry& e, std::string& built) {
    if (!e[Field::FullName].empty()) return e[Field::FullName];
    built.clear();
    for (const Field f : {Field::Title, Field::FirstName, Field::LastName}) {
        if (e[f].empty()) continue;
        if (!built.empty()) built.push_back(' ');
        built += e[f];
    }
    if (!built.empty()) return built;
    if (!e[Field::Organization].empty()) return e[Field::Organization];
    return e[Field::Email];
}

std::uint64_t fnv1a(std::string_view s, std::uint64_t hash) {
    for (const char c : s) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

/// The values beyond the fields, after the classic lines; the UID is written by the caller.
void appendExtras(CardLines& lines, std::string& categories, const Entry& e, bool v4) {
    categories.clear();
    for (const Extra& x : e.extras) {
        if (x.kind != ExtraKind::Category) continue;
        if (!categories.empty()) categories.push_back(',');
        appendEscaped(categories, x.value);
    }
    lines.raw("CATEGORIES", categories);
    for (const Extra& x : e.extras) {
        switch (x.kind) {
            case ExtraKind::Email:
                lines.text(v4 ? "EMAIL" : "EMAIL;TYPE=INTERNET", x.value);
                break;
            case ExtraKind::Birthday:
                lines.raw("BDAY", x.value);
                break;
            case ExtraKind::Anniversary:
                lines.raw(v4 ? "ANNIVERSARY" : "X-ANNIVERSARY", x.value);
                break;
            case ExtraKind::Property:
                if (vcard::writableHead(x.name)) lines.raw(x.name, x.value);
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
    // The hash of the name, a line feed and the address, taken piece by piece.
    const auto hash = [&e](std::uint64_t h) {
        return fnv1a(e[Field::Email], fnv1a("\n", fnv1a(e[Field::FullName], h)));
    };
    const std::uint64_t hi = hash(0xcbf29ce484222325ULL);
    const std::uint64_t lo = hash(hi ^ 0x9e3779b97f4a7c15ULL);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-8%03x-%04x-%012llx", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((lo >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
    return buf;
}

bool UidSet::contains(std::string_view uid) const {
    if (m_slots.empty()) return false;
    return m_slots[find(uid, std::hash<std::string_view>{}(uid))].at != 0;
}

void UidSet::insert(std::string_view uid) {
    if ((m_count + 1) * 2 > m_slots.size()) grow();
    const std::size_t hash = std::hash<std::string_view>{}(uid);
    Slot& slot = m_slots[find(uid, hash)];
    if (slot.at != 0) return;
    slot = Slot{hash, m_text.size() + 1};
    const std::uint64_t size = uid.size();
    m_text.append(reinterpret_cast<const char*>(&size), sizeof size);
    m_text.append(uid);
    ++m_count;
}

std::string_view UidSet::textOf(const Slot& slot) const {
    std::uint64_t size = 0;
    std::memcpy(&size, m_text.data() + slot.at - 1, sizeof size);
    return std::string_view(m_text).substr(slot.at - 1 + sizeof size,
                                           static_cast<std::size_t>(size));
}

std::size_t UidSet::find(std::string_view uid, std::size_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = hash & mask;
    while (m_slots[i].at != 0) {
        const Slot& s = m_slots[i];
        if (s.hash == hash && textOf(s) == uid) break;
        i = (i + 1) & mask;
    }
    return i;
}

void UidSet::grow() {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(1024, old.size() * 2), Slot{});
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& s : old) {
        if (s.at == 0) continue;
        std::size_t i = s.hash & mask;
        while (m_slots[i].at != 0) i = (i + 1) & mask;
        m_slots[i] = s;
    }
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
    CardLines lines(out, m_line);
    out.append(v4 ? "BEGIN:VCARD\nVERSION:4.0\n" : "BEGIN:VCARD\nVERSION:3.0\n");
    // Every card gets a UID: khard refuses cards without one, and groups name members by it.
    std::string uid = cardUid(e);
    // Two cards of one name and address each keep a UID of their own.
    for (int n = 2; m_uids.contains(uid); ++n) {
        Entry other = e;
        other.extras.clear();
        other[Field::FullName] = e[Field::FullName] + '\n' + std::to_string(n);
        uid = cardUid(other);
    }
    lines.text("UID", uid);
    m_uids.insert(uid);
    const std::initializer_list<Field> name = {Field::LastName, Field::FirstName, Field::MiddleName,
                                               Field::Title};
    const bool anyName =
        std::any_of(name.begin(), name.end(), [&e](Field f) { return !e[f].empty(); });
    // 3.0 requires N; 4.0 leaves it out when there is no name part.
    if (anyName) {
        lines.structured("N", e, name, {}, ";");
    } else if (!v4) {
        lines.raw("N", ";;;;");
    }
    lines.text("FN", formattedName(e, m_value));
    lines.text("NICKNAME", e[Field::Nickname]);
    if (e[Field::Department].empty()) {
        lines.text("ORG", e[Field::Organization], true);
    } else {
        lines.structured("ORG", e, {Field::Organization, Field::Department});
    }
    lines.text("TITLE", e[Field::JobTitle]);
    // Thunderbird goes by the first type: FAX first, or a fax becomes its work phone.
    const std::pair<std::string_view, Field> phones[] = {
        {"TEL;TYPE=WORK,VOICE", Field::BusinessPhone}, {"TEL;TYPE=HOME,VOICE", Field::HomePhone},
        {"TEL;TYPE=CELL", Field::CellularPhone},       {"TEL;TYPE=PAGER", Field::Pager},
        {"TEL;TYPE=FAX,WORK", Field::BusinessFax},     {"TEL;TYPE=FAX,HOME", Field::HomeFax}};
    for (const auto& [head, field] : phones) lines.text(head, e[field]);
    // post-office box; extended address (the office); street; locality; region; code; country
    lines.structured("ADR;TYPE=WORK", e,
                     {Field::Office, Field::BusinessStreet, Field::BusinessCity,
                      Field::BusinessState, Field::BusinessPostalCode, Field::BusinessCountry},
                     ";");
    lines.structured("ADR;TYPE=HOME", e,
                     {Field::HomeStreet, Field::HomeCity, Field::HomeState, Field::HomePostalCode,
                      Field::HomeCountry},
                     ";;");
    lines.text("URL;TYPE=HOME", e[Field::HomeWebPage]);
    lines.text("URL;TYPE=WORK", e[Field::BusinessWebPage]);
    lines.text(v4 ? "EMAIL;PREF=1" : "EMAIL;TYPE=INTERNET,PREF", e[Field::Email]);
    // ROLE is where Outlook puts the profession; the X-MS- names are Outlook's too.
    const std::pair<std::string_view, Field> extras[] = {{"NOTE", Field::Notes},
                                                         {"ROLE", Field::Profession},
                                                         {"X-MS-MANAGER", Field::Manager},
                                                         {"X-MS-ASSISTANT", Field::Assistant},
                                                         {"X-MS-SPOUSE", Field::Spouse}};
    for (const auto& [head, field] : extras) lines.text(head, e[field]);
    appendExtras(lines, m_value, e, v4);
    if (e.revisionTime != 0) {
        std::string rev = vcard::formatRevision(e.revisionTime);
        if (v4) {  // the basic form 4.0 asks for: 20060301T120000Z
            std::string basic;
            for (const char c : rev) {
                if (c != '-' && c != ':') basic.push_back(c);
            }
            rev = basic;
        }
        lines.raw("REV", rev);
    }
    // Only a contact that holds fewer fields than all says so, for the reader of this file.
    if (!e.mask.all()) lines.raw("X-KYNT-SUPPORTED", maskToText(e.mask));
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
    if (m_uids.contains(uid)) return uid;
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
    CardLines lines(out, m_line);
    out.append("BEGIN:VCARD\nVERSION:4.0\nKIND:group\n");
    Entry self;
    self[Field::FullName] = m_listName;
    lines.raw("UID", "urn:uuid:" + vcard::derivedUid(self));
    lines.text("FN", m_listName);
    for (const std::string& ref : references) lines.raw("MEMBER", ref);
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
