// The ".ini" address book: one "[Full Name]" section per person with Email=, NickName=,
// HomePhone= and similar keys. Only read: no program we know of wants one written.
#pragma once

#include "model/format_info.h"

namespace vesk {

const FormatInfo& iniBookFormat();

}  // namespace vesk
