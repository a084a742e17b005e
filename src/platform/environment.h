// Where the program lives: its own folder holds the files it exchanges with other programs
// (the LDIF file of an external export or import) and its help.
#pragma once

#include <string>

namespace vesk {

/// The folder of the running program, ending in "/" (a front end puts it in the run context).
std::string programDirectory();

/// Joins a folder and a file name with the folder's own separator (a backslash for a Windows
/// path such as a Wine prefix's, "/" otherwise).
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace vesk
