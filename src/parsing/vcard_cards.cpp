// vCard reading and writing. Real files mix three versions of the format: 2.1 cards from
// phones and Outlook (bare parameters, quoted-printable with "=" soft line breaks, CHARSET,
// base64 photos whose lines need not be indented), 3.0 and 4.0 cards from web mail and Apple
// (TYPE= lists, folded lines, backslash escapes, "item1." group prefixes). The reader walks
// each card once, keeping for every field the first property that fits it (a PREF one
// wins over an earlier plain one), and decodes only the values it keeps.
#include "parsing/vcard_cards.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "platform/large_buffer.h"
#include "platform/prompt.h"
#include "text/charsets.h"
#include "text/text_io.h"

namespace vesk {

namespace {

// ---------------------------------------------------------------------------------------------
// Small text helpers

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/// ASCII case-insensitive equality; `upper` is already upper case. Property names are
/// compared many times per card, so this stays inline and cheap.
bool sameName(std::string_view s, std::string_view upper) {
    if (s.size() != upper.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) != upper[i]) return false;
    }
    return true;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || isBlank(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

/// A UID as groups name it: "urn:uuid:" is optional and the case does not count.
std::string uidKey(std::string_view uid) {
    std::string key = lowerCopy(uid);
    const std::size_t start = key.find_first_not_of(" \t");
    key.erase(0, start == std::string::npos ? key.size() : start);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key.rfind("urn:uuid:", 0) == 0) key.erase(0, 9);
    return key;
}

std::string_view trimCr(std::string_view s) {
    while (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string decodeQuotedPrintable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

/// Without the blank lines and blanks a label's writer left at its ends.
std::string trimLines(std::string s) {
    const std::size_t first = s.find_first_not_of(" \t\n");
    if (first == std::string::npos) return {};
    const std::size_t last = s.find_last_not_of(" \t\n");
    return s.substr(first, last - first + 1);
}

void crLfToLf(std::string& s) {
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r) {
        if (s[r] == '\r' && r + 1 < s.size() && s[r + 1] == '\n') continue;
        s[w++] = s[r];
    }
    s.resize(w);
}

/// 3.0/4.0 text escapes; a 2.1 card escapes only ";" (and "\\" before it) in structured values.
std::string unescapeValue(std::string_view s, bool modern) {
    std::string out;
    out.reserve(s.size());
    std::size_t plain = 0;  // start of the bytes not copied yet
    for (std::size_t i = s.find('\\'); i != std::string_view::npos; i = s.find('\\', i)) {
        if (i + 1 >= s.size()) break;
        const char n = s[i + 1];
        const bool kept = n == '\\' || n == ';' || (modern && (n == ',' || n == ':'));
        const bool lineFeed = modern && (n == 'n' || n == 'N');
        if (!kept && !lineFeed) {  // the backslash stays as it is
            ++i;
            continue;
        }
        out.append(s.substr(plain, i - plain));
        out.push_back(lineFeed ? '\n' : n);
        i += 2;
        plain = i;
    }
    out.append(s.substr(plain));
    return out;
}

/// unescapeValue of a value already held: most values have no escape and are kept as they are.
std::string unescapeValue(std::string&& s, bool modern) {
    if (s.find('\\') == std::string::npos) return std::move(s);
    return unescapeValue(std::string_view(s), modern);
}

/// Splits a structured value on the ";" that no backslash escapes, then unescapes each part.
std::vector<std::string> splitStructured(std::string_view s, bool modern) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == ';') {
            parts.push_back(unescapeValue(s.substr(start, i - start), modern));
            start = i + 1;
        }
    }
    parts.push_back(unescapeValue(s.substr(start), modern));
    return parts;
}

std::string joinNonEmpty(const std::vector<std::string>& parts, std::size_t from,
                         std::string_view separator) {
    std::string out;
    for (std::size_t i = from; i < parts.size(); ++i) {
        if (parts[i].empty()) continue;
        if (!out.empty()) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Parameters

enum TypeBit : std::uint32_t {
    kTypeHome = 1u << 0,
    kTypeWork = 1u << 1,
    kTypeCell = 1u << 2,
    kTypeFax = 1u << 3,
    kTypePager = 1u << 4,
    kTypePref = 1u << 5,
    kTypeSpouse = 1u << 6,
};

std::uint32_t typeBit(std::string_view t) {
    // Items of a quoted list ("work,voice") carry a quote on one side only.
    t = trim(t);
    while (!t.empty() && t.front() == '"') t.remove_prefix(1);
    while (!t.empty() && t.back() == '"') t.remove_suffix(1);
    if (equalNoCase(t, "HOME")) return kTypeHome;
    if (equalNoCase(t, "WORK")) return kTypeWork;
    if (equalNoCase(t, "CELL") || equalNoCase(t, "MOBILE") || equalNoCase(t, "IPHONE")) {
        return kTypeCell;
    }
    if (equalNoCase(t, "FAX")) return kTypeFax;
    if (equalNoCase(t, "PAGER")) return kTypePager;
    if (equalNoCase(t, "PREF")) return kTypePref;
    if (equalNoCase(t, "SPOUSE")) return kTypeSpouse;
    return 0;
}

/// Position of the ":" that ends the name and parameters; quotes protect parameter values.
std::size_t findColon(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return colon;
    if (line.substr(0, colon).find('"') == std::string_view::npos) return colon;
    bool inQuotes = false;
    bool inParams = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ';') inParams = true;
        if (c == '"' && inParams) inQuotes = !inQuotes;
        if (c == ':' && !inQuotes) return i;
    }
    return inQuotes ? line.find(':') : std::string_view::npos;
}

bool isEndLine(std::string_view line) {
    line = trimRight(line);
    return line.size() == 9 && equalNoCase(line, "END:VCARD");
}

// ---------------------------------------------------------------------------------------------
// Revision times

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

/// Reads up to `maxDigits` digits at `i`; false when there is none.
bool readNumber(std::string_view s, std::size_t& i, std::size_t maxDigits, std::int64_t& out) {
    std::size_t n = 0;
    out = 0;
    while (i < s.size() && n < maxDigits && s[i] >= '0' && s[i] <= '9') {
        out = out * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    return n > 0;
}

}  // namespace

namespace vcard {

bool writableHead(std::string_view head) {
    if (head.empty() || head.find_first_of(":\r\n") != std::string_view::npos) return false;
    const std::string_view name = head.substr(0, head.find(';'));
    for (const std::string_view frame : {"BEGIN", "END", "VERSION", "UID", "KIND", "MEMBER"}) {
        if (equalNoCase(name, frame)) return false;
    }
    return true;
}

std::string formatRevision(std::int64_t time) {
    std::int64_t days = time / 86400;
    std::int64_t secs = time % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    std::int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    civilFromDays(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(y), m, d, static_cast<long long>(secs / 3600),
                  static_cast<long long>(secs / 60 % 60), static_cast<long long>(secs % 60));
    return buf;
}

bool parseRevision(std::string_view value, std::int64_t& time) {
    const std::string_view s = trim(value);
    std::size_t i = 0;
    std::int64_t year = 0;
    std::int64_t month = 0;
    std::int64_t day = 0;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
    if (digits == 8) {
        // Basic form 20120305T131933Z (Outlook, Evolution, Apple).
        readNumber(s, i, 4, year);
        readNumber(s, i, 2, month);
        readNumber(s, i, 2, day);
        if (i < s.size() && (s[i] == 'T' || s[i] == 't')) {
            ++i;
            if (!readNumber(s, i, 2, hour) || !readNumber(s, i, 2, minute)) return false;
            readNumber(s, i, 2, second);
        }
    } else {
        // Integers with one separator character between them, as this writer produces.
        if (!readNumber(s, i, 9, year)) return false;
        const auto next = [&](std::int64_t& v) {
            if (i + 1 >= s.size()) return false;
            std::size_t j = i + 1;
            if (!readNumber(s, j, 9, v)) return false;
            i = j;
            return true;
        };
        if (!next(month) || !next(day)) return false;
        if (next(hour) && next(minute)) next(second);
        if (year < 96) {
            year += 2000;
        } else if (year < 100) {
            year += 1900;
        }
    }
    if (i < s.size() && s[i] == '.') {  // fractions of a second
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    }
    std::int64_t offset = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        const bool minus = s[i] == '-';
        ++i;
        std::int64_t hh = 0;
        std::int64_t mm = 0;
        if (readNumber(s, i, 2, hh)) {
            if (i < s.size() && s[i] == ':') ++i;
            readNumber(s, i, 2, mm);
            offset = (hh * 60 + mm) * 60 * (minus ? -1 : 1);
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 24 || minute > 59 || second > 60) {
        return false;
    }
    time = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second - offset;
    return true;
}

}  // namespace vcard

// ---------------------------------------------------------------------------------------------
// Reader

namespace iterators {

namespace {

/// One property of a card after its name and parameters have been read; the value stays raw
/// (folds and soft line breaks in it are undone only when the value is used).
struct Property {
    std::string_view head;  ///< group, name and parameters as written
    std::string_view group;
    std::string_view name;
    std::string_view value;
    std::string_view charset;
    std::uint32_t types = 0;
    bool quotedPrintable = false;
    bool base64 = false;
    bool multiLine = false;
    bool uri = false;
};

/// Where a property's value goes; the order is the order of the field table lookups.
enum Slot : std::size_t {
    kSupported,
    kRev,
    kVersion,
    kFn,
    kN,
    kNickname,
    kEmail,
    kTelHome,
    kTelWork,
    kOrg,
    kTitle,
    kNote,
    kTelCell,
    kTelPager,
    kTelWorkFax,
    kTelHomeFax,
    kAdrWork,
    kAdrHome,
    kUrlHome,
    kUrlWork,
    kRole,
    kManager,
    kAssistant,
    kSpouse,
    kLabelWork,
    kLabelHome,
    kUid,
    kKind,
    kSlotCount
};

struct NamedSlot {
    std::string_view name;
    Slot slot;
};

// Names other programs give the four fields that vCard itself has no property for.
constexpr NamedSlot kExtensionNames[] = {
    {"X-MS-MANAGER", kManager},
    {"X-EVOLUTION-MANAGER", kManager},
    {"X-KADDRESSBOOK-X-MANAGERSNAME", kManager},
    {"X-MANAGER", kManager},
    {"X-KYNT-MANAGER", kManager},
    {"X-MS-ASSISTANT", kAssistant},
    {"X-EVOLUTION-ASSISTANT", kAssistant},
    {"X-KADDRESSBOOK-X-ASSISTANTSNAME", kAssistant},
    {"X-ASSISTANT", kAssistant},
    {"X-KYNT-ASSISTANT", kAssistant},
    {"X-MS-SPOUSE", kSpouse},
    {"X-EVOLUTION-SPOUSE", kSpouse},
    {"X-KADDRESSBOOK-X-SPOUSESNAME", kSpouse},
    {"X-SPOUSE", kSpouse},
    {"X-KYNT-SPOUSE", kSpouse},
    {"X-KADDRESSBOOK-X-PROFESSION", kRole},
    {"X-KYNT-PROFESSION", kRole},
};

/// Properties per card looked at for values beyond the fields; more are not kept.
constexpr std::size_t kPropertiesKept = 512;

/// How many properties without a TYPE are kept per kind (each can fill at most two fields).
constexpr std::size_t kUntypedKept = 2;
/// Apple's labelled related names: more than this per card are not looked at.
constexpr std::size_t kLabelsKept = 64;

}  // namespace

struct IterVCF::Card {
    std::array<Property, kSlotCount> slot{};
    std::array<bool, kSlotCount> has{};
    std::array<bool, kSlotCount> pref{};
    std::vector<Property> untypedTel;
    std::vector<Property> untypedAdr;
    std::vector<Property> untypedUrl;
    std::vector<Property> labels;   ///< X-ABLabel, by group
    std::vector<Property> related;  ///< X-ABRELATEDNAMES, by group
    std::vector<Property> members;  ///< MEMBER of a group card
    std::deque<std::string> scratch;
    std::vector<Property> all;  ///< every property, for the ones no field takes

    void reset() {
        has.fill(false);
        pref.fill(false);
        untypedTel.clear();
        untypedAdr.clear();
        untypedUrl.clear();
        labels.clear();
        related.clear();
        members.clear();
        if (!scratch.empty()) scratch.clear();
        all.clear();
    }

    void offer(Slot s, const Property& p) {
        const bool isPref = (p.types & kTypePref) != 0;
        if (has[s] && (pref[s] || !isPref)) return;
        slot[s] = p;
        has[s] = true;
        pref[s] = isPref;
    }

    static void keep(std::vector<Property>& v, const Property& p, std::size_t cap) {
        if (v.size() < cap) v.push_back(p);
    }

    void take(const Property& p) {
        const std::string_view n = p.name;
        const std::uint32_t t = p.types;
        if (n.empty()) return;
        switch (n.size()) {
            case 1:
                if (sameName(n, "N")) offer(kN, p);
                return;
            case 2:
                if (sameName(n, "FN")) offer(kFn, p);
                return;
            case 3:
                if (sameName(n, "TEL")) {
                    takePhone(p);
                } else if (sameName(n, "ADR")) {
                    if (t == 0 && p.value.substr(0, 5) == "WORK:") {
                        // "ADR:WORK:;;..." from an old writer that lost its ";"
                        Property work = p;
                        work.value.remove_prefix(5);
                        offer(kAdrWork, work);
                        return;
                    }
                    if (t & kTypeWork) offer(kAdrWork, p);
                    if (t & kTypeHome) offer(kAdrHome, p);
                    if (!(t & (kTypeWork | kTypeHome))) keep(untypedAdr, p, kUntypedKept);
                } else if (sameName(n, "URL")) {
                    if (t & kTypeHome) offer(kUrlHome, p);
                    if (t & kTypeWork) offer(kUrlWork, p);
                    if (!(t & (kTypeWork | kTypeHome))) keep(untypedUrl, p, kUntypedKept);
                } else if (sameName(n, "ORG")) {
                    offer(kOrg, p);
                } else if (sameName(n, "REV")) {
                    offer(kRev, p);
                } else if (sameName(n, "UID")) {
                    offer(kUid, p);
                }
                return;
            default:
                break;
        }
        if (sameName(n, "EMAIL")) {
            offer(kEmail, p);
        } else if (sameName(n, "TITLE")) {
            offer(kTitle, p);
        } else if (sameName(n, "NOTE")) {
            offer(kNote, p);
        } else if (sameName(n, "ROLE")) {
            offer(kRole, p);
        } else if (sameName(n, "LABEL")) {
            // The printed address: read only where the card has no ADR of its kind.
            if (t & kTypeHome) offer(kLabelHome, p);
            if (!(t & kTypeHome)) offer(kLabelWork, p);
        } else if (sameName(n, "NICKNAME")) {
            offer(kNickname, p);
        } else if (sameName(n, "VERSION")) {
            offer(kVersion, p);
        } else if (sameName(n, "X-KYNT-SUPPORTED")) {
            offer(kSupported, p);
        } else if (sameName(n, "RELATED")) {
            if (t & kTypeSpouse) offer(kSpouse, p);
        } else if (sameName(n, "KIND") || sameName(n, "X-ADDRESSBOOKSERVER-KIND")) {
            offer(kKind, p);
        } else if (sameName(n, "MEMBER") || sameName(n, "X-ADDRESSBOOKSERVER-MEMBER")) {
            members.push_back(p);
        } else if (sameName(n, "X-ABLABEL")) {
            if (!p.group.empty()) keep(labels, p, kLabelsKept);
        } else if (sameName(n, "X-ABRELATEDNAMES")) {
            if (!p.group.empty()) keep(related, p, kLabelsKept);
        } else if (n.size() > 2 && (n[0] == 'X' || n[0] == 'x') && n[1] == '-') {
            for (const NamedSlot& ns : kExtensionNames) {
                if (sameName(n, ns.name)) {
                    offer(ns.slot, p);
                    break;
                }
            }
        }
    }

    void takePhone(const Property& p) {
        const std::uint32_t t = p.types;
        if (t & kTypeFax) {
            if (t & kTypeHome) offer(kTelHomeFax, p);
            if ((t & kTypeWork) || !(t & kTypeHome)) offer(kTelWorkFax, p);
            return;
        }
        bool typed = false;
        if (t & kTypeCell) {
            offer(kTelCell, p);
            typed = true;
        }
        if (t & kTypePager) {
            offer(kTelPager, p);
            typed = true;
        }
        if (typed) return;
        if (t & kTypeHome) offer(kTelHome, p);
        if (t & kTypeWork) offer(kTelWork, p);
        if (!(t & (kTypeWork | kTypeHome))) keep(untypedTel, p, kUntypedKept);
    }

    /// Properties without a type fill the fields that no typed property claimed.
    void placeUntyped() {
        const auto place = [this](const std::vector<Property>& v, Slot first, Slot second) {
            for (const Property& p : v) {
                if (!has[first]) {
                    offer(first, p);
                } else if (!has[second]) {
                    offer(second, p);
                }
            }
        };
        place(untypedTel, kTelWork, kTelHome);
        place(untypedAdr, kAdrWork, kAdrHome);
        place(untypedUrl, kUrlHome, kUrlWork);
        for (const Property& r : related) {
            for (const Property& l : labels) {
                if (!equalNoCase(l.group, r.group)) continue;
                const std::string label(l.value);
                std::string upper;
                for (const char c : label) {
                    upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
                }
                if (upper.find("SPOUSE") != std::string::npos) offer(kSpouse, r);
                if (upper.find("MANAGER") != std::string::npos) offer(kManager, r);
                if (upper.find("ASSISTANT") != std::string::npos) offer(kAssistant, r);
                break;
            }
        }
    }
};

namespace {

/// Reads name, group and parameters of a property line (unfolded) into `p`; false when the
/// line holds no ":" at all.
bool parseHeader(std::string_view line, Property& p) {
    const std::size_t colon = findColon(line);
    if (colon == std::string_view::npos) return false;
    const std::string_view head = line.substr(0, colon);
    p.head = trim(head);
    p.value = line.substr(colon + 1);
    std::size_t semi = head.find(';');
    std::string_view fullName = trim(head.substr(0, semi));
    const std::size_t dot = fullName.rfind('.');
    if (dot != std::string_view::npos) {
        p.group = fullName.substr(0, dot);
        fullName = fullName.substr(dot + 1);
    }
    p.name = fullName;
    while (semi != std::string_view::npos) {
        std::size_t end = semi + 1;
        bool inQuotes = false;
        while (end < head.size() && (inQuotes || head[end] != ';')) {
            if (head[end] == '"') inQuotes = !inQuotes;
            ++end;
        }
        const std::string_view param = trim(head.substr(semi + 1, end - semi - 1));
        semi = end < head.size() ? end : std::string_view::npos;
        const std::size_t eq = param.find('=');
        if (eq == std::string_view::npos) {
            // vCard 2.1 writes bare parameters: HOME, VOICE, QUOTED-PRINTABLE, BASE64.
            if (equalNoCase(param, "QUOTED-PRINTABLE")) {
                p.quotedPrintable = true;
            } else if (equalNoCase(param, "BASE64")) {
                p.base64 = true;
            } else {
                p.types |= typeBit(param);
            }
            continue;
        }
        const std::string_view key = trim(param.substr(0, eq));
        const std::string_view val = param.substr(eq + 1);
        if (equalNoCase(key, "TYPE")) {
            std::size_t start = 0;
            while (start <= val.size()) {
                std::size_t comma = val.find(',', start);
                if (comma == std::string_view::npos) comma = val.size();
                p.types |= typeBit(val.substr(start, comma - start));
                start = comma + 1;
            }
        } else if (equalNoCase(key, "ENCODING")) {
            const std::string_view enc = unquote(val);
            if (equalNoCase(enc, "QUOTED-PRINTABLE")) p.quotedPrintable = true;
            if (equalNoCase(enc, "BASE64") || equalNoCase(enc, "B")) p.base64 = true;
        } else if (equalNoCase(key, "CHARSET")) {
            p.charset = unquote(val);
        } else if (equalNoCase(key, "PREF")) {
            p.types |= kTypePref;
        } else if (equalNoCase(key, "VALUE")) {
            p.uri = equalNoCase(unquote(val), "uri");
        }
    }
    return true;
}

/// How the values of a file are decoded: `bytes` when the file is not UTF-8 throughout, and
/// the charset a value that names none is read in then.
struct ValueCharset {
    bool bytes = false;
    std::string_view fallback;
};

/// The value with folds and soft line breaks undone, quoted-printable and character set
/// decoded; escapes are left for the caller, which knows whether the value is structured.
/// Without a CHARSET, bytes that are UTF-8 are read as UTF-8 (Android, Vesk) and the others as
/// Windows-1252 (Outlook writes its ANSI code page) or the charset the user named.
std::string rawValue(const Property& p, const ValueCharset& file) {
    std::string out;
    if (!p.multiLine) {
        out.assign(trimCr(p.value));
    } else {
        const std::string_view v = p.value;
        out.reserve(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            const char c = v[i];
            if (c != '\n') {
                out.push_back(c);
                continue;
            }
            while (!out.empty() && out.back() == '\r') out.pop_back();
            if (p.quotedPrintable) {
                std::size_t k = out.size();
                while (k > 0 && isBlank(out[k - 1])) --k;
                if (k > 0 && out[k - 1] == '=') {
                    out.resize(k - 1);
                    continue;  // a soft line break: the next line goes on as it is
                }
            }
            if (i + 1 < v.size() && isBlank(v[i + 1])) ++i;  // a folded line
        }
        while (!out.empty() && out.back() == '\r') out.pop_back();
    }
    if (p.quotedPrintable) {
        // A soft line break with nothing after it, left by a writer at the end of the value.
        std::size_t k = out.size();
        while (k > 0 && isBlank(out[k - 1])) --k;
        if (k > 0 && out[k - 1] == '=') out.resize(k - 1);
        out = decodeValue(decodeQuotedPrintable(out), p.charset, file.fallback);
        crLfToLf(out);
    } else if (file.bytes) {
        out = decodeValue(out, p.charset, file.fallback);
    }
    return out;
}

}  // namespace

namespace {

/// Apple saves "Unicode" vCards as UTF-16 without a byte-order mark; a card always starts
/// with an ASCII letter, so a NUL beside it tells the byte order. Some servers fold long lines
/// in the middle of a UTF-8 sequence; joining those folds keeps such a file UTF-8 instead of
/// reading it as Windows-1252. Any other file that is not UTF-8 keeps its bytes: each value
/// is decoded by the CHARSET it names (phones write Shift_JIS beside plain ASCII lines).
constexpr DecodeOptions kCardFileDecoding{.utf16WithoutBom = true,
                                          .joinFoldsInSequences = true,
                                          .keepBytes = true,
                                          .prepareBuffer = &adviseLargeBuffer};

/// Number of lines starting "BEGIN:VCARD" (any case), for the progress fraction.
int countCards(std::string_view text) {
    int n = 0;
    for (std::size_t p = 0; (p = text.find(':', p)) != std::string_view::npos; ++p) {
        if (p >= 5 && (p == 5 || text[p - 6] == '\n') &&
            equalNoCase(text.substr(p - 5, 11), "BEGIN:VCARD")) {
            ++n;
        }
    }
    return n;
}

}  // namespace

IterVCF::IterVCF(RunContext& run, const std::string& fileName)
    : m_fileName(fileName), m_card(new Card), m_fallbackCharset(run.sourceEncoding), m_run(&run) {
    if (auto text = readTextFile(fileName, kCardFileDecoding)) {
        m_text = std::move(*text);
        m_keptBytes = !isValidUtf8(m_text);
        m_passed.watch(m_text, fileName, kCardFileDecoding);
    } else {
        run.report(Severity::Error, "File cannot be opened", fileName, Where{fileName});
    }
    // The count only scales the progress; cards nested in an AGENT are counted too.
    m_cardCount = countCards(m_text);
    IterVCF::rewind();
}

IterVCF::IterVCF(std::string fileName, std::string text)
    : m_fileName(std::move(fileName)), m_text(std::move(text)), m_card(new Card) {
    m_cardCount = countCards(m_text);
    IterVCF::rewind();
}

IterVCF::~IterVCF() = default;

void IterVCF::reset(std::string_view text) {
    m_text.assign(text);
    m_cardCount = countCards(m_text);
    m_groupMembers.clear();
    m_indexed = false;
    m_byUid.clear();
    m_byEmail.clear();
    m_lastLineStart = std::string::npos;
    m_lastLineEnd = 0;
    rewind();
}

std::size_t IterVCF::lineEnd(std::size_t pos) const {
    if (pos >= m_text.size()) return m_text.size();
    // The card scan asks for the same line twice (as a continuation, then as a property).
    if (pos == m_lastLineStart) return m_lastLineEnd;
    const void* hit = std::memchr(m_text.data() + pos, '\n', m_text.size() - pos);
    m_lastLineStart = pos;
    m_lastLineEnd = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data())
                        : m_text.size();
    return m_lastLineEnd;
}

bool IterVCF::isCardStart(std::size_t lineStart) const {
    if (lineStart >= m_text.size()) return false;
    const char c = m_text[lineStart];
    if (c != 'B' && c != 'b') return false;
    const std::string_view line =
        trimRight(std::string_view(m_text).substr(lineStart, lineEnd(lineStart) - lineStart));
    return line.size() == 11 && equalNoCase(line, "BEGIN:VCARD");
}

std::size_t IterVCF::findNextItem(std::size_t from) const {
    for (std::size_t pos = from; pos < m_text.size(); pos = lineEnd(pos) + 1) {
        if (isCardStart(pos)) return pos;
    }
    return std::string::npos;
}

bool IterVCF::wholeText() {
    if (m_passed.restoreOrReport(m_run, m_fileName)) return true;
    m_changed = true;
    m_position = std::string::npos;
    m_end = true;
    return false;
}

bool IterVCF::rewind() {
    if (!wholeText()) return false;
    m_pending.clear();
    m_groupCard = false;
    m_cardsRead = 0;
    m_itemEnd = std::string::npos;
    m_position = findNextItem(0);
    m_end = m_position == std::string::npos;
    return true;
}

bool IterVCF::atEnd() {
    return m_end && m_pending.empty();
}

float IterVCF::progress() {
    if (m_cardCount <= 0) return 1.0f;
    const float p = static_cast<float>(m_cardsRead) / static_cast<float>(m_cardCount);
    return p > 1.0f ? 1.0f : p;
}

void IterVCF::nextCard() {
    if (m_position == std::string::npos) {
        m_end = true;
        return;
    }
    std::size_t end = m_itemEnd;
    if (end == std::string::npos)
        end = isCardStart(m_position) ? scanCard(m_position) : lineEnd(m_position) + 1;
    if (isCardStart(m_position)) ++m_cardsRead;
    m_itemEnd = std::string::npos;
    m_position = findNextItem(end);
    if (m_position == std::string::npos) m_end = true;
}

Entry IterVCF::nextEntry() {
    if (!m_pending.empty()) {
        Entry e = std::move(m_pending.front());
        m_pending.pop_front();
        return e;
    }
    if (m_end || m_position == std::string::npos) {
        m_end = true;
        return Entry();
    }
    std::size_t end = 0;
    Entry e = readCard(m_position, end);
    m_itemEnd = end;
    if (m_groupCard) e = openGroup(e);
    nextCard();
    // Cards are read once, front to back: what lies behind goes back to the system.
    m_passed.passed(m_position == std::string::npos ? m_text.size() : m_position);
    return e;
}

namespace {

/// The head without the parameters that describe an encoding, since the kept value is decoded.
std::string plainHead(std::string_view head) {
    std::string out;
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
        std::size_t semi = head.find(';', start);
        if (semi == std::string_view::npos) semi = head.size();
        const std::string_view part = head.substr(start, semi - start);
        const std::string_view bare = trim(part);
        const bool encoding = startsWithNoCase(bare, "CHARSET=") ||
                              startsWithNoCase(bare, "ENCODING=") ||
                              equalNoCase(bare, "QUOTED-PRINTABLE");
        if (first || !encoding) {
            if (!first) out.push_back(';');
            out.append(part);
        }
        first = false;
        start = semi + 1;
    }
    return out;
}

/// Categories split on the commas no backslash escapes.
void addCategories(Entry& e, std::string_view value) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == '\\') {
            ++i;
        } else if (i == value.size() || value[i] == ',') {
            e.addExtra(ExtraKind::Category,
                       std::string(trim(unescapeValue(value.substr(start, i - start), true))));
            start = i + 1;
        }
    }
}

/// Properties that only frame a card or that the fields already answer.
bool framesCard(std::string_view n) {
    for (const std::string_view name : {"BEGIN", "END", "VERSION", "REV", "X-KYNT-SUPPORTED",
                                        "PRODID", "N", "FN", "AGENT", "KIND", "MEMBER"}) {
        if (sameName(n, name)) return true;
    }
    return false;
}

bool isAnniversary(std::string_view n) {
    return sameName(n, "ANNIVERSARY") || sameName(n, "X-ANNIVERSARY") ||
           sameName(n, "X-EVOLUTION-ANNIVERSARY") || sameName(n, "X-MS-ANNIVERSARY");
}

}  // namespace

void IterVCF::readExtras(const Card& c, Entry& e, bool modern) const {
    const ValueCharset charset{m_keptBytes, m_fallbackCharset};
    // The properties a field took, by where their names stand. The UID slot only finds group
    // members; the UID itself is kept with the contact.
    std::array<const char*, kSlotCount> taken{};
    std::size_t takenCount = 0;
    for (std::size_t s = 0; s < kSlotCount; ++s) {
        if (s != kUid && c.has[s]) taken[takenCount++] = c.slot[s].name.data();
    }
    const auto takenEnd = taken.cbegin() + static_cast<std::ptrdiff_t>(takenCount);
    for (const Property& p : c.all) {
        if (std::find(taken.cbegin(), takenEnd, p.name.data()) != takenEnd) continue;
        if (p.base64 || framesCard(p.name)) continue;
        std::string raw = rawValue(p, charset);
        // Each branch below reads the value once, as text() or as `raw`.
        const auto text = [&] {
            return modern ? unescapeValue(std::move(raw), true) : std::move(raw);
        };
        if (sameName(p.name, "EMAIL")) {
            e.addExtra(ExtraKind::Email, std::string(trim(text())));
        } else if (sameName(p.name, "BDAY")) {
            e.addExtra(ExtraKind::Birthday, normalExtraDate(raw));
        } else if (isAnniversary(p.name)) {
            e.addExtra(ExtraKind::Anniversary, normalExtraDate(raw));
        } else if (sameName(p.name, "CATEGORIES")) {
            addCategories(e, raw);
        } else if (sameName(p.name, "UID")) {
            e.addExtra(ExtraKind::Uid, std::string(trim(text())));
        } else {
            e.addExtra(ExtraKind::Property, std::move(raw), plainHead(p.head));
        }
    }
}

Entry IterVCF::openGroup(const Entry& card) {
    const std::vector<std::string> references = std::move(m_groupMembers);
    m_groupMembers.clear();
    Entry begin = markerEntry(KindListBegin, card[Field::FullName]);
    for (const std::string& ref : references) {
        Entry member = memberCard(ref);
        if (!member.isEmpty()) m_pending.push_back(std::move(member));
    }
    m_pending.push_back(markerEntry(KindListEnd, {}));
    m_groupCard = false;
    return begin;
}

Entry IterVCF::memberCard(std::string_view reference) {
    indexCards();
    const bool mail = startsWithNoCase(reference, "mailto:");
    const std::string key = mail ? lowerCopy(reference.substr(7)) : uidKey(reference);
    const auto& index = mail ? m_byEmail : m_byUid;
    const auto hit = index.find(key);
    if (hit != index.end()) {
        std::size_t end = 0;
        Entry e = readCard(hit->second, end);
        if (!m_groupCard) return e;  // a group inside a group is not a member
        m_groupCard = false;
        return Entry();
    }
    Entry e;
    e.revisionTime = 0;
    if (mail) e[Field::Email] = std::string(reference.substr(7));
    return e;
}

void IterVCF::indexCards() {
    if (m_indexed) return;
    m_indexed = true;
    // Group members may be any card of the file, before or after the group.
    if (!wholeText()) return;
    m_passed.stop();
    const ValueCharset charset{m_keptBytes, m_fallbackCharset};
    for (std::size_t pos = findNextItem(0); pos != std::string::npos;) {
        const std::size_t end = scanCard(pos);
        const Card& c = *m_card;
        if (c.has[kUid]) m_byUid.emplace(uidKey(rawValue(c.slot[kUid], charset)), pos);
        if (c.has[kEmail]) {
            m_byEmail.emplace(
                lowerCopy(trim(unescapeValue(rawValue(c.slot[kEmail], charset), true))), pos);
        }
        pos = findNextItem(end);
    }
}

Entry IterVCF::readCard(std::size_t begin, std::size_t& end) {
    end = scanCard(begin);
    Card& c = *m_card;
    c.placeUntyped();
    Entry e;
    const ValueCharset charset{m_keptBytes, m_fallbackCharset};
    const auto valueOf = [&](const Property& p) { return rawValue(p, charset); };
    const bool modern = c.has[kVersion] && !trim(c.slot[kVersion].value).empty() &&
                        trim(c.slot[kVersion].value)[0] >= '3';
    const auto text = [&](Slot s) -> std::string {
        if (!c.has[s] || c.slot[s].base64) return {};
        // 2.1 has no escapes outside structured values: "C:\Data" is what it says.
        return modern ? unescapeValue(valueOf(c.slot[s]), true) : valueOf(c.slot[s]);
    };
    // Always `count` parts at least: a base64 value, which is not read, gives empty ones.
    const auto parts = [&](Slot s, std::size_t count) -> std::vector<std::string> {
        std::vector<std::string> out;
        if (c.has[s] && !c.slot[s].base64) out = splitStructured(valueOf(c.slot[s]), modern);
        if (out.size() < count) out.resize(count);
        return out;
    };
    const auto phone = [&](Slot s, Field f) {
        std::string v = text(s);
        if (c.slot[s].uri && startsWithNoCase(v, "tel:")) v.erase(0, 4);
        e[f] = std::move(v);
    };

    if (c.has[kSupported]) {
        // Anything but a run of "0" and "1" is ignored: the card then supports every field.
        const std::string v(trim(c.slot[kSupported].value));
        bool valid = !v.empty();
        for (const char ch : v) valid = valid && (ch == '0' || ch == '1');
        if (valid) {
            const std::size_t n = v.size() < kFieldCount ? v.size() : kFieldCount;
            e.mask.reset();
            for (std::size_t k = 0; k < n; ++k) {
                if (v[k] == '1') e.mask.set(n - 1 - k);
            }
        }
    }
    e.revisionTime = 0;  // a card without a REV line says nothing about its age
    if (c.has[kRev]) {
        std::int64_t t = 0;
        if (vcard::parseRevision(valueOf(c.slot[kRev]), t)) e.revisionTime = t;
    }
    e[Field::FullName] = text(kFn);
    if (c.has[kN]) {
        auto n = parts(kN, 3);
        e[Field::Title] = joinNonEmpty(n, 3, " ");  // prefix, then any suffix
        e[Field::LastName] = std::move(n[0]);
        e[Field::FirstName] = std::move(n[1]);
        e[Field::MiddleName] = std::move(n[2]);
    }
    e[Field::Nickname] = text(kNickname);
    e[Field::Email] = text(kEmail);
    phone(kTelHome, Field::HomePhone);
    phone(kTelWork, Field::BusinessPhone);
    if (c.has[kOrg]) {
        auto o = parts(kOrg, 1);
        e[Field::Department] = joinNonEmpty(o, 1, ";");
        e[Field::Organization] = std::move(o[0]);
    }
    e[Field::JobTitle] = text(kTitle);
    e[Field::Notes] = text(kNote);
    phone(kTelCell, Field::CellularPhone);
    phone(kTelPager, Field::Pager);
    phone(kTelWorkFax, Field::BusinessFax);
    phone(kTelHomeFax, Field::HomeFax);
    if (c.has[kAdrWork]) {
        // post-office box; extended address; street; locality; region; postal code; country
        auto a = parts(kAdrWork, 7);
        e[Field::Office] = std::move(a[1]);
        e[Field::BusinessStreet] =
            a[0].empty() ? std::move(a[2]) : joinNonEmpty({a[0], a[2]}, 0, "\n");
        e[Field::BusinessCity] = std::move(a[3]);
        e[Field::BusinessState] = std::move(a[4]);
        e[Field::BusinessPostalCode] = std::move(a[5]);
        e[Field::BusinessCountry] = std::move(a[6]);
    }
    if (c.has[kAdrHome]) {
        auto a = parts(kAdrHome, 7);
        e[Field::HomeStreet] = a[0].empty() && a[1].empty()
                                   ? std::move(a[2])
                                   : joinNonEmpty({a[0], a[1], a[2]}, 0, "\n");
        e[Field::HomeCity] = std::move(a[3]);
        e[Field::HomeState] = std::move(a[4]);
        e[Field::HomePostalCode] = std::move(a[5]);
        e[Field::HomeCountry] = std::move(a[6]);
    }
    if (!c.has[kAdrWork] && e[Field::BusinessStreet].empty()) {
        e[Field::BusinessStreet] = trimLines(text(kLabelWork));
    }
    if (!c.has[kAdrHome] && e[Field::HomeStreet].empty()) {
        e[Field::HomeStreet] = trimLines(text(kLabelHome));
    }
    e[Field::HomeWebPage] = text(kUrlHome);
    e[Field::BusinessWebPage] = text(kUrlWork);
    e[Field::Profession] = text(kRole);
    e[Field::Manager] = text(kManager);
    e[Field::Assistant] = text(kAssistant);
    e[Field::Spouse] = text(kSpouse);
    readExtras(c, e, modern);
    m_groupCard = c.has[kKind] && equalNoCase(trim(valueOf(c.slot[kKind])), "group");
    m_groupMembers.clear();
    if (m_groupCard) {
        for (const Property& m : c.members) m_groupMembers.push_back(std::string(trim(valueOf(m))));
    }

    if (e[Field::FullName].empty()) {
        std::string full;
        for (const Field f : {Field::Title, Field::FirstName, Field::LastName}) {
            if (e[f].empty()) continue;
            if (!full.empty()) full.push_back(' ');
            full += e[f];
        }
        e[Field::FullName] = std::move(full);
    }
    return e;
}

std::size_t IterVCF::scanCard(std::size_t begin) {
    Card& c = *m_card;
    c.reset();
    const std::size_t size = m_text.size();
    const std::string_view text(m_text);
    std::size_t pos = lineEnd(begin) + 1;
    bool agentOpen = false;  // a 2.1 AGENT property whose value is the card that follows
    while (pos < size) {
        const std::size_t le = lineEnd(pos);
        const std::string_view line = trimCr(text.substr(pos, le - pos));
        if (isCardStart(pos)) {
            if (!agentOpen) return pos;  // this card lacks its END; the next one starts here
            int depth = 0;
            while (pos < size) {
                if (isCardStart(pos)) {
                    ++depth;
                } else if (isEndLine(text.substr(pos, lineEnd(pos) - pos)) && --depth == 0) {
                    pos = lineEnd(pos) + 1;
                    break;
                }
                pos = lineEnd(pos) + 1;
            }
            agentOpen = false;
            continue;
        }
        if (isEndLine(line)) return le + 1;
        if (endsCard(line)) return pos;
        if (line.empty() || isBlank(line.front())) {  // blank line or a stray continuation
            pos = le + 1;
            continue;
        }

        // One property: its first line, then the lines that continue it.
        Property p;
        std::size_t last = le;  // line feed of the last line that belongs to the property
        std::string_view lastLine = line;
        std::size_t valueStart = std::string::npos;
        std::string unfolded;  // only when the header itself is folded (long parameters)
        if (parseHeader(line, p)) {
            valueStart = pos + static_cast<std::size_t>(p.value.data() - line.data());
        } else {
            if (le + 1 >= size || !isBlank(text[le + 1])) {
                pos = le + 1;
                continue;
            }
            unfolded.assign(line);
            while (last + 1 < size && isBlank(text[last + 1])) {
                const std::size_t ne = lineEnd(last + 1);
                lastLine = trimCr(text.substr(last + 1, ne - last - 1));
                unfolded.append(lastLine.substr(1));
                last = ne;
            }
            if (!parseHeader(unfolded, p)) {
                pos = last + 1;
                continue;
            }
        }
        const std::size_t headerEnd = last;
        while (last + 1 < size) {
            const std::size_t next = last + 1;
            const std::size_t ne = lineEnd(next);
            const std::string_view nextLine = trimCr(text.substr(next, ne - next));
            const std::string_view tail = trimRight(lastLine);
            if (p.quotedPrintable && !tail.empty() && tail.back() == '=') {
                if (isEndLine(nextLine)) break;  // a writer left a dangling "=" at the end
            } else if (nextLine.empty() || !isBlank(nextLine.front())) {
                // 2.1 base64 lines need not be indented; they never hold a ":".
                if (!p.base64 || nextLine.empty() || nextLine.find(':') != std::string_view::npos) {
                    break;
                }
            }
            last = ne;
            lastLine = nextLine;
            p.multiLine = true;
        }
        if (valueStart != std::string::npos) {
            p.value = text.substr(valueStart, last - valueStart);
        } else {
            if (last > headerEnd) {
                unfolded.push_back('\n');
                unfolded.append(text.substr(headerEnd + 1, last - headerEnd - 1));
            }
            c.scratch.push_back(std::move(unfolded));
            const bool multiLine = p.multiLine;
            p = Property();
            parseHeader(c.scratch.back(), p);
            p.multiLine = multiLine;
        }
        agentOpen = equalNoCase(p.name, "AGENT") && trim(p.value).empty();
        c.take(p);
        if (c.all.size() < kPropertiesKept) c.all.push_back(p);
        pos = last + 1;
    }
    return size;
}

}  // namespace iterators

// ---------------------------------------------------------------------------------------------
// Writer

namespace {

/// Physical lines of quoted-printable text stay within this many characters, "=" included.
constexpr std::size_t kQpLineLength = 76;

bool isAscii(std::string_view s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

/// Backslash and ";" are escaped in the components of N, ORG and ADR.
std::string escapeComponent(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        if (c == '\\' || c == ';') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

/// Encodes `value` as quoted-printable; line breaks become =0D=0A. `column` is where the
/// value starts on its line. A continuation line never starts with a blank or "E", so no
/// reader unfolds it away or takes it for "END:VCARD".
void appendQuotedPrintable(std::string& out, std::string_view value, std::size_t column) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto put = [&](std::string_view token) {
        if (column + token.size() > kQpLineLength - 1) {
            out.append("=\n");
            column = 0;
        }
        out.append(token);
        column += token.size();
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto b = static_cast<unsigned char>(value[i]);
        if (b == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
        if (b == '\n') {
            put("=0D=0A");
            continue;
        }
        const bool last = i + 1 == value.size();
        bool plain = b >= 0x20 && b < 0x7F && b != '=' && !(last && b == ' ');
        if (plain && column + 1 > kQpLineLength - 1) {
            out.append("=\n");
            column = 0;
        }
        if (plain && column == 0 && (b == ' ' || b == 'E' || b == 'e')) plain = false;
        if (plain) {
            out.push_back(static_cast<char>(b));
            ++column;
        } else {
            const char token[3] = {'=', kHex[b >> 4], kHex[b & 15]};
            put(std::string_view(token, 3));
        }
    }
}

/// Appends one property line. A value with line breaks goes out quoted-printable so that it
/// stays on its line; a value beyond ASCII says it is UTF-8. Plain ASCII lines are unchanged.
void appendLine(std::string& out, std::string_view head, std::string_view value) {
    const std::size_t start = out.size();
    out.append(head);
    if (!isAscii(value)) out.append(";CHARSET=UTF-8");
    if (hasLineBreak(value)) {
        out.append(";ENCODING=QUOTED-PRINTABLE:");
        appendQuotedPrintable(out, value, out.size() - start);
    } else {
        out.push_back(':');
        out.append(value);
    }
    out.push_back('\n');
}

/// The values beyond the fields, after them, so that readers that know only the classic
/// lines still read those first. Categories share one line, commas escaped, where the first
/// of them stands.
void appendExtras(std::string& out, const Entry& e) {
    std::string categories;
    for (const Extra& x : e.extras) {
        if (x.kind != ExtraKind::Category) continue;
        if (!categories.empty()) categories.push_back(',');
        for (const char c : x.value) {
            if (c == ',' || c == '\\') categories.push_back('\\');
            categories.push_back(c);
        }
    }
    for (const Extra& x : e.extras) {
        switch (x.kind) {
            case ExtraKind::Email:
                appendLine(out, "EMAIL;INTERNET", x.value);
                break;
            case ExtraKind::Birthday:
                appendLine(out, "BDAY", x.value);
                break;
            case ExtraKind::Anniversary:
                appendLine(out, "X-ANNIVERSARY", x.value);
                break;
            case ExtraKind::Category:
                if (!categories.empty()) appendLine(out, "CATEGORIES", categories);
                categories.clear();
                break;
            case ExtraKind::Uid:
                appendLine(out, "UID", x.value);
                break;
            case ExtraKind::Property:
                if (vcard::writableHead(x.name)) appendLine(out, x.name, x.value);
                break;
        }
    }
}

}  // namespace

ToVCF::ToVCF(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    wantsLists = true;
    keepsUndated = true;
    takesViews = true;
}

bool ToVCF::skipsListPart(const Entry& e) {
    if (e.kind == KindListBegin) {
        m_run->note(Severity::Warning, "List dropped: this vCard version holds no lists",
                    Where{m_fileName, 0, -1, e[Field::FullName]});
        m_inList = true;
        return true;
    }
    if (e.kind == KindListEnd) {
        m_inList = false;
        return true;
    }
    return m_inList;
}

bool ToVCF::writeView(const Entry& e) {
    if (skipsListPart(e) || e.isMarker()) return false;
    writeCard(e, false);
    return true;
}

void ToVCF::writeCard(const Entry& e, bool archive) {
    m_card.clear();
    appendCard(m_card, e, archive);
    m_text += m_card;
}

void ToVCF::appendCard(std::string& out, const Entry& e, bool archive) {
    const auto joined = [&e](std::string_view lead, std::initializer_list<Field> fields) {
        std::string v(lead);
        bool first = true;
        for (const Field f : fields) {
            if (!first) v.push_back(';');
            first = false;
            v += escapeComponent(e[f]);
        }
        return v;
    };
    // Others take an empty phone line for a number and lose the lines after it.
    const auto phone = [&](std::string_view head, Field f) {
        if (archive || !e[f].empty()) appendLine(out, head, e[f]);
    };
    out.append("BEGIN:VCARD\nVERSION:2.1\n");
    if (archive || e.revisionTime != 0)
        appendLine(out, "REV", vcard::formatRevision(e.revisionTime));
    appendLine(out, "N",
               joined("", {Field::LastName, Field::FirstName, Field::MiddleName, Field::Title}));
    appendLine(out, "FN", e[Field::FullName]);
    appendLine(out, "NICKNAME", e[Field::Nickname]);
    appendLine(out, "ORG", joined("", {Field::Organization, Field::Department}));
    appendLine(out, "TITLE", e[Field::JobTitle]);
    phone("TEL;WORK;VOICE", Field::BusinessPhone);
    phone("TEL;HOME;VOICE", Field::HomePhone);
    phone("TEL;CELL;VOICE", Field::CellularPhone);
    phone("TEL;PAGER;VOICE", Field::Pager);
    phone("TEL;WORK;FAX", Field::BusinessFax);
    phone("TEL;HOME;FAX", Field::HomeFax);
    appendLine(
        out, "ADR;WORK",
        joined(";", {Field::Office, Field::BusinessStreet, Field::BusinessCity,
                     Field::BusinessState, Field::BusinessPostalCode, Field::BusinessCountry}));
    appendLine(out, "ADR;HOME",
               joined(";;", {Field::HomeStreet, Field::HomeCity, Field::HomeState,
                             Field::HomePostalCode, Field::HomeCountry}));
    appendLine(out, "URL;HOME", e[Field::HomeWebPage]);
    appendLine(out, "URL;WORK", e[Field::BusinessWebPage]);
    appendLine(out, "EMAIL;PREF;INTERNET", e[Field::Email]);
    // Written only when set, so cards of contacts without them keep their classic 21 lines.
    // ROLE is where Outlook puts the profession; the X-MS- names are Outlook's too.
    const std::pair<std::string_view, Field> extras[] = {{"NOTE", Field::Notes},
                                                         {"ROLE", Field::Profession},
                                                         {"X-MS-MANAGER", Field::Manager},
                                                         {"X-MS-ASSISTANT", Field::Assistant},
                                                         {"X-MS-SPOUSE", Field::Spouse}};
    for (const auto& [head, field] : extras) {
        if (!e[field].empty()) appendLine(out, head, e[field]);
    }
    appendExtras(out, e);
    out.append("X-KYNT-SUPPORTED:");
    out.append(maskToText(e.mask));
    out.append("\nEND:VCARD\n");
}

}  // namespace vesk
