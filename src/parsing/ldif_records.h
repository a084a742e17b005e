// LDIF records (RFC 2849) as Netscape 4 and the Mozilla family write them: splitting a text into
// records, turning a record into entries, base64 and distinguished names. The LDIF writer and the
// tagged-record reader both use them.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/entry.h"
#include "model/iter_base.h"

namespace vesk {

namespace ldif {

/// The fields an LDIF record can carry (both when read and when written).
FieldMask supportedFields();
/// The extra values an LDIF record can carry: further e-mail addresses and the birthday.
ExtraMask supportedExtras();

/// The next record of `text` at or after `pos` (blank lines before it skipped), without its
/// closing blank line; `pos` moves past it. Empty when only blank lines remain.
std::string_view nextRecord(std::string_view text, std::size_t& pos);

/// Turns one record into entries: a person gives one entry, a group (objectclass
/// groupOfNames) gives its begin marker, one entry per member and its end marker. Records
/// that carry nothing for an address book (version line alone, containers, change records)
/// give nothing.
/// `byDn`, when given, finds the person whose record has a member's distinguished name; it
/// is asked only for members whose reference gives no mail= part.
using DnLookup = std::function<const Entry*(std::string_view dn)>;
void readRecord(std::string_view record, std::deque<Entry>& out, const DnLookup& byDn = {});

/// The persons of an LDIF text by the distinguished names of their records (compared without
/// regard to ASCII case and to blanks around the whole name), for list members that name
/// their person by that name alone ("uid=ann,ou=people,dc=example,dc=org").
class DnIndex {
  public:
    explicit DnIndex(std::string_view text);
    /// The person's Full Name and E-Mail Address, or nullptr.
    const Entry* find(std::string_view dn) const;

  private:
    std::unordered_map<std::string, Entry> m_persons;
};

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

}  // namespace vesk
