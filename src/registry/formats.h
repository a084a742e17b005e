// The one table of formats, in the order they are tried: the first row that the application
// number or the file's extension selects decides. Everything that lists formats reads it: the
// factories, the dialog filters, `vesk formats`, the command line's format names, the contract
// tests and the docs index.
#pragma once

#include <string_view>
#include <vector>

#include "model/format_info.h"

namespace vesk {

/// Every format Vesk knows, built or not, in first-match order (Registry::builtIn() holds it).
const std::vector<const FormatInfo*>& builtInFormats();

}  // namespace vesk
