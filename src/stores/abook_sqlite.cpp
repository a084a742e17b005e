#include "stores/abook_sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <random>
#include <set>
#include <unordered_map>

#include "parsing/mozilla_columns.h"
#include "parsing/vcard_cards.h"
#include "platform/file_io.h"

namespace vesk {

namespace {

constexpr std::string_view kVCard = "_vCard";
constexpr std::string_view kModified = "LastModifiedDate";
constexpr std::string_view kSecondEmail = "SecondEmail";
/// Birthday then anniversary, each as year, month and day.
constexpr std::array<std::string_view, 6> kDateColumns = {
    "BirthYear", "BirthMonth", "BirthDay", "AnniversaryYear", "AnniversaryMonth", "AnniversaryDay"};
constexpr int kCurrentVersion = 4;
constexpr int kBusyMilliseconds = 2000;

/// The flat copies that the current layout keeps beside the vCard.
constexpr std::pair<Field, std::string_view> kFlatCopies[] = {
    {Field::FullName, "DisplayName"}, {Field::FirstName, "FirstName"},
    {Field::LastName, "LastName"},    {Field::Email, "PrimaryEmail"},
    {Field::Nickname, "NickName"},
};

/// An open database, closed with its holder.
struct Db {
    sqlite3* db = nullptr;
    Db() = default;
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    ~Db() { sqlite3_close(db); }
};

/// A prepared statement; `ok()` false when it could not be prepared.
class Stmt {
  public:
    Stmt(sqlite3* db, std::string_view sql) {
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    bool step() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_ROW; }
    /// Runs a statement that returns no rows, then makes it ready to run again. The values
    /// bound stay bound: a caller binds anew what changes (and keeps the others alive).
    bool run() {
        const int rc = m_stmt ? sqlite3_step(m_stmt) : SQLITE_MISUSE;
        sqlite3_reset(m_stmt);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    /// Binds `text` without copying it: it must outlive the next step.
    Stmt& bind(int i, std::string_view text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    /// The column's text, valid until the next step.
    std::string_view view(int column) const {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p ? std::string_view(reinterpret_cast<const char*>(p),
                                    static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string_view();
    }
    std::string text(int column) const {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
    }
    std::int64_t number(int column) const { return sqlite3_column_int64(m_stmt, column); }

  private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool hasTable(sqlite3* db, std::string_view name) {
    Stmt s(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    return s.bind(1, name).step();
}

/// Opens `path` read-only; the SQLite result code (SQLITE_OK when open).
int openReadOnly(const std::string& path, Db& db) {
    int rc = sqlite3_open_v2(path.c_str(), &db.db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) return rc;
    sqlite3_busy_timeout(db.db, kBusyMilliseconds);
    // Mapped reads spare a copy of every page; the file is never written through this handle.
    sqlite3_exec(db.db, "PRAGMA mmap_size = 268435456", nullptr, nullptr, nullptr);
    // The first read of the schema tells a file that is no database or is locked.
    return sqlite3_exec(db.db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

/// What went wrong opening `path`, as a sentence for the user.
std::string openFailure(const std::string& path, int rc, sqlite3* db) {
    if (rc == SQLITE_NOTADB) {
        return path + " is not an SQLite database, so it is no Thunderbird address book.";
    }
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        return path + " is locked by another program (Thunderbird, while it writes to it): " +
               "try again when it is done, or close Thunderbird.";
    }
    return path + " cannot be opened: " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ".";
}

std::string notABook(const std::string& path) {
    return path + " is an SQLite database but not a Thunderbird address book (it lacks the " +
           "tables properties, lists and list_cards); Vesk neither reads nor writes it.";
}

/// A hash of every field, to find a list member among the cards without a key string per card.
std::size_t fieldsHash(const Entry& e) {
    std::size_t h = 0;
    for (int i = 0; i < kFieldCount; ++i) h = h * 31 + std::hash<std::string>{}(e.value(i));
    return h;
}

bool sameFields(const Entry& a, const Entry& b) {
    for (int i = 0; i < kFieldCount; ++i) {
        if (a.value(i) != b.value(i)) return false;
    }
    return true;
}

bool isUid(std::string_view s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

std::string lowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const std::unordered_map<std::string_view, Field>& fieldByColumn() {
    static const std::unordered_map<std::string_view, Field> map = [] {
        std::unordered_map<std::string_view, Field> m;
        for (const auto& [field, name] : kMozillaCardColumns) m.emplace(name, field);
        return m;
    }();
    return map;
}

/// Index of `name` in kDateColumns, or -1.
int datePart(std::string_view name) {
    for (std::size_t i = 0; i < kDateColumns.size(); ++i) {
        if (name == kDateColumns[i]) return static_cast<int>(i);
    }
    return -1;
}

// --- vCard text ---------------------------------------------------------------------------

/// Appends `v` escaped as vCard 4.0 asks: backslash, comma, semicolon and line breaks.
void appendEscaped(std::string& out, std::string_view v) {
    for (std::size_t i = 0; i < v.size(); ++i) {
        const char c = v[i];
        if (c == '\r') {
            if (i + 1 < v.size() && v[i + 1] == '\n') continue;
            out.append("\\n");
        } else if (c == '\n') {
            out.append("\\n");
        } else {
            if (c == '\\' || c == ',' || c == ';') out.push_back('\\');
            out.push_back(c);
        }
    }
}

/// Appends `line` folded at 75 bytes (never inside a UTF-8 sequence) and CR LF.
void appendFolded(std::string& out, std::string_view line) {
    std::size_t limit = 75;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line.substr(0, cut)).append("\r\n ");
        line.remove_prefix(cut);
        limit = 74;  // the leading space counts
    }
    out.append(line).append("\r\n");
}

/// Ends the line begun at `start` of `out` with CR LF, folded when it is long.
void endLine(std::string& out, std::size_t start) {
    // Most lines are short: they go straight into the card, only long ones are folded.
    if (out.size() - start <= 75) {
        out.append("\r\n");
        return;
    }
    const std::string line = out.substr(start);
    out.resize(start);
    appendFolded(out, line);
}

/// Appends the line "head:value", nothing when the value is empty.
void appendProperty(std::string& out, std::string_view head, std::string_view value) {
    if (value.empty()) return;
    const std::size_t start = out.size();
    out.append(head).append(1, ':').append(value);
    endLine(out, start);
}

/// Appends the line "head:value" with the value escaped, nothing when it is empty.
void appendText(std::string& out, std::string_view head, std::string_view value) {
    if (value.empty()) return;
    const std::size_t start = out.size();
    out.append(head).append(1, ':');
    appendEscaped(out, value);
    endLine(out, start);
}

/// Appends a line of components joined by ";", each escaped, after `leadingEmpty` empty ones
/// and before `trailingEmpty` ones; nothing when all are empty.
void appendCompound(std::string& out, std::string_view head, const Entry& e,
                    std::initializer_list<Field> fields, int leadingEmpty = 0,
                    int trailingEmpty = 0) {
    if (std::all_of(fields.begin(), fields.end(), [&](Field f) { return e[f].empty(); })) return;
    const std::size_t start = out.size();
    out.append(head).append(1, ':').append(static_cast<std::size_t>(leadingEmpty), ';');
    bool first = true;
    for (Field f : fields) {
        if (!first) out.push_back(';');
        first = false;
        appendEscaped(out, e[f]);
    }
    out.append(static_cast<std::size_t>(trailingEmpty), ';');
    endLine(out, start);
}

/// The card's e-mail addresses in the order Thunderbird ranks them: the field, then the extras.
std::vector<std::string_view> emailsOf(const Entry& e) {
    std::vector<std::string_view> out;
    if (!e[Field::Email].empty()) out.emplace_back(e[Field::Email]);
    for (const Extra& x : e.extras) {
        if (x.kind == ExtraKind::Email) out.emplace_back(x.value);
    }
    return out;
}

/// A date as vCard 4.0 writes it ("19800102", "--0102"); "" when the value is no date.
std::string vCardDate(const std::string& value) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (!parseExtraDate(value, year, month, day)) return {};
    char text[16];
    if (year > 0) {
        std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    } else {
        std::snprintf(text, sizeof text, "--%02d%02d", month, day);
    }
    return text;
}

/// The values beyond the fields: further e-mail addresses, categories and the dates.
void appendExtras(std::string& out, const Entry& e) {
    if (e.extras.empty()) return;
    std::string categories;
    // Without the field the first further address is the card's primary one.
    bool primary = e[Field::Email].empty();
    for (const Extra& x : e.extras) {
        if (x.kind == ExtraKind::Email) {
            appendText(out, primary ? "EMAIL;PREF=1" : "EMAIL", x.value);
            primary = false;
        } else if (x.kind == ExtraKind::Category) {
            if (!categories.empty()) categories.push_back(',');
            appendEscaped(categories, x.value);
        }
    }
    appendProperty(out, "CATEGORIES", categories);
    appendProperty(out, "BDAY;VALUE=DATE", vCardDate(e.extra(ExtraKind::Birthday)));
    appendProperty(out, "ANNIVERSARY;VALUE=DATE", vCardDate(e.extra(ExtraKind::Anniversary)));
}

/// The property name of an unfolded vCard line, in upper case, without its group.
std::string propertyName(std::string_view line) {
    const std::size_t end = line.find_first_of(";:");
    std::string_view name = line.substr(0, end);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

/// The unfolded lines of a vCard text.
std::vector<std::string> unfoldedLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            lines.back().append(line.substr(1));
        } else if (!line.empty()) {
            lines.emplace_back(line);
        }
        pos = end + 1;
    }
    return lines;
}

/// The lines of an existing card's vCard that Vesk does not write, to keep them: every
/// property it has no field for, and of the values beyond the fields those of a kind the
/// entry holds none of (the e-mail addresses after the first, birthday, anniversary,
/// categories).
std::vector<std::string> linesToKeep(std::string_view vcard, const Entry& e) {
    static const std::set<std::string> written = {
        "BEGIN",    "END", "VERSION", "FN",           "N",
        "NICKNAME", "TEL", "ADR",     "URL",          "TITLE",
        "ROLE",     "ORG", "NOTE",    "X-MS-MANAGER", "X-MS-ASSISTANT",
        "UID"};
    const ExtraMask held = e.extraKinds();
    const auto holds = [&](ExtraKind kind) { return held.test(static_cast<std::size_t>(kind)); };
    const std::pair<std::string_view, ExtraKind> extraLines[] = {
        {"BDAY", ExtraKind::Birthday},
        {"ANNIVERSARY", ExtraKind::Anniversary},
        {"CATEGORIES", ExtraKind::Category}};
    std::vector<std::string> kept;
    bool firstEmail = true;
    for (std::string& line : unfoldedLines(vcard)) {
        const std::string name = propertyName(line);
        if (name == "EMAIL") {
            if (!firstEmail && !holds(ExtraKind::Email)) kept.push_back(std::move(line));
            firstEmail = false;
            continue;
        }
        if (name == "RELATED" &&
            lowerAscii(line.substr(0, line.find(':'))).find("spouse") != std::string::npos)
            continue;
        const auto extra = std::find_if(std::begin(extraLines), std::end(extraLines),
                                        [&](const auto& x) { return x.first == name; });
        if (extra != std::end(extraLines) && holds(extra->second)) continue;
        if (written.count(name) == 0) kept.push_back(std::move(line));
    }
    return kept;
}

/// The kinds of values beyond the fields a book holds. The UID is read; written, only one
/// in Thunderbird's own form (a UUID) becomes the card's UID, so the report names the others.
ExtraMask sqliteExtras(bool reading) {
    ExtraMask mask;
    for (ExtraKind kind :
         {ExtraKind::Email, ExtraKind::Birthday, ExtraKind::Anniversary, ExtraKind::Category})
        mask.set(static_cast<std::size_t>(kind));
    if (reading) mask.set(static_cast<std::size_t>(ExtraKind::Uid));
    return mask;
}

/// Makes `out` the vCard of `e`, reusing its buffer.
void vCardInto(std::string& out, const Entry& e, const std::string& uid) {
    out.assign("BEGIN:VCARD\r\nVERSION:4.0\r\n");
    appendText(out, "FN", e[Field::FullName]);
    // N has five components; the last (the suffix) has no field.
    appendCompound(out, "N", e,
                   {Field::LastName, Field::FirstName, Field::MiddleName, Field::Title}, 0, 1);
    appendText(out, "NICKNAME", e[Field::Nickname]);
    appendText(out, "EMAIL;PREF=1", e[Field::Email]);
    const std::pair<std::string_view, Field> phones[] = {
        {"TEL;TYPE=home", Field::HomePhone},     {"TEL;TYPE=work", Field::BusinessPhone},
        {"TEL;TYPE=cell", Field::CellularPhone}, {"TEL;TYPE=pager", Field::Pager},
        {"TEL;TYPE=home,fax", Field::HomeFax},   {"TEL;TYPE=work,fax", Field::BusinessFax},
    };
    for (const auto& [head, field] : phones) appendText(out, head, e[field]);
    appendCompound(out, "ADR;TYPE=home", e,
                   {Field::HomeStreet, Field::HomeCity, Field::HomeState, Field::HomePostalCode,
                    Field::HomeCountry},
                   2);
    appendCompound(out, "ADR;TYPE=work", e,
                   {Field::Office, Field::BusinessStreet, Field::BusinessCity, Field::BusinessState,
                    Field::BusinessPostalCode, Field::BusinessCountry},
                   1);
    appendProperty(out, "URL;TYPE=home", e[Field::HomeWebPage]);
    appendProperty(out, "URL;TYPE=work", e[Field::BusinessWebPage]);
    appendText(out, "TITLE", e[Field::JobTitle]);
    appendText(out, "ROLE", e[Field::Profession]);
    appendCompound(out, "ORG", e, {Field::Organization, Field::Department});
    appendText(out, "NOTE", e[Field::Notes]);
    appendText(out, "RELATED;TYPE=spouse;VALUE=text", e[Field::Spouse]);
    appendText(out, "X-MS-MANAGER", e[Field::Manager]);
    appendText(out, "X-MS-ASSISTANT", e[Field::Assistant]);
    appendExtras(out, e);
    appendProperty(out, "UID", uid);
    out.append("END:VCARD\r\n");
}

std::string vCardWith(const Entry& e, const std::string& uid,
                      const std::vector<std::string>& kept) {
    std::string out;
    vCardInto(out, e, uid);
    out.resize(out.size() - std::string_view("END:VCARD\r\n").size());
    for (const std::string& line : kept) appendFolded(out, line);
    out.append("END:VCARD\r\n");
    return out;
}

}  // namespace

// --- layout ---------------------------------------------------------------------------------

namespace abook {

Layout layoutOf(sqlite3* db) {
    if (!hasTable(db, "properties") || !hasTable(db, "lists") || !hasTable(db, "list_cards"))
        return Layout::None;
    if (hasTable(db, "cards")) return Layout::Cards;
    Stmt version(db, "PRAGMA user_version");
    if (version.step() && version.number(0) >= kCurrentVersion) return Layout::VCard;
    Stmt vcard(db, "SELECT 1 FROM properties WHERE name = '_vCard' LIMIT 1");
    return vcard.step() ? Layout::VCard : Layout::Flat;
}

bool isAddressBook(const std::string& path) {
    Db db;
    return openReadOnly(path, db) == SQLITE_OK && layoutOf(db.db) != Layout::None;
}

std::string vCardOf(const Entry& e, const std::string& uid) {
    std::string out;
    vCardInto(out, e, uid);
    return out;
}

std::string newUid() {
    static std::mt19937_64 random{std::random_device{}()};
    const std::uint64_t high = (random() & ~0xF000ull) | 0x4000ull;       // version 4
    const std::uint64_t low = (random() & ~(3ull << 62)) | (2ull << 62);  // variant 1
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx",
                  static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xFFFF),
                  static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

}  // namespace abook

// --- reader ---------------------------------------------------------------------------------

namespace iterators {

class IterABSQLite::MemberList : public IterBase {
  public:
    MemberList(std::string name, std::vector<Entry> members)
        : m_name(std::move(name)), m_members(std::move(members)) {}
    bool rewind() override {
        m_pos = 0;
        return true;
    }
    Entry nextEntry() override { return m_pos < m_members.size() ? m_members[m_pos++] : Entry(); }
    bool atEnd() override { return m_pos >= m_members.size(); }
    std::string name() override { return m_name; }

  private:
    std::string m_name;
    std::vector<Entry> m_members;
    std::size_t m_pos = 0;
};

IterABSQLite::IterABSQLite(RunContext& run, std::string fileName)
    : m_run(run), m_fileName(std::move(fileName)), m_vcard(new IterVCF(m_fileName, {})) {
    // Read-only, so that a book Thunderbird has open is read as it stands and never changed.
    Db db;
    const int rc = openReadOnly(m_fileName, db);
    if (rc != SQLITE_OK) {
        fail(openFailure(m_fileName, rc, db.db));
    } else if (!load(db.db)) {
        m_cards.clear();
        m_rows.clear();
        m_values.clear();
        m_cardByUid.clear();
        m_lists.clear();
    }
}

IterABSQLite::~IterABSQLite() = default;

void IterABSQLite::fail(const std::string& why) {
    m_failed = true;
    m_run.report(Severity::Error, why, "Vesk", Where{m_fileName});
}

namespace {

// Flat rows that are no field, kept beside the field indexes in StoredRow::code.
constexpr int kSecondEmailRow = kFieldCount;
constexpr int kDateRow = kFieldCount + 1;  // + the part's index in kDateColumns

/// What a flat property is to the reader: a field's index, a row code above, or -1.
int rowCode(std::string_view name) {
    if (const auto f = fieldByColumn().find(name); f != fieldByColumn().end())
        return static_cast<int>(f->second);
    if (name == kSecondEmail) return kSecondEmailRow;
    const int part = datePart(name);
    return part >= 0 ? kDateRow + part : -1;
}

/// The number of cards the book says it holds, to size the tables once; 0 when unknown.
std::size_t cardCountHint(sqlite3* db) {
    Stmt count(db, "SELECT count(*) FROM properties WHERE name = 'DisplayName'");
    const std::int64_t n = count.step() ? count.number(0) : 0;
    // Only a hint: a damaged book must not make the reader reserve more than books hold.
    return static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, 1 << 20));
}

}  // namespace

bool IterABSQLite::load(sqlite3* db) {
    const abook::Layout layout = abook::layoutOf(db);
    if (layout == abook::Layout::None) {
        fail(notABook(m_fileName));
        return false;
    }
    std::set<std::string> existing;
    if (layout == abook::Layout::Cards) {
        Stmt cards(db, "SELECT uid FROM cards");
        while (cards.step()) existing.insert(cards.text(0));
    }
    Stmt props(db, "SELECT card, name, value FROM properties ORDER BY rowid");
    if (!props.ok()) {
        fail(m_fileName + " cannot be read: " + sqlite3_errmsg(db) + ".");
        return false;
    }
    const std::size_t hint = cardCountHint(db);
    m_cards.reserve(hint);
    m_cardByUid.reserve(hint);
    m_rows.reserve(hint * 6);  // the flat copies of the current layout
    // The values are fewer bytes than the file: room for them at once spares the copies (and
    // fresh pages) of a buffer that grows by doubling.
    m_values.reserve(
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize(m_fileName), 1u << 30)));
    StoredCard* card = nullptr;  // the card of the last row, valid until the next one is added
    while (props.step()) {
        // A card's properties mostly come one after another: look its uid up once for them.
        const std::string_view uid = props.view(0);
        if (!card || uid != card->uid) {
            card = nullptr;
            if (layout == abook::Layout::Cards && existing.count(std::string(uid)) == 0) continue;
            auto [it, added] = m_cardByUid.emplace(uid, m_cards.size());
            if (added) m_cards.push_back({std::string(uid), {}, kNoRow, kNoRow, 0});
            card = &m_cards[it->second];
        }
        const std::string_view name = props.view(1);
        if (name == kVCard) {
            card->vcard = keep(props.view(2));
        } else if (name == kModified) {
            if (const std::int64_t t = props.number(2); t > 0) card->modified = t;
        } else if (const int code = rowCode(name); code >= 0) {
            const std::size_t row = m_rows.size();
            m_rows.push_back({code, keep(props.view(2)), kNoRow});
            (card->lastRow == kNoRow ? card->firstRow : m_rows[card->lastRow].next) = row;
            card->lastRow = row;
        }
    }
    std::unordered_map<std::string, std::size_t> listByUid;
    Stmt lists(db, "SELECT uid, name FROM lists ORDER BY rowid");
    while (lists.step()) {
        listByUid.emplace(lists.text(0), m_lists.size());
        m_lists.push_back({lists.text(1), {}});
    }
    Stmt members(db, "SELECT list, card FROM list_cards ORDER BY rowid");
    while (members.step()) {
        const auto list = listByUid.find(members.text(0));
        if (list != listByUid.end()) m_lists[list->second].members.push_back(members.text(1));
    }
    return true;
}

IterABSQLite::Span IterABSQLite::keep(std::string_view value) {
    const Span span{m_values.size(), value.size()};
    m_values.append(value);
    return span;
}

Entry IterABSQLite::entryOf(const StoredCard& card) {
    // What the vCard holds takes precedence over the flat copies.
    Entry v;
    const std::string_view vcard = valueOf(card.vcard);
    if (!vcard.empty()) {
        m_vcard->reset(vcard);
        if (!m_vcard->atEnd()) v = m_vcard->nextEntry();
    }
    Entry e;
    e.sourceId = card.uid;
    if (card.modified > 0) e.revisionTime = card.modified;
    e.addExtra(ExtraKind::Uid, card.uid);
    std::array<std::string, kDateColumns.size()> dates;
    bool dated = false;
    for (std::size_t row = card.firstRow; row != kNoRow; row = m_rows[row].next) {
        const int code = m_rows[row].code;
        const std::string_view value = valueOf(m_rows[row].value);
        if (code < kFieldCount) {
            if (v.value(code).empty()) e.set(code, std::string(value));
        } else if (code == kSecondEmailRow) {
            e.addExtra(ExtraKind::Email, std::string(value));
        } else {
            dates[static_cast<std::size_t>(code - kDateRow)] = value;
            dated = true;
        }
    }
    if (dated) {
        e.addExtra(ExtraKind::Birthday, dateFromParts(dates[0], dates[1], dates[2]));
        e.addExtra(ExtraKind::Anniversary, dateFromParts(dates[3], dates[4], dates[5]));
    }
    if (vcard.empty()) return e;
    for (int i = 0; i < kFieldCount; ++i) {
        if (!v.value(i).empty()) e.set(i, v.take(i));
    }
    const ExtraMask kept = sqliteExtras(true);
    v.extras.erase(std::remove_if(v.extras.begin(), v.extras.end(),
                                  [&](const Extra& x) {
                                      return !kept.test(static_cast<std::size_t>(x.kind));
                                  }),
                   v.extras.end());
    mergeExtras(e, v, true);
    return e;
}

bool IterABSQLite::rewind() {
    m_pos = 0;
    m_listPos = 0;
    m_current.reset();
    return true;
}

Entry IterABSQLite::nextEntry() {
    return m_pos < m_cards.size() ? entryOf(m_cards[m_pos++]) : Entry();
}

bool IterABSQLite::atEnd() {
    return m_pos >= m_cards.size();
}

IterBase* IterABSQLite::nextList() {
    m_current.reset();
    if (listsDone()) return nullptr;
    const PendingList& list = m_lists[m_listPos++];
    std::vector<Entry> members;
    for (const std::string& uid : list.members) {
        // A member that is no card of the book is left out, as Thunderbird leaves it out.
        if (const auto card = m_cardByUid.find(uid); card != m_cardByUid.end())
            members.push_back(entryOf(m_cards[card->second]));
    }
    m_current = std::make_unique<MemberList>(list.name, std::move(members));
    return m_current.get();
}

bool IterABSQLite::listsDone() {
    return m_listPos >= m_lists.size();
}

float IterABSQLite::progress() {
    return m_cards.empty() ? 1.0f : static_cast<float>(m_pos) / static_cast<float>(m_cards.size());
}

}  // namespace iterators

// --- writer ---------------------------------------------------------------------------------

ToABSQLite::ToABSQLite(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    wantsLists = true;
}

ToABSQLite::~ToABSQLite() = default;

std::string ToABSQLite::uidFor(const Entry& e) {
    // A card keeps its UID; identifiers of other programs are no UIDs, nor is one taken.
    std::string uid = lowerAscii(e.extra(ExtraKind::Uid));
    if (!isUid(uid)) uid = lowerAscii(e.sourceId);
    // "" for a card that gets a new UID when the book is built (newUids).
    if (!isUid(uid) || !m_uids.insert(uid).second) return {};
    return uid;
}

bool ToABSQLite::write(Entry e) {
    if (e.kind == KindListBegin) {
        m_lists.push_back({e[Field::FullName], {}});
        m_inList = true;
    } else if (e.kind == KindListEnd) {
        m_inList = false;
    } else if (e.isMarker() || e.isEmpty()) {
        // Folder markers (a Thunderbird book holds no folders) and entries with nothing in them.
    } else if (m_inList) {
        const std::size_t card = cardFor(e);
        std::vector<std::size_t>& members = m_lists.back().members;
        if (std::find(members.begin(), members.end(), card) == members.end())
            members.push_back(card);
    } else {
        const std::size_t index = m_cards.size();
        std::string uid = uidFor(e);
        if (!e.sourceId.empty()) m_byUid.emplace(e.sourceId, index);
        // Members are found by their fields in the first card that has them.
        if (cardWithFields(e) == kNoCard) m_byFields.emplace(fieldsHash(e), index);
        m_cards.emplace_back();
        m_cards.back().entry = std::move(e);
        m_cards.back().uid = std::move(uid);
    }
    return true;
}

std::size_t ToABSQLite::cardWithFields(const Entry& e) const {
    for (auto [it, end] = m_byFields.equal_range(fieldsHash(e)); it != end; ++it) {
        if (sameFields(m_cards[it->second].entry, e)) return it->second;
    }
    return kNoCard;
}

std::size_t ToABSQLite::cardFor(const Entry& member) {
    if (!member.sourceId.empty()) {
        if (const auto it = m_byUid.find(member.sourceId); it != m_byUid.end()) return it->second;
    }
    if (const std::size_t card = cardWithFields(member); card != kNoCard) return card;
    // A member that is no card written becomes a card: Thunderbird's lists hold only cards.
    const bool wasInList = m_inList;
    m_inList = false;
    write(member);
    m_inList = wasInList;
    return m_cards.size() - 1;
}

namespace {

const char* const kSchema =
    "PRAGMA page_size = 32768;"
    "CREATE TABLE properties (card TEXT, name TEXT, value TEXT);"
    "CREATE TABLE lists (uid TEXT PRIMARY KEY, name TEXT, nickName TEXT, description TEXT);"
    "CREATE TABLE list_cards (list TEXT, card TEXT, PRIMARY KEY(list, card));"
    "PRAGMA user_version = 4;";
// Thunderbird's indexes; made after the rows, which is faster than keeping them while they come.
const char* const kIndexes =
    "CREATE INDEX IF NOT EXISTS properties_card ON properties(card);"
    "CREATE INDEX IF NOT EXISTS properties_name ON properties(name);";

/// The rows a card is stored as, built in buffers that are reused from card to card: the
/// rows are views into the entry and into these buffers.
struct CardRows {
    std::string vcard;
    std::string lowerEmail;
    std::string modified;
    std::array<std::string, kDateColumns.size()> dateParts;
    std::vector<std::pair<std::string_view, std::string_view>> rows;

    /// The properties of `e` in `layout`: for the current one its vCard (already in `vcard`)
    /// and the flat copies, for the older ones every field as Mork names it.
    void fill(const Entry& e, abook::Layout layout);

  private:
    void addDate(std::size_t first, const std::string& value);
};

void CardRows::addDate(std::size_t first, const std::string& value) {
    int year = 0;
    int month = 0;
    int day = 0;
    const bool date = parseExtraDate(value, year, month, day);
    dateParts[first] = date && year > 0 ? std::to_string(year) : std::string();
    dateParts[first + 1] = date ? std::to_string(month) : std::string();
    dateParts[first + 2] = date ? std::to_string(day) : std::string();
    for (std::size_t i = first; i < first + 3; ++i)
        rows.emplace_back(kDateColumns[i], dateParts[i]);
}

void CardRows::fill(const Entry& e, abook::Layout layout) {
    rows.clear();
    // The flat copies of the addresses follow the vCard's order, as Thunderbird derives them.
    const std::vector<std::string_view> emails = emailsOf(e);
    const std::string_view primary = emails.empty() ? std::string_view() : emails[0];
    if (layout == abook::Layout::VCard) {
        rows.emplace_back(kVCard, vcard);
        for (const auto& [field, name] : kFlatCopies)
            rows.emplace_back(name, field == Field::Email ? primary : e[field]);
    } else {
        for (const auto& [field, name] : kMozillaCardColumns)
            rows.emplace_back(name, field == Field::Email ? primary : e[field]);
        addDate(0, e.extra(ExtraKind::Birthday));
        addDate(3, e.extra(ExtraKind::Anniversary));
    }
    rows.emplace_back(kSecondEmail, emails.size() > 1 ? emails[1] : std::string_view());
    // Thunderbird finds a card by address through this one.
    lowerEmail.assign(primary);
    for (char& c : lowerEmail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    rows.emplace_back("LowercasePrimaryEmail", lowerEmail);
    modified = std::to_string(e.revisionTime);
    rows.emplace_back(kModified, modified);
}

/// The existing book's values that the writer needs: its cards' vCards and its lists by name.
struct Existing {
    std::set<std::string> cards;
    std::unordered_map<std::string, std::string> vcards;
    std::unordered_map<std::string, std::string> listByName;  ///< lower-case name → uid
};

Existing existingOf(sqlite3* db) {
    Existing out;
    Stmt cards(db, "SELECT DISTINCT card FROM properties");
    while (cards.step()) out.cards.insert(cards.text(0));
    Stmt vcards(db, "SELECT card, value FROM properties WHERE name = '_vCard'");
    while (vcards.step()) out.vcards.emplace(vcards.text(0), vcards.text(1));
    Stmt lists(db, "SELECT uid, name FROM lists");
    while (lists.step()) out.listByName.emplace(lowerAscii(lists.text(1)), lists.text(0));
    return out;
}

}  // namespace

bool ToABSQLite::store(sqlite3* db, abook::Layout layout) {
    const Existing existing = existingOf(db);
    Stmt remove(db, "DELETE FROM properties WHERE card = ? AND name = ?");
    Stmt insert(db, "INSERT INTO properties (card, name, value) VALUES (?, ?, ?)");
    Stmt addCard(db,
                 "INSERT INTO cards (uid, localId) "
                 "VALUES (?, (SELECT COALESCE(MAX(localId), 0) + 1 FROM cards))");
    bool ok = remove.ok() && insert.ok();
    CardRows stored;
    for (const Card& c : m_cards) {
        const bool known = existing.cards.count(c.uid) > 0;
        const auto old = existing.vcards.find(c.uid);
        if (old == existing.vcards.end()) {
            vCardInto(stored.vcard, c.entry, c.uid);
        } else {
            stored.vcard = vCardWith(c.entry, c.uid, linesToKeep(old->second, c.entry));
        }
        stored.fill(c.entry, layout);
        remove.bind(1, c.uid);
        insert.bind(1, c.uid);
        for (const auto& [name, value] : stored.rows) {
            if (known) ok = remove.bind(2, name).run() && ok;
            if (!value.empty()) ok = insert.bind(2, name).bind(3, value).run() && ok;
        }
        if (!known && layout == abook::Layout::Cards) ok = addCard.bind(1, c.uid).run() && ok;
    }
    const bool withLocalId = layout == abook::Layout::Cards;
    Stmt addList(db, withLocalId ? "INSERT INTO lists (uid, localId, name, nickName, description) "
                                   "VALUES (?, (SELECT COALESCE(MAX(localId), 0) + 1 FROM lists), "
                                   "?, '', '')"
                                 : "INSERT INTO lists (uid, name, nickName, description) "
                                   "VALUES (?, ?, '', '')");
    Stmt clear(db, "DELETE FROM list_cards WHERE list = ?");
    Stmt member(db, "INSERT OR IGNORE INTO list_cards (list, card) VALUES (?, ?)");
    for (const List& l : m_lists) {
        const auto old = existing.listByName.find(lowerAscii(l.name));
        const std::string uid = old == existing.listByName.end() ? abook::newUid() : old->second;
        ok = (old == existing.listByName.end() ? addList.bind(1, uid).bind(2, l.name).run()
                                               : clear.bind(1, uid).run()) &&
             ok;
        for (std::size_t card : l.members)
            ok = member.bind(1, uid).bind(2, m_cards[card].uid).run() && ok;
    }
    return ok;
}

bool ToABSQLite::bookIsFree() {
    Db db;
    int rc = sqlite3_open_v2(m_fileName.c_str(), &db.db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db.db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr);
    }
    // Folding what the journal holds into the book ends with no journal unless another
    // program has the book open.
    if (rc == SQLITE_OK) {
        sqlite3_exec(db.db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db.db);
    db.db = nullptr;
    const bool open = isFile(m_fileName + "-wal") || isFile(m_fileName + "-shm");
    if (rc == SQLITE_OK && !open) return true;
    m_run->report(Severity::Error,
                  m_fileName + " is in use by another program (Thunderbird?): close it and " +
                      "try again. Nothing was written.",
                  "Vesk", Where{m_fileName});
    return false;
}

void ToABSQLite::newUids() {
    // New random UUIDs, handed out in ascending order: SQLite then builds the index of cards
    // from rows that mostly come sorted, which is much faster. They repeat none of the kept
    // ones (122 random bits).
    std::vector<std::string> uids;
    for (const Card& c : m_cards) {
        if (c.uid.empty()) uids.push_back(abook::newUid());
    }
    std::sort(uids.begin(), uids.end());
    auto next = uids.begin();
    for (Card& c : m_cards) {
        if (c.uid.empty()) c.uid = std::move(*next++);
    }
}

bool ToABSQLite::finish() {
    m_succeeded = false;
    newUids();
    abook::Layout layout = abook::Layout::VCard;
    const bool exists = isFile(m_fileName);
    if (exists) {
        Db old;
        const int rc = openReadOnly(m_fileName, old);
        if (rc != SQLITE_OK) {
            m_run->report(Severity::Error, openFailure(m_fileName, rc, old.db), "Vesk",
                          Where{m_fileName});
            return false;
        }
        layout = abook::layoutOf(old.db);
        if (layout == abook::Layout::None) {
            m_run->report(Severity::Error, notABook(m_fileName), "Vesk", Where{m_fileName});
            return false;
        }
    }
    return writeThrough(
        [&](const std::string& temporary) { return build(temporary, exists, layout); });
}

bool ToABSQLite::build(const std::string& path, bool merge, abook::Layout layout) {
    Db db;
    // The new file is written once and replaces the book only when complete, so it needs no
    // journal, no locks shared with others and no flushes of its own (it is flushed when done).
    // A small page cache: pages go to the file as they fill, which costs less than the fresh
    // memory of a cache that holds the whole book.
    if (sqlite3_open(path.c_str(), &db.db) != SQLITE_OK ||
        !exec(db.db,
              "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
              "PRAGMA locking_mode = EXCLUSIVE; PRAGMA temp_store = MEMORY; "
              "PRAGMA cache_size = -16384;") ||
        !(merge ? copyBook(db.db) : exec(db.db, kSchema)) || !exec(db.db, "BEGIN") ||
        !store(db.db, layout) || (!merge && !exec(db.db, kIndexes)) || !exec(db.db, "COMMIT")) {
        m_run->report(Severity::Error,
                      m_fileName + " could not be built: " +
                          (db.db ? sqlite3_errmsg(db.db) : "out of memory") + ".",
                      "Vesk", Where{m_fileName});
        return false;
    }
    return !merge || bookIsFree();
}

bool ToABSQLite::copyBook(sqlite3* db) {
    Db old;
    if (openReadOnly(m_fileName, old) != SQLITE_OK) return false;
    sqlite3_backup* copy = sqlite3_backup_init(db, "main", old.db, "main");
    const bool ok = copy && sqlite3_backup_step(copy, -1) == SQLITE_DONE;
    sqlite3_backup_finish(copy);
    return ok;
}

// --- registry row ---------------------------------------------------------------------------

namespace {

Sniff sniffSqlite(std::string_view head) {
    // Any SQLite file may be a book; the reader looks at its tables and refuses other ones.
    return head.starts_with(std::string_view("SQLite format 3\0", 16)) ? Sniff::Maybe : Sniff::No;
}

FieldMask sqliteFields() {
    return allFields();
}

}  // namespace

const FormatInfo& abookSqliteFormat() {
    static const FormatInfo info = {
        .id = "abook_sqlite",
        .displayName = "Thunderbird address book (SQLite)",
        .extensions = {"sqlite"},
        .reads = true,
        .writes = true,
        .holdsLists = true,
        .mergesExisting = true,
        .readFields = sqliteFields(),
        .writeFields = sqliteFields(),
        .readExtras = sqliteExtras(true),
        .writeExtras = sqliteExtras(false),
        .sniff = &sniffSqlite,
        .reader = &readerOfFile<iterators::IterABSQLite>,
        .writer = &writerOfFile<ToABSQLite>,
        // After the lists users know from the older programs.
        .openFilters = {{"Thunderbird address books (*.sqlite)", "*.sqlite", 14}},
        .saveFilters = {{"Thunderbird address books (*.sqlite)", "*.sqlite", 14}},
        .docsPage = "abook_sqlite.md",
    };
    return info;
}

}  // namespace vesk
