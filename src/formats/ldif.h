// LDIF (RFC 2849) as Netscape 4 and the Mozilla family (Thunderbird, SeaMonkey) write it.
// The two families name the same fields differently (Netscape 4: "locality", "cellphone";
// Mozilla: "l", "mobile", "mozillaHome*"), and Mozilla base64-encodes every non-ASCII value,
// so the reader takes both families and decodes "::" values; the writer writes one of them.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "convert/to_file.h"
#include "model/entry.h"

namespace vesk {

namespace ldif {

/// The fields an LDIF record can carry (both when read and when written).
FieldMask supportedFields();

/// The next record of `text` at or after `pos` (blank lines before it skipped), without its
/// closing blank line; `pos` moves past it. Empty when only blank lines remain.
std::string_view nextRecord(std::string_view text, std::size_t& pos);

/// Turns one record into entries: a person gives one entry, a group (objectclass
/// groupOfNames) gives its begin marker, one entry per member and its end marker. Records
/// that carry nothing for an address book (version line alone, containers, change records)
/// give nothing.
void readRecord(std::string_view record, std::deque<Entry>& out);

/// Base64 (RFC 4648) of `bytes`, with padding and without line breaks.
std::string encodeBase64(std::string_view bytes);
void appendBase64(std::string& out, std::string_view bytes);
/// Decodes base64, ignoring whitespace and stopping at padding or at the first stray byte.
std::string decodeBase64(std::string_view text);

/// True when `value` may follow "attr:" as it stands (RFC 2849 SAFE-STRING, ASCII only and no
/// trailing space); otherwise it has to be written as "attr:: base64".
bool isSafeValue(std::string_view value);

/// Escapes one attribute value for use inside a distinguished name (RFC 4514).
std::string escapeDnValue(std::string_view value);
void appendDnValue(std::string& out, std::string_view value);

/// The value of the first component of type `type` (any case) in a distinguished name,
/// with its escapes undone; empty when there is none.
std::string dnComponent(std::string_view dn, std::string_view type);

}  // namespace ldif

/// Writes contacts and distribution lists (as groupOfNames records) in LDIF.
class ToLDIF : public ToFile {
  public:
    explicit ToLDIF(std::string fileName);

    bool write(Entry e) override;
    std::string text() override;

  private:
    /// Appends "attr:" value (with a blank after the colon when `spaced`), or "attr:: base64"
    /// when the value may not stand as it is.
    void appendLine(std::string_view attr, std::string_view value, bool spaced = false);
    void appendIfSet(std::string_view attr, const Entry& e, Field f);

    std::string m_text;
    std::string m_scratch;  ///< A reused buffer for distinguished names.
    bool m_inGroup = false;
};

}  // namespace vesk
