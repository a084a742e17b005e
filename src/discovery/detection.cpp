#include "discovery/detection.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "discovery/analyzer.h"
#include "discovery/applications.h"
#include "platform/settings.h"
#include "platform/wine_registry.h"
#include "text/text_io.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

/// A registry value as text, or "" when the key or value is absent.
std::string readValue(RunContext& run, RootKey root, const std::string& key,
                      const std::string& name = {}) {
    std::string out;
    if (ReadRegistryValue(run.settings(), root, key, name, out) != kErrorSuccess) return {};
    return out;
}

bool isDir(const std::string& p) {
    std::error_code ec;
    return !p.empty() && fs::is_directory(p, ec);
}

bool exists(const std::string& p) {
    std::error_code ec;
    return !p.empty() && fs::exists(p, ec);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string withoutTrailingSlash(std::string p) {
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
    return p;
}

std::string netscapeVersion(RunContext& run) {
    return readValue(run, RootKey::LocalMachine, "Software\\Netscape\\Netscape Navigator",
                     "CurrentVersion");
}

std::string detectNetscape3(RunContext& run) {
    run.trace(0, "Netscape 3", "Polling Formats");
    const std::string v = netscapeVersion(run);
    if (v.empty() || v >= "4") return {};
    const std::string dir = hostPath(
        run, readValue(run, RootKey::CurrentUser, "Software\\Netscape\\Netscape Navigator\\Main",
                       "Install Directory"));
    return isDir(dir) ? withoutTrailingSlash(dir) : std::string();
}

std::string detectNetscape4(RunContext& run) {
    run.trace(0, "Netscape 4", "Polling Formats");
    const std::string v = netscapeVersion(run);
    if (v < "4" || v > "5") return {};
    const std::string exe = hostPath(
        run, readValue(run, RootKey::LocalMachine, std::string(kAppPaths) + "Netscape.exe"));
    return exists(exe) ? exe : std::string();
}

/// Profiles listing of the analyzer for the given registry files.
std::string analyzerListing(RunContext& run, const std::vector<std::string>& files) {
    std::vector<std::string> present;
    for (const auto& f : files)
        if (exists(f)) present.push_back(f);
    if (present.empty()) return {};
    return RunAnalyzer(run, present);
}

/// The Mozilla-family registry file a Windows install keeps under %APPDATA%.
std::string wineMozillaRegistry(RunContext& run) {
    return hostPath(run, expandWindowsPath(run, "%APPDATA%\\Mozilla\\registry.dat"));
}

std::string detectNetscape6(RunContext& run, bool present) {
    run.trace(0, "Netscape 6/7", "Polling Formats");
    run.trace(0, "Looking for Netscape 6 in the registry", "Debug");
    std::string v =
        readValue(run, RootKey::LocalMachine, "Software\\Netscape\\Netscape 6", "CurrentVersion");
    if (v.empty())
        v = readValue(run, RootKey::LocalMachine, "Software\\Netscape\\Netscape", "CurrentVersion");
    if (v < "6" || v >= "8") {
        run.trace(0, "Netscape 6 not found", "Debug");
        return {};
    }
    run.trace(0, "Netscape 6 found", "Debug");
    if (present) return kPresent;
    run.trace(0, "Preparing to run Netscape 6 analyzer", "Debug");
    return analyzerListing(run, {wineMozillaRegistry(run)});
}

/// A path below the home folder; "" when there is no home.
std::string inHome(RunContext& run, const std::string& rest) {
    const std::string home = detectionEnvironment(run).home();
    return home.empty() ? std::string() : joinPath(home, rest);
}

std::string seamonkeyHome(RunContext& run) {
    return inHome(run, ".mozilla/seamonkey");
}

bool wineMozilla(RunContext& run) {
    std::string v = readValue(run, RootKey::LocalMachine, "Software\\Mozilla\\Mozilla Seamonkey",
                              "CurrentVersion");
    if (v.empty())
        v = readValue(run, RootKey::LocalMachine, "Software\\Mozilla\\Seamonkey", "CurrentVersion");
    if (!v.empty()) return true;
    v = readValue(run, RootKey::LocalMachine, "Software\\mozilla.org\\Mozilla", "CurrentVersion");
    return !v.empty() &&
           run.settings().keyExists(RootKey::LocalMachine, "Software\\mozilla.org\\Mozilla\\" + v);
}

std::string detectMozilla(RunContext& run, bool present) {
    run.trace(0, "Mozilla", "Polling Formats");
    const bool wine = wineMozilla(run);
    const std::string nativeIni = joinPath(seamonkeyHome(run), "profiles.ini");
    const bool native = isDir(seamonkeyHome(run)) && exists(nativeIni);
    if (!wine && !native) return {};
    if (present) return kPresent;
    std::vector<std::string> files;
    if (wine) files.push_back(wineMozillaRegistry(run));
    if (native) files.push_back(nativeIni);
    return analyzerListing(run, files);
}

std::string detectOutlookExpress(RunContext& run) {
    run.trace(0, "Outlook Express", "Polling Formats");
    // Without a Wine prefix there is no Windows Address Book to share.
    if (detectionWinePrefix(run).empty()) return {};
    run.trace(0, "Reading Outlook share setting from registry", "Debug");
    const std::string use =
        readValue(run, RootKey::CurrentUser, "Software\\Microsoft\\WAB\\WAB4", "UseOutlook");
    run.trace(0, "Copying path to permanent location", "Debug");
    return use == "1" ? std::string() : std::string(kOutlookExpressAvailable);
}

std::string detectOutlook(RunContext& run) {
    run.trace(0, "Outlook", "Polling Formats");
    const std::string exe = hostPath(
        run, readValue(run, RootKey::LocalMachine, std::string(kAppPaths) + "OUTLOOK.EXE"));
    return exists(exe) ? exe : std::string();
}

std::string detectJuno(RunContext& run) {
    run.trace(0, "Juno", "Polling Formats");
    std::string exe = readValue(run, RootKey::LocalMachine, std::string(kAppPaths) + "juno.exe");
    // The value ends in the program's sub-folder and file name ("\program\juno.exe").
    if (exe.size() <= 13) return {};
    const std::string dir = hostPath(run, exe.substr(0, exe.size() - 13));
    return isDir(dir) ? dir : std::string();
}

/// Steps 5 and 6 of finding Eudora's data folder, from its program folder.
std::string eudoraDataFromIni(RunContext& run, const std::string& programDir) {
    const std::string hostProgram = hostPath(run, programDir);
    if (exists(joinPath(hostProgram, "Eudora.ini"))) return hostProgram;
    std::ifstream in(joinPath(hostProgram, "DEudora.ini"));
    if (!in) return hostProgram;
    std::string line;
    bool anyLine = false;
    while (std::getline(in, line)) {
        anyLine = true;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t at = line.find("DataFolder=");
        if (at == std::string::npos) continue;
        const std::string candidate = hostPath(run, line.substr(at + 11));
        if (exists(joinPath(candidate, "Eudora.ini"))) return candidate;
    }
    if (!anyLine) return hostProgram;
    const std::string roaming =
        hostPath(run, expandWindowsPath(run, "%APPDATA%\\Qualcomm\\Eudora"));
    return roaming.empty() ? hostProgram : roaming;
}

std::string detectEudora(RunContext& run) {
    run.trace(0, "Eudora", "Polling Formats");
    const std::string cmd =
        readValue(run, RootKey::CurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current");
    const std::size_t p = lower(cmd).find("\\eudora.exe");
    if (p == std::string::npos) return {};
    const std::string programDir = cmd.substr(0, p);
    std::string result;
    const std::size_t blank = cmd.size() > p + 13 ? cmd.find(' ', p + 13) : std::string::npos;
    if (blank == std::string::npos) {
        result = hostPath(run, programDir);
    } else {
        const std::string candidate = hostPath(run, cmd.substr(p + 12, blank - (p + 12)));
        result = isDir(candidate) ? candidate : eudoraDataFromIni(run, programDir);
    }
    return isDir(result) ? result : std::string();
}

std::string detectBecky(RunContext& run) {
    run.trace(0, "Becky!", "Polling Formats");
    run.trace(0, "Getting Registry Location", "Debug");
    const std::string data = hostPath(
        run, readValue(run, RootKey::CurrentUser, "Software\\RimArts\\B2\\Settings", "DataDir"));
    if (data.empty()) return {};
    run.trace(0, data, "This is the path from the registry");
    const std::string folder = joinPath(data, "AddrBook/@Personal/Default");
    run.trace(0, "Opening File", "Debug");
    const std::string text = readFileBytes(joinPath(folder, "Group.idx")).value_or("");
    if (text.empty()) {
        run.trace(0, "File not Found!", "Debug");
        return {};
    }
    run.trace(0, "Looking for the Address Book location in file", "Debug");
    const std::size_t dot = text.find(".bab");
    if (dot == std::string::npos) {
        run.trace(0, "Not Found", "Debug");
        return {};
    }
    const std::size_t tab = text.rfind('\t', dot);
    const std::size_t from = tab == std::string::npos ? 0 : tab + 1;
    const std::string name = text.substr(from, dot + 4 - from);
    // A name is a file of that folder, nothing more.
    if (name.find_first_of("/\\") != std::string::npos) return {};
    const std::string result = joinPath(folder, name);
    run.trace(0, result, "This is the path to be used");
    return exists(result) ? result : std::string();
}

std::string detectPalm(RunContext& run) {
    run.trace(0, "Palm Desktop", "Polling Formats");
    const std::string dir =
        hostPath(run, readValue(run, RootKey::CurrentUser,
                                "Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path"));
    return isDir(dir) ? withoutTrailingSlash(dir) : std::string();
}

std::string detectPegasus(RunContext& run) {
    run.trace(0, "Pegasus", "Polling Formats");
    const std::string dir =
        hostPath(run, readValue(run, RootKey::CurrentUser, "Software\\Pegasus Mail\\Mailbox"));
    return isDir(dir) ? withoutTrailingSlash(dir) : std::string();
}

/// Opera's profile folder when OperaDef6.ini says every user has one.
std::string operaMultiUserFolder(RunContext& run, const std::string& windowsFolder) {
    std::ifstream in(joinPath(hostPath(run, windowsFolder), "OperaDef6.ini"));
    std::string line;
    while (in && std::getline(in, line)) {
        if (!line.starts_with("Multi User=")) continue;
        if (line.size() < 12 || line[11] != '1') break;
        const std::string trimmed = withoutTrailingSlash(windowsFolder);
        const std::size_t slash = trimmed.rfind('\\');
        const std::string last = slash == std::string::npos ? "Opera" : trimmed.substr(slash + 1);
        return expandWindowsPath(run, "%APPDATA%\\Opera\\" + last + "\\Profile");
    }
    return windowsFolder;
}

std::string detectOpera(RunContext& run) {
    run.trace(0, "Opera", "Polling Formats");
    const std::string fromRegistry =
        readValue(run, RootKey::LocalMachine, std::string(kAppPaths) + "Opera.exe", "Path");
    std::string folder;
    if (!fromRegistry.empty()) {
        folder = hostPath(run, operaMultiUserFolder(run, fromRegistry));
    } else if (!detectionWinePrefix(run).empty()) {
        for (const char* c : {"%APPDATA%\\Opera\\Opera\\Profile",
                              "%APPDATA%\\Opera\\Opera7\\Profile", "%PROGRAMFILES%\\Opera"}) {
            const std::string dir = hostPath(run, expandWindowsPath(run, c));
            if (isDir(dir)) {
                folder = dir;
                break;
            }
        }
    }
    if (isDir(folder)) return joinPath(folder, "Contacts.adr");
    // Opera's own Linux builds keep the file in ~/.opera.
    const std::string native = inHome(run, ".opera/contacts.adr");
    return exists(native) ? native : std::string();
}

/// The Thunderbird folders of this machine with a profiles.ini, Wine's first.
std::vector<std::string> thunderbirdHomes(RunContext& run) {
    std::vector<std::string> homes;
    if (!readValue(run, RootKey::LocalMachine, "Software\\Mozilla\\Mozilla Thunderbird",
                   "CurrentVersion")
             .empty()) {
        homes.push_back(hostPath(run, expandWindowsPath(run, "%APPDATA%\\Thunderbird")));
    }
    const std::string home = detectionEnvironment(run).home();
    if (home.empty()) return homes;
    for (const char* sub : {".thunderbird", "snap/thunderbird/common/.thunderbird",
                            ".var/app/org.mozilla.Thunderbird/.thunderbird"}) {
        const std::string dir = joinPath(home, sub);
        if (exists(joinPath(dir, "profiles.ini"))) homes.push_back(dir);
    }
    return homes;
}

std::string detectThunderbird(RunContext& run, bool present) {
    run.trace(0, "Thunderbird", "Polling Formats");
    const auto homes = thunderbirdHomes(run);
    if (homes.empty()) return {};
    return present ? std::string(kPresent) : thunderbirdListing(run);
}

std::string detectForteAgent(RunContext& run) {
    run.trace(0, "Forte Agent", "Polling Formats");
    std::string ini =
        readValue(run, RootKey::CurrentUser, "Software\\Forte\\Agent\\Paths", "IniFile");
    const std::size_t at = lower(ini).find("\\agent.ini");
    if (at == std::string::npos) return {};
    ini.replace(at, 10, "\\contact.xml");
    const std::string file = hostPath(run, ini);
    return exists(file) ? file : std::string();
}

std::string detectPine(RunContext& run) {
    const std::string cmd = readValue(run, RootKey::LocalMachine,
                                      "Software\\Clients\\Mail\\PC-Pine\\shell\\open\\command");
    const std::size_t slash = cmd.rfind('\\');
    if (slash != std::string::npos && slash >= 1) {
        const std::string file = hostPath(run, cmd.substr(1, slash) + "addrbook");
        if (exists(file)) return file;
    }
    // Alpine and Pine on Linux keep the address book in ~/.addressbook.
    const std::string native = inHome(run, ".addressbook");
    return exists(native) ? native : std::string();
}

}  // namespace

Environment& detectionEnvironment(RunContext& run) {
    return run.state<Environment>();
}

std::string detectionWinePrefix(RunContext& run) {
    const std::string prefix = detectionEnvironment(run).winePrefix();
    if (exists(joinPath(prefix, "user.reg")) || exists(joinPath(prefix, "system.reg")))
        return prefix;
    return {};
}

std::string hostPath(RunContext& run, const std::string& windowsPath) {
    if (windowsPath.empty()) return {};
    if (windowsPath[0] == '/') return windowsPath;
    const std::string prefix = detectionWinePrefix(run);
    if (prefix.empty()) return {};
    std::string mapped = mapWinePath(windowsPath, prefix);
    if (mapped.empty() || mapped[0] != '/' || mapped.find('\\') != std::string::npos) return {};
    return mapped;
}

std::string expandWindowsPath(RunContext& run, const std::string& text) {
    std::string out = text;
    auto replace = [&](const std::string& name, const std::string& value) {
        const std::size_t at = out.find(name);
        if (at == std::string::npos) return true;
        if (value.empty()) return false;
        out.replace(at, name.size(), withoutTrailingSlash(value));
        return true;
    };
    std::string appData = readValue(run, RootKey::CurrentUser, "Volatile Environment", "APPDATA");
    if (appData.empty())
        appData = readValue(run, RootKey::CurrentUser,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            "AppData");
    std::string programs =
        readValue(run, RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                  "ProgramFilesDir");
    if (programs.empty()) programs = "C:\\Program Files";
    if (!replace("%APPDATA%", appData) || !replace("%PROGRAMFILES%", programs)) return {};
    return out.find('%') == std::string::npos ? out : std::string();
}

std::string thunderbirdListing(RunContext& run) {
    const auto homes = thunderbirdHomes(run);
    if (homes.empty()) return {};
    for (const auto& dir : homes) {
        const std::string ini = joinPath(dir, "profiles.ini");
        if (isDir(dir) && exists(ini)) return dir + "\n" + readFileBytes(ini).value_or("");
    }
    return joinPath(homes.front(), "Profiles/default");
}

std::string detectFormat(RunContext& run, int number, bool present) {
    switch (number) {
        case 1:
            return detectNetscape3(run);
        case 2:
            return detectNetscape4(run);
        case 4:
            return detectPegasus(run);
        case 8:
            return detectEudora(run);
        case 9:
            return detectJuno(run);
        case 10:
            return detectMozilla(run, present);
        case 11:
            return detectPine(run);
        case 13:
            return detectOutlookExpress(run);
        case 14:
            run.trace(0, "Mail Warrior", "Polling Formats");
            return {};
        case 15:
            return detectBecky(run);
        case 16:
            return detectPalm(run);
        case 17:
            return detectNetscape6(run, present);
        case 18:
            return detectOutlook(run);
        case 19:
            return detectOpera(run);
        case 21:
            return detectForteAgent(run);
        case 23:
            return detectThunderbird(run, present);
        default:
            return {};
    }
}

}  // namespace vesk
