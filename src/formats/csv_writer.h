// Writes contacts as CSV, under the field map's headings when the user keeps the map, else
// under the fixed ones.
#pragma once

#include <string>

#include "model/entry.h"
#include "model/to_file.h"

namespace vesk {

/// Writes all 34 fields of every entry, each quoted, under a header line.
class ToCSV : public ToFile {
  public:
    ToCSV(RunContext& run, std::string fileName);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;

  private:
    std::string m_line;  ///< One line, built whole before it goes out.
};

}  // namespace vesk
