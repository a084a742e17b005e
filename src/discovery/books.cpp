#include "discovery/books.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "discovery/applications.h"
#include "discovery/detection.h"
#include "model/adbook.h"
#include "platform/environment.h"
#include "platform/wine_registry.h"
#include "registry/applications.h"
#include "registry/registry.h"
#include "stores/abook_sqlite.h"
#include "text/text_io.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMozillaError =
    "An error has occured while processing the Mozilla Registry";
constexpr std::string_view kThunderbirdError =
    "An error has occured while processing the Thunderbird profiles";
constexpr std::string_view kProfilesMarker = "nsRegistry::Common -  Profiles";
constexpr std::string_view kProfileMarker = "nsRegistry::Common -  Profiles -  ";
constexpr std::string_view kDirectoryMarker = "directory\t = ";

std::string readWhole(const std::string& path, std::size_t limit = std::string::npos) {
    std::string text = readFileBytes(path).value_or("");
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

/// A Pegasus book's name: the UTF-16 title in its binary header (which holds NULs, where no
/// text line does), else its first line; at most 50 characters.
std::string pegasusBookName(const std::string& path) {
    std::string head(128, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.find('\0') == std::string::npos) return firstLine(path).substr(0, 50);
    std::size_t units = 0;
    while (units < 50 && units * 2 + 1 < head.size() &&
           (head[units * 2] != 0 || head[units * 2 + 1] != 0)) {
        ++units;
    }
    return utf16LeToUtf8(std::string_view(head).substr(0, units * 2));
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// Files (or, with `folders`, sub-folders) of `dir` whose lower-cased name starts with
/// `prefix` and ends with `suffix`, sorted.
std::vector<std::string> matching(const std::string& dir, const std::string& prefix,
                                  const std::string& suffix, bool folders = false) {
    std::vector<std::string> out;
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = lower(e.path().filename().string());
        if (e.is_directory(ec) != folders) continue;
        if (name.size() < prefix.size() + suffix.size()) continue;
        if (name.starts_with(prefix) && name.ends_with(suffix)) out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string eudoraName(const std::string& path) {
    if (lower(path).find("nndbase") != std::string::npos) return "Eudora Nicknames";
    const std::string name = fileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string junoName(const std::string& path) {
    const std::string dir = fs::path(path).parent_path().string();
    const std::string ini = readWhole(joinPath(dir, "juno.ini"), 1023);
    const std::size_t section = ini.find("[UserInfo]");
    if (section == std::string::npos) return {};
    const std::size_t user = ini.find("User=", section);
    if (user == std::string::npos) return {};
    const std::size_t end = ini.find_first_of("\r\n", user);
    return ini.substr(user + 5, end == std::string::npos ? std::string::npos : end - user - 5);
}

/// The description prefs.js gives a Mozilla-family book file.
std::string mozillaName(const std::string& path) {
    const std::string name = fileName(path);
    if (name == "abook.mab" || name == "abook.sqlite") return "Personal Address Book";
    if (name == "history.mab" || name == "history.sqlite") return "Collected Addresses";
    const std::string prefs =
        readWhole(joinPath(fs::path(path).parent_path().string(), "prefs.js"));
    const std::size_t file = prefs.find("\"" + name + "\"");
    if (file == std::string::npos) return {};
    const std::string prefix = "user_pref(\"ldap_2.servers.";
    const std::size_t at = prefs.rfind(prefix, file);
    if (at == std::string::npos) return {};
    const std::size_t keyStart = at + prefix.size();
    const std::size_t dot = prefs.find('.', keyStart);
    if (dot == std::string::npos) return {};
    const std::string pref = prefix + prefs.substr(keyStart, dot - keyStart) + ".description\", \"";
    const std::size_t desc = prefs.find(pref);
    if (desc == std::string::npos) return {};
    const std::size_t from = desc + pref.size();
    const std::size_t end = prefs.find('"', from);
    return end == std::string::npos ? std::string() : prefs.substr(from, end - from);
}

}  // namespace

bool IterPipe::start() {
    m_pos = m_text.find(kProfilesMarker);
    if (m_pos == std::string::npos) {
        m_run.report(Severity::Error, "An error has occured  while processing the Mozilla Registry",
                     "");
        m_run.report(Severity::Error, kMozillaError, "");
        m_end = true;
        m_pos = 0;
        return false;
    }
    return true;
}

BookEntry IterPipe::fail() {
    m_run.report(Severity::Error, "An error has occured  while processing the Mozilla Registry",
                 "");
    m_end = true;
    return {};
}

BookEntry IterPipe::next() {
    if (m_end) return {};
    const std::size_t marker = m_text.find(kProfileMarker, m_pos);
    if (marker == std::string::npos) {
        m_end = true;
        return {};
    }
    const std::size_t nameStart = marker + kProfileMarker.size();
    const std::size_t nameEnd = m_text.find('\n', nameStart);
    if (nameEnd == std::string::npos) return fail();
    std::string name = m_text.substr(nameStart, nameEnd - nameStart);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    const std::size_t dir = m_text.find(kDirectoryMarker, nameEnd);
    if (dir == std::string::npos) return fail();
    const std::size_t folderStart = dir + kDirectoryMarker.size();
    const std::size_t folderEnd = m_text.find('\n', folderStart);
    if (folderEnd == std::string::npos) return fail();
    std::string folder = m_text.substr(folderStart, folderEnd - folderStart);
    if (!folder.empty() && folder.back() == '\r') folder.pop_back();
    m_pos = folderEnd;
    // A Windows folder of a Wine install is a folder of this machine inside the prefix.
    folder = hostPath(m_run, folder);
    if (folder.empty()) return next();
    return {0, withSlash(folder), joinPath(folder, "abook.mab"), name};
}

IterTBini::IterTBini(RunContext& run, const std::string& listing) : m_run(run) {
    const std::size_t lf = listing.find('\n');
    m_base = listing.substr(0, lf);
    if (lf != std::string::npos) m_text = listing.substr(lf);
}

bool IterTBini::start() {
    if (m_text.find("[General]") == std::string::npos) {
        m_run.report(Severity::Error,
                     "An error has occured  while processing the Thunderbird profiles", "");
        m_run.report(Severity::Error, kThunderbirdError, "");
        m_end = true;
        return false;
    }
    return true;
}

BookEntry IterTBini::fail() {
    m_run.report(Severity::Error, kThunderbirdError, "");
    m_end = true;
    return {};
}

BookEntry IterTBini::next() {
    if (m_end) return {};
    const std::size_t section = m_text.find("[Profile", m_pos);
    const std::size_t nameAt =
        section == std::string::npos ? section : m_text.find("\nName=", section);
    if (nameAt == std::string::npos) {
        m_end = true;
        return {};
    }
    const std::size_t nameStart = nameAt + 6;
    const std::size_t nameEnd = m_text.find('\n', nameStart);
    const std::size_t pathAt = m_text.find("\nPath=", nameStart);
    if (nameEnd == std::string::npos || pathAt == std::string::npos) return fail();
    const std::size_t pathEnd = m_text.find('\n', pathAt + 6);
    if (pathEnd == std::string::npos) return fail();
    auto line = [&](std::size_t from, std::size_t to) {
        std::string s = m_text.substr(from, to - from);
        if (!s.empty() && s.back() == '\r') s.pop_back();
        return s;
    };
    const std::string name = line(nameStart, nameEnd);
    std::string path = line(pathAt + 6, pathEnd);
    // IsRelative=0 (within this section) means the path stands on its own.
    const std::size_t nextSection = m_text.find("\n[", nameStart);
    const std::size_t absolute = m_text.find("\nIsRelative=0", section);
    m_pos = pathEnd;
    std::string folder;
    if (absolute != std::string::npos && absolute < nextSection) {
        folder = hostPath(m_run, path);
    } else {
        std::replace(path.begin(), path.end(), '\\', '/');
        folder = path.find("..") == std::string::npos ? joinPath(m_base, path) : std::string();
    }
    if (folder.empty()) return next();
    return {0, withSlash(folder), joinPath(folder, "abook.mab"), name};
}

std::vector<BookEntry> readAll(IterBookName& books) {
    std::vector<BookEntry> out;
    if (!books.start()) return out;
    for (BookEntry e = books.next(); !books.atEnd(); e = books.next()) out.push_back(e);
    return out;
}

BookEntry MakeBookEntry(int number, const std::string& filePath) {
    BookEntry e{number, FormatName(number, false), filePath, {}};
    switch (number) {
        case 3: {
            std::string line = firstLine(filePath).substr(0, 254);
            e.displayName = line.starts_with("\\TITLE")
                                ? line.substr(std::min<std::size_t>(7, line.size()))
                                : line;
            break;
        }
        case 4:
            e.displayName = pegasusBookName(filePath);
            break;
        case 8:
            e.displayName = eudoraName(filePath);
            break;
        case 9:
            e.displayName = junoName(filePath);
            break;
        case 10:
        case 23:
            e.displayName = mozillaName(filePath);
            break;
        default:
            break;
    }
    if (e.displayName.empty()) e.displayName = fileName(filePath);
    return e;
}

std::vector<BookEntry> ListAddressBooks(int number, const std::string& folder) {
    std::vector<BookEntry> out;
    auto add = [&](int n, const std::vector<std::string>& files) {
        for (const auto& f : files) out.push_back(MakeBookEntry(n, f));
    };
    switch (number) {
        case 3:
            add(3, matching(folder, "", ".pml"));
            break;
        case 4:
            add(4, matching(folder, "", ".pmr"));
            break;
        case 8: {
            std::string nn = joinPath(folder, "nndbase.txt");
            std::error_code ec;
            if (!fs::exists(nn, ec)) nn = joinPath(folder, "nndbase.nnt");
            if (fs::exists(nn, ec)) add(8, {nn});
            add(8, matching(joinPath(folder, "Nickname"), "", ".txt"));
            break;
        }
        case 9:
            for (const auto& user : matching(folder, "user", "", true)) {
                const std::string book = joinPath(user, "addrbook.nv");
                std::error_code ec;
                if (fs::exists(book, ec)) add(9, {book});
            }
            break;
        case 10:
        case 23:
            add(number, matching(folder, "", ".mab"));
            // Thunderbird's books since version 78, beside the profile's other databases.
            for (const std::string& f : matching(folder, "", ".sqlite")) {
                if (abook::isAddressBook(f)) add(number, {f});
            }
            break;
        default:
            break;
    }
    return out;
}

std::vector<BookEntry> booksOfApplication(RunContext& run, int number,
                                          const std::string& configured) {
    std::vector<BookEntry> out;
    auto profiles = [&](IterBookName& it) {
        for (const BookEntry& p : readAll(it)) {
            for (BookEntry b : ListAddressBooks(10, p.application)) {
                b.displayName = p.displayName + ": " + b.displayName;
                out.push_back(std::move(b));
            }
        }
    };
    switch (number) {
        case 4:
            out = ListAddressBooks(4, configured);
            for (BookEntry& b : ListAddressBooks(3, configured)) out.push_back(std::move(b));
            break;
        case 8:
        case 9:
            out = ListAddressBooks(number, configured);
            break;
        case 10:
        case 17: {
            const std::string text = detectFormat(run, number, false);
            if (text.empty()) break;
            IterPipe it(run, text);
            profiles(it);
            break;
        }
        case 23: {
            const std::string listing = thunderbirdListing(run);
            if (listing.find('\n') == std::string::npos) break;
            IterTBini it(run, listing);
            profiles(it);
            break;
        }
        default: {
            std::error_code ec;
            if (fs::is_regular_file(configured, ec))
                out.push_back(MakeBookEntry(number, configured));
            break;
        }
    }
    return out;
}

namespace {

void addFolderPaths(FolderBook& folder, const std::string& path, std::vector<std::string>& out) {
    for (int i = 0; i < folder.folderCount(); ++i) {
        FolderBook& sub = *folder.folder(i);
        out.push_back(path + sub.name() + "\\");
        addFolderPaths(sub, out.back(), out);
    }
}

}  // namespace

std::vector<std::string> operaFolderPaths(RunContext& run, const std::string& hotlist) {
    const FormatInfo* format = Registry::builtIn().byId("opera");
    std::unique_ptr<IterBase> reader =
        format ? makeReader(run, *format, hotlist, Application::Opera) : nullptr;
    if (!reader) return {};
    FolderBook tree(run, "Contacts");
    tree.fromIter(*reader, false);
    std::vector<std::string> out;
    addFolderPaths(tree, "Contacts\\", out);
    return out;
}

std::vector<InstalledApplication> installedApplications(RunContext& run) {
    refreshConfiguredPaths(run);
    std::vector<InstalledApplication> out;
    for (int n = 0; n < kFormatCount; ++n) {
        const std::string name = FormatName(n);
        if (!hasPathSlot(n) || name.empty()) continue;
        // Pine is looked for on request only, as the wizard does.
        const std::string path = n == 11 ? detectFormat(run, 11) : configuredPath(run, n);
        if (path.empty()) continue;
        out.push_back({n, name, path, booksOfApplication(run, n, path)});
    }
    return out;
}

}  // namespace vesk
