#include "stores/palm.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

#include "text/text_io.h"

namespace vesk::iterators {

namespace {

constexpr std::string_view kVersionTag("\x00\x01\x42\x41", 4);
constexpr std::uint32_t kStringType = 5;
constexpr std::uint32_t kAlphaType = 4;
constexpr std::uint32_t kLastType = 8;

/// Reads little-endian numbers and strings from the file's bytes; every read checks the size
/// first and a failed one leaves the cursor failed.
class Cursor {
  public:
    Cursor(std::string_view bytes, std::size_t pos) : m_bytes(bytes), m_pos(pos) {}

    bool skip(std::size_t n) {
        if (!m_ok || n > m_bytes.size() - m_pos) return m_ok = false;
        m_pos += n;
        return true;
    }
    std::uint32_t u32() { return number(4); }
    std::uint32_t u16() { return number(2); }
    /// One length byte, or 0xFF and a 16-bit length, then the bytes.
    std::string cstring() {
        std::uint32_t length = number(1);
        if (length == 0xFF) length = u16();
        const std::size_t from = m_pos;
        if (!skip(length)) return {};
        return windows1252ToUtf8(m_bytes.substr(from, length));
    }
    bool ok() const { return m_ok; }
    std::size_t pos() const { return m_pos; }
    std::size_t left() const { return m_bytes.size() - m_pos; }

  private:
    std::uint32_t number(std::size_t width) {
        const std::size_t from = m_pos;
        if (!skip(width)) return 0;
        std::uint32_t value = 0;
        for (std::size_t i = width; i-- > 0;) {
            value = (value << 8) | static_cast<unsigned char>(m_bytes[from + i]);
        }
        return value;
    }

    std::string_view m_bytes;
    std::size_t m_pos;
    bool m_ok = true;
};

/// The entry field a record's field number fills; phones by position (the fourth is not kept).
int fieldOfColumn(std::uint32_t column) {
    switch (column) {
        case 3:
            return static_cast<int>(Field::LastName);
        case 4:
            return static_cast<int>(Field::FirstName);
        case 5:
            return static_cast<int>(Field::Title);
        case 6:
            return static_cast<int>(Field::Organization);
        case 8:
            return static_cast<int>(Field::BusinessPhone);
        case 10:
            return static_cast<int>(Field::HomePhone);
        case 12:
            return static_cast<int>(Field::BusinessFax);
        case 16:
            return static_cast<int>(Field::Email);
        case 17:
            return static_cast<int>(Field::BusinessStreet);
        case 18:
            return static_cast<int>(Field::BusinessCity);
        case 19:
            return static_cast<int>(Field::BusinessState);
        case 20:
            return static_cast<int>(Field::BusinessPostalCode);
        case 21:
            return static_cast<int>(Field::BusinessCountry);
        case 22:
            return static_cast<int>(Field::Notes);
        default:
            return -1;
    }
}

/// "First Last" of the non-empty parts.
std::string joinNames(const std::string& first, const std::string& last) {
    if (first.empty()) return last;
    if (last.empty()) return first;
    return first + " " + last;
}

}  // namespace

IterPALM::IterPALM(RunContext& run, std::string fileName)
    : m_fileName(std::move(fileName)), m_run(run) {
    std::optional<std::string> bytes = readFileBytes(m_fileName);
    if (!bytes) {
        m_run.report(Severity::Error, "File cannot be opened", m_fileName, Where{m_fileName});
        return;
    }
    m_bytes = std::move(*bytes);
    if (!readHeader()) {
        m_run.report(Severity::Error, "This is not a Palm Desktop address book", m_fileName,
                     Where{m_fileName});
        m_records = 0;
        return;
    }
    rewind();
}

bool IterPALM::readHeader() {
    if (!std::string_view(m_bytes).starts_with(kVersionTag)) return false;
    Cursor c(m_bytes, kVersionTag.size());
    c.cstring();  // the file's name when it was written
    c.cstring();  // custom field names
    c.u32();      // next free category id
    const std::uint32_t categories = c.u32();
    // An entry takes at least 14 bytes: a count beyond that is not a count.
    if (!c.ok() || categories > c.left() / 14) return false;
    for (std::uint32_t i = 0; i < categories && c.ok(); ++i) {
        c.skip(12);
        c.cstring();
        c.cstring();
    }
    c.u32();  // schema resource id
    const std::uint32_t fieldsPerRow = c.u32();
    c.skip(12);  // record-id, status and placement positions
    const std::uint32_t fieldCount = c.u16();
    c.skip(2 * std::size_t{fieldCount});
    const std::uint32_t entries = c.u32();
    if (!c.ok() || fieldsPerRow != kFieldsPerRecord || fieldCount != kFieldsPerRecord) return false;
    m_records = entries / kFieldsPerRecord;
    m_first = c.pos();
    return true;
}

bool IterPALM::rewind() {
    m_pos = m_first;
    m_recordIndex = 0;
    advance();
    return true;
}

float IterPALM::progress() {
    if (m_bytes.empty()) return 1.0f;
    return static_cast<float>(m_pos) / static_cast<float>(m_bytes.size());
}

void IterPALM::advance() {
    m_next.reset();
    while (m_recordIndex < m_records && m_pos < m_bytes.size()) {
        ++m_recordIndex;
        Cursor c(m_bytes, m_pos);
        Entry e;
        std::uint32_t status = 0;
        for (std::uint32_t column = 0; column < kFieldsPerRecord && c.ok(); ++column) {
            const std::uint32_t type = c.u32();
            if (type > kLastType) c.skip(c.left() + 1);  // not a field: the record is unreadable
            if (type != kStringType && type != kAlphaType) {
                const std::uint32_t value = c.u32();
                if (column == 1) status = value;
                continue;
            }
            c.skip(4);
            std::string text = c.cstring();
            const int field = fieldOfColumn(column);
            if (c.ok() && field >= 0) e.at(field) = std::move(text);
        }
        m_pos = c.ok() ? c.pos() : m_bytes.size();
        if (!c.ok()) {
            m_run.report(Severity::Warning, "The address book ends inside a record", m_fileName,
                         Where{m_fileName});
            m_records = m_recordIndex;
        }
        if (status & kDeleted) continue;
        const std::string name = joinNames(e[Field::FirstName], e[Field::LastName]);
        e[Field::FullName] = name;
        e[Field::Nickname] = name;
        if (!c.ok() && e.isEmpty()) return;
        m_next = std::move(e);
        return;
    }
}

Entry IterPALM::nextEntry() {
    if (!m_next) return Entry{};
    Entry e = std::move(*m_next);
    advance();
    return e;
}

std::vector<PalmUser> palmUsers(const std::string& palmFolder) {
    namespace fs = std::filesystem;
    std::vector<PalmUser> users;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(palmFolder, ec)) {
        const fs::path book = item.path() / "address" / "address.dat";
        if (fs::is_regular_file(book, ec)) {
            users.push_back({item.path().filename().string(), book.string()});
        }
    }
    std::sort(users.begin(), users.end(),
              [](const PalmUser& a, const PalmUser& b) { return a.name < b.name; });
    return users;
}

}  // namespace vesk::iterators

namespace vesk {

const FormatInfo& palmFormat() {
    static const FormatInfo info = {
        .id = "palm",
        .displayName = "Palm Desktop address book",
        .extensions = {"dat"},
        .reads = true,
        .readFields = fieldsOf({Field::FullName, Field::Nickname, Field::FirstName, Field::LastName,
                                Field::Title, Field::Organization, Field::BusinessPhone,
                                Field::HomePhone, Field::BusinessFax, Field::Email,
                                Field::BusinessStreet, Field::BusinessCity, Field::BusinessState,
                                Field::BusinessPostalCode, Field::BusinessCountry, Field::Notes}),
        .reader = &readerOfFile<iterators::IterPALM>,
        .docsPage = "palm.md",
    };
    return info;
}

}  // namespace vesk
