// Wine's registry files (user.reg, system.reg), read so that we find other programs' settings
// and files inside a Wine prefix. We never write them.
#pragma once

#include <string>
#include <string_view>

#include "platform/settings.h"

namespace vesk {

/// Reads a Wine registry file (user.reg or system.reg) into `root`.
void parseWineRegistry(std::string_view text, SettingsKey& root);
/// The Linux path of a Windows path inside a Wine prefix ("C:\x" → prefix/drive_c/x, other
/// letters through prefix/dosdevices); the path unchanged when it is not a drive path.
std::string mapWinePath(const std::string& windowsPath, const std::string& winePrefix);

}  // namespace vesk
