#include "model/sync.h"

#include <gtest/gtest.h>

#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::contact;
using Names = std::vector<std::string>;

Names fullNames(NewAdbook& book) {
    Names out;
    for (int i = 0; i < book.entryCount(); ++i) out.push_back(book.entryAt(i)[Field::FullName]);
    return out;
}

Entry at(const std::string& name, const std::string& mail, std::int64_t time) {
    Entry e = contact(name, mail);
    e.revisionTime = time;
    return e;
}

void fill(NewAdbook& book, std::vector<Entry> entries, std::int64_t time) {
    testing::ScriptedReader reader("r", std::move(entries));
    reader.time = time;
    book.fromStart(reader);
}

TEST(Synchronize, ABookWithItselfGivesOneCopyOfEach) {
    testing::TestRun run;
    NewAdbook a(run);
    fill(a, {at("Ann", "a@x", 10), at("Bob", "b@x", 20)}, 30);
    auto result = synchronize(a, a);
    EXPECT_EQ(fullNames(*result), (Names{"Ann", "Bob"}));
    EXPECT_EQ(result->revisionTime(), 20);  // the latest entry written
}

TEST(Synchronize, TwoIdenticalCopiesWithNamesakesGiveOneCopyOfEach) {
    // A few namesakes, and more than a short run holds.
    for (const int namesakes : {3, 40}) {
        testing::TestRun run;
        NewAdbook a(run);
        NewAdbook b(run);
        std::vector<Entry> people;
        Names expected;
        for (int i = 0; i < namesakes; ++i) {
            const std::string mail = std::to_string(100 + i) + "@x";
            people.push_back(at("Ann Lee", mail, 10));
            expected.push_back("Ann Lee " + mail);
        }
        people.push_back(at("Bob", "bob@x", 10));
        expected.push_back("Bob bob@x");
        fill(a, people, 30);
        fill(b, people, 20);
        for (NewAdbook* first : {&a, &b}) {
            auto result = synchronize(*first, first == &a ? b : a);
            Names got;
            for (int i = 0; i < result->entryCount(); ++i) {
                got.push_back(result->entryAt(i)[Field::FullName] + " " +
                              result->entryAt(i)[Field::Email]);
            }
            EXPECT_EQ(got, expected) << namesakes;
        }
    }
}

TEST(Synchronize, BDecidesDeletionsAndNewerEntriesOfASurvive) {
    testing::TestRun run;
    NewAdbook a(run);
    NewAdbook b(run);
    fill(a, {at("Ann", "a@x", 10), at("Old", "old@x", 50), at("New", "new@x", 200)}, 200);
    fill(b, {at("Ann", "a@x", 10)}, 100);
    auto result = synchronize(a, b);
    EXPECT_EQ(fullNames(*result), (Names{"Ann", "New"}));
    EXPECT_EQ(result->revisionTime(), 200);
}

TEST(Synchronize, RelatedEntriesAreCombinedByRevisionTime) {
    testing::TestRun run;
    NewAdbook a(run);
    NewAdbook b(run);
    Entry older = at("Ann Lee", "ann@x.org", 10);
    older[Field::HomePhone] = "111";
    older[Field::Notes] = "from A";
    Entry newer = at("Ann Lee", "ann@x.org", 20);
    newer[Field::HomePhone] = "222";
    newer.mask.reset(static_cast<std::size_t>(Field::Notes));
    fill(a, {older}, 10);
    fill(b, {newer}, 20);
    auto result = synchronize(a, b);
    ASSERT_EQ(result->entryCount(), 1);
    const Entry got = result->entryAt(0);
    EXPECT_EQ(got[Field::HomePhone], "222");
    EXPECT_EQ(got[Field::Notes], "from A");  // only A's source supports Notes
    EXPECT_EQ(got.revisionTime, 20);
}

TEST(Synchronize, AnUndatedEntryNeverBlanksADatedOne) {
    // B comes from a file without revision times: its Ann is no newer than A's, so A's
    // phone stays, and what only B knows fills A's gaps.
    testing::TestRun run;
    NewAdbook a(run);
    NewAdbook b(run);
    Entry dated = at("Ann Lee", "ann@x.org", 1000);
    dated[Field::Nickname] = "annie";
    dated[Field::HomePhone] = "111";
    Entry undated = at("Ann Lee", "ann@x.org", 0);
    undated[Field::Nickname] = "annie";
    undated[Field::Notes] = "from B";
    fill(a, {dated}, 1000);
    fill(b, {undated}, 0);
    EXPECT_EQ(b.entryPtr(0)->revisionTime, 0);  // the book keeps "no time" as it is
    auto result = synchronize(a, b);
    ASSERT_EQ(result->entryCount(), 1);
    const Entry got = result->entryAt(0);
    EXPECT_EQ(got[Field::HomePhone], "111");
    EXPECT_EQ(got[Field::Notes], "from B");
    EXPECT_EQ(got.revisionTime, 1000);

    // An entry only the undated side holds is kept: nothing shows that B deleted it.
    NewAdbook c(run);
    fill(c, {at("Cid", "cid@x.org", 0)}, 0);
    auto kept = synchronize(c, a);
    EXPECT_EQ(fullNames(*kept), (Names{"Ann Lee", "Cid"}));
}

TEST(Synchronize, FoldersGetTheirOwnMatchFlags) {
    testing::TestRun run;
    // A has nothing at the top, five entries in Work, and one new top-level entry X; B has
    // Work with the same five. Shared flags would overflow and would hide X.
    NewAdbook a(run);
    NewAdbook b(run);
    std::vector<Entry> five;
    for (int i = 0; i < 5; ++i) five.push_back(at("W" + std::to_string(i), "w@x", 5));
    a.addFolder("Work");
    fill(*a.folder(0), five, 5);
    a.addEntry(at("X", "x@x", 500));
    a.setRevisionTime(500);
    b.addFolder("Work");
    fill(*b.folder(0), five, 100);
    b.setRevisionTime(100);

    auto result = synchronize(a, b);
    EXPECT_EQ(fullNames(*result), (Names{"X"}));
    ASSERT_EQ(result->folderCount(), 1);
    EXPECT_EQ(result->folder(0)->entryCount(), 5);
}

TEST(Synchronize, FoldersOnEitherSideAppearOnceAndListsAreKept) {
    testing::TestRun run;
    NewAdbook a(run);
    NewAdbook b(run);
    a.addFolder("Both");
    a.addFolder("OnlyA");
    a.folder(1)->addEntry(at("InA", "ina@x", 1));
    b.addFolder("Both");
    b.addFolder("OnlyB");
    fill(a, {at("Ann", "a@x", 1), at("Bob", "b@x", 1)}, 1);
    fill(b, {at("Ann", "a@x", 1), at("Bob", "b@x", 1)}, 2);
    a.addList("FromA")->addMember(a.entryPtr(0));
    b.addList("Team")->addMember(b.entryPtr(1));
    b.addList("FromA");

    auto result = synchronize(a, b);
    Names folders;
    for (int i = 0; i < result->folderCount(); ++i) folders.push_back(result->folder(i)->name());
    EXPECT_EQ(folders, (Names{"Both", "OnlyB", "OnlyA"}));
    EXPECT_EQ(fullNames(*result->folder(2)), (Names{"InA"}));
    ASSERT_EQ(result->listCount(), 2);
    EXPECT_EQ(result->listAt(0)->name(), "Team");
    ASSERT_EQ(result->listAt(0)->entryCount(), 1);
    EXPECT_EQ(result->listAt(0)->entryAt(0)[Field::FullName], "Bob");
    EXPECT_EQ(result->listAt(1)->name(), "FromA");  // B's version of the list wins
    EXPECT_EQ(result->listAt(1)->entryCount(), 0);
}

TEST(Kynt, EndMarkerAtTheTopKeepsTheResultAsCurrentBook) {
    testing::TestRun run;
    NewAdbook a(run);
    NewAdbook b(run);
    Kynt kynt(a, b);
    Entry end = contact("");
    end.kind = KindFolderEnd;
    kynt.write(end);
    Entry begin = contact("F");
    begin.kind = KindFolderBegin;
    kynt.write(begin);
    kynt.write(end);
    kynt.write(begin);  // the same folder again: found, not lost
    kynt.write(contact("Inside", "i@x"));
    kynt.write(end);
    kynt.write(contact("Top", "t@x"));
    auto result = kynt.takeResult();
    ASSERT_EQ(result->folderCount(), 1);
    EXPECT_EQ(fullNames(*result->folder(0)), (Names{"Inside"}));
    EXPECT_EQ(fullNames(*result), (Names{"Top"}));
}

}  // namespace
}  // namespace vesk
