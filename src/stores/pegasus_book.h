// Pegasus Mail address books: a ".pmr" file of fixed-size records behind a 128-byte header
// holding the book's title, and a ".pm!" index with one short record per entry. The Unicode
// books keep every text slot in UTF-16LE, so a record is the 8-bit layout's 458 bytes with each
// character doubled: 910 bytes. Books written with 914-byte records (four more zero bytes each,
// as an older converter made them) are read as well. Distribution lists (".pml") are text and
// live with the text lists.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "platform/file_io.h"

namespace vesk::iterators {

/// Reads the records of a ".pmr" file one at a time.
class IterPMR final : public IterBase {
  public:
    IterPMR(RunContext& run, const std::string& fileName);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;
    /// The book's title from the file's header.
    std::string name() override { return m_title; }

  private:
    std::ifstream m_file;
    std::string m_record;  ///< the record read last
    std::string m_title;
    std::size_t m_stride = 0;  ///< bytes from one record to the next
    std::size_t m_count = 0;   ///< records in the file
    std::size_t m_next = 0;    ///< the record nextEntry reads
    FieldMask m_mask;
};

}  // namespace vesk::iterators

namespace vesk {

/// Writes a whole book as a ".pmr" record file and its ".pm!" index, record by record. Both
/// files are made complete beside the old ones and then put in their place, so a failed save
/// leaves the user's book as it was. A book that already exists keeps its title.
class ToPMR final : public ToBase {
  public:
    ToPMR(RunContext& run, std::string fileName, std::string title);

    /// One record and one index record; false for markers and after a failure.
    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// Writes both files; false (after a message) when either could not be written.
    bool finish() override;

    /// The index file that goes with the record file `fileName`.
    static std::string indexFileOf(const std::string& fileName);

  private:
    /// Makes both temporaries and puts the header in front of the records.
    void open();
    /// Hands `bytes` to `file` (unless a write failed before) and empties them.
    void drain(StagedFile& file, std::string& bytes);

    std::string m_fileName;
    std::string m_title;
    StagedFile m_recordFile;
    StagedFile m_indexFile;
    std::string m_records;  ///< record bytes not yet in their file
    std::string m_index;    ///< index bytes not yet in their file
    std::string m_error;    ///< why a file could not be written
    bool m_opened = false;
    int m_counter = 0;
};

const FormatInfo& pegasusBookFormat();

}  // namespace vesk
