#include "stores/outlook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "platform/outlook_pst.h"
#include "support/outlook_double.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterOL;
using iterators::IterPAB;
using testing::FakeItemData;
using testing::FakeOutlookState;

using Props = std::map<std::string, std::string>;

std::vector<Entry> entriesOf(IterBase& reader) {
    std::vector<Entry> out;
    while (!reader.atEnd() && out.size() < 100) out.push_back(reader.nextEntry());
    return out;
}

struct ReadCase {
    const char* what;
    Props props;
    Field field;
    std::string expected;
};

TEST(OutlookReader, FillsTheFieldsByTheTableRules) {
    const std::vector<ReadCase> cases = {
        {"third address only", {{"Email3Address", "c@x.org"}}, Field::Email, "c@x.org"},
        {"first address wins",
         {{"Email1Address", "a@x.org"}, {"Email2Address", "b@x.org"}},
         Field::Email,
         "a@x.org"},
        {"no name: the address", {{"Email2Address", "b@x.org"}}, Field::FullName, "b@x.org"},
        {"nickname as name",
         {{"NickName", "Bobby"}, {"Email1Address", "b@x.org"}},
         Field::FullName,
         "Bobby"},
        {"full name", {{"FullName", "Bob Lee"}, {"NickName", "Bobby"}}, Field::FullName, "Bob Lee"},
        {"street without home address", {{"HomeAddressStreet", "1 Road"}}, Field::HomeStreet, ""},
        {"street with home address",
         {{"HomeAddress", "1 Road\nTown"}, {"HomeAddressStreet", "1 Road"}},
         Field::HomeStreet,
         "1 Road"},
        {"business street without address",
         {{"BusinessAddressStreet", "2 Way"}},
         Field::BusinessStreet,
         ""},
        {"business street",
         {{"BusinessAddress", "2 Way"}, {"BusinessAddressStreet", "2 Way"}},
         Field::BusinessStreet,
         "2 Way"},
        {"notes from the body", {{"Body", "Met at the fair"}}, Field::Notes, "Met at the fair"},
        {"spouse", {{"Spouse", "Ann"}}, Field::Spouse, "Ann"},
        {"web page", {{"WebPage", "http://x.org"}}, Field::HomeWebPage, "http://x.org"},
        {"office", {{"OfficeLocation", "B12"}}, Field::Office, "B12"},
    };
    for (const auto& c : cases) {
        auto state = std::make_shared<FakeOutlookState>();
        state->contacts->addContact(c.props);
        testing::TestRun run;
        IterOL reader(run, testing::fakeOutlook(state));
        const auto entries = entriesOf(reader);
        ASSERT_EQ(entries.size(), 1u) << c.what;
        EXPECT_EQ(entries[0][c.field], c.expected) << c.what;
        EXPECT_EQ(entries[0].kind, static_cast<EntryKind>(1)) << c.what;
        EXPECT_EQ(entries[0].sourceId, "ID1") << c.what;
    }
}

TEST(OutlookReader, ListsComeBackInReverseOrderAndOtherItemsAreSkipped) {
    auto state = std::make_shared<FakeOutlookState>();
    state->contacts->addContact({{"FullName", "Ann"}});
    state->contacts->addList("First", {{"Ann", "ann@x.org"}});
    auto note = std::make_shared<FakeItemData>();
    note->kind = FakeItemData::Other;
    state->contacts->items.push_back(note);
    state->contacts->addList("Second", {{"Bob", "bob@x.org"}, {"Cy", "cy@x.org"}});
    testing::TestRun run;
    IterOL reader(run, testing::fakeOutlook(state));

    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_TRUE(entries[1].isEmpty());
    EXPECT_EQ(entries[1].kind, static_cast<EntryKind>(1));

    std::vector<std::string> names;
    std::vector<std::string> members;
    while (!reader.listsDone()) {
        IterBase* list = reader.nextList();
        ASSERT_NE(list, nullptr);
        names.push_back(list->name());
        for (const Entry& m : entriesOf(*list)) {
            members.push_back(m[Field::Nickname]);
            EXPECT_EQ(m.kind, KindContact);
            EXPECT_TRUE(m[Field::FullName].empty());
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Second", "First"}));
    EXPECT_EQ(members, (std::vector<std::string>{"bob@x.org", "cy@x.org", "ann@x.org"}));
}

TEST(OutlookReader, SubfoldersAreNestedReadersWithoutALogOn) {
    auto state = std::make_shared<FakeOutlookState>();
    auto work = testing::addFolder(state->contacts, "Work");
    work->addContact({{"FullName", "Wes"}});
    testing::TestRun run;
    {
        IterOL reader(run, testing::fakeOutlook(state));
        EXPECT_TRUE(reader.hasFolders);
        EXPECT_EQ(reader.name(), "Contacts");
        IterBase* folder = reader.nextFolder();
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(folder->name(), "Work");
        EXPECT_EQ(entriesOf(*folder)[0][Field::FullName], "Wes");
        EXPECT_TRUE(reader.foldersDone());
    }
    EXPECT_EQ(state->logons, 1);
    EXPECT_EQ(state->logoffs, 1);
}

TEST(OutlookReader, AFailedCallKeepsTheFieldsReadSoFar) {
    auto state = std::make_shared<FakeOutlookState>();
    state->contacts->addContact({{"Email1Address", "a@x.org"}, {"FullName", "Ann"}});
    state->failing.insert("ContactItem.get.HomeTelephoneNumber");
    testing::TestRun run;
    RecordingTraceSink trace;
    run.setTraceSink(&trace);
    IterOL reader(run, testing::fakeOutlook(state));
    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann");
    EXPECT_TRUE(entries[0][Field::Organization].empty());
    EXPECT_NE(trace.text.find("An Error occurred in importing Outlook Data at Checkpoint 400"),
              std::string::npos);
}

TEST(OutlookReader, AnItemThatCannotBeTakenIsPassedBy) {
    auto state = std::make_shared<FakeOutlookState>();
    state->contacts->addContact({{"FullName", "Ann"}});
    state->failing.insert("Items.Item");
    testing::TestRun run;
    IterOL reader(run, testing::fakeOutlook(state));
    EXPECT_EQ(entriesOf(reader).size(), 1u);
    EXPECT_TRUE(reader.atEnd());
}

TEST(OutlookReader, AFailedLogOnIsReportedOnceAndDeliversNothing) {
    for (const char* call : {"Application.Create", "NameSpace.Logon", "MAPIFolder.Items"}) {
        auto state = std::make_shared<FakeOutlookState>();
        state->contacts->addContact({{"FullName", "Ann"}});
        state->contacts->addList("L", {});
        state->failing.insert(call);
        testing::TestRun run;
        NewAdbook book(run);
        IterOL reader(run, testing::fakeOutlook(state));
        EXPECT_TRUE(reader.failed()) << call;
        book.fromStart(reader);
        EXPECT_EQ(book.entryCount(), 0) << call;
        EXPECT_EQ(run.prompts.messages.size(), 1u) << call;
    }
}

TEST(OutlookReader, PersonalAddressBookFollowsEachEntryToItsContact) {
    auto state = std::make_shared<FakeOutlookState>();
    auto item = state->contacts->addContact({{"FullName", "Ann"}, {"Email1Address", "a@x.org"}});
    item->entryId = std::string(48, 'E');
    state->addressEntryIds = {std::string(72, 'p') + item->entryId + "tail", "short"};
    testing::TestRun run;
    IterPAB reader(run, testing::fakeOutlook(state));
    EXPECT_EQ(reader.name(), "Personal Address Book");
    const auto entries = entriesOf(reader);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::FullName], "Ann");
    EXPECT_EQ(entries[0].kind, static_cast<EntryKind>(1));
    // The short ID is passed by without asking Outlook for an item.
    EXPECT_TRUE(entries[1].isEmpty());
    int lookups = 0;
    for (const auto& c : state->calls) lookups += c.starts_with("NameSpace.GetItemFromID");
    EXPECT_EQ(lookups, 1);
}

TEST(OutlookWriter, WritesEveryPropertyAndTheNotesIntoTheBody) {
    auto state = std::make_shared<FakeOutlookState>();
    testing::TestRun run;
    ToOutlook writer(run, testing::fakeOutlook(state));
    Entry e = testing::contact("Ann Lee", "ann@x.org", "annie");
    e[Field::Notes] = "Likes tea";
    e[Field::Spouse] = "Bo";
    ASSERT_TRUE(writer.write(e));
    ASSERT_TRUE(writer.write(Entry{}));  // an entry with every field empty still makes an item
    EXPECT_TRUE(writer.finish());
    ASSERT_EQ(state->contacts->items.size(), 2u);
    const auto& p = state->contacts->items[0]->properties;
    EXPECT_EQ(p.at("FullName"), "Ann Lee");
    EXPECT_EQ(p.at("Email1Address"), "ann@x.org");
    EXPECT_EQ(p.at("NickName"), "annie");
    EXPECT_EQ(p.at("Body"), "Likes tea");
    EXPECT_EQ(p.at("Spouse"), "Bo");
    EXPECT_EQ(p.at("HomeAddressStreet"), "");
    EXPECT_TRUE(state->contacts->items[0]->saved);
    EXPECT_TRUE(state->contacts->items[0]->closed);
    EXPECT_EQ(state->contacts->items[1]->properties.size(), 34u);
    EXPECT_EQ(state->logoffs, 1);
}

TEST(OutlookWriter, FoldersAreFoundByExactNameOrMade) {
    auto state = std::make_shared<FakeOutlookState>();
    auto work = testing::addFolder(state->contacts, "Work");
    testing::addFolder(state->contacts, "Homework");
    testing::TestRun run;
    ToOutlook writer(run, testing::fakeOutlook(state));
    EXPECT_TRUE(writer.wantsFolders);
    EXPECT_FALSE(writer.wantsLists);
    for (const char* name : {"Work", "Home"}) {
        ASSERT_TRUE(writer.write(markerEntry(KindFolderBegin, name)));
        ASSERT_TRUE(writer.write(testing::contact(std::string("in ") + name)));
        ASSERT_TRUE(writer.write(markerEntry(KindFolderEnd, name)));
    }
    ASSERT_TRUE(writer.write(testing::contact("top")));
    EXPECT_EQ(work->items.size(), 1u);
    ASSERT_EQ(state->contacts->folders.size(), 3u);
    EXPECT_EQ(state->contacts->folders[2]->name, "Home");
    EXPECT_EQ(state->contacts->folders[2]->items.size(), 1u);
    EXPECT_EQ(state->contacts->items.size(), 1u);
}

TEST(OutlookWriter, WithoutSubfoldersFoldersAreFlattenedIntoContacts) {
    auto state = std::make_shared<FakeOutlookState>();
    testing::TestRun run;
    ToOutlook writer(run, testing::fakeOutlook(state));
    EXPECT_FALSE(writer.wantsFolders);
    testing::ScriptedReader source;
    source.folder("Work", {testing::contact("Wes")});
    writer.fromStart(source);
    EXPECT_TRUE(state->contacts->folders.empty());
}

TEST(OutlookWriter, InLineListsBecomeNewListsOfTheirMembersAddresses) {
    auto state = std::make_shared<FakeOutlookState>();
    testing::TestRun run;
    ToOutlook writer(run, testing::fakeOutlook(state));
    ASSERT_TRUE(writer.write(markerEntry(KindListBegin, "Team")));
    ASSERT_TRUE(writer.write(testing::contact("Ann", "ann@x.org")));
    ASSERT_TRUE(writer.write(testing::contact("Bob")));
    ASSERT_TRUE(writer.write(markerEntry(KindListEnd, "Team")));
    ASSERT_EQ(state->contacts->items.size(), 1u);
    const auto& list = *state->contacts->items[0];
    EXPECT_EQ(list.kind, FakeItemData::List);
    EXPECT_EQ(list.listName, "Team");
    ASSERT_EQ(list.members.size(), 2u);
    EXPECT_EQ(list.members[0].first, "ann@x.org");
    EXPECT_EQ(list.members[1].first, "Bob");
    for (const auto& c : state->calls) EXPECT_NE(c, "DistListItem.Display");
}

TEST(OutlookWriter, RefusedItemsMakeTheWriteFail) {
    auto state = std::make_shared<FakeOutlookState>();
    state->failing.insert("Items.Add");
    testing::TestRun run;
    ToOutlook writer(run, testing::fakeOutlook(state));
    EXPECT_FALSE(writer.write(testing::contact("Ann")));
    EXPECT_FALSE(writer.finish());
    EXPECT_EQ(writer.refused(), 1);
    ASSERT_EQ(run.prompts.messages.size(), 1u);
}

TEST(OutlookWriter, AnUnreachableOutlookIsReportedOnceAndNothingIsWritten) {
    testing::TestRun run;
    ToOutlook writer(run,
                     outlook::unavailableOutlook("MS Outlook cannot be written on this system."));
    EXPECT_TRUE(writer.failed());
    EXPECT_FALSE(writer.write(testing::contact("Ann")));
    EXPECT_FALSE(writer.write(testing::contact("Bob")));
    EXPECT_FALSE(writer.finish());
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "MS Outlook cannot be written on this system.");
}

// Outlook data files written by Outlook, from public test suites (see samples/SOURCES.md).
std::string pstSample(const char* name) {
    const std::string path = std::string(VESK_SAMPLES_DIR) + "/pst/" + name;
    return std::filesystem::exists(path) ? path : std::string();
}

TEST(OutlookDataFile, ReadsTheContactsAndTheListOfAPst) {
    const std::string path = pstSample("java-libpst-dist-list.pst");
    if (path.empty()) GTEST_SKIP() << "no samples";
    testing::TestRun run;
    IterOL reader(run, outlook::pstApplication(path));
    ASSERT_FALSE(reader.failed());
    std::vector<Entry> contacts;
    for (Entry& e : entriesOf(reader)) {
        if (!e.isEmpty()) contacts.push_back(e);
    }
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0][Field::Email], "contact1@rjohnson.id.au");
    EXPECT_EQ(contacts[0][Field::LastName], "1");
    EXPECT_EQ(contacts[0][Field::FirstName], "contact");
    ASSERT_FALSE(reader.listsDone());
    IterBase* list = reader.nextList();
    ASSERT_NE(list, nullptr);
    std::vector<std::string> members;
    for (const Entry& m : entriesOf(*list)) members.push_back(m[Field::Nickname]);
    EXPECT_EQ(members, (std::vector<std::string>{"contact1@rjohnson.id.au", "dist1@rjohnson.id.au",
                                                 "dist2@rjohnson.id.au"}));
}

// The same Japanese contact stored as UTF-16 and, in the older file, as 8-bit text whose code
// page only the message names (as ISO-2022-JP: its Windows counterpart is Shift_JIS).
TEST(OutlookDataFile, ReadsTheSameContactFromAUnicodeAndAnAnsiFile) {
    for (const char* name : {"pst-extractor-contacts.pst", "pst-extractor-contacts97-2002.pst"}) {
        const std::string path = pstSample(name);
        if (path.empty()) GTEST_SKIP() << "no samples";
        testing::TestRun run;
        IterOL reader(run, outlook::pstApplication(path));
        std::vector<Entry> contacts;
        for (Entry& e : entriesOf(reader)) {
            if (!e.isEmpty()) contacts.push_back(e);
        }
        ASSERT_EQ(contacts.size(), 1u) << name;
        EXPECT_EQ(contacts[0][Field::Email], "test@example.com") << name;
        EXPECT_EQ(contacts[0][Field::Organization], "My work company") << name;
        EXPECT_EQ(contacts[0][Field::LastName], "イグザンプル") << name;
        EXPECT_EQ(contacts[0][Field::FullName], "Mr. イグザンプル ドット コム 殿") << name;
    }
}

TEST(OutlookDataFile, AFileThatIsNotOneIsReportedOnce) {
    testing::TestRun run;
    IterOL missing(run, outlook::pstApplication("/nonexistent/outlook.pst"));
    EXPECT_TRUE(missing.failed());
    EXPECT_TRUE(missing.atEnd());
    IterOL unnamed(run, outlook::pstApplication(""));
    EXPECT_TRUE(unnamed.failed());
    EXPECT_EQ(run.prompts.messages.size(), 2u);
}

}  // namespace
}  // namespace vesk
