// The address-book export of the Simeon and Execmail mail programs: records of tab-separated
// key=value pairs, each record beginning at a "Name=" key. Groups (records with "member"
// keys) have no counterpart here and are skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/format_info.h"
#include "model/iter_base.h"

namespace vesk::iterators {

class IterSimeon : public IterBase {
  public:
    IterSimeon(RunContext& run, std::string fileName);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;

  private:
    /// Start of the first record at or after `from`, or npos.
    std::size_t findRecord(std::size_t from) const;
    Entry parseRecord(std::string_view record) const;

    std::string m_text;
    std::size_t m_pos = 0;  ///< start of the next record, or npos when none is left
    bool m_end = false;
    FieldMask m_mask;
    RunContext& m_run;
};

}  // namespace vesk::iterators

namespace vesk {

const FormatInfo& simeonFormat();

}  // namespace vesk
