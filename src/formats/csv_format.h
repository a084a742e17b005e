// CSV files and the CSV export of Corel Address Book 8 (.abx) in the registry.
#pragma once

#include "model/format_info.h"

namespace vesk {

const FormatInfo& csvFormat();
const FormatInfo& abxFormat();

}  // namespace vesk
