// Our settings file's text: a [key path] line, then one value a line in a form close to a
// .reg file's, so that a person can read and edit it.
#pragma once

#include <string>
#include <string_view>

#include "platform/settings.h"

namespace vesk {

/// Our settings file's text for `user` (HKEY_CURRENT_USER with "Software\Vesk" below it).
std::string formatSettingsText(const SettingsKey& user);
/// Reads our settings file's text into `user`; lines it cannot understand are skipped and
/// counted in `badLines` when given.
void parseSettingsText(std::string_view text, SettingsKey& user, int* badLines = nullptr);

}  // namespace vesk
