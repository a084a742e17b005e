#include "model/format_info.h"

#include <algorithm>

namespace vesk {

bool FormatInfo::hasExtension(std::string_view lowerExtension) const {
    return std::find(extensions.begin(), extensions.end(), lowerExtension) != extensions.end();
}

bool FormatInfo::serves(Application a) const {
    return a != Application::None &&
           std::find(applications.begin(), applications.end(), a) != applications.end();
}

FieldMask fieldsOf(std::initializer_list<Field> fields) {
    FieldMask mask;
    for (const Field f : fields) mask.set(static_cast<std::size_t>(f));
    return mask;
}

FieldMask allFields() {
    return FieldMask().set();
}

}  // namespace vesk
