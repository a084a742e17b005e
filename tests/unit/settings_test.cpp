#include "platform/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/settings_file.h"
#include "platform/wine_registry.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::slurp;
using testing::spit;
using testing::TempDir;

constexpr std::string_view kTasks = "Software\\Vesk\\Automation";

TEST(SettingsKeyTree, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    SettingsKey root;
    root.findOrNew("Software\\Vesk\\Formats").setValue("Eudora", SettingValue::ofText("/mail"));
    ASSERT_NE(root.find("SOFTWARE\\vesk\\formats"), nullptr);
    EXPECT_EQ(root.find("software\\VESK")->name(), "Vesk");
    EXPECT_EQ(root.find("Software\\\\Vesk\\Formats\\")->value("EUDORA")->text, "/mail");
    EXPECT_EQ(root.find("Software\\Vesk\\Other"), nullptr);
}

TEST(SettingsKeyTree, SubKeysEnumerateAlphabeticallyWithoutCase) {
    SettingsKey root;
    for (const char* n : {"zeta", "Alpha", "beta", "Gamma"}) root.findOrNew(kTasks).childOrNew(n);
    EXPECT_EQ(root.find(kTasks)->childNames(),
              (std::vector<std::string>{"Alpha", "beta", "Gamma", "zeta"}));
}

TEST(SettingValueForms, FlatTextAndRegistrySize) {
    // A task value: application, NUL, path, NUL, final NUL; 2 × (n + m + 3) bytes.
    const auto task = SettingValue::ofStrings({"Eudora", "/home/ann/nndbase.txt"});
    EXPECT_EQ(task.flatText(), std::string("Eudora\0/home/ann/nndbase.txt\0\0", 30));
    EXPECT_EQ(task.registrySize(), 2u * (6 + 21 + 3));
    const auto emptyFile = SettingValue::ofStrings({"Other", ""});
    EXPECT_EQ(emptyFile.flatText(), std::string("Other\0\0\0", 8));
    EXPECT_EQ(emptyFile.registrySize(), 2u * (5 + 0 + 3));
    // Sizes count UTF-16 units, not UTF-8 bytes.
    EXPECT_EQ(SettingValue::ofText("Jürgen").registrySize(), 2u * 7);
    EXPECT_EQ(SettingValue::ofText("\xF0\x9F\x98\x80").registrySize(), 2u * 3);
    EXPECT_EQ(SettingValue::ofNumber(7).flatText(), "7");
}

TEST(MemoryStore, WritesReadsEnumeratesAndDeletesRecursively) {
    MemorySettingsStore store;
    EXPECT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Automation\\A", "from",
                               SettingValue::ofStrings({"Eudora", "x"})),
              kErrorSuccess);
    EXPECT_EQ(store.createKey(RootKey::CurrentUser, "Software\\Vesk\\Automation\\B\\Deeper"), 0);
    std::vector<std::string> names;
    EXPECT_EQ(store.subKeys(RootKey::CurrentUser, kTasks, names), kErrorSuccess);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store.deleteKey(RootKey::CurrentUser, "Software\\Vesk\\Automation\\b"), 0);
    EXPECT_FALSE(store.keyExists(RootKey::CurrentUser, "Software\\Vesk\\Automation\\B\\Deeper"));
    EXPECT_EQ(store.deleteKey(RootKey::CurrentUser, "Software\\Vesk\\Automation\\B"),
              kErrorFileNotFound);
    EXPECT_EQ(store.subKeys(RootKey::CurrentUser, "Software\\Nope", names), kErrorFileNotFound);
    store.failWrites = true;
    EXPECT_EQ(store.writeValue(RootKey::CurrentUser, kTasks, "x", SettingValue::ofText("y")),
              kErrorCantWrite);
}

TEST(RegistryHelpers, ReadRegistryValueResultCodes) {
    testing::TestRun run;
    std::string out = "stale";
    EXPECT_EQ(ReadRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                "Eudora", out),
              kErrorInvalidData);  // the key cannot be opened
    EXPECT_EQ(out, "");
    ASSERT_EQ(WriteRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                 "Juno", "", ValueType::String),
              0);
    EXPECT_EQ(ReadRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                "Eudora", out),
              kErrorFileNotFound);
    out = "stale";
    EXPECT_EQ(ReadRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                "Juno", out),
              0);
    EXPECT_EQ(out, "");

    // No 300-character cap: a long path is written and read whole.
    const std::string longPath = "/home/ann/" + std::string(700, 'p') + "/abook.mab";
    ASSERT_EQ(WriteRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                 "Mozilla", longPath, ValueType::String),
              0);
    EXPECT_EQ(ReadRegistryValue(run.settings(), RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                "Mozilla", out),
              0);
    EXPECT_EQ(out, longPath);
}

TEST(RegistryHelpers, WriteRegistryValueTypes) {
    testing::TestRun run;
    MemorySettingsStore& store = run.store;
    const std::string_view key = "Software\\Vesk\\CSV\\Int";
    struct Case {
        std::string data;
        ValueType type;
        SettingValue expected;
    } cases[] = {
        {"42", ValueType::Number, SettingValue::ofNumber(42)},
        {std::string("Other\0\0\0", 8), ValueType::MultiString,
         SettingValue::ofStrings({"Other", ""})},
        {std::string("a\0b\0\0", 5), ValueType::MultiString, SettingValue::ofStrings({"a", "b"})},
        {std::string("\0", 1), ValueType::MultiString, SettingValue::ofStrings({})},
        {"%APPDATA%\\x", ValueType::ExpandString,
         SettingValue::ofText("%APPDATA%\\x", ValueType::ExpandString)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        ASSERT_EQ(
            WriteRegistryValue(run.settings(), RootKey::CurrentUser, key, "v", c.data, c.type), 0);
        SettingValue got;
        ASSERT_EQ(store.readValue(RootKey::CurrentUser, key, "v", got), 0);
        EXPECT_EQ(got, c.expected);
        std::string flat;
        ASSERT_EQ(ReadRegistryValue(run.settings(), RootKey::CurrentUser, key, "v", flat), 0);
        if (c.type == ValueType::MultiString) {
            EXPECT_EQ(flat, got.flatText());
        }
    }
    EXPECT_EQ(WriteRegistryValue(run.settings(), RootKey::CurrentUser, key, "v", "12x",
                                 ValueType::Number),
              kErrorInvalidData);
}

TEST(SettingsText, RoundTripsAwkwardValues) {
    SettingsKey user;
    SettingsKey& k = user.findOrNew("Software\\Vesk\\Automation\\Jürgen's \"task\"");
    k.setValue("from", SettingValue::ofStrings({"Eudora", ""}));
    k.setValue("to", SettingValue::ofStrings({"Other", "C:\\Mail\\out \"x\".vcf"}));
    k.setValue("", SettingValue::ofText("unnamed"));
    k.setValue("lines", SettingValue::ofText("one\ntwo\r\tthree\x01"));
    k.setValue("empty", SettingValue::ofStrings({}));
    k.setValue("n", SettingValue::ofNumber(0xFFFFFFFFu));
    k.setValue("bin", SettingValue::ofText(std::string("\0\xff", 2), ValueType::Binary));
    k.setValue("exp", SettingValue::ofText("%APPDATA%\\Opera", ValueType::ExpandString));
    user.findOrNew("Software\\Vesk\\EmptyKey");

    const std::string text = formatSettingsText(user);
    SettingsKey back;
    int bad = -1;
    parseSettingsText(text, back, &bad);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(formatSettingsText(back), text);
    const SettingsKey* b = back.find("Software\\Vesk\\Automation\\Jürgen's \"task\"");
    ASSERT_NE(b, nullptr);
    for (const char* name : {"from", "to", "", "lines", "empty", "n", "bin", "exp"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(b->value(name), nullptr);
        EXPECT_EQ(*b->value(name), *k.value(name));
    }
    EXPECT_NE(back.find("Software\\Vesk\\EmptyKey"), nullptr);
}

TEST(SettingsText, IsReadableAndToleratesHandEdits) {
    SettingsKey user;
    user.findOrNew("Software\\Vesk\\Automation\\Weekly")
        .setValue("from", SettingValue::ofStrings({"Eudora", "/home/ann/nndbase.txt"}));
    user.findOrNew("Software\\Vesk\\CSV\\Int").setValue("useInts", SettingValue::ofNumber(1));
    const std::string text = formatSettingsText(user);
    EXPECT_NE(text.find("[Software\\Vesk\\Automation\\Weekly]\n"
                        "\"from\"=multi:\"Eudora\",\"/home/ann/nndbase.txt\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"useInts\"=dword:00000001\n"), std::string::npos);

    // Blanks, CR LF, comments, and lines that make no sense: the good ones still count.
    const std::string edited =
        "; edited by hand\r\n"
        "  [Software\\Vesk\\Formats]  \r\n"
        "\"Eudora\" = \"/home/ann/Eudora\"\r\n"
        "\"Juno\"=dword:xyz\r\n"
        "garbage line\r\n"
        "\"Opera\"=\"unterminated\r\n"
        "# another comment\n"
        "\"Opera\"=\"/home/ann/.opera/contacts.adr\"\n";
    SettingsKey parsed;
    int bad = 0;
    parseSettingsText(edited, parsed, &bad);
    EXPECT_EQ(bad, 3);
    const SettingsKey* formats = parsed.find("Software\\Vesk\\Formats");
    ASSERT_NE(formats, nullptr);
    EXPECT_EQ(formats->value("Eudora")->text, "/home/ann/Eudora");
    EXPECT_EQ(formats->value("Opera")->text, "/home/ann/.opera/contacts.adr");
    EXPECT_EQ(formats->value("Juno"), nullptr);
}

class FileStore : public ::testing::Test {
  protected:
    TempDir dir;
    std::string file() const { return dir.file("conf/vesk/settings.reg"); }
};

TEST_F(FileStore, PersistsAcrossInstancesInOneReadableFile) {
    {
        FileSettingsStore store(file(), {});
        EXPECT_FALSE(store.keyExists(RootKey::CurrentUser, kTasks));
        ASSERT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Automation\\My Task",
                                   "from", SettingValue::ofStrings({"Eudora", ""})),
                  0);
        ASSERT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno",
                                   SettingValue::ofText("/home/ann/juno")),
                  0);
    }
    const std::string text = slurp(file());
    EXPECT_NE(text.find("[Software\\Vesk\\Automation\\My Task]\n\"from\"=multi:\"Eudora\",\"\""),
              std::string::npos);
    FileSettingsStore again(file(), {});
    SettingValue v;
    ASSERT_EQ(
        again.readValue(RootKey::CurrentUser, "software\\vesk\\automation\\my task", "FROM", v), 0);
    EXPECT_EQ(v, SettingValue::ofStrings({"Eudora", ""}));
    // The previous version stays as .bak; no temporary file is left behind.
    EXPECT_TRUE(fs::exists(file() + ".bak"));
    int files = 0;
    for (const auto& e : fs::directory_iterator(fs::path(file()).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 2);
}

TEST_F(FileStore, TwoRunsSavingInTurnKeepEachOthersValues) {
    FileSettingsStore first(file(), {});
    FileSettingsStore second(file(), {});
    ASSERT_EQ(first.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno",
                               SettingValue::ofText("a")),
              0);
    ASSERT_EQ(second.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Opera",
                                SettingValue::ofText("b")),
              0);
    SettingValue v;
    EXPECT_EQ(first.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Opera", v), 0);
    EXPECT_EQ(second.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno", v), 0);
    std::vector<std::string> names;
    ASSERT_EQ(first.deleteKey(RootKey::CurrentUser, "Software\\Vesk\\Formats"), 0);
    EXPECT_FALSE(second.keyExists(RootKey::CurrentUser, "Software\\Vesk\\Formats"));
}

TEST_F(FileStore, NeverWritesOtherProgramsKeys) {
    FileSettingsStore store(file(), {});
    for (auto [root, key] : {std::pair{RootKey::CurrentUser, "Software\\Qualcomm\\Eudora"},
                             std::pair{RootKey::CurrentUser, "Software\\Veskish"},
                             std::pair{RootKey::CurrentUser, "Software"},
                             std::pair{RootKey::LocalMachine, "Software\\Vesk"}}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(store.writeValue(root, key, "x", SettingValue::ofText("y")), kErrorAccessDenied);
        EXPECT_EQ(store.deleteKey(root, key), kErrorAccessDenied);
    }
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(FileStore, RefusesToOverwriteAFileItCannotRead) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file, so nothing is unreadable";
    fs::create_directories(fs::path(file()).parent_path());
    spit(file(), "[Software\\Vesk\\Formats]\n\"Juno\"=\"keep me\"\n");
    fs::permissions(file(), fs::perms::none);
    FileSettingsStore store(file(), {});
    EXPECT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Opera",
                               SettingValue::ofText("x")),
              kErrorAccessDenied);
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_NE(slurp(file()).find("keep me"), std::string::npos);
}

TEST_F(FileStore, AFailedWriteIsReported) {
    // A folder where the file should be: the write cannot succeed.
    fs::create_directories(file());
    FileSettingsStore store(file(), {});
    EXPECT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno",
                               SettingValue::ofText("x")),
              kErrorCantWrite);
}

TEST_F(FileStore, HeldWritesGoToTheFileOnceAndTheBackupKeepsTheOriginal) {
    fs::create_directories(fs::path(file()).parent_path());
    const std::string original = "[Software\\Vesk\\Formats]\n\"Juno\"=\"original\"\n";
    spit(file(), original);
    {
        FileSettingsStore store(file(), {});
        store.holdWrites();
        for (int i = 0; i < 15; ++i) {
            ASSERT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats",
                                       "N" + std::to_string(i), SettingValue::ofNumber(1)),
                      0);
        }
        ASSERT_EQ(store.deleteValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "N3"), 0);
        ASSERT_EQ(store.createKey(RootKey::CurrentUser, "Software\\Vesk\\Empty"), 0);
        SettingValue v;
        EXPECT_EQ(store.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "N14", v), 0)
            << "a held change is seen by reads";
        EXPECT_EQ(slurp(file()), original) << "nothing is written before the flush";
        EXPECT_EQ(store.flush(), 0);
    }
    EXPECT_EQ(slurp(file() + ".bak"), original);
    FileSettingsStore again(file(), {});
    SettingValue v;
    EXPECT_EQ(again.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno", v), 0);
    EXPECT_EQ(again.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "N14", v), 0);
    EXPECT_EQ(again.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "N3", v),
              kErrorFileNotFound);
    EXPECT_TRUE(again.keyExists(RootKey::CurrentUser, "Software\\Vesk\\Empty"));
}

TEST_F(FileStore, HeldWritesGoOverWhatAnotherRunSavedMeanwhile) {
    FileSettingsStore mine(file(), {});
    mine.holdWrites();
    ASSERT_EQ(mine.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno",
                              SettingValue::ofText("mine")),
              0);
    {
        FileSettingsStore other(file(), {});
        ASSERT_EQ(other.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Opera",
                                   SettingValue::ofText("other")),
                  0);
    }
    ASSERT_EQ(mine.flush(), 0);
    FileSettingsStore again(file(), {});
    SettingValue v;
    EXPECT_EQ(again.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Juno", v), 0);
    EXPECT_EQ(again.readValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Opera", v), 0);
}

TEST_F(FileStore, LinesNotUnderstoodAreKeptAndSoIsTheFileAsItWas) {
    fs::create_directories(fs::path(file()).parent_path());
    const std::string original =
        "\"stray\"=\"before any key\"\n"
        "[Software\\Vesk\\Formats]\n"
        "\"Juno\"=\"/home/ann/juno\"\n"
        "\"Opera\"=future:\"a type of a later Vesk\"\n"
        "garbage line\n"
        "[Software\\Vesk\\CSV]\n"
        "\"sep\"=\",\"\n"
        "[unclosed\n"
        "\"x\"=\"under no key\"\n";
    spit(file(), original);
    {
        FileSettingsStore store(file(), {});
        ASSERT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Vesk\\Formats", "Pine",
                                   SettingValue::ofText("/home/ann/.addressbook")),
                  0);
    }
    EXPECT_EQ(slurp(file() + ".unparsed"), original);
    const std::string text = slurp(file());
    // Each line stays under the key it stood in; lines under no key come first.
    const std::size_t stray = text.find("\"stray\"=\"before any key\"\n");
    const std::size_t unclosed = text.find("[unclosed\n\"x\"=\"under no key\"\n");
    const std::size_t formats = text.find("[Software\\Vesk\\Formats]\n");
    const std::size_t future =
        text.find("\"Opera\"=future:\"a type of a later Vesk\"\ngarbage line\n");
    const std::size_t csv = text.find("[Software\\Vesk\\CSV]\n");
    ASSERT_NE(stray, std::string::npos) << text;
    ASSERT_NE(unclosed, std::string::npos) << text;
    ASSERT_NE(future, std::string::npos) << text;
    EXPECT_LT(unclosed, csv);
    EXPECT_LT(stray, csv);
    EXPECT_LT(formats, future);
    EXPECT_LT(future, text.find("[Software", formats + 1)) << "not moved under another key";
    EXPECT_NE(text.find("\"Pine\"=\"/home/ann/.addressbook\""), std::string::npos);

    // Written back, the file reads the same and keeps the same lines again.
    SettingsKey first;
    SettingsKey second;
    std::vector<KeptLine> kept;
    int bad = 0;
    parseSettingsText(text, first, &bad, &kept);
    EXPECT_EQ(bad, 5);
    EXPECT_EQ(formatSettingsText(first, kept), text);
}

// What Wine writes: escaped UTF-16 units, str(N), hex(N) split over lines, dword, @.
constexpr const char* kWineUser =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1600000000\n"
    "#time=1d6a1b2c3d4e5f6\n"
    "\"current\"=\"C:\\\\Program Files\\\\Qualcomm\\\\Eudora\\\\Eudora.exe C:\\\\Mail\"\n"
    "[Software\\\\Microsoft\\\\WAB\\\\WAB4] 1600000000\n"
    "\"UseOutlook\"=dword:00000001\n"
    "[Software\\\\J\\x00fcrgen] 1600000000\n"
    "@=\"M\\x00fcller \\\"quoted\\\"\\tTab\\0ignored\"\n"
    "\"Expand\"=str(2):\"%APPDATA%\\\\Thunderbird\"\n"
    "\"Multi\"=str(7):\"one\\0two\\0\"\n"
    "\"HexMulti\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,\\\n"
    "  77,00,6f,00,00,00,00,00\n"
    "\"HexString\"=hex(2):25,00,41,00,00,00\n"
    "\"Bin\"=hex:01,02,ff\n"
    "\"Octal\"=\"a\\1b\"\n";

constexpr const char* kWineSystem64 =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Netscape\\\\Netscape Navigator] 1600000000\n"
    "\"CurrentVersion\"=\"4.7 (en)\"\n"
    "[Software\\\\Mozilla\\\\Mozilla Thunderbird] 1600000000\n"
    "\"CurrentVersion\"=\"115.0\"\n";

TEST(WineRegistry, ParsesWhatWineWrites) {
    SettingsKey root;
    parseWineRegistry(kWineUser, root);
    const SettingsKey* eudora = root.find("Software\\Qualcomm\\Eudora\\CommandLine");
    ASSERT_NE(eudora, nullptr);
    EXPECT_EQ(eudora->value("current")->text,
              "C:\\Program Files\\Qualcomm\\Eudora\\Eudora.exe C:\\Mail");
    EXPECT_EQ(*root.find("Software\\Microsoft\\WAB\\WAB4")->value("UseOutlook"),
              SettingValue::ofNumber(1));
    const SettingsKey* j = root.find("Software\\Jürgen");
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->value("")->text, "Müller \"quoted\"\tTab");
    EXPECT_EQ(*j->value("Expand"),
              SettingValue::ofText("%APPDATA%\\Thunderbird", ValueType::ExpandString));
    EXPECT_EQ(*j->value("Multi"), SettingValue::ofStrings({"one", "two"}));
    EXPECT_EQ(*j->value("HexMulti"), SettingValue::ofStrings({"one", "two"}));
    EXPECT_EQ(*j->value("HexString"), SettingValue::ofText("%A", ValueType::ExpandString));
    EXPECT_EQ(*j->value("Bin"), SettingValue::ofText("\x01\x02\xff", ValueType::Binary));
    EXPECT_EQ(j->value("Octal")->text,
              "a\x01"
              "b");
}

TEST(WineRegistry, GarbageNeverCrashes) {
    const std::string inputs[] = {
        "[",
        "[unterminated\n\"x\"=\"y\"",
        "\"orphan\"=\"value\"\n",
        "[K]\n\"x\"=hex(7):zz\n",
        "[K]\n\"x\"=hex:01,\\\n",
        "[K]\n\"x\"=str(7\n",
        "[K]\n\"x\"=\"\\",
        "[K]\n\"\\x\"=dword:\n",
        std::string("[K]\n\"x\"=\"\xff\xfe\"\n"),
        "[K]\n@=hex(4):01,02\n",
    };
    for (const std::string& in : inputs) {
        SCOPED_TRACE(in);
        SettingsKey root;
        parseWineRegistry(in, root);
    }
}

TEST_F(FileStore, ReadsOtherProgramsKeysFromAWinePrefix) {
    const fs::path prefix = dir.path() / "wine";
    fs::create_directories(prefix);
    spit(prefix / "user.reg", kWineUser);
    spit(prefix / "system.reg", kWineSystem64);
    FileSettingsStore store(file(), prefix.string());
    std::string out;
    EXPECT_EQ(ReadRegistryValue(store, RootKey::CurrentUser,
                                "Software\\Qualcomm\\Eudora\\CommandLine", "current", out),
              0);
    EXPECT_EQ(out.substr(0, 3), "C:\\");
    // A 32-bit program's machine keys sit under Wow6432Node in a 64-bit prefix.
    EXPECT_EQ(ReadRegistryValue(store, RootKey::LocalMachine,
                                "Software\\Netscape\\Netscape Navigator", "CurrentVersion", out),
              0);
    EXPECT_EQ(out, "4.7 (en)");
    EXPECT_EQ(ReadRegistryValue(store, RootKey::LocalMachine,
                                "Software\\Mozilla\\Mozilla Thunderbird", "CurrentVersion", out),
              0);
    EXPECT_EQ(out, "115.0");
    // Our own keys never come from the prefix, and the prefix is never written.
    EXPECT_EQ(store.writeValue(RootKey::CurrentUser, "Software\\Qualcomm", "x",
                               SettingValue::ofText("y")),
              kErrorAccessDenied);
    EXPECT_EQ(slurp(prefix / "user.reg"), kWineUser);
}

TEST_F(FileStore, WithoutAPrefixOtherKeysAreAbsent) {
    FileSettingsStore store(file(), {});
    EXPECT_FALSE(store.keyExists(RootKey::LocalMachine, "Software"));
    SettingValue v;
    EXPECT_EQ(store.readValue(RootKey::CurrentUser, "Software\\Pegasus Mail\\Mailbox", "", v),
              kErrorFileNotFound);
}

TEST(WinePaths, DriveLettersMapIntoThePrefix) {
    TempDir dir;
    const fs::path prefix = dir.path() / "wine";
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directory_symlink(dir.path() / "elsewhere", prefix / "dosdevices" / "d:");
    const std::string p = prefix.string();
    EXPECT_EQ(mapWinePath("C:\\Program Files\\Opera\\Contacts.adr", p),
              p + "/drive_c/Program Files/Opera/Contacts.adr");
    EXPECT_EQ(mapWinePath("d:\\Mail", p), p + "/dosdevices/d:/Mail");
    EXPECT_EQ(mapWinePath("E:\\x", p), "E:\\x");
    EXPECT_EQ(mapWinePath("/home/ann/x", p), "/home/ann/x");
    EXPECT_EQ(mapWinePath("C:\\x", ""), "C:\\x");
}

TEST(SettingsLocation, EnvironmentPicksTheFile) {
    struct Env {
        const char* name;
        std::string old;
        bool had;
    } vars[] = {
        {"VESK_CONFIG_DIR", {}, false}, {"XDG_CONFIG_HOME", {}, false}, {"HOME", {}, false}};
    for (Env& e : vars) {
        if (const char* v = std::getenv(e.name)) {
            e.old = v;
            e.had = true;
        }
    }
    ::setenv("HOME", "/home/ann", 1);
    ::unsetenv("VESK_CONFIG_DIR");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultSettingsFile(), "/home/ann/.config/vesk/settings.reg");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(defaultSettingsFile(), "/xdg/vesk/settings.reg");
    ::setenv("VESK_CONFIG_DIR", "/tmp/vc", 1);
    EXPECT_EQ(defaultSettingsFile(), "/tmp/vc/settings.reg");
    for (const Env& e : vars) {
        if (e.had)
            ::setenv(e.name, e.old.c_str(), 1);
        else
            ::unsetenv(e.name);
    }
}

}  // namespace
}  // namespace vesk
