// The Eudora nickname file (NNdbase.txt, or any file of "alias" and "note" lines). An alias
// line names one address or, with several comma-separated addresses or nicknames, a mailing
// list; a note line carries the other fields as <tag:value> pairs for the nickname it names,
// and need not follow its alias line.
#pragma once

#include <deque>
#include <string_view>

#include "model/entry.h"

namespace vesk::eudora {

/// The fields a nickname file can carry.
FieldMask supportedFields();

/// Appends the contacts of `text` in file order; a list alias gives its begin marker, one
/// entry per member (the address, or the nickname it refers to) and its end marker.
void readNicknames(std::string_view text, std::deque<Entry>& out);

}  // namespace vesk::eudora
