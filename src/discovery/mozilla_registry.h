// What the profile analyzer (regExport) reads: the Mozilla family's own registry file
// (registry.dat of Netscape 6/7 and the Mozilla suite, appreg on Linux) and profiles.ini.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk {

struct MozillaProfile {
    std::string name;
    std::string directory;
};

/// The profiles under "Common/Profiles" of a Mozilla registry file (its bytes); empty when
/// the bytes are not such a file or hold no profiles.
std::vector<MozillaProfile> readMozillaRegistry(std::string_view bytes);
/// The profiles of a profiles.ini (its text) found in `folder`; relative paths are joined to it.
std::vector<MozillaProfile> readProfilesIni(std::string_view text, const std::string& folder);

/// The analyzer's listing: a "Profiles" line, then for each profile its name line and its
/// "directory" line, each ending in CR LF (UTF-8; the analyzer writes it as UTF-16).
std::string analyzerText(const std::vector<MozillaProfile>& profiles);
/// UTF-8 text as UTF-16LE bytes, and back (a leading byte-order mark is skipped).
std::string toUtf16Le(std::string_view utf8);
std::string fromUtf16Le(std::string_view bytes);

/// The analyzer as a program: reads each file of `files` (a registry file or a profiles.ini,
/// told apart by content) and returns the UTF-16 listing; "" when no file holds a profile.
std::string analyzeProfileFiles(const std::vector<std::string>& files);

}  // namespace vesk
