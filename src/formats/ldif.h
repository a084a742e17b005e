// LDIF (RFC 2849) as Netscape 4 and the Mozilla family (Thunderbird, SeaMonkey) write it.
// The two families name the same fields differently (Netscape 4: "locality", "cellphone";
// Mozilla: "l", "mobile", "mozillaHome*"), and Mozilla base64-encodes every non-ASCII value,
// so the reader takes both families and decodes "::" values; the writer writes one of them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "model/entry.h"
#include "model/format_info.h"
#include "model/to_file.h"

namespace vesk {

/// Writes contacts and distribution lists (as groupOfNames records) in LDIF.
class ToLDIF : public ToFile {
  public:
    /// Written with LF line ends (LDIF allows both): abook keeps the CR of CR LF in values and
    /// then joins most records of a book into others.
    ToLDIF(RunContext& run, std::string fileName);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    void end() override;

  private:
    /// Appends "attr:" value (with a blank after the colon when `spaced`), or "attr:: base64"
    /// when the value may not stand as it is.
    void appendLine(std::string_view attr, std::string_view value, bool spaced = false);
    void appendIfSet(std::string_view attr, const Entry& e, Field f);
    /// Further e-mail addresses and the birthday, as Thunderbird names them.
    void appendExtras(const Entry& e);

    std::string m_scratch;  ///< A reused buffer for distinguished names.
    std::string m_base64;   ///< A reused buffer for encoded values.
    bool m_inGroup = false;
};

const FormatInfo& ldifFormat();

}  // namespace vesk
