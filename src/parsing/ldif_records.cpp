#include "parsing/ldif_records.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/trace.h"
#include "text/text_io.h"

namespace vesk {

namespace ldif {

namespace {

/// Where an attribute goes. A lower rank wins when a record names one field twice.
struct AttributeRow {
    std::string_view name;  // lower case
    Field field;
    int rank;
};

// Netscape 4 names first where the old table had them, then the Mozilla family's names
// (its LDAP attribute map and its LDIF export), then names other LDAP tools use.
constexpr std::array kAttributes = {
    AttributeRow{"cn", Field::FullName, 0},
    AttributeRow{"commonname", Field::FullName, 1},
    AttributeRow{"mail", Field::Email, 0},
    AttributeRow{"xmozillanickname", Field::Nickname, 0},
    AttributeRow{"mozillanickname", Field::Nickname, 1},
    AttributeRow{"homephone", Field::HomePhone, 0},
    AttributeRow{"telephonenumber", Field::BusinessPhone, 0},
    AttributeRow{"o", Field::Organization, 0},
    AttributeRow{"company", Field::Organization, 1},
    // postalAddress was Netscape 4's home address; Mozilla writes mozillaHomeStreet.
    AttributeRow{"postaladdress", Field::HomeStreet, 0},
    AttributeRow{"homepostaladdress", Field::HomeStreet, 1},
    AttributeRow{"mozillahomestreet", Field::HomeStreet, 2},
    AttributeRow{"homestreet", Field::HomeStreet, 3},
    AttributeRow{"mozillahomelocalityname", Field::HomeCity, 0},
    AttributeRow{"mozillahomepostalcode", Field::HomePostalCode, 0},
    AttributeRow{"mozillahomestate", Field::HomeState, 0},
    AttributeRow{"mozillahomecountryname", Field::HomeCountry, 0},
    AttributeRow{"homefacsimiletelephonenumber", Field::HomeFax, 0},
    AttributeRow{"cellphone", Field::CellularPhone, 0},
    AttributeRow{"mobile", Field::CellularPhone, 1},
    AttributeRow{"mobiletelephonenumber", Field::CellularPhone, 2},
    AttributeRow{"carphone", Field::CellularPhone, 3},
    AttributeRow{"homeurl", Field::HomeWebPage, 0},
    AttributeRow{"mozillahomeurl", Field::HomeWebPage, 1},
    AttributeRow{"streetaddress", Field::BusinessStreet, 0},
    AttributeRow{"street", Field::BusinessStreet, 1},
    AttributeRow{"locality", Field::BusinessCity, 0},
    AttributeRow{"l", Field::BusinessCity, 1},
    AttributeRow{"postalcode", Field::BusinessPostalCode, 0},
    AttributeRow{"zip", Field::BusinessPostalCode, 1},
    AttributeRow{"st", Field::BusinessState, 0},
    AttributeRow{"region", Field::BusinessState, 1},
    AttributeRow{"countryname", Field::BusinessCountry, 0},
    AttributeRow{"c", Field::BusinessCountry, 1},
    AttributeRow{"workurl", Field::BusinessWebPage, 0},
    AttributeRow{"mozillaworkurl", Field::BusinessWebPage, 1},
    AttributeRow{"labeleduri", Field::BusinessWebPage, 2},
    AttributeRow{"facsimiletelephonenumber", Field::BusinessFax, 0},
    AttributeRow{"fax", Field::BusinessFax, 1},
    AttributeRow{"pagerphone", Field::Pager, 0},
    AttributeRow{"pager", Field::Pager, 1},
    AttributeRow{"pagertelephonenumber", Field::Pager, 2},
    AttributeRow{"title", Field::JobTitle, 0},
    AttributeRow{"ou", Field::Department, 0},
    AttributeRow{"department", Field::Department, 1},
    AttributeRow{"orgunit", Field::Department, 2},
    AttributeRow{"description", Field::Notes, 0},
    AttributeRow{"givenname", Field::FirstName, 0},
    AttributeRow{"sn", Field::LastName, 0},
    AttributeRow{"surname", Field::LastName, 1},
};

constexpr std::size_t kMaxAttributeName = 40;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

/// The attribute table by name: open addressing over a small power-of-two table with a cheap
/// hash, since every line of a record asks it once.
class AttributeIndex {
  public:
    AttributeIndex() {
        static_assert(kAttributes.size() * 2 < kSlots);
        for (const AttributeRow& row : kAttributes) {
            std::size_t i = hashOf(row.name) & (kSlots - 1);
            while (m_slots[i] && m_slots[i]->name != row.name) i = (i + 1) & (kSlots - 1);
            if (!m_slots[i]) m_slots[i] = &row;  // the first row of a name wins
        }
    }

    const AttributeRow* find(std::string_view name) const {
        for (std::size_t i = hashOf(name) & (kSlots - 1); m_slots[i]; i = (i + 1) & (kSlots - 1)) {
            if (m_slots[i]->name == name) return m_slots[i];
        }
        return nullptr;
    }

  private:
    static constexpr std::size_t kSlots = 512;

    static std::size_t hashOf(std::string_view s) {
        std::uint32_t h = 2166136261u;
        for (const char c : s) {
            h ^= static_cast<unsigned char>(c);
            h *= 16777619u;
        }
        return h;
    }

    std::array<const AttributeRow*, kSlots> m_slots{};
};

const AttributeRow* findAttribute(std::string_view lowerName) {
    static const AttributeIndex kByName;
    if (const AttributeRow* row = kByName.find(lowerName)) return row;
    // Netscape Communicator's first LDIF exports named its own attributes "xnav..." where later
    // releases wrote "xmozilla..." ("xnavnickname").
    constexpr std::string_view kOld = "xnav";
    constexpr std::string_view kNew = "xmozilla";
    if (lowerName.substr(0, kOld.size()) != kOld) return nullptr;
    std::array<char, kMaxAttributeName + 8> renamed{};
    const std::string_view rest = lowerName.substr(kOld.size());
    if (kNew.size() + rest.size() > renamed.size()) return nullptr;
    std::copy(kNew.begin(), kNew.end(), renamed.begin());
    std::copy(rest.begin(), rest.end(), renamed.begin() + kNew.size());
    return kByName.find(std::string_view(renamed.data(), kNew.size() + rest.size()));
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return trimRight(s);
}

/// An RFC 4517 postal address keeps its lines apart with "$" and escapes "$" and "\" in hex.
std::string postalAddressToText(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '$') {
            // The separator is usually written with blanks around it.
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out.push_back('\n');
            while (i + 1 < v.size() && v[i + 1] == ' ') ++i;
        } else if (v[i] == '\\' && i + 2 < v.size() && (v.substr(i + 1, 2) == "24")) {
            out.push_back('$');
            i += 2;
        } else if (v[i] == '\\' && i + 2 < v.size() &&
                   (v.substr(i + 1, 2) == "5C" || v.substr(i + 1, 2) == "5c")) {
            out.push_back('\\');
            i += 2;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

/// "modifytimestamp": seconds since 1970 (what Mozilla writes) or an LDAP generalized time.
std::int64_t parseTimestamp(std::string_view v) {
    v = trim(v);
    std::size_t digits = 0;
    while (digits < v.size() && v[digits] >= '0' && v[digits] <= '9') ++digits;
    if (digits >= 14 && digits < v.size() && (v[digits] == 'Z' || v[digits] == '.')) {
        const auto num = [&](std::size_t at, std::size_t len) {
            int n = 0;
            std::from_chars(v.data() + at, v.data() + at + len, n);
            return n;
        };
        std::tm t{};
        t.tm_year = num(0, 4) - 1900;
        t.tm_mon = num(4, 2) - 1;
        t.tm_mday = num(6, 2);
        t.tm_hour = num(8, 2);
        t.tm_min = num(10, 2);
        t.tm_sec = num(12, 2);
        return static_cast<std::int64_t>(timegm(&t));
    }
    std::int64_t n = 0;
    std::from_chars(v.data(), v.data() + digits, n);
    return n;
}

/// The attributes of one record as they are met: name in lower case (options cut off) and
/// the decoded value.
class RecordReader {
  public:
    explicit RecordReader(std::string_view record) : m_rest(record) {}

    /// The next attribute, false at the record's end.
    bool next(std::string_view& name, std::string& value) {
        std::string_view line;
        while (nextLogicalLine(line)) {
            if (line.empty() || line.front() == '#') continue;
            if (split(line, name, value)) return true;
        }
        return false;
    }

  private:
    /// Joins continuation lines (those starting with one space) to the line before them.
    bool nextLogicalLine(std::string_view& line) {
        if (m_rest.empty()) return false;
        std::size_t end = m_rest.find('\n');
        if (end == std::string_view::npos) end = m_rest.size();
        line = m_rest.substr(0, end);
        m_rest.remove_prefix(std::min(end + 1, m_rest.size()));
        if (m_rest.empty() || m_rest.front() != ' ') return true;
        m_joined.assign(line);
        while (!m_rest.empty() && m_rest.front() == ' ') {
            std::size_t e = m_rest.find('\n');
            if (e == std::string_view::npos) e = m_rest.size();
            m_joined.append(m_rest.substr(1, e - 1));
            m_rest.remove_prefix(std::min(e + 1, m_rest.size()));
        }
        line = m_joined;
        return true;
    }

    bool split(std::string_view line, std::string_view& name, std::string& value) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return false;
        std::string_view attr = trimRight(line.substr(0, colon));
        const std::size_t options = attr.find(';');
        if (options != std::string_view::npos) attr = attr.substr(0, options);
        if (attr.empty() || attr.size() > kMaxAttributeName) return false;
        for (std::size_t i = 0; i < attr.size(); ++i) m_name[i] = lowerAscii(attr[i]);
        name = std::string_view(m_name.data(), attr.size());

        std::string_view rest = line.substr(colon + 1);
        if (!rest.empty() && rest.front() == ':') {
            value = decodeBase64(rest.substr(1));
            // UTF-8 as the standard wants; old programs wrote their 8-bit code page.
            if (!isValidUtf8(value) || value.find('\r') != std::string::npos) {
                value = decodeText("\n" + value).substr(1);
            }
            return true;
        }
        if (!rest.empty() && rest.front() == '<') return false;  // a URL: nothing to read here
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        value.assign(trimRight(rest));
        return true;
    }

    std::string_view m_rest;
    std::string m_joined;
    std::array<char, kMaxAttributeName> m_name{};
};

/// True when a new component ("type=") starts at `pos`: an attribute name or OID, then "=".
bool startsComponent(std::string_view dn, std::size_t pos) {
    while (pos < dn.size() && isBlank(dn[pos])) ++pos;
    if (pos == dn.size()) return true;  // a separator at the end ends the value
    const std::size_t start = pos;
    while (pos < dn.size() && (std::isalnum(static_cast<unsigned char>(dn[pos])) ||
                               dn[pos] == '-' || dn[pos] == '.')) {
        ++pos;
    }
    if (pos == start) return false;
    while (pos < dn.size() && isBlank(dn[pos])) ++pos;
    return pos < dn.size() && dn[pos] == '=';
}

/// Splits a distinguished name into its components and undoes the escapes of RFC 4514 (and
/// of the older RFC 2253 quoting). Thunderbird leaves commas in names unescaped
/// ("cn=Torres, Michelle,mail=..."): a separator not followed by "type=" is part of the value.
template <typename Fn>
void forEachDnComponent(std::string_view dn, Fn&& fn) {
    std::size_t i = 0;
    while (i < dn.size()) {
        while (i < dn.size() && isBlank(dn[i])) ++i;
        const std::size_t eq = dn.find('=', i);
        if (eq == std::string_view::npos) return;
        const std::string_view type = trim(dn.substr(i, eq - i));
        std::string value;
        std::size_t k = eq + 1;
        while (k < dn.size() && dn[k] == ' ') ++k;
        // Escaped blanks at the value's end are part of it; others are not.
        std::size_t kept = 0;
        bool quoted = false;
        for (; k < dn.size(); ++k) {
            const char c = dn[k];
            if (c == '"') {
                quoted = !quoted;
                kept = value.size();
            } else if (c == '\\' && k + 1 < dn.size()) {
                const auto hex = [](char h) {
                    if (h >= '0' && h <= '9') return h - '0';
                    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                    return -1;
                };
                const int hi = hex(dn[k + 1]);
                const int lo = k + 2 < dn.size() ? hex(dn[k + 2]) : -1;
                if (hi >= 0 && lo >= 0) {
                    value.push_back(static_cast<char>(hi * 16 + lo));
                    k += 2;
                } else {
                    value.push_back(dn[k + 1]);
                    ++k;
                }
                kept = value.size();
            } else if (!quoted && (c == ',' || c == '+' || c == ';') &&
                       startsComponent(dn, k + 1)) {
                break;
            } else {
                value.push_back(c);
            }
        }
        while (value.size() > kept && isBlank(value.back())) value.pop_back();
        if (!fn(type, std::move(value))) return;
        i = k + 1;
    }
}

bool isGroupClass(std::string_view lower) {
    return lower == "groupofnames" || lower == "groupofuniquenames";
}

bool isPersonClass(std::string_view lower) {
    return lower == "person" || lower == "organizationalperson" || lower == "inetorgperson" ||
           lower == "residentialperson" || lower == "mozillaabpersonalpha";
}

bool isContainerClass(std::string_view lower) {
    return lower == "organizationalunit" || lower == "organization" || lower == "dcobject" ||
           lower == "domain" || lower == "country" || lower == "locality";
}

void lowerInPlace(std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(), lowerAscii);
}

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

/// What a member reference ("cn=Ann,mail=ann@x.org") says about the contact it names.
Entry memberEntry(std::string_view dn) {
    Entry m;
    m[Field::Email] = dnComponent(dn, "mail");
    m[Field::FullName] = dnComponent(dn, "cn");
    if (m[Field::Email].empty() && m[Field::FullName].empty()) {
        // Not a distinguished name at all: some tools write the bare address.
        const std::string_view bare = trim(dn);
        if (bare.find('=') == std::string_view::npos) m[Field::Email] = std::string(bare);
    }
    return m;
}

}  // namespace

ExtraMask supportedExtras() {
    ExtraMask m;
    m.set(static_cast<std::size_t>(ExtraKind::Email));
    m.set(static_cast<std::size_t>(ExtraKind::Birthday));
    return m;
}

FieldMask supportedFields() {
    FieldMask mask;
    for (const AttributeRow& row : kAttributes) mask.set(static_cast<std::size_t>(row.field));
    return mask;
}

std::string_view nextRecord(std::string_view text, std::size_t& pos) {
    // Skip the blank lines (and lines of blanks) between records.
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        if (!trim(text.substr(pos, end - pos)).empty()) break;
        pos = std::min(end + 1, text.size());
    }
    const std::size_t start = pos;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        if (line.empty() || line == "\r") break;
        pos = std::min(end + 1, text.size());
    }
    return text.substr(start, pos - start);
}

void readRecord(std::string_view record, std::deque<Entry>& out, const DnLookup& byDn) {
    Entry e;
    e.mask = supportedFields();
    e.revisionTime = 0;
    std::array<int, kFieldCount> rank;
    rank.fill(INT_MAX);
    std::string dn;
    std::string homeStreet2;
    std::string workStreet2;
    std::vector<std::string> members;
    std::string birth[3];  // year, month, day
    bool group = false;
    bool person = false;
    bool container = false;

    RecordReader reader(record);
    std::string_view name;
    std::string value;
    while (reader.next(name, value)) {
        if (const AttributeRow* row = findAttribute(name)) {
            const auto f = static_cast<std::size_t>(row->field);
            if (row->rank >= rank[f]) continue;
            rank[f] = row->rank;
            if (name == "postaladdress" || name == "homepostaladdress") {
                e[row->field] = postalAddressToText(value);
            } else if (name == "labeleduri") {
                // "http://host label": the address ends at the first blank.
                e[row->field] = std::string(value.substr(0, value.find(' ')));
            } else {
                e[row->field] = std::move(value);
            }
        } else if (name == "objectclass") {
            lowerInPlace(value);
            const std::string_view cls = trim(value);
            group = group || isGroupClass(cls);
            person = person || isPersonClass(cls);
            container = container || isContainerClass(cls);
        } else if (name == "member" || name == "uniquemember") {
            members.push_back(std::move(value));
        } else if (name == "dn") {
            dn = std::move(value);
        } else if (name == "mozillahomestreet2") {
            homeStreet2 = std::move(value);
        } else if (name == "mozillaworkstreet2") {
            workStreet2 = std::move(value);
        } else if (name == "mozillasecondemail") {
            e.addExtra(ExtraKind::Email, std::string(trim(value)));
        } else if (name == "birthyear" || name == "birthmonth" || name == "birthday") {
            birth[name == "birthyear" ? 0 : name == "birthmonth" ? 1 : 2] = std::move(value);
        } else if (name == "modifytimestamp") {
            e.revisionTime = parseTimestamp(value);
        } else if (name == "changetype") {
            // Change records (modify, delete, ...) describe edits, not contacts.
            if (lowerCopy(trim(value)) != "add") return;
        }
    }

    if (e[Field::FullName].empty() && !dn.empty()) e[Field::FullName] = dnComponent(dn, "cn");

    if (group) {
        out.push_back(markerEntry(KindListBegin, e[Field::FullName]));
        for (const std::string& member : members) {
            Entry m = memberEntry(member);
            if (m[Field::Email].empty() && byDn) {
                if (const Entry* known = byDn(member)) m = *known;
            }
            if (!m.isEmpty()) out.push_back(std::move(m));
        }
        out.push_back(markerEntry(KindListEnd, {}));
        return;
    }
    if (container && !person) return;

    if (e[Field::Email].empty() && !dn.empty()) e[Field::Email] = dnComponent(dn, "mail");
    // An address written with a name in front keeps only its last word, the address itself.
    const std::size_t lastSpace = e[Field::Email].rfind(' ');
    if (lastSpace != std::string::npos) e[Field::Email] = e[Field::Email].substr(lastSpace + 1);

    const auto joinSecondLine = [&e](Field street, std::string& second) {
        if (second.empty()) return;
        e[street] = e[street].empty() ? std::move(second) : e[street] + "\n" + second;
    };
    joinSecondLine(Field::HomeStreet, homeStreet2);
    joinSecondLine(Field::BusinessStreet, workStreet2);
    e.addExtra(ExtraKind::Birthday, dateFromParts(birth[0], birth[1], birth[2]));

    if (!e.isEmpty()) out.push_back(std::move(e));
}

void appendBase64(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t start = out.size();
    out.resize(start + (bytes.size() + 2) / 3 * 4);
    char* o = out.data() + start;
    const auto at = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k]));
    };
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
        *o++ = kDigits[(n >> 18) & 63];
        *o++ = kDigits[(n >> 12) & 63];
        *o++ = kDigits[(n >> 6) & 63];
        *o++ = kDigits[n & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t n = at(i) << 16;
        *o++ = kDigits[(n >> 18) & 63];
        *o++ = kDigits[(n >> 12) & 63];
        *o++ = '=';
        *o++ = '=';
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t n = (at(i) << 16) | (at(i + 1) << 8);
        *o++ = kDigits[(n >> 18) & 63];
        *o++ = kDigits[(n >> 12) & 63];
        *o++ = kDigits[(n >> 6) & 63];
        *o++ = '=';
    }
}

std::string encodeBase64(std::string_view bytes) {
    std::string out;
    appendBase64(out, bytes);
    return out;
}

std::string decodeBase64(std::string_view text) {
    // 0-63: digit value; 64: skipped (white space); 65: ends the value (padding, stray byte).
    static const std::array<std::uint8_t, 256> kValues = [] {
        std::array<std::uint8_t, 256> t{};
        t.fill(65);
        for (int i = 0; i < 26; ++i) {
            t[static_cast<std::size_t>('A' + i)] = static_cast<std::uint8_t>(i);
            t[static_cast<std::size_t>('a' + i)] = static_cast<std::uint8_t>(26 + i);
        }
        for (int i = 0; i < 10; ++i)
            t[static_cast<std::size_t>('0' + i)] = static_cast<std::uint8_t>(52 + i);
        // The URL-safe alphabet too: some tools write it.
        t['+'] = t['-'] = 62;
        t['/'] = t['_'] = 63;
        t[' '] = t['\t'] = t['\r'] = t['\n'] = 64;
        return t;
    }();
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char c : text) {
        const std::uint8_t v = kValues[static_cast<unsigned char>(c)];
        if (v == 64) continue;
        if (v == 65) break;
        acc = (acc << 6) | v;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFFu));
        }
    }
    return out;
}

bool isSafeValue(std::string_view value) {
    if (value.empty()) return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<') return false;
    if (value.back() == ' ') return false;
    for (const char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0 || b == '\n' || b == '\r' || b >= 0x80) return false;
    }
    return true;
}

void appendDnValue(std::string& out, std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out.push_back('\\');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
            continue;
        }
        const bool special = c == ',' || c == '+' || c == '=' || c == '"' || c == '\\' ||
                             c == '<' || c == '>' || c == ';';
        const bool edge = (i == 0 && (c == ' ' || c == '#')) || (i + 1 == value.size() && c == ' ');
        if (special || edge) out.push_back('\\');
        out.push_back(c);
    }
}

std::string escapeDnValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 4);
    appendDnValue(out, value);
    return out;
}

namespace {

std::string dnKey(std::string_view dn) {
    return lowerCopy(trim(dn));
}

/// The "dn" value of a record, empty when it has none.
std::string recordDn(std::string_view record) {
    RecordReader reader(record);
    std::string_view name;
    std::string value;
    while (reader.next(name, value)) {
        if (name == "dn") return value;
    }
    return {};
}

}  // namespace

DnIndex::DnIndex(std::string_view text) {
    std::size_t pos = 0;
    std::deque<Entry> entries;
    while (pos < text.size()) {
        const std::string_view record = nextRecord(text, pos);
        if (record.empty()) continue;
        entries.clear();
        readRecord(record, entries);
        if (entries.size() != 1 || entries.front().isMarker()) continue;  // not a person
        const std::string dn = recordDn(record);
        if (dn.empty()) continue;
        Entry key;
        key[Field::FullName] = entries.front()[Field::FullName];
        key[Field::Email] = entries.front()[Field::Email];
        m_persons.try_emplace(dnKey(dn), std::move(key));
    }
}

const Entry* DnIndex::find(std::string_view dn) const {
    const auto it = m_persons.find(dnKey(dn));
    return it == m_persons.end() ? nullptr : &it->second;
}

std::string dnComponent(std::string_view dn, std::string_view type) {
    std::string found;
    forEachDnComponent(dn, [&](std::string_view t, std::string v) {
        if (!equalNoCase(t, type)) return true;
        found = std::move(v);
        return false;
    });
    return found;
}

}  // namespace ldif

}  // namespace vesk
