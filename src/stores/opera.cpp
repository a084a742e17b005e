#include "stores/opera.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "model/adbook.h"
#include "platform/file_io.h"
#include "text/text_io.h"

namespace vesk::opera {

namespace {

/// Opera's own mark for a line break inside a value.
constexpr std::string_view kLineBreak = "\x02\x02";

/// One line of the text: its content [begin, end) without the line end, and where the next
/// line starts.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

Line lineAt(std::string_view text, std::size_t pos, std::size_t limit) {
    Line line;
    line.begin = pos;
    const std::size_t lf = text.substr(0, limit).find('\n', pos);
    line.end = lf == std::string_view::npos ? limit : lf;
    line.next = lf == std::string_view::npos ? limit : lf + 1;
    // Every CR before the LF goes, as it does when the text is decoded for reading.
    while (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
    return line;
}

std::string_view contentOf(std::string_view text, const Line& line) {
    return text.substr(line.begin, line.end - line.begin);
}

std::string_view skipBlanks(std::string_view s) {
    const std::size_t b = s.find_first_not_of(" \t");
    return b == std::string_view::npos ? std::string_view() : s.substr(b);
}

Item::Kind kindOfLine(std::string_view content) {
    if (content == "-") return Item::Kind::FolderEnd;
    const std::string_view s = skipBlanks(content);
    if (s.starts_with("#CONTAC")) return Item::Kind::Contact;
    if (s.starts_with("#FOLDER")) return Item::Kind::Folder;
    return Item::Kind::None;
}

}  // namespace

Item nextItem(std::string_view text, std::size_t pos, std::size_t end) {
    Item item;
    while (pos < end) {
        const Line line = lineAt(text, pos, end);
        const Item::Kind kind = kindOfLine(contentOf(text, line));
        pos = line.next;
        if (kind == Item::Kind::None) continue;
        item.kind = kind;
        item.begin = line.begin;
        item.bodyBegin = item.bodyEnd = item.next = line.next;
        if (kind == Item::Kind::FolderEnd) return item;
        // The key lines run to an empty line; a missing one before the next item or the end of
        // the text ends them as well.
        while (pos < end) {
            const Line body = lineAt(text, pos, end);
            const std::string_view content = contentOf(text, body);
            if (content.empty()) {
                item.bodyEnd = body.begin;
                item.next = body.next;
                return item;
            }
            if (kindOfLine(content) != Item::Kind::None) {
                item.bodyEnd = item.next = body.begin;
                return item;
            }
            pos = body.next;
        }
        item.bodyEnd = item.next = end;
        return item;
    }
    item.begin = item.bodyBegin = item.bodyEnd = item.next = end;
    return item;
}

namespace {

std::string decodeValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::size_t from = 0;
    while (true) {
        const std::size_t mark = raw.find(kLineBreak, from);
        if (mark == std::string_view::npos) break;
        out.append(raw.substr(from, mark - from));
        out.push_back('\n');
        from = mark + kLineBreak.size();
    }
    out.append(raw.substr(from));
    return out;
}

/// Calls `take(key, raw value)` for every KEY=value line of the item, in order.
template <class Take>
void forEachKey(std::string_view text, const Item& item, Take take) {
    std::size_t pos = item.bodyBegin;
    while (pos < item.bodyEnd) {
        const Line line = lineAt(text, pos, item.bodyEnd);
        pos = line.next;
        const std::string_view content = skipBlanks(contentOf(text, line));
        const std::size_t eq = content.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = content.substr(0, eq);
        key = key.substr(0, key.find_last_not_of(" \t") + 1);
        take(key, content.substr(eq + 1));
    }
}

}  // namespace

std::size_t contentsEnd(std::string_view text, std::size_t start) {
    int depth = 1;
    std::size_t pos = start;
    while (true) {
        const Item item = nextItem(text, pos, text.size());
        if (item.kind == Item::Kind::None) return text.size();
        pos = item.next;
        if (item.kind == Item::Kind::Folder) ++depth;
        if (item.kind == Item::Kind::FolderEnd && --depth == 0) return item.begin;
    }
}

std::string itemValue(std::string_view text, const Item& item, std::string_view key) {
    std::optional<std::string> found;
    forEachKey(text, item, [&](std::string_view k, std::string_view value) {
        if (!found && equalNoCase(k, key)) found = decodeValue(value);
    });
    return found.value_or(std::string());
}

}  // namespace vesk::opera

namespace vesk::iterators {

namespace {

using opera::Item;

constexpr int kRevisionTime = -1;
/// Folders deeper than this are read into the folder above them: a book nests by recursion.
constexpr int kMaxDepth = 64;

struct KeyField {
    std::string_view key;
    int field;
};

constexpr KeyField kKeys[] = {
    {"NAME", static_cast<int>(Field::FullName)},
    {"MAIL", static_cast<int>(Field::Email)},
    {"SHORT NAME", static_cast<int>(Field::Nickname)},
    {"PHONE", static_cast<int>(Field::HomePhone)},
    {"URL", static_cast<int>(Field::HomeWebPage)},
    {"DESCRIPTION", static_cast<int>(Field::Notes)},
    {"FAX", static_cast<int>(Field::HomeFax)},
    // Opera keeps the whole postal address in one value.
    {"POSTALADDRESS", static_cast<int>(Field::HomeStreet)},
    {"CREATED", kRevisionTime},
};

/// Seconds from "CREATED=": its leading digits. Times written as negative 32-bit numbers (past
/// 2038) come back as the unsigned number they stand for.
std::int64_t parseCreated(std::string_view value) {
    const bool negative = value.starts_with('-');
    if (negative) value.remove_prefix(1);
    std::int64_t n = 0;
    for (std::size_t i = 0; i < value.size() && i < 18; ++i) {
        if (value[i] < '0' || value[i] > '9') break;
        n = n * 10 + (value[i] - '0');
    }
    if (!negative) return n;
    return n <= 0x80000000LL ? 0x100000000LL - n : 0;
}

std::string trimLineBreaks(std::string s) {
    const std::size_t b = s.find_first_not_of('\n');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of('\n') - b + 1);
}

}  // namespace

IterOpera::IterOpera(RunContext& run, const std::string& fileName, const std::string& folderPath)
    : m_run(run),
      m_mask(fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                       Field::HomeWebPage, Field::Notes, Field::HomeFax, Field::HomeStreet})) {
    if (std::optional<std::string> text =
            readTextFile(fileName, {.fallbackCharset = run.sourceEncoding})) {
        m_text = std::move(*text);
    } else {
        run.report(Severity::Error, "file cannot be opened!", fileName, Where{fileName});
    }
    m_end = m_text.size();
    selectFolder(folderPath);
    rewind();
}

void IterOpera::selectFolder(const std::string& path) {
    if (path.empty() || path == "Contacts" || path == "Contacts\\") return;
    if (path.find('\\') == std::string::npos) {
        selectFolderNamed(path);
    } else {
        selectFolderAt(path);
    }
}

void IterOpera::selectFolderNamed(const std::string& name) {
    std::size_t pos = 0;
    while (true) {
        const Item item = opera::nextItem(m_text, pos, m_text.size());
        if (item.kind == Item::Kind::None) break;
        pos = item.next;
        if (item.kind == Item::Kind::Folder && opera::itemValue(m_text, item, "NAME") == name) {
            keepContentsFrom(item.next);
            return;
        }
    }
    m_run.report(Severity::Warning,
                 "It would appear that this folder does not exist. Reverting to the \"Contacts\" "
                 "folder",
                 "", Where{{}, 0, -1, name});
}

void IterOpera::selectFolderAt(const std::string& path) {
    // The folder tree is read by this reader itself; each folder keeps where its contents start.
    FolderBook tree(m_run, "Contacts");
    tree.fromIter(*this, false);
    // An unknown path is reported by the walk, which then stays at the root: the whole text.
    auto* found = static_cast<FolderBook*>(tree.resolveFolderPath(path, false));
    if (found == nullptr || found == &tree) return;
    const std::int32_t start = found->folderNumber;
    if (start <= 0 || static_cast<std::size_t>(start) > m_text.size()) {
        m_run.trace(0, "Something may be wrong, but we're ignoring it", "Debug");
        m_begin = m_end = 0;
        return;
    }
    keepContentsFrom(static_cast<std::size_t>(start));
}

void IterOpera::keepContentsFrom(std::size_t start) {
    m_begin = start;
    m_end = opera::contentsEnd(m_text, start);
}

bool IterOpera::rewind() {
    m_pos = m_begin;
    m_depth = 0;
    m_hidden = 0;
    m_lookedAhead = false;
    return true;
}

void IterOpera::lookAhead() {
    if (m_lookedAhead) return;
    while (true) {
        m_item = opera::nextItem(m_text, m_pos, m_end);
        if (m_item.kind == Item::Kind::Folder && m_depth >= kMaxDepth) {
            ++m_hidden;
            if (!m_toldDepth) {
                m_toldDepth = true;
                m_run.note(Severity::Warning,
                           "Folders nested more than " + std::to_string(kMaxDepth) +
                               " deep are read into the folder above them",
                           Where{{}, 0, static_cast<std::int64_t>(m_item.begin)});
            }
        } else if (m_item.kind == Item::Kind::FolderEnd && m_hidden > 0) {
            --m_hidden;
        } else if (m_item.kind != Item::Kind::FolderEnd || m_depth > 0) {
            // A "-" with no folder open closes nothing: the items after it stay where they are.
            break;
        }
        m_pos = m_item.next;
    }
    m_lookedAhead = true;
}

bool IterOpera::atEnd() {
    lookAhead();
    return m_item.kind == Item::Kind::None;
}

float IterOpera::progress() {
    if (m_end <= m_begin) return 1.0f;
    return static_cast<float>(m_pos - m_begin) / static_cast<float>(m_end - m_begin);
}

Entry IterOpera::nextEntry() {
    lookAhead();
    m_lookedAhead = false;
    m_pos = m_item.next;
    Entry e;
    e.mask = m_mask;
    switch (m_item.kind) {
        case Item::Kind::None:
            break;
        case Item::Kind::Contact:
            e = contactOf(m_item);
            break;
        case Item::Kind::Folder:
            ++m_depth;
            e.kind = KindFolderBegin;
            e[Field::FullName] = opera::itemValue(m_text, m_item, "NAME");
            e[Field::Email] = std::to_string(m_item.next);
            break;
        case Item::Kind::FolderEnd:
            --m_depth;
            e.kind = KindFolderEnd;
            break;
    }
    return e;
}

Entry IterOpera::contactOf(const Item& item) const {
    Entry e;
    e.mask = m_mask;
    e.revisionTime = 0;
    bool seen[std::size(kKeys)] = {};
    opera::forEachKey(m_text, item, [&](std::string_view key, std::string_view value) {
        for (std::size_t k = 0; k < std::size(kKeys); ++k) {
            if (seen[k] || !equalNoCase(key, kKeys[k].key)) continue;
            // The first line of a key counts.
            seen[k] = true;
            if (kKeys[k].field == kRevisionTime) {
                e.revisionTime = parseCreated(value);
            } else {
                e.at(kKeys[k].field) = opera::decodeValue(value);
            }
        }
    });
    e[Field::HomeStreet] = trimLineBreaks(e.take(Field::HomeStreet));
    return e;
}

}  // namespace vesk::iterators

namespace vesk {

namespace {

using opera::Item;

/// Appends a value on one line: each line break becomes Opera's two U+0002 characters.
void appendOneLine(std::string& out, std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::size_t plain = value.find_first_of("\r\n", i);
        out.append(value.substr(i, plain == std::string_view::npos ? plain : plain - i));
        if (plain == std::string_view::npos) return;
        i = plain;
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
        out.append(opera::kLineBreak);
    }
}

std::string oneLine(std::string_view value) {
    std::string out;
    appendOneLine(out, value);
    return out;
}

/// Opera keeps times in 32 bits.
std::string time32(std::int64_t t) {
    const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(t) & 0xFFFFFFFFu);
    return std::to_string(static_cast<std::int32_t>(low));
}

std::string folderItem(const std::string& name, std::int64_t time) {
    return "#FOLDER\n\tNAME=" + oneLine(name) + "\n\tCREATED=" + time32(time) + "\n\n";
}

constexpr std::string_view kHotlistHeader =
    "Opera Hotlist version 2.0\nOptions:encoding=utf8,version=3\n\n";

bool isWholeHotlist(const std::string& path) {
    return path.empty() || path == "Contacts" || path == "Contacts\\";
}

/// Where new items go in an existing hotlist, and what has to be made there first.
struct InsertPlace {
    std::size_t at = 0;
    int foldersToClose = 0;  ///< folders the text leaves open at its end
    std::vector<std::string> newFolders;
};

/// Calls `seen(item, depth before it)` for the items of [from, to) until it returns true; a
/// "-" with no folder open is passed over. Returns the depth at the end.
template <class Seen>
int walkItems(std::string_view text, std::size_t from, std::size_t to, Seen seen) {
    int depth = 0;
    while (true) {
        const Item item = opera::nextItem(text, from, to);
        if (item.kind == Item::Kind::None) return depth;
        from = item.next;
        if (item.kind == Item::Kind::FolderEnd && depth == 0) continue;
        if (seen(item, depth)) return depth;
        depth += item.kind == Item::Kind::Folder ? 1 : item.kind == Item::Kind::FolderEnd ? -1 : 0;
    }
}

/// Where the contents of the folder named `name` start: a folder of [from, to) itself when
/// `directly`, else one at any depth. npos when there is none.
std::size_t findFolder(std::string_view text, std::size_t from, std::size_t to,
                       const std::string& name, bool directly) {
    std::size_t found = std::string_view::npos;
    walkItems(text, from, to, [&](const Item& item, int depth) {
        if (item.kind != Item::Kind::Folder || (directly && depth != 0)) return false;
        if (opera::itemValue(text, item, "NAME") != name) return false;
        found = item.next;
        return true;
    });
    return found;
}

/// The folder names of a backslash path after its root ("Contacts\\A\\B\\" gives A, B).
std::vector<std::string> pathComponents(const std::string& path) {
    std::vector<std::string> out;
    std::size_t from = path.find('\\');
    while (from != std::string::npos) {
        const std::size_t to = path.find('\\', from + 1);
        std::string part = path.substr(from + 1, to == std::string::npos ? to : to - from - 1);
        if (!part.empty()) out.push_back(std::move(part));
        from = to;
    }
    return out;
}

InsertPlace placeFor(std::string_view text, const std::string& path) {
    InsertPlace place;
    place.at = text.size();
    const auto atTheEnd = [&](std::vector<std::string> folders) {
        place.at = text.size();
        place.foldersToClose =
            walkItems(text, 0, text.size(), [](const Item&, int) { return false; });
        place.newFolders = std::move(folders);
    };
    if (isWholeHotlist(path)) {
        atTheEnd({});
    } else if (path.find('\\') == std::string::npos) {
        const std::size_t start = findFolder(text, 0, text.size(), path, false);
        if (start == std::string_view::npos) {
            atTheEnd({path});
        } else {
            place.at = opera::contentsEnd(text, start);
        }
    } else {
        const std::vector<std::string> names = pathComponents(path);
        std::size_t from = 0;
        std::size_t to = text.size();
        std::size_t depth = 0;
        for (; depth < names.size(); ++depth) {
            const std::size_t start = findFolder(text, from, to, names[depth], true);
            if (start == std::string_view::npos) break;
            from = start;
            to = opera::contentsEnd(text, start);
        }
        std::vector<std::string> missing(names.begin() + static_cast<std::ptrdiff_t>(depth),
                                         names.end());
        if (depth == 0) {
            atTheEnd(std::move(missing));
        } else {
            place.at = to;
            place.newFolders = std::move(missing);
        }
    }
    return place;
}

/// True when the last line of `s` (which ends in LF) is empty but for CRs.
bool endsWithEmptyLine(std::string_view s) {
    s.remove_suffix(1);
    while (s.ends_with('\r')) s.remove_suffix(1);
    return s.ends_with('\n');
}

std::string withLineEnds(std::string_view block, bool crlf) {
    if (!crlf) return std::string(block);
    std::string out;
    out.reserve(block.size() + block.size() / 8);
    for (const char c : block) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

}  // namespace

ToOpera::ToOpera(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    wantsFolders = true;
    takesViews = true;
    m_text.append(kHotlistHeader);
}

ToOpera::ToOpera(RunContext& run, std::string fileName, IntoHotlist into)
    : ToFile(run, std::move(fileName)),
      m_intoHotlist(true),
      m_folderPath(std::move(into.folderPath)) {
    wantsFolders = true;
    takesViews = true;
    // The existing hotlist is kept as it is and the new items go into it (finish).
    mergesExisting = false;
}

bool ToOpera::writeView(const Entry& e) {
    if (e.kind == KindListBegin || e.kind == KindListEnd) return false;
    m_item.clear();
    if (e.kind == KindFolderBegin) {
        m_item = folderItem(e[Field::FullName], e.revisionTime);
    } else if (e.kind == KindFolderEnd) {
        m_item = "-\n";
    } else {
        contactItem(e);
    }
    // Opera's own hotlist takes the items at finish(); a file of its own gets them now.
    if (m_intoHotlist) {
        m_items += m_item;
    } else {
        m_text.append(m_item);
    }
    return true;
}

void ToOpera::contactItem(const Entry& e) {
    const auto line = [this](std::string_view key, std::string_view value) {
        m_item.append("\t").append(key);
        appendOneLine(m_item, value);
        m_item.append("\n");
    };
    m_item += "#CONTACT\n";
    line("MAIL=", e[Field::Email]);
    line("NAME=", e[Field::FullName]);
    line("URL=", e[Field::HomeWebPage]);
    m_item.append("\tCREATED=").append(time32(e.revisionTime)).append("\n");
    line("PHONE=", e[Field::HomePhone]);
    line("FAX=", e[Field::HomeFax]);
    // The postal address is one value, its parts apart by Opera's line break.
    m_item += "\tPOSTALADDRESS=";
    appendOneLine(m_item, e[Field::HomeStreet]);
    for (const Field part : {Field::HomeCity, Field::HomeState, Field::HomePostalCode}) {
        m_item.append(opera::kLineBreak);
        appendOneLine(m_item, e[part]);
    }
    m_item += "\n";
    line("DESCRIPTION=", e[Field::Notes]);
    // Opera's own order puts the short name after the description.
    if (!e[Field::Nickname].empty()) line("SHORT NAME=", e[Field::Nickname]);
    m_item += "\n";
}

void ToOpera::end() {
    if (!m_intoHotlist) return;
    // Opera's hotlist was not there to take the items: they make a new one.
    m_text.append(kHotlistHeader);
    m_text.append(m_items);
}

std::string ToOpera::insertInto(std::string_view hotlist) const {
    // A byte-order mark stays in front; the items are found after it, as the reader finds them.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    const std::string_view bom = hotlist.starts_with(kBom) ? kBom : std::string_view();
    hotlist.remove_prefix(bom.size());
    const InsertPlace place = placeFor(hotlist, m_folderPath);
    const std::size_t lf = hotlist.find('\n');
    const bool crlf = lf != std::string_view::npos && lf > 0 && hotlist[lf - 1] == '\r';
    const std::string eol = crlf ? "\r\n" : "\n";

    std::string out(bom);
    out.reserve(bom.size() + hotlist.size() + m_items.size() * 2 + 64);
    out.append(hotlist.substr(0, place.at));
    // Each addition starts on a line of its own after an empty line, as every item does.
    const auto startItem = [&] {
        if (out.size() == bom.size()) return;
        if (out.back() != '\n') out += eol;
        if (!endsWithEmptyLine(out)) out += eol;
    };
    for (int i = 0; i < place.foldersToClose; ++i) {
        startItem();
        out += "-" + eol;
    }
    startItem();
    std::string block;
    for (const std::string& name : place.newFolders) block += folderItem(name, currentTime());
    block += m_items;
    for (std::size_t i = 0; i < place.newFolders.size(); ++i) block += "-\n";
    out += withLineEnds(block, crlf);
    out.append(hotlist.substr(place.at));
    return out;
}

bool ToOpera::finish() {
    if (!m_intoHotlist || !isFile(m_fileName)) return ToFile::finish();
    const std::optional<std::string> existing = readFileBytes(m_fileName);
    if (!existing) {
        // Writing now would replace a hotlist that was never read.
        m_run->report(Severity::Error, "file cannot be opened!", m_fileName, Where{m_fileName});
        m_succeeded = false;
        return false;
    }
    if (existing->empty()) return ToFile::finish();
    m_run->trace(0, "Writing text to file", "Debug");
    if (isValidUtf8(*existing)) return writeBytes(insertInto(*existing));
    // An 8-bit hotlist keeps its text, now in UTF-8 like the items added to it.
    return writeBytes(encodeForFile(insertInto(decodeText(*existing))));
}

namespace {

Sniff sniffOpera(std::string_view head) {
    return head.starts_with("Opera Hotlist version") ? Sniff::Yes : Sniff::No;
}

/// Opera named as the destination means its own hotlist; an .adr file alone is a file.
std::unique_ptr<ToBase> writeOpera(const FormatArgs& a) {
    if (a.application == Application::Opera) {
        ToOpera::IntoHotlist into;
        if (!a.folderPath.empty()) into.folderPath = a.folderPath;
        return std::make_unique<ToOpera>(a.run, a.fileName, std::move(into));
    }
    return std::make_unique<ToOpera>(a.run, a.fileName);
}

}  // namespace

const FormatInfo& operaFormat() {
    static const FormatInfo info = {
        .id = "opera",
        .displayName = "Opera hotlist",
        .extensions = {"adr"},
        .applications = {Application::Opera},
        .reads = true,
        .writes = true,
        .holdsFolders = true,
        // The writer Opera's own hotlist gets keeps what is there and adds to it; a hotlist
        // written as a file of its own (no application named) is merged like other files.
        .mergesExisting = false,
        .readFields =
            fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                      Field::HomeWebPage, Field::Notes, Field::HomeFax, Field::HomeStreet}),
        // The postal address goes out as one value and comes back in Home Street Address.
        .writeFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                                 Field::HomeWebPage, Field::Notes, Field::HomeFax}),
        .sniff = &sniffOpera,
        .reader = &readerOfFile<iterators::IterOpera>,
        .writer = &writeOpera,
        .docsPage = "opera.md",
    };
    return info;
}

}  // namespace vesk
