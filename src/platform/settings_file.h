// Our settings file's text: a [key path] line, then one value a line in a form close to a
// .reg file's, so that a person can read and edit it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace vesk {

/// Our settings file's text for `user` (HKEY_CURRENT_USER with "Software\Vesk" below it);
/// `kept` lines go back under their keys (those of a key that is gone are dropped).
std::string formatSettingsText(const SettingsKey& user, const std::vector<KeptLine>& kept = {});
/// Reads our settings file's text into `user`; lines it cannot understand are counted in
/// `badLines` and handed to `kept` when given.
void parseSettingsText(std::string_view text, SettingsKey& user, int* badLines = nullptr,
                       std::vector<KeptLine>* kept = nullptr);

}  // namespace vesk
