#include "stores/pegasus_book.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>

#include "platform/file_io.h"
#include "platform/interrupt.h"
#include "text/text_io.h"

namespace vesk {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kRecordSize = 910;
/// Records as an older converter wrote them: the 910 bytes and four more zero bytes.
constexpr std::size_t kOldRecordSize = 914;
constexpr std::size_t kIndexRecordSize = 124;
constexpr std::size_t kIndexNumberOffset = 26;
/// Written records go to the file in chunks of about this size.
constexpr std::size_t kChunk = std::size_t{256} << 10;

/// A text slot: its byte offset and its size in UTF-16 units (the terminating NUL included).
struct Slot {
    std::size_t offset;
    std::size_t units;
};

constexpr Slot kTitle{0, 64};
constexpr Slot kName{2, 40};
constexpr Slot kOrganization{82, 40};
constexpr Slot kHomeAddress{186, 60};
constexpr Slot kBusinessAddress{306, 60};
constexpr Slot kPhone{426, 24};
constexpr Slot kFax{474, 24};
constexpr Slot kNotes{522, 80};
constexpr Slot kEmail{682, 100};
constexpr Slot kIndexName{28, 36};
constexpr Slot kIndexPhone{100, 12};

/// The value in a slot: up to its first NUL character, and never past the slot.
std::string readSlot(std::string_view record, Slot slot) {
    if (slot.offset >= record.size()) return {};
    const std::string_view bytes = record.substr(slot.offset, slot.units * 2);
    std::size_t units = 0;
    while (units * 2 + 1 < bytes.size() && (bytes[units * 2] != 0 || bytes[units * 2 + 1] != 0)) {
        ++units;
    }
    return utf16LeToUtf8(bytes.substr(0, units * 2));
}

/// Puts `text` into a zeroed slot of the record at the end of `out`, cut to leave room for the
/// NUL and never inside a surrogate pair.
void putSlot(std::string& out, std::size_t recordSize, Slot slot, std::string_view text) {
    const std::size_t at = out.size() - recordSize + slot.offset;
    const std::u16string units = utf8ToUtf16(text);
    std::size_t n = std::min(units.size(), slot.units - 1);
    if (n > 0 && n < units.size() && units[n - 1] >= 0xD800 && units[n - 1] <= 0xDBFF) --n;
    for (std::size_t i = 0; i < n; ++i) {
        out[at + 2 * i] = static_cast<char>(units[i] & 0xFF);
        out[at + 2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
}

/// The record stride of a file of `size` bytes: 914 only where the size fits that layout and
/// not the 910 one.
std::size_t strideFor(std::size_t size) {
    if (size > kHeaderSize && (size - kHeaderSize) % kOldRecordSize == 0 &&
        (size - kHeaderSize) % kRecordSize != 0) {
        return kOldRecordSize;
    }
    return kRecordSize;
}

std::size_t recordCount(std::size_t size, std::size_t stride) {
    if (stride == kOldRecordSize) return (size - kHeaderSize) / stride;
    // The last two bytes of a record are reserved: a book whose last record lacks them still
    // holds that record.
    const std::size_t start = kHeaderSize - 2;
    return size > start ? (size - start) / stride : 0;
}

/// "street; city, state postal code;country", or empty when all five are.
std::string addressLine(const Entry& e, Field street, Field city, Field state, Field postalCode,
                        Field country) {
    if (e[street].empty() && e[city].empty() && e[state].empty() && e[postalCode].empty() &&
        e[country].empty()) {
        return {};
    }
    return e[street] + "; " + e[city] + ", " + e[state] + " " + e[postalCode] + ";" + e[country];
}

/// The title in the header of an existing book of ours, or empty.
std::string existingTitle(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) return {};
    const std::streamoff size = in.tellg();
    if (size < static_cast<std::streamoff>(kHeaderSize)) return {};
    // A file of another layout would give a title of noise.
    const auto records = static_cast<std::size_t>(size) - kHeaderSize;
    if (records % kRecordSize != 0 && records % kOldRecordSize != 0) return {};
    std::string header(kHeaderSize, '\0');
    in.seekg(0);
    in.read(header.data(), static_cast<std::streamsize>(kHeaderSize));
    return in ? readSlot(header, kTitle) : std::string();
}

}  // namespace

namespace iterators {

IterPMR::IterPMR(RunContext& run, const std::string& fileName)
    : m_mask(fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                       Field::BusinessPhone, Field::Organization, Field::HomeStreet, Field::HomeFax,
                       Field::BusinessStreet, Field::Department, Field::Notes})) {
    if (isFile(fileName)) m_file.open(fileName, std::ios::binary | std::ios::ate);
    if (!m_file.is_open()) {
        run.report(Severity::Error, "File cannot be opened", fileName, Where{fileName});
        return;
    }
    const std::streamoff end = m_file.tellg();
    const std::size_t size = end > 0 ? static_cast<std::size_t>(end) : 0;
    std::string header(std::min(size, kHeaderSize), '\0');
    m_file.seekg(0);
    m_file.read(header.data(), static_cast<std::streamsize>(header.size()));
    m_title = readSlot(header, kTitle);
    m_stride = strideFor(size);
    m_count = m_file ? recordCount(size, m_stride) : 0;
}

bool IterPMR::rewind() {
    m_next = 0;
    return true;
}

bool IterPMR::atEnd() {
    return m_next >= m_count;
}

float IterPMR::progress() {
    return m_count == 0 ? 1.0f : static_cast<float>(m_next) / static_cast<float>(m_count);
}

Entry IterPMR::nextEntry() {
    Entry e;
    e.mask = m_mask;
    if (atEnd()) return e;
    // Records are read in turn; only the first after a rewind needs a seek.
    if (m_next == 0) {
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(kHeaderSize));
    }
    m_record.assign(m_stride, '\0');
    m_file.read(m_record.data(), static_cast<std::streamsize>(m_stride));
    // The last record may lack its reserved bytes; a file that shrank ends the reading.
    if (m_file.gcount() < static_cast<std::streamsize>(kEmail.offset + 2 * kEmail.units)) {
        m_next = m_count;
        return e;
    }
    ++m_next;
    const std::string_view record = m_record;
    // Pegasus has one slot where Vesk has two fields; both get its value.
    e[Field::FullName] = e[Field::Nickname] = readSlot(record, kName);
    e[Field::Organization] = e[Field::Department] = readSlot(record, kOrganization);
    e[Field::HomeStreet] = readSlot(record, kHomeAddress);
    e[Field::BusinessStreet] = readSlot(record, kBusinessAddress);
    e[Field::HomePhone] = e[Field::BusinessPhone] = readSlot(record, kPhone);
    e[Field::HomeFax] = readSlot(record, kFax);
    e[Field::Notes] = readSlot(record, kNotes);
    e[Field::Email] = readSlot(record, kEmail);
    return e;
}

}  // namespace iterators

ToPMR::ToPMR(RunContext& run, std::string fileName, std::string title)
    : ToBase(run), m_fileName(std::move(fileName)), m_title(std::move(title)) {
    // The saving step reads the existing book into the one written here.
    mergesExisting = true;
    takesViews = true;
}

std::string ToPMR::indexFileOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return fileName + ".pm!";
    }
    const std::string_view extension = std::string_view(fileName).substr(dot + 1);
    const bool upper =
        !extension.empty() && std::all_of(extension.begin(), extension.end(), [](char c) {
            return std::isupper(static_cast<unsigned char>(c)) != 0;
        });
    return fileName.substr(0, dot) + (upper ? ".PM!" : ".pm!");
}

bool ToPMR::writeView(const Entry& e) {
    if (e.isMarker()) return false;
    m_run->trace(0, "Writing entry " + std::to_string(m_counter), "Vesk Debug");
    if (!m_opened) open();
    m_records.append(kRecordSize, '\0');
    const auto put = [this](Slot slot, std::string_view text) {
        putSlot(m_records, kRecordSize, slot, text);
    };
    put(kName, e[Field::FullName]);
    put(kOrganization, e[Field::Organization]);
    put(kHomeAddress, addressLine(e, Field::HomeStreet, Field::HomeCity, Field::HomeState,
                                  Field::HomePostalCode, Field::HomeCountry));
    put(kBusinessAddress,
        addressLine(e, Field::BusinessStreet, Field::BusinessCity, Field::BusinessState,
                    Field::BusinessPostalCode, Field::BusinessCountry));
    put(kPhone, e[Field::BusinessPhone]);
    put(kFax, e[Field::HomeFax]);
    put(kNotes, e[Field::Notes]);
    put(kEmail, e[Field::Email]);

    // The index numbers records in 16 bits.
    m_index.append(kIndexRecordSize, '\0');
    const auto number = static_cast<unsigned>(m_counter) & 0xFFFFu;
    const std::size_t at = m_index.size() - kIndexRecordSize + kIndexNumberOffset;
    m_index[at] = static_cast<char>(number & 0xFFu);
    m_index[at + 1] = static_cast<char>(number >> 8);
    putSlot(m_index, kIndexRecordSize, kIndexName, e[Field::FullName]);
    putSlot(m_index, kIndexRecordSize, kIndexPhone, e[Field::BusinessPhone]);
    ++m_counter;
    if (m_records.size() >= kChunk) drain(m_recordFile, m_records);
    if (m_index.size() >= kChunk) drain(m_indexFile, m_index);
    return true;
}

void ToPMR::open() {
    m_opened = true;
    m_run->trace(0, "About to open indexing file (pm!)", "Vesk Debug");
    // Both files are written beside the old ones, which stay until both are complete.
    WriteResult result = m_recordFile.open(m_fileName);
    if (result.ok) result = m_indexFile.open(indexFileOf(m_fileName));
    if (!result.ok) m_error = result.error;
    const std::string kept = existingTitle(m_fileName);
    m_records.assign(kHeaderSize, '\0');
    putSlot(m_records, kHeaderSize, kTitle, kept.empty() ? m_title : kept);
}

void ToPMR::drain(StagedFile& file, std::string& bytes) {
    if (m_error.empty() && !file.write(bytes)) m_error = file.error();
    bytes.clear();
}

bool ToPMR::finish() {
    if (!m_opened) open();
    m_run->trace(0, "About to write structures to PMR file", "Vesk Debug");
    drain(m_recordFile, m_records);
    m_run->trace(0, "Writing indexing structures", "Vesk Debug");
    drain(m_indexFile, m_index);
    WriteResult result;
    result.error = m_error;
    if (m_error.empty()) result = m_recordFile.close();
    if (result.ok) result = m_indexFile.close();
    if (result.ok) result = commitStaged({&m_recordFile, &m_indexFile});
    m_run->trace(0, "Closing PMR file", "Vesk Debug");
    m_run->trace(0, "Closing indexing file", "Vesk Debug");
    m_succeeded = result.ok;
    // An interruption is the front end's to tell; the old files are untouched either way.
    if (!result.ok && !interruptRequested()) {
        m_run->diagnostic(m_fileName + ": " + result.error + "\n");
        m_run->report(Severity::Error, "File write Error", m_fileName,
                      Where{m_fileName, 0, -1, {}, result.error});
    }
    return result.ok;
}

namespace {

std::unique_ptr<ToBase> writePegasusBook(const FormatArgs& a) {
    return std::make_unique<ToPMR>(a.run, a.fileName, a.baseName);
}

}  // namespace

const FormatInfo& pegasusBookFormat() {
    static const FormatInfo info = {
        .id = "pegasus_book",
        .displayName = "Pegasus Mail address book",
        .extensions = {"pmr"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields =
            fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                      Field::BusinessPhone, Field::Organization, Field::HomeStreet, Field::HomeFax,
                      Field::BusinessStreet, Field::Department, Field::Notes}),
        // The addresses go out as one line each and come back as the street.
        .writeFields = fieldsOf({Field::FullName, Field::Email, Field::BusinessPhone,
                                 Field::Organization, Field::HomeFax, Field::Notes}),
        .reader = &readerOfFile<iterators::IterPMR>,
        .writer = &writePegasusBook,
        .docsPage = "pegasus_book.md",
    };
    return info;
}

}  // namespace vesk
