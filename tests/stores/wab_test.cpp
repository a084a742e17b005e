#include "stores/wab.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "platform/wab_file.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"
#include "support/wab_double.h"

namespace vesk {
namespace {

using iterators::IterWAB;
using testing::FakeWabState;

std::vector<Entry> entriesOf(IterBase& reader) {
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 100) out.push_back(reader.nextEntry());
    return out;
}

std::shared_ptr<FakeWabState> storeWith(std::vector<std::map<std::uint32_t, std::string>> rows) {
    auto s = std::make_shared<FakeWabState>();
    for (auto& r : rows) s->top.push_back(s->add(std::move(r)).entryId);
    return s;
}

IterWAB readerOver(testing::TestRun& run, const std::shared_ptr<FakeWabState>& s,
                   const std::string& file = "book.wab", const std::string& version = {}) {
    return IterWAB(run, std::make_shared<testing::FakeWabLibrary>(s), file, true, version);
}

TEST(WabReader, FillsTheFieldsByColumnAndLeavesMissingOnesEmpty) {
    auto s = storeWith({{{wab::PR_DISPLAY_NAME, "Ann Lee"},
                         {wab::PR_EMAIL_ADDRESS, "ann@x.org"},
                         {0x3A48001F, "Bo"},
                         {0x3004001F, "Line 1\nLine 2"}},
                        {{0x3A16001F, "Acme"}}});
    testing::TestRun run;
    RecordingTraceSink trace;
    run.setTraceSink(&trace);
    IterWAB reader = readerOver(run, s);
    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann Lee");
    EXPECT_EQ(entries[0][Field::Email], "ann@x.org");
    EXPECT_EQ(entries[0][Field::Spouse], "Bo");
    EXPECT_EQ(entries[0][Field::Notes], "Line 1\nLine 2");
    EXPECT_EQ(entries[0].sourceId, "R1");
    EXPECT_EQ(entries[1][Field::Organization], "Acme");
    EXPECT_TRUE(entries[1][Field::FullName].empty());
    EXPECT_NE(trace.text.find("Error reading property 1 of row 1, name "), std::string::npos);
    EXPECT_DOUBLE_EQ(reader.progress(), 1.0);
}

TEST(WabReader, AnEmptyStoreEndsAtOnce) {
    auto s = storeWith({});
    testing::TestRun run;
    IterWAB reader = readerOver(run, s);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_TRUE(reader.listsDone());
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST(WabReader, ListsAreDeliveredAfterTheEntriesWithTheirMembers) {
    auto s = storeWith({{{wab::PR_DISPLAY_NAME, "Ann"}}});
    auto& ann = s->records.at(s->top[0]);
    auto& bob = s->add({{wab::PR_DISPLAY_NAME, "Bob"}});
    s->top.push_back(bob.entryId);
    auto& team = s->add({{wab::PR_DISPLAY_NAME, "Team"}}, wab::MAPI_DISTLIST);
    team.contents = {ann.entryId, bob.entryId};
    s->top.insert(s->top.begin() + 1, team.entryId);
    testing::TestRun run;
    IterWAB reader = readerOver(run, s);
    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[1].isEmpty());
    EXPECT_EQ(entries[2][Field::FullName], "Bob");
    ASSERT_FALSE(reader.listsDone());
    IterBase* list = reader.nextList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->name(), "Team");
    std::vector<std::string> members;
    for (const Entry& m : entriesOf(*list)) members.push_back(m[Field::FullName]);
    EXPECT_EQ(members, (std::vector<std::string>{"Ann", "Bob"}));
    EXPECT_TRUE(reader.listsDone());
}

TEST(WabReader, FoldersAreNestedReaders) {
    auto s = storeWith({});
    auto& ann = s->add({{wab::PR_DISPLAY_NAME, "Ann"}});
    auto& work = s->add({{wab::PR_DISPLAY_NAME, "Work"}}, wab::MAPI_ABCONT);
    work.contents = {ann.entryId};
    s->folders = {work.entryId};
    testing::TestRun run;
    IterWAB reader = readerOver(run, s);
    EXPECT_TRUE(reader.hasFolders);
    IterBase* folder = reader.nextFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->name(), "Work");
    EXPECT_EQ(entriesOf(*folder)[0][Field::FullName], "Ann");
    EXPECT_TRUE(reader.foldersDone());
    EXPECT_EQ(reader.nextFolder(), nullptr);
}

TEST(WabReader, ATableThatStopsAnsweringEndsTheReading) {
    auto s = storeWith({{{wab::PR_DISPLAY_NAME, "Ann"}}, {{wab::PR_DISPLAY_NAME, "Bob"}}});
    s->results["QueryRows"] = wab::E_FAIL;
    testing::TestRun run;
    IterWAB reader = readerOver(run, s);
    EXPECT_EQ(entriesOf(reader).size(), 1u);
    EXPECT_TRUE(reader.atEnd());
}

TEST(WabReader, OpensWithProfilesOnlyForTheDefaultStoreOfVersionsFiveToNine) {
    struct Case {
        std::string file;
        std::string version;
        std::uint32_t flags;
        std::string opened;
    };
    const std::vector<Case> cases = {
        {"Default", "5.0", wab::WAB_ENABLE_PROFILES, ""},
        {"", "9", wab::WAB_ENABLE_PROFILES, ""},
        {"Default", "4.0", 0, ""},
        {"Default", "10.0", 0, ""},
        {"Default", "", 0, ""},
        {"book.wab", "6.0", 0, "book.wab"},
    };
    for (const auto& c : cases) {
        auto s = storeWith({});
        testing::TestRun run;
        IterWAB reader = readerOver(run, s, c.file, c.version);
        ASSERT_EQ(s->opened.size(), 1u);
        EXPECT_EQ(s->opened[0].flags, c.flags) << c.file << " " << c.version;
        EXPECT_EQ(s->opened[0].fileName, c.opened);
        EXPECT_EQ(s->opened[0].cbSize, 32u);
    }
}

TEST(WabReader, AFailedConstructionIsReportedOnceAndDeliversNothing) {
    for (const char* call : {"load", "WABOpen", "GetPAB", "OpenEntry", "GetContentsTable",
                             "SetColumns", "GetRowCount", "GetHierarchyTable"}) {
        auto s = storeWith({{{wab::PR_DISPLAY_NAME, "Ann"}}});
        if (std::string(call) == "load") {
            s->loads = false;
        } else {
            s->results[call] = wab::E_FAIL;
        }
        testing::TestRun run;
        NewAdbook book(run);
        IterWAB reader = readerOver(run, s);
        book.fromStart(reader);
        EXPECT_EQ(book.entryCount(), 0) << call;
        ASSERT_EQ(run.prompts.messages.size(), 1u) << call;
        if (std::string(call) == "load") {
            EXPECT_EQ(run.prompts.messages[0].caption, "Error loading WAB DLL");
        }
    }
}

TEST(WabWriter, StoresContactsWithThe35PropertiesAndListsWithTheirMembers) {
    auto s = storeWith({});
    testing::TestRun run;
    ToWAB writer(run, std::make_shared<testing::FakeWabLibrary>(s), "book.wab");
    EXPECT_TRUE(writer.wantsLists);
    ASSERT_EQ(s->opened.size(), 1u);
    EXPECT_EQ(s->opened[0].fileName, "book.wab");

    Entry ann = testing::contact("Ann Lee", "Ann@x.org", "annie");
    ann[Field::Notes] = "tea";
    testing::ScriptedReader book("", {ann, testing::contact("Bob", "bob@x.org")});
    book.list("Team",
              {testing::contact("Ann Lee", "ann@x.org"), testing::contact("Cy", "cy@x.org")});
    EXPECT_TRUE(writer.fromStart(book));

    ASSERT_EQ(s->created.size(), 4u);  // Ann, Bob, the list, Cy (not written before)
    const auto& first = s->records.at(s->created[0]);
    EXPECT_EQ(first.text.size(), 35u);
    EXPECT_EQ(first.text.at(wab::PR_ADDRTYPE), "SMTP");
    EXPECT_EQ(first.text.at(wab::PR_DISPLAY_NAME), "Ann Lee");
    EXPECT_EQ(first.text.at(0x3A4F001F), "annie");
    EXPECT_EQ(first.text.at(0x3004001F), "tea");
    EXPECT_TRUE(first.saved);
    const auto& team = s->records.at(s->created[2]);
    EXPECT_EQ(team.objectType, wab::MAPI_DISTLIST);
    EXPECT_EQ(team.text.at(wab::PR_DISPLAY_NAME), "Team");
    EXPECT_EQ(team.contents, (std::vector<std::string>{s->created[0], s->created[3]}));
    // The list's end is no contact.
    for (const auto& id : s->created) EXPECT_NE(s->records.at(id).text[wab::PR_DISPLAY_NAME], "");
}

TEST(WabWriter, RefusedEntriesAreCountedAndReported) {
    struct Case {
        const char* call;
        wab::HRESULT result;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"AllocateBuffer", wab::MAPI_E_INVALID_PARAMETER, {"Zero returned!", "Zero returned!"}},
        {"SetProps",
         wab::E_FAIL,
         {"Read Only", "Property 3 has error -2147024809", "Read Only",
          "Property 3 has error -2147024809"}},
        {"SaveChanges", wab::E_FAIL, {}},
    };
    for (const auto& c : cases) {
        auto s = storeWith({});
        s->results[c.call] = c.result;
        s->problems = {{1, 0, wab::MAPI_E_NO_ACCESS}, {3, 0, wab::MAPI_E_INVALID_PARAMETER}};
        testing::TestRun run;
        ToWAB writer(run, std::make_shared<testing::FakeWabLibrary>(s), "");
        EXPECT_FALSE(writer.write(testing::contact("Ann")));
        EXPECT_FALSE(writer.write(testing::contact("Bob")));
        EXPECT_FALSE(writer.finish()) << c.call;
        EXPECT_EQ(writer.abandoned(), 2) << c.call;
        std::vector<std::string> texts;
        for (const auto& m : run.prompts.messages) texts.push_back(m.text);
        ASSERT_FALSE(texts.empty());
        EXPECT_NE(texts.back().find("2 entries could not be stored"), std::string::npos);
        texts.pop_back();
        EXPECT_EQ(texts, c.messages) << c.call;
    }
}

TEST(WabWriter, ErrorsReturnedGoesOn) {
    auto s = storeWith({});
    s->results["AllocateBuffer"] = wab::MAPI_W_ERRORS_RETURNED;
    testing::TestRun run;
    ToWAB writer(run, std::make_shared<testing::FakeWabLibrary>(s), "");
    EXPECT_TRUE(writer.write(testing::contact("Ann")));
    EXPECT_TRUE(writer.finish());
    EXPECT_EQ(s->created.size(), 1u);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "Errors returned!");
}

TEST(WabWriter, AStoreThatCannotBeOpenedWritesNothingAndFails) {
    for (const char* call : {"load", "GetProps"}) {
        auto s = storeWith({});
        if (std::string(call) == "load") {
            s->loads = false;
        } else {
            s->results[call] = wab::E_FAIL;
        }
        testing::TestRun run;
        ToWAB writer(run, std::make_shared<testing::FakeWabLibrary>(s), "");
        EXPECT_TRUE(writer.unusable()) << call;
        EXPECT_FALSE(writer.write(testing::contact("Ann")));
        EXPECT_FALSE(writer.finish());
        EXPECT_TRUE(s->created.empty());
        EXPECT_EQ(run.prompts.messages.size(), 1u) << call;
    }
}

// The Windows Address Book file written by Outlook Express (see samples/SOURCES.md).
TEST(WabFile, ReadsOnlyTheLiveRecordsOfARealFile) {
    const std::string path = std::string(VESK_SAMPLES_DIR) + "/wab/tb-OutlookExpress.wab";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no samples";
    testing::TestRun run;
    IterWAB reader(run, wab::fileLibrary(""), path, true);
    EXPECT_TRUE(entriesOf(reader).empty());
    // The one live contact is in the identity's folder, whose name the file keeps garbled.
    IterBase* folder = reader.nextFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->name(), "??? ???? の連絡先");
    const auto entries = entriesOf(*folder);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "John Doe");
    EXPECT_EQ(entries[0][Field::FirstName], "John");
    EXPECT_EQ(entries[0][Field::LastName], "Doe");
    EXPECT_EQ(entries[0][Field::Email], "johndoe@host.invalid");
    EXPECT_EQ(entries[0].sourceId, "6");
    EXPECT_TRUE(reader.listsDone());
    EXPECT_EQ(reader.nextFolder(), nullptr);
}

/// A little-endian 32-bit number.
std::string le(std::uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

/// A .wab file built from the layout: the header, the index table and `records`.
std::string wabFile(const std::vector<std::string>& records,
                    const std::vector<std::uint32_t>& ids) {
    std::string out("\x9C\xCB\xCB\x8D\x13\x75\xD2\x11\x91\x58\x00\xC0\x4F\x79\x56\xA4", 16);
    out += le(0) + le(static_cast<std::uint32_t>(ids.size()));
    const std::uint32_t indexAt = 0x100;
    out += le(4000) + le(static_cast<std::uint32_t>(8 * ids.size())) + le(indexAt) +
           le(static_cast<std::uint32_t>(ids.size()));
    out.resize(indexAt, '\0');
    std::uint32_t at = indexAt + 4000;
    std::string index;
    for (std::size_t i = 0; i < records.size(); ++i) {
        index += le(ids[i]) + le(at);
        at += static_cast<std::uint32_t>(records[i].size());
    }
    out += index;
    out.resize(indexAt + 4000, '\0');
    for (const auto& r : records) out += r;
    return out;
}

std::string wabRecord(std::uint32_t id, std::uint32_t live,
                      const std::vector<std::pair<std::uint32_t, std::string>>& props,
                      std::uint32_t kind = 1) {
    std::string tags;
    std::string data;
    for (const auto& [tag, value] : props) {
        tags += le(tag);
        data += le(tag) + le(static_cast<std::uint32_t>(value.size())) + value;
    }
    const auto n = static_cast<std::uint32_t>(props.size());
    return le(live) + le(kind) + le(id) + le(n) + le(0x20) + le(4 * n) + le(4 * n) +
           le(static_cast<std::uint32_t>(data.size())) + tags + data;
}

std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out + std::string(2, '\0');
}

TEST(WabFile, ReadsDistributionListsAndSkipsDeadAndCutRecords) {
    const std::string tag = std::string("\x02\x11\x00\x66", 4);
    // Members: the dead record 3, Ann (2), the list itself (4) and the unknown 5.
    const std::string values =
        le(4) + le(32) + le(4) + le(3) + le(4) + le(2) + le(4) + le(4) + le(4) + le(5);
    // Built by hand: header, three tags, then the data of the three properties.
    std::string data = le(wab::PR_OBJECT_TYPE) + le(4) + le(8) + le(wab::PR_DISPLAY_NAME) + le(10) +
                       utf16("Team") + tag + values;
    std::string header = le(1) + le(1) + le(4) + le(3) + le(0x20) + le(12) + le(12) +
                         le(static_cast<std::uint32_t>(data.size()));
    const std::string listRecord =
        header + le(wab::PR_OBJECT_TYPE) + le(wab::PR_DISPLAY_NAME) + tag + data;

    const std::string file =
        wabFile({wabRecord(2, 1, {{wab::PR_DISPLAY_NAME, utf16("Ann")}}),
                 wabRecord(3, 0, {{wab::PR_DISPLAY_NAME, utf16("Old Ann")}}), listRecord,
                 wabRecord(9, 1, {{wab::PR_DISPLAY_NAME, std::string(400, 'x')}}).substr(0, 60)},
                {2, 3, 4, 9});
    testing::TempDir dir;
    const std::string path = dir.file("book.wab", file);
    testing::TestRun run;
    IterWAB reader(run, wab::fileLibrary(""), path, true);
    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann");
    EXPECT_TRUE(entries[1].isEmpty());
    IterBase* team = reader.nextList();
    ASSERT_NE(team, nullptr);
    EXPECT_EQ(team->name(), "Team");
    const auto got = entriesOf(*team);
    ASSERT_EQ(got.size(), 1u);  // the dead record 3 and the unknown 5 are no members
    EXPECT_EQ(got[0][Field::FullName], "Ann");
}

TEST(WabFile, FolderRecordsAreFoldersHoldingTheirLiveContacts) {
    // The folder names Bea (3), the dead Old Bea (4) and the missing 8; Ann (2) is in none.
    const std::string members = le(3) + le(16) + le(4) + le(3) + le(4) + le(4) + le(4) + le(8);
    const std::string multi = std::string("\x02\x11\x00\x66", 4);
    std::string data = le(wab::PR_DISPLAY_NAME) + le(10) + utf16("Work") + multi + members;
    const std::string folder = le(1) + le(wab::kRecordFolder) + le(5) + le(2) + le(0x20) + le(8) +
                               le(8) + le(static_cast<std::uint32_t>(data.size())) +
                               le(wab::PR_DISPLAY_NAME) + multi + data;
    const std::string file =
        wabFile({wabRecord(2, 1, {{wab::PR_DISPLAY_NAME, utf16("Ann")}}),
                 wabRecord(3, 1, {{wab::PR_DISPLAY_NAME, utf16("Bea")}}),
                 wabRecord(4, 0, {{wab::PR_DISPLAY_NAME, utf16("Old Bea")}}), folder},
                {2, 3, 4, 5});
    testing::TempDir dir;
    testing::TestRun run;
    IterWAB reader(run, wab::fileLibrary(""), dir.file("book.wab", file), true);
    const auto top = entriesOf(reader);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0][Field::FullName], "Ann");
    EXPECT_TRUE(reader.hasFolders);
    IterBase* work = reader.nextFolder();
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->name(), "Work");
    const auto inside = entriesOf(*work);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0][Field::FullName], "Bea");
    EXPECT_EQ(reader.nextFolder(), nullptr);
}

TEST(WabFile, DefaultIsTheWinePrefixsStore) {
    testing::TempDir dir;
    const std::string prefix = dir.path().string();
    std::filesystem::create_directories(prefix + "/drive_c/users/me");
    testing::TestRun run;
    run.state<Environment>().set("WINEPREFIX", prefix);
    EXPECT_EQ(wab::defaultWabFile(run), "");
    WriteRegistryValue(run.store, RootKey::CurrentUser,
                       "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "", "C:\\users\\me\\me.wab",
                       ValueType::String);
    EXPECT_EQ(wab::defaultWabFile(run), prefix + "/drive_c/users/me/me.wab");
}

TEST(WabFile, EntryIdentifiersRoundTrip) {
    for (std::uint32_t id : {1u, 6u, 4000000000u}) {
        EXPECT_EQ(wab::recordIdOf(wab::entryIdOf(id)), id);
    }
    EXPECT_EQ(wab::recordIdOf(std::string("\x07\0\0\0", 4)), 7u);
    EXPECT_EQ(wab::recordIdOf("junk!"), 0u);
}

}  // namespace
}  // namespace vesk
