// The Netscape 3 address book (address.htm): an HTML definition list with one mailto anchor
// per person, the name as anchor text, the nickname as an attribute and the description in
// the <DD> that follows. Netscape rewrites the file itself, so the header stays as it wrote it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/format_info.h"
#include "model/to_file.h"

namespace vesk {

class ToHTML : public ToFile {
  public:
    ToHTML(RunContext& run, std::string fileName);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// Adds the closing lines.
    void end() override;

  private:
    std::int32_t m_counter = 0;
};

const FormatInfo& htmlBookFormat();

}  // namespace vesk
