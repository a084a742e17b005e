// Where the program lives: its own folder holds the files it exchanges with other programs
// (the LDIF file of an external export or import) and its help.
#pragma once

#include <map>
#include <string>

namespace vesk {

/// The folder of the running program, ending in "/" (a front end puts it in the run context).
std::string programDirectory();

/// Joins a folder and a file name with the folder's own separator (a backslash for a Windows
/// path such as a Wine prefix's, "/" otherwise).
std::string joinPath(const std::string& folder, const std::string& name);

/// The process environment as the program reads it (HOME, WINEPREFIX, the XDG folders).
/// Values set here stand in for the real ones, so a test can give a run a fake home.
class Environment {
  public:
    /// The value of `name`: the one set here, else the process's own, else "".
    std::string get(const std::string& name) const;
    void set(const std::string& name, std::string value) { m_values[name] = std::move(value); }

    /// $HOME ("" when unset).
    std::string home() const { return get("HOME"); }
    /// $XDG_CONFIG_HOME, else ~/.config.
    std::string configHome() const;
    /// $WINEPREFIX, else ~/.wine.
    std::string winePrefix() const;

  private:
    std::map<std::string, std::string> m_values;
};

}  // namespace vesk
