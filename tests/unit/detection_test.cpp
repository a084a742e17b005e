// Installed-program detection on a fake machine: a home folder and a Wine prefix whose
// user.reg and system.reg the test writes, with a drive_c tree beside them.
#include "discovery/detection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>

#include "app/cli/command_line.h"
#include "discovery/analyzer.h"
#include "discovery/applications.h"
#include "discovery/books.h"
#include "discovery/mozilla_registry.h"
#include "support/fake_machine.h"
#include "support/sqlite_books.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::FakeMachine;
using testing::RegValue;
using testing::wineKey;

constexpr const char* kNavigator = "Software\\Netscape\\Netscape Navigator";
constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

TEST(Detection, NetscapeVersionRanges) {
    struct Case {
        std::string version;
        bool three, four;
    } cases[] = {{"4.7", false, true},
                 {"5", false, true},
                 {"5.0", false, false},
                 {"3.04", true, false},
                 {"4", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        FakeMachine m(
            wineKey(kNavigator, {{"CurrentVersion", c.version}}) +
                wineKey(std::string(kAppPaths) + "Netscape.exe",
                        {{"@", "C:\\Netscape\\Program\\netscape.exe"}}),
            wineKey(std::string(kNavigator) + "\\Main", {{"Install Directory", "C:\\Netscape\\"}}));
        m.make("c/Netscape/Program/netscape.exe");
        EXPECT_EQ(detectFormat(*m.run, 1), c.three ? m.c("Netscape") : "");
        EXPECT_EQ(detectFormat(*m.run, 2), c.four ? m.c("Netscape/Program/netscape.exe") : "");
    }
}

TEST(Detection, Netscape6And7) {
    struct Case {
        std::string key, version;
        bool found;
    } cases[] = {{"Netscape 6", "6.2", true},
                 {"Netscape", "7.1", true},
                 {"Netscape 6", "8.0", false},
                 {"Netscape", "5.0", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        FakeMachine m(wineKey("Software\\Netscape\\" + c.key, {{"CurrentVersion", c.version}}));
        EXPECT_EQ(detectFormat(*m.run, 17), c.found ? kPresent : "");
    }
}

/// Each detector on a machine that has the program, and on one that has nothing.
TEST(Detection, EachDetectorFoundAndNotFound) {
    struct Case {
        int number;
        std::string system, user;
        std::vector<std::string> files;
        std::string expected;  ///< below drive_c ("c/..."), or a marker
    } cases[] = {
        {13,
         {},
         wineKey("Software\\Microsoft\\WAB\\WAB4", {{"UseOutlook", "dword:00000000"}}),
         {},
         "5.0"},
        {13, {}, {}, {}, "5.0"},
        {18,
         wineKey(std::string(kAppPaths) + "OUTLOOK.EXE", {{"@", "C:\\Office\\OUTLOOK.EXE"}}),
         {},
         {"c/Office/OUTLOOK.EXE"},
         "c/Office/OUTLOOK.EXE"},
        {9,
         wineKey(std::string(kAppPaths) + "juno.exe", {{"@", "C:\\Juno\\bin\\juno.exe"}}),
         {},
         {"c/Juno/bin/juno.exe"},
         "c/Juno"},
        {16,
         {},
         wineKey("Software\\U.S. Robotics\\Pilot Desktop\\Core", {{"Path", "C:\\Palm\\"}}),
         {"c/Palm/x"},
         "c/Palm"},
        {4,
         {},
         wineKey("Software\\Pegasus Mail\\Mailbox", {{"@", "C:\\PMAIL\\MAIL"}}),
         {"c/PMAIL/MAIL/x"},
         "c/PMAIL/MAIL"},
        {21,
         {},
         wineKey("Software\\Forte\\Agent\\Paths", {{"IniFile", "C:\\Agent\\Data\\agent.ini"}}),
         {"c/Agent/Data/contact.xml"},
         "c/Agent/Data/contact.xml"},
        {15,
         {},
         wineKey("Software\\RimArts\\B2\\Settings", {{"DataDir", "C:\\Becky\\"}}),
         {"c/Becky/AddrBook/@Personal/Default/Group.idx|1\tGroup\t4a1b.bab\r\n",
          "c/Becky/AddrBook/@Personal/Default/4a1b.bab"},
         "c/Becky/AddrBook/@Personal/Default/4a1b.bab"},
        {8,
         {},
         wineKey("Software\\Qualcomm\\Eudora\\CommandLine",
                 {{"current", "C:\\Eudora\\Eudora.exe C:\\EudoraData x"}}),
         {"c/EudoraData/x"},
         "c/EudoraData"},
        {8,
         {},
         wineKey("Software\\Qualcomm\\Eudora\\CommandLine",
                 {{"current", "C:\\Eudora\\Eudora.exe C:\\Missing x"}}),
         {"c/Eudora/Eudora.ini"},
         "c/Eudora"},
        {19,
         wineKey(std::string(kAppPaths) + "Opera.exe", {{"Path", "C:\\Opera"}}),
         {},
         {"c/Opera/x"},
         "c/Opera/Contacts.adr"},
        {19,
         {},
         {},
         {"c/users/me/AppData/Roaming/Opera/Opera7/Profile/x"},
         "c/users/me/AppData/Roaming/Opera/Opera7/Profile/Contacts.adr"},
        {23,
         wineKey("Software\\Mozilla\\Mozilla Thunderbird", {{"CurrentVersion", "2.0"}}),
         {},
         {},
         kPresent},
        {10,
         wineKey("Software\\Mozilla\\Seamonkey", {{"CurrentVersion", "1.1"}}),
         {},
         {},
         kPresent},
        {10,
         wineKey("Software\\mozilla.org\\Mozilla", {{"CurrentVersion", "1.7"}}) +
             wineKey("Software\\mozilla.org\\Mozilla\\1.7", {{"x", "y"}}),
         {},
         {},
         kPresent},
        {11,
         wineKey("Software\\Clients\\Mail\\PC-Pine\\shell\\open\\command",
                 {{"@", "\"C:\\Pine\\pine.exe\" -url %1"}}),
         {},
         {"c/Pine/addrbook"},
         "c/Pine/addrbook"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        SCOPED_TRACE(c.expected);
        FakeMachine m(c.system, c.user);
        for (const auto& f : c.files) {
            const std::size_t bar = f.find('|');  // "path|content"
            m.make(f.substr(0, bar), bar == std::string::npos ? "x" : f.substr(bar + 1));
        }
        const std::string want =
            c.expected.starts_with("c/") ? m.prefix + "/drive_" + c.expected : c.expected;
        EXPECT_EQ(detectFormat(*m.run, c.number), want);
        // The same keys naming files that are not there find nothing.
        if (!c.files.empty()) {
            FakeMachine empty(c.system, c.user);
            EXPECT_EQ(detectFormat(*empty.run, c.number), "") << "without its files";
        }
    }
    FakeMachine nothing({}, {}, false);
    for (int n = 0; n < kFormatCount; ++n) EXPECT_EQ(detectFormat(*nothing.run, n), "") << n;
}

TEST(Detection, SharedAddressBookHidesOutlookExpressAndShortJunoValueIsNoPath) {
    FakeMachine m(wineKey(std::string(kAppPaths) + "juno.exe", {{"@", "C:\\j.exe"}}),
                  wineKey("Software\\Microsoft\\WAB\\WAB4", {{"UseOutlook", "dword:00000001"}}));
    EXPECT_EQ(detectFormat(*m.run, 13), "");
    EXPECT_EQ(detectFormat(*m.run, 9), "");
}

TEST(Detection, LinuxNativeHomes) {
    const std::string ini = "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=me\nPath=p\n";
    struct Case {
        int number;
        std::string file;
        std::string expected;  ///< "" for the marker
    } cases[] = {{23, ".thunderbird/profiles.ini", kPresent},
                 {23, "snap/thunderbird/common/.thunderbird/profiles.ini", kPresent},
                 {23, ".var/app/org.mozilla.Thunderbird/.thunderbird/profiles.ini", kPresent},
                 {10, ".mozilla/seamonkey/profiles.ini", kPresent},
                 {19, ".opera/contacts.adr", ".opera/contacts.adr"},
                 {11, ".addressbook", ".addressbook"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FakeMachine m({}, {}, false);
        EXPECT_EQ(detectFormat(*m.run, c.number), "");
        m.make(c.file, ini);
        const std::string want = c.expected == kPresent ? c.expected : m.home + "/" + c.expected;
        EXPECT_EQ(detectFormat(*m.run, c.number), want);
    }
}

TEST(Detection, ThunderbirdListing) {
    const std::string key =
        wineKey("Software\\Mozilla\\Mozilla Thunderbird", {{"CurrentVersion", "2.0"}});
    FakeMachine m(key);
    const std::string folder = m.c("users/me/AppData/Roaming/Thunderbird");
    EXPECT_EQ(detectFormat(*m.run, 23, false), folder + "/Profiles/default");
    m.make("c/users/me/AppData/Roaming/Thunderbird/profiles.ini", "[General]\n");
    EXPECT_EQ(detectFormat(*m.run, 23, false), folder + "\n[General]\n");
}

TEST(Detection, PercentAndBlankValuesReadAsEmpty) {
    struct Case {
        std::string stored, expected;
    } cases[] = {{"%APPDATA%\\x", ""},         {" C:\\x", ""},        {"", ""}, {"C:\\x", "C:\\x"},
                 {"/home/me/x", "/home/me/x"}, {"Present", "Present"}};
    for (const auto& c : cases) {
        testing::TestRun run;
        SetFormatPath(run, "Eudora", c.stored);
        SetFormatPath(run, "Opera", "/o");  // a path is stored: no detection
        EXPECT_EQ(GetFormatPath(run, "Eudora"), c.expected) << c.stored;
    }
}

// Nothing found stores nothing, and a later run detects again.
TEST(Detection, StoresOnlyWhatWasFoundAndDetectsAgainWhenNothingIsStored) {
    FakeMachine m({}, {}, false);
    EXPECT_EQ(GetFormatPath(*m.run, "Opera"), "");
    std::string value;
    for (const char* name : {"Opera", "Becky!", "Netscape 3.x", "Thunderbird"})
        EXPECT_NE(ReadRegistryValue(*m.store, RootKey::CurrentUser, kFormatsKey, name, value),
                  kErrorSuccess)
            << name;
    EXPECT_TRUE(m.prompts.messages.empty());
    const std::string file = m.make(".opera/contacts.adr");
    EXPECT_EQ(GetFormatPath(*m.run, "Opera"), file);
    EXPECT_EQ(ReadRegistryValue(*m.store, RootKey::CurrentUser, kFormatsKey, "Opera", value),
              kErrorSuccess);
    EXPECT_EQ(value, file);
}

TEST(Detection, FormatNumbersAndNames) {
    struct Case {
        std::string name, path;
        int number;
    } cases[] = {{"Pegasus Mail", "a/b.PML", 3},
                 {"Pegasus Mail", "a/b.pml", 3},
                 {"Pegasus Mail", "a/b.pmr", 4},
                 {"Pegasus Mail", "", 4},
                 {"Other", "", 100},
                 {"thunderbird", "", -1},
                 {"Thunderbird", "", 23}};
    for (const auto& c : cases) EXPECT_EQ(FormatNumberOf(c.name, c.path), c.number) << c.name;
    EXPECT_EQ(FormatName(2, true), "LDAP/LDIF File");
    EXPECT_EQ(FormatName(2, false), "Netscape 4.x");
    EXPECT_EQ(FormatName(24, false), "");
}

// ---- profile listings --------------------------------------------------------------------

TEST(ProfileListings, AnalyzerOutput) {
    const std::string good =
        "nsRegistry::Common -  Profiles\r\n"
        "nsRegistry::Common -  Profiles -  Anna\r\ndirectory\t = /p/anna\r\n"
        "nsRegistry::Common -  Profiles -  Bo\r\ndirectory\t = /p/bo\r\n";
    testing::TestRun run;
    IterPipe pipe(run, good);
    const auto profiles = readAll(pipe);
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0], (BookEntry{0, "/p/anna/", "/p/anna/abook.mab", "Anna"}));
    EXPECT_EQ(profiles[1].displayName, "Bo");
    EXPECT_TRUE(run.prompts.messages.empty());

    IterPipe noMarker(run, "nsRegistry::Common - Users\r\n");
    EXPECT_TRUE(readAll(noMarker).empty());
    ASSERT_EQ(run.prompts.messages.size(), 2u);
    EXPECT_EQ(run.prompts.messages[0].text,
              "An error has occured  while processing the Mozilla Registry");
    EXPECT_EQ(run.prompts.messages[1].text,
              "An error has occured while processing the Mozilla Registry");
}

TEST(ProfileListings, ThunderbirdProfilesIni) {
    struct Case {
        std::string text;
        std::vector<std::string> folders;
        std::size_t messages;
    } cases[] = {
        {"\n[General]\nStartWithLastProfile=1\n", {}, 0},
        {"\n[Profile0]\nName=x\nPath=p\n", {}, 2},
        {"\n[General]\n[Profile0]\nName=me\nIsRelative=1\nPath=Profiles/a.default\n",
         {"/tb/Profiles/a.default/"},
         0},
        {"\n[General]\n[Profile0]\nName=me\nIsRelative=0\nPath=/elsewhere/me\n"
         "[Profile1]\nName=you\nPath=Profiles\\b\n",
         {"/elsewhere/me/", "/tb/Profiles/b/"},
         0},
        {"\n[General]\n[Profile0]\nName=me\nPath=../../etc\n", {}, 0},
        {"\n[General]\n[Profile0]\nName=me\n", {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        testing::TestRun run;
        IterTBini ini(run, "/tb" + c.text);
        std::vector<std::string> folders;
        for (const auto& e : readAll(ini)) folders.push_back(e.application);
        EXPECT_EQ(folders, c.folders);
        EXPECT_EQ(run.prompts.messages.size(), c.messages);
    }
}

TEST(BookListings, DisplayNames) {
    testing::TempDir dir;
    const auto make = [&](const std::string& rel, const std::string& bytes) {
        const fs::path p = dir.path() / rel;
        fs::create_directories(p.parent_path());
        testing::spit(p, bytes);
    };
    make("pm/friends.pml", "\\TITLE Friends\r\nx\r\n");
    make("pm/plain.pml", "Plain list\r\n");
    make("pm/main.pmr", std::string(60, 'A') + "\r\n");
    // A Pegasus book of its own: the UTF-16 title in the binary header.
    std::string book("B\0\xFC\0r\0o\0", 8);
    book.resize(128 + 910, '\0');
    make("pm/uni.pmr", book);
    make("eu/nndbase.txt", "alias a b\r\n");
    make("eu/Nickname/Work.txt", "alias c d\r\n");
    make("juno/user1/addrbook.nv", "x");
    make("juno/user1/juno.ini", "[Other]\r\nUser=no\r\n[UserInfo]\r\nUser=Anna\r\n");
    make("juno/userx/none.txt", "x");
    make("moz/abook.mab", "");
    make("moz/history.mab", "");
    make("moz/team.mab", "");
    make("moz/old.mab", "");
    make("moz/prefs.js",
         "user_pref(\"ldap_2.servers.team.description\", \"Team Book\");\n"
         "user_pref(\"ldap_2.servers.team.filename\", \"team.mab\");\n"
         "user_pref(\"ldap_2.servers.work.description\", \"Work Book\");\n"
         "user_pref(\"ldap_2.servers.work.filename\", \"abook-1.sqlite\");\n");
    // Thunderbird's SQLite books beside the profile's other databases, which are no books.
    for (const char* file : {"abook.sqlite", "history.sqlite", "abook-1.sqlite"})
        testing::makeSqliteBook((dir.path() / "moz" / file).string(), 4, {}, {});
    testing::execSql((dir.path() / "moz/places.sqlite").string(), "CREATE TABLE moz_places (u);");
    struct Case {
        int number;
        std::string folder;
        std::vector<std::string> names;
    } cases[] = {
        {3, "pm", {"Friends", "Plain list"}},
        {4, "pm", {std::string(50, 'A'), "B\xC3\xBCro"}},
        {8, "eu", {"Eudora Nicknames", "Work"}},
        {9, "juno", {"Anna"}},
        {10,
         "moz",
         {"Personal Address Book", "Collected Addresses", "old.mab", "Team Book", "Work Book",
          "Personal Address Book", "Collected Addresses"}},
        {23,
         "moz",
         {"Personal Address Book", "Collected Addresses", "old.mab", "Team Book", "Work Book",
          "Personal Address Book", "Collected Addresses"}},
        {10, "missing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        std::vector<std::string> names;
        for (const auto& b : ListAddressBooks(c.number, (dir.path() / c.folder).string()))
            names.push_back(b.displayName);
        EXPECT_EQ(names, c.names);
    }
    EXPECT_EQ(MakeBookEntry(3, (dir.path() / "pm/friends.pml").string()).application,
              "Pegasus Mail");
}

// ---- the analyzer ------------------------------------------------------------------------

/// A registry file of the Mozilla family holding Common/Profiles with the given profiles.
std::string mozillaRegistryFile(const std::vector<MozillaProfile>& profiles) {
    std::string bytes(128, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    auto add = [&](const std::string& data) {
        const auto at = static_cast<std::uint32_t>(bytes.size());
        bytes += data;
        return at;
    };
    auto desc = [&](const std::string& name, std::uint16_t type, std::uint32_t left,
                    std::uint32_t down, std::uint32_t value, std::uint32_t valueLength) {
        const std::uint32_t nameAt = add(name + '\0');
        const std::uint32_t at = add(std::string(36, '\0'));
        put32(at, at);
        put32(at + 4, nameAt);
        bytes[at + 8] = static_cast<char>(name.size() + 1);
        bytes[at + 10] = static_cast<char>(type);
        put32(at + 12, left);
        put32(at + 16, down);
        put32(at + 20, value);
        put32(at + 24, valueLength);
        return at;
    };
    std::uint32_t next = 0;
    for (auto it = profiles.rbegin(); it != profiles.rend(); ++it) {
        const std::uint32_t data = add(it->directory + '\0');
        const std::uint32_t value = desc("directory", 0x11, 0, 0, data,
                                         static_cast<std::uint32_t>(it->directory.size() + 1));
        next = desc(it->name, 1, next, 0, value, 0);
    }
    const std::uint32_t profilesKey = desc("Profiles", 1, 0, next, 0, 0);
    const std::uint32_t users = desc("Users", 1, 0, 0, 0, 0);
    const std::uint32_t common = desc("Common", 1, users, profilesKey, 0, 0);
    const std::uint32_t root = desc("/", 1, 0, common, 0, 0);
    put32(0, 0x76644441);
    bytes[4] = 1;
    bytes[6] = 2;
    put32(8, static_cast<std::uint32_t>(bytes.size()));
    put32(12, root);
    return bytes;
}

TEST(Analyzer, ReadsTheRegistryFileAndProfilesIni) {
    const std::vector<MozillaProfile> profiles = {{"default", "C:\\Moz\\default"},
                                                  {"Zoë", "C:\\Moz\\zoe"}};
    const std::string file = mozillaRegistryFile(profiles);
    const auto read = readMozillaRegistry(file);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].name, "Zoë");
    EXPECT_EQ(read[1].directory, "C:\\Moz\\zoe");
    // Cut anywhere, the file gives fewer profiles, never a crash.
    for (std::size_t n = 0; n < file.size(); n += 7) readMozillaRegistry(file.substr(0, n));
    EXPECT_TRUE(readMozillaRegistry("not a registry").empty());

    const auto ini = readProfilesIni(
        "[General]\n[Profile0]\nName=a\nIsRelative=1\nPath=x.a\n[Profile1]\nName=b\n"
        "IsRelative=0\nPath=/abs/b\n",
        "/sm");
    ASSERT_EQ(ini.size(), 2u);
    EXPECT_EQ(ini[0].directory, "/sm/x.a");
    EXPECT_EQ(ini[1].directory, "/abs/b");
}

// The program itself, run the way detection runs it; its listing reads back through IterPipe.
TEST(Analyzer, RegExportListsProfilesOfARegistryFile) {
    FakeMachine m(wineKey("Software\\Netscape\\Netscape 6", {{"CurrentVersion", "7.1"}}));
    m.make("c/users/me/AppData/Roaming/Mozilla/registry.dat",
           mozillaRegistryFile({{"work", "C:\\Profiles\\work"}}));
    m.make("c/Profiles/work/abook.mab", "");
    const std::string text = detectFormat(*m.run, 17, false);
    IterPipe pipe(*m.run, text);
    const auto found = readAll(pipe);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0],
              (BookEntry{0, m.c("Profiles/work/"), m.c("Profiles/work/abook.mab"), "work"}));
    EXPECT_TRUE(m.prompts.messages.empty());
}

/// An analyzer that writes `script`'s output, standing in for regExport.
class FakeAnalyzer {
  public:
    explicit FakeAnalyzer(const std::string& script) {
        const std::string path = dir.file("regExport", "#!/bin/sh\n" + script);
        fs::permissions(path, fs::perms::owner_all);
        run.programDirectory = dir.path().string() + "/";
    }
    testing::TempDir dir;
    testing::TestRun run;
};

TEST(Analyzer, OutputIsReadToItsEnd) {
    struct Case {
        std::string script;
        std::size_t characters;
    } cases[] = {
        {"head -c 2048 /dev/zero\n", 1024},
        {"head -c 1024 /dev/zero; sleep 0.2; head -c 6 /dev/zero\n", 515},
        {"head -c 300000 /dev/zero\n", 150000},
        {"exit 1\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        FakeAnalyzer a(c.script);
        EXPECT_EQ(RunAnalyzer(a.run, {}).size(), c.characters);
        EXPECT_TRUE(a.run.prompts.messages.empty());
    }
}

TEST(Analyzer, TimeOutAndMissingProgramAreReported) {
    FakeAnalyzer slow("exec sleep 3\n");
    EXPECT_EQ(RunAnalyzer(slow.run, {}, std::chrono::milliseconds(100)), "");
    ASSERT_EQ(slow.run.prompts.messages.size(), 1u);
    EXPECT_EQ(slow.run.prompts.messages[0].caption, "Detection Error!");

    testing::TestRun none;
    none.programDirectory = "/nonexistent/";
    EXPECT_EQ(RunAnalyzer(none, {}), "");
    ASSERT_EQ(none.prompts.messages.size(), 1u);
    EXPECT_EQ(none.prompts.messages[0].text, "Error launching Analyzer!");
}

// ---- vesk apps ---------------------------------------------------------------------------

TEST(AppsCommand, ListsEachApplicationWithItsBooks) {
    FakeMachine m({}, wineKey("Software\\Pegasus Mail\\Mailbox", {{"@", "C:\\PMAIL"}}));
    m.make("c/PMAIL/main.pmr", "Main book\r\n");
    m.make(".thunderbird/profiles.ini", "[General]\n[Profile0]\nName=me\nPath=me.default\n");
    m.make(".thunderbird/me.default/abook.mab", "");
    m.make(".mozilla/seamonkey/profiles.ini", "[General]\n[Profile0]\nName=sm\nPath=sm.p\n");
    m.make(".mozilla/seamonkey/sm.p/abook.mab", "");
    std::ostringstream out, err;
    EXPECT_EQ(cli::runIn(*m.run, {"apps"}, "1", cli::Streams{out, err}), 0);
    EXPECT_EQ(out.str(),
              "Pegasus Mail: " + m.c("PMAIL") + "\n  Main book\t" + m.c("PMAIL/main.pmr") +
                  "\nMozilla: Present\n  sm: Personal Address Book\t" + m.home +
                  "/.mozilla/seamonkey/sm.p/abook.mab" +
                  "\nOutlook Express: 5.0\nThunderbird: Present\n  me: Personal Address Book\t" +
                  m.home + "/.thunderbird/me.default/abook.mab\n");

    FakeMachine empty({}, {}, false);
    std::ostringstream none;
    EXPECT_EQ(cli::runIn(*empty.run, {"apps"}, "1", cli::Streams{none, err}), 0);
    EXPECT_EQ(none.str(), "No mail program found.\n");
}

}  // namespace
}  // namespace vesk
