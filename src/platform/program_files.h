// Files installed with the program (templates some writers start from): found beside the
// executable, in its data folder, or in the installed share folder.
#pragma once

#include <string>

namespace vesk {

/// The folder holding the running executable, or empty when it cannot be told.
std::string executableFolder();

/// The path of the program's own file `name`, or empty when none of its places holds it.
std::string findProgramFile(const std::string& name);

}  // namespace vesk
