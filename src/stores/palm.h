// Palm Desktop's address book (address/address.dat in a user's folder): a header with the
// category table and the record schema, then records of 30 typed fields each. Numbers are
// little-endian; every read is checked against the file's size, and records marked deleted
// are skipped. There is no writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/format_info.h"
#include "model/iter_base.h"

namespace vesk::iterators {

class IterPALM : public IterBase {
  public:
    IterPALM(RunContext& run, std::string fileName);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override { return !m_next.has_value(); }
    float progress() override;

    /// The record-status bit of a deleted record.
    static constexpr std::uint32_t kDeleted = 0x04;
    /// Fields of one record.
    static constexpr std::uint32_t kFieldsPerRecord = 30;

  private:
    bool readHeader();
    /// Reads records from m_pos until one that is not deleted; false at the end.
    void advance();

    std::string m_bytes;
    std::string m_fileName;
    std::size_t m_first = 0;
    std::size_t m_pos = 0;
    std::uint32_t m_records = 0;
    std::uint32_t m_recordIndex = 0;
    std::optional<Entry> m_next;
    RunContext& m_run;
};

/// One Palm Desktop user: the folder name and the address book it holds.
struct PalmUser {
    std::string name;
    std::string addressBook;
};

/// The users under a Palm Desktop folder: each sub-folder holding address/address.dat, in
/// name order.
std::vector<PalmUser> palmUsers(const std::string& palmFolder);

}  // namespace vesk::iterators

namespace vesk {

const FormatInfo& palmFormat();

}  // namespace vesk
