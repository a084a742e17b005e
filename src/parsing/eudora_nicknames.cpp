#include "parsing/eudora_nicknames.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "model/iter_base.h"

namespace vesk::eudora {

namespace {

struct TagRow {
    std::string_view tag;
    Field field;
};

// Eudora's address book keeps home details under plain tags and work details under the same
// tags with a "2" (its second tab); the work mobile is the closest we have to a pager.
constexpr TagRow kTags[] = {
    {"name", Field::FullName},           {"first", Field::FirstName},
    {"last", Field::LastName},           {"address", Field::HomeStreet},
    {"city", Field::HomeCity},           {"state", Field::HomeState},
    {"country", Field::HomeCountry},     {"zip", Field::HomePostalCode},
    {"phone", Field::HomePhone},         {"fax", Field::HomeFax},
    {"mobile", Field::CellularPhone},    {"web", Field::HomeWebPage},
    {"title", Field::JobTitle},          {"company", Field::Organization},
    {"address2", Field::BusinessStreet}, {"city2", Field::BusinessCity},
    {"state2", Field::BusinessState},    {"country2", Field::BusinessCountry},
    {"zip2", Field::BusinessPostalCode}, {"phone2", Field::BusinessPhone},
    {"fax2", Field::BusinessFax},        {"mobile2", Field::Pager},
    {"web2", Field::BusinessWebPage},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

/// Eudora keeps the lines of a multi-line value apart with a control character (ETX).
std::string tagValue(std::string_view v) {
    std::string out(v);
    for (char& c : out) {
        if (c == '\x03') c = '\n';
    }
    return out;
}

/// Splits "keyword nick rest": the keyword is known, the nick is quoted or one word.
bool splitLine(std::string_view line, std::string_view keyword, std::string_view& nick,
               std::string_view& rest) {
    if (line.size() <= keyword.size() || lowerAscii(line.substr(0, keyword.size())) != keyword ||
        !isBlank(line[keyword.size()])) {
        return false;
    }
    std::string_view s = line.substr(keyword.size());
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    if (s.empty()) return false;
    std::size_t end;
    if (s.front() == '"') {
        const std::size_t close = s.find('"', 1);
        end = close == std::string_view::npos ? s.size() : close + 1;
        nick = unquote(s.substr(0, end));
    } else {
        end = 0;
        while (end < s.size() && !isBlank(s[end])) ++end;
        nick = s.substr(0, end);
    }
    rest = trim(s.substr(end));
    return true;
}

/// The comma-separated items of an alias value; commas inside quotes or angle brackets stay.
std::vector<std::string_view> splitItems(std::string_view value) {
    std::vector<std::string_view> items;
    bool quoted = false;
    bool angled = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? value[i] : ',';
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '<') {
            angled = true;
        } else if (!quoted && c == '>') {
            angled = false;
        } else if (c == ',' && ((!quoted && !angled) || i == value.size())) {
            const std::string_view item = trim(value.substr(start, i - start));
            if (!item.empty()) items.push_back(item);
            start = i + 1;
        }
    }
    return items;
}

/// "Name" <addr>, Name <addr>, addr (Name) or a bare address.
void parseAddress(std::string_view item, std::string& name, std::string& address) {
    const std::size_t lt = item.rfind('<');
    if (lt != std::string_view::npos) {
        const std::size_t gt = item.find('>', lt);
        address = std::string(trim(item.substr(
            lt + 1, gt == std::string_view::npos ? std::string_view::npos : gt - lt - 1)));
        name = std::string(unquote(item.substr(0, lt)));
        return;
    }
    const std::size_t open = item.find('(');
    if (open != std::string_view::npos && open > 0) {
        const std::size_t close = item.find(')', open);
        name = std::string(
            trim(item.substr(open + 1, close == std::string_view::npos ? std::string_view::npos
                                                                       : close - open - 1)));
        address = std::string(trim(item.substr(0, open)));
        return;
    }
    // A bare value: the address is its last word.
    const std::string_view bare = trim(item);
    const std::size_t space = bare.find_last_of(" \t");
    address = std::string(space == std::string_view::npos ? bare : bare.substr(space + 1));
}

/// Fills the entry from the <tag:value> pairs of a note; the text around them is the note.
void applyNote(std::string_view note, Entry& e) {
    std::string free;
    std::size_t i = 0;
    while (i < note.size()) {
        if (note[i] == '<') {
            const std::size_t colon = note.find(':', i);
            const std::size_t gt = note.find('>', i);
            if (colon != std::string_view::npos && gt != std::string_view::npos && colon < gt) {
                const std::string tag = lowerAscii(note.substr(i + 1, colon - i - 1));
                for (const TagRow& row : kTags) {
                    if (row.tag == tag && e[row.field].empty()) {
                        e[row.field] = tagValue(note.substr(colon + 1, gt - colon - 1));
                    }
                }
                i = gt + 1;
                continue;
            }
        }
        free.push_back(note[i]);
        ++i;
    }
    const std::string_view text = trim(free);
    if (text.empty()) return;
    FieldRef notes = e[Field::Notes];
    if (!notes.empty()) notes += '\n';
    notes += tagValue(text);
}

struct Alias {
    std::string_view nick;
    std::string_view value;
    std::vector<std::string_view> notes;
};

}  // namespace

FieldMask supportedFields() {
    FieldMask mask;
    mask.reset();
    for (const TagRow& row : kTags) mask.set(static_cast<std::size_t>(row.field));
    for (const Field f : {Field::FullName, Field::Email, Field::Nickname, Field::Notes}) {
        mask.set(static_cast<std::size_t>(f));
    }
    return mask;
}

void readNicknames(std::string_view text, std::deque<Entry>& out) {
    std::vector<Alias> aliases;
    std::unordered_map<std::string, std::size_t> byNick;
    struct Note {
        std::string_view nick;
        std::string_view rest;
        std::size_t previousAlias;  // npos when none came before
    };
    std::vector<Note> notes;

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        std::string_view nick;
        std::string_view rest;
        if (splitLine(line, "alias", nick, rest)) {
            byNick.emplace(lowerAscii(nick), aliases.size());
            aliases.push_back({nick, rest, {}});
        } else if (splitLine(line, "note", nick, rest)) {
            notes.push_back(
                {nick, rest, aliases.empty() ? std::string_view::npos : aliases.size() - 1});
        }
    }
    // A note belongs to the alias it names; one naming no alias goes with the alias above it.
    for (const Note& n : notes) {
        const auto it = byNick.find(lowerAscii(n.nick));
        if (it != byNick.end()) {
            aliases[it->second].notes.push_back(n.rest);
        } else if (n.previousAlias < aliases.size()) {
            aliases[n.previousAlias].notes.push_back(n.rest);
        }
    }

    const FieldMask mask = supportedFields();
    for (const Alias& a : aliases) {
        const std::vector<std::string_view> items = splitItems(a.value);
        if (items.size() > 1) {
            out.push_back(markerEntry(KindListBegin, std::string(a.nick)));
            for (const std::string_view item : items) {
                Entry m;
                if (item.find('@') != std::string_view::npos) {
                    std::string name;
                    std::string address;
                    parseAddress(item, name, address);
                    m[Field::FullName] = std::move(name);
                    m[Field::Email] = std::move(address);
                } else {
                    m[Field::Nickname] = std::string(unquote(item));
                }
                out.push_back(std::move(m));
            }
            out.push_back(markerEntry(KindListEnd, {}));
            continue;
        }
        Entry e;
        e.mask = mask;
        e.revisionTime = 0;
        e[Field::Nickname] = std::string(a.nick);
        std::string displayName;
        std::string address;
        if (!items.empty()) parseAddress(items.front(), displayName, address);
        e[Field::Email] = std::move(address);
        for (const std::string_view note : a.notes) applyNote(note, e);
        FieldRef full = e[Field::FullName];
        if (full.empty()) full = displayName;
        // Eudora shows the nickname where it knows no name.
        if (full.empty() && e[Field::FirstName].empty() && e[Field::LastName].empty()) {
            full = std::string(a.nick);
        }
        out.push_back(std::move(e));
    }
}

}  // namespace vesk::eudora
