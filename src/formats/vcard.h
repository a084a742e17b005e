// vCard files (.vcf, and Becky! .bab books): the reader takes what phones, web mail and desktop
// programs write (2.1, 3.0, 4.0); the writer keeps the classic vCard 2.1 layout. The card code
// itself is shared with the native archive (parsing/vcard_cards.h).
#pragma once

#include "model/format_info.h"

namespace vesk {

const FormatInfo& vcardFormat();

}  // namespace vesk
