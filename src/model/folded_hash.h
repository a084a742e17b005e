// A hash of an entry's field values with ASCII letters case folded, as Entry::sameAs compares
// them: entries that are the same over those fields hash alike.
#pragma once

#include <cstdint>

#include "model/entry.h"

namespace vesk {

/// The hash of the values `e` holds among `fields`, each with its field index, A-Z folded to
/// a-z. An empty field adds nothing: entries that are the same hold the same fields.
std::uint64_t foldedFieldsHash(const Entry& e, const FieldMask& fields);

}  // namespace vesk
