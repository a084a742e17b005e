// The Juno address book (addrbook.nv): records of "Key:value" lines ended by an empty line.
// Juno keeps an address in one value, its lines separated by "^^". The file is read by the
// tagged-record reader (IterFile, kind Juno).
#pragma once

#include <string>

#include "model/format_info.h"
#include "model/to_file.h"

namespace vesk {

class ToNV : public ToFile {
  public:
    ToNV(RunContext& run, std::string fileName);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
};

const FormatInfo& junoFormat();

}  // namespace vesk
