#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "model/adbook.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "platform/trace.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::contact;
using testing::ScriptedReader;
using Names = std::vector<std::string>;

Names fullNames(NewAdbook& book) {
    Names out;
    for (int i = 0; i < book.entryCount(); ++i) out.push_back(book.entryAt(i)[Field::FullName]);
    return out;
}

Names memberNames(const DistList& list) {
    Names out;
    for (const Entry* e : list.members()) out.push_back((*e)[Field::FullName]);
    return out;
}

Entry marker(EntryKind kind, const std::string& name = {}) {
    Entry e = contact(name);
    e.kind = kind;
    return e;
}

TEST(Import, SortsAndRemovesDuplicatesAndCountsThem) {
    testing::TestRun run;
    ScriptedReader file("f", {contact("Bob", "bob@x.org"), contact("ann", "ann@x.org"),
                              contact("ANN", "ANN@x.org"), contact("Cid", "cid@x.org")});
    file.time = 777;
    NewAdbook book(run);
    book.fromStart(file);
    EXPECT_EQ(fullNames(book), (Names{"ann", "Bob", "Cid"}));
    EXPECT_EQ(book.duplicatesRemoved(), 1);
    EXPECT_EQ(book.revisionTime(), 777);

    book.fromStart(file);  // the same file again adds nothing
    EXPECT_EQ(book.entryCount(), 3);
    EXPECT_EQ(book.duplicatesRemoved(), 4);
}

TEST(Import, TheSameFileTwiceLeavesOneCopyOfEachEntry) {
    // People who share a name: after the second import each copy sits beside the other
    // person of that name, not beside its original.
    testing::TestRun run;
    std::vector<Entry> people;
    for (int i = 0; i < 40; ++i) {
        Entry e = contact(i % 3 == 0 ? "Ann Lee" : "Person " + std::to_string(i % 7),
                          std::to_string(i) + "@x.org");
        e.revisionTime = 0;
        people.push_back(e);
    }
    ScriptedReader file("f", people);
    NewAdbook book(run);
    book.fromStart(file);
    ASSERT_EQ(book.entryCount(), 40);
    const Names first = fullNames(book);
    for (int round = 0; round < 2; ++round) {
        book.fromStart(file);
        EXPECT_EQ(book.entryCount(), 40);
        EXPECT_EQ(book.duplicatesRemoved(), 40);
        EXPECT_EQ(fullNames(book), first);
    }
}

TEST(Import, FoldersMergeByExactNameFromSubReadersAndInlineMarkers) {
    testing::TestRun run;
    NewAdbook book(run);
    static_cast<NewAdbook*>(book.addFolder("Homework"))->addEntry(contact("H", "h@x"));
    ScriptedReader file("f", {marker(KindFolderBegin, "Work"), contact("W2", "w2@x"),
                              marker(KindFolderBegin, "Deep"), contact("D", "d@x"),
                              marker(KindFolderEnd), marker(KindFolderEnd), contact("Top", "t@x")});
    file.folder("Work", {contact("W1", "w1@x")});
    book.fromStart(file);
    ASSERT_EQ(book.folderCount(), 2);
    NewAdbook* work = book.folder(1);
    EXPECT_EQ(work->name(), "Work");
    EXPECT_EQ(fullNames(*work), (Names{"W1", "W2"}));
    ASSERT_EQ(work->folderCount(), 1);
    EXPECT_EQ(fullNames(*work->folder(0)), (Names{"D"}));
    EXPECT_EQ(fullNames(*book.folder(0)), (Names{"H"}));  // Homework untouched
    EXPECT_EQ(fullNames(book), (Names{"Top"}));
}

TEST(Import, AFolderEnteredAgainAndAgainIsSortedOnceWithEverythingItGot) {
    // Sibling folders of one name become one folder; a list in an early one still finds a
    // contact that only a later one brings, and the repeats of all rounds count as merged.
    testing::TestRun run;
    std::vector<Entry> script;
    const auto folder = [&](std::vector<Entry> inside) {
        script.push_back(marker(KindFolderBegin, "f"));
        for (Entry& e : inside) script.push_back(std::move(e));
        script.push_back(marker(KindFolderEnd));
    };
    folder({contact("Cid", "cid@x.org"), marker(KindListBegin, "Team"), contact("", "ann@x.org"),
            marker(KindListEnd, "Team")});
    folder({contact("Bob", "bob@x.org"), contact("cid", "cid@x.org")});
    folder({contact("Ann", "ann@x.org"), contact("Bob", "bob@x.org")});
    ScriptedReader file("file", script);
    NewAdbook book(run);
    book.fromStart(file);
    ASSERT_EQ(book.folderCount(), 1);
    NewAdbook& f = *book.folder(0);
    EXPECT_EQ(fullNames(f), (Names{"Ann", "Bob", "Cid"}));
    EXPECT_EQ(f.duplicatesRemoved(), 2);
    EXPECT_EQ(f.membersAdded(), 0);
    ASSERT_EQ(f.listCount(), 1);
    EXPECT_EQ(memberNames(*f.listAt(0)), (Names{"Ann"}));
}

TEST(Import, InlineListResolvesMembersThatComeAfterIt) {
    testing::TestRun run;
    ScriptedReader file(
        "f", {marker(KindListBegin, "Team"), contact("", "bob@x.org"), contact("Ann Lee"),
              marker(KindListEnd, "Team"), contact("Bob Smith", "bob@x.org"),
              contact("Ann Lee", "ann@x.org"), contact("Jim", "jimbob@x.org")});
    NewAdbook book(run);
    book.fromStart(file);
    ASSERT_EQ(book.listCount(), 1);
    EXPECT_EQ(memberNames(*book.listAt(0)), (Names{"Bob Smith", "Ann Lee"}));
    EXPECT_EQ(book.entryCount(), 3);
}

TEST(Import, AListMemberWithoutAContactBecomesOneAndStaysInTheList) {
    // A list of addresses (Pine, Pegasus, Eudora, LDIF): members the book holds no contact
    // for are kept as contacts of their own, with the address and the name given, once each.
    // A bare nickname that names nothing may name another list: it makes no contact.
    testing::TestRun run;
    ScriptedReader file("f", {contact("Ann Lee", "ann@x.org"), marker(KindListBegin, "Team"),
                              contact("", "ann@x.org"), contact("New Person", "new@y.org"),
                              contact("", "", "other-list"), contact("", "NEW@y.org"),
                              marker(KindListEnd, "Team"), marker(KindListBegin, "Two"),
                              contact("Zed", "zed@z.org"), marker(KindListEnd, "Two")});
    file.list("Sub", {contact("", "sub@s.org"), contact("Ann Lee", "ann@x.org")});
    NewAdbook book(run);
    book.fromStart(file);
    EXPECT_EQ(fullNames(book), (Names{"", "Ann Lee", "New Person", "Zed"}));  // sorted
    EXPECT_EQ(book.membersAdded(), 3);
    ASSERT_EQ(book.listCount(), 3);
    EXPECT_EQ(memberNames(*book.listAt(0)), (Names{"Ann Lee", "New Person"}));
    EXPECT_EQ(memberNames(*book.listAt(1)), (Names{"Zed"}));
    EXPECT_EQ(memberNames(*book.listAt(2)), (Names{"", "Ann Lee"}));
    EXPECT_EQ(book.listAt(2)->members()[0], book.entryPtr(0));
    EXPECT_EQ((*book.entryPtr(0))[Field::Email], "sub@s.org");

    book.fromStart(file);  // the second time they are contacts already
    EXPECT_EQ(book.entryCount(), 4);
    EXPECT_EQ(book.membersAdded(), 0);
    EXPECT_EQ(memberNames(*book.listAt(0)), (Names{"Ann Lee", "New Person"}));
}

TEST(Import, ListSubReadersResolveAgainstTheDeduplicatedBook) {
    testing::TestRun run;
    ScriptedReader file("f", {contact("Bob", "bob@x.org"), contact("bob", "bob@x.org")});
    file.list("Team", {contact("bob", "bob@x.org")});
    NewAdbook book(run);
    book.addList("Team");
    book.fromStart(file);
    ASSERT_EQ(book.listCount(), 1);  // the existing list took the members
    EXPECT_EQ(memberNames(*book.listAt(0)), (Names{"Bob"}));
}

TEST(Import, ListsOfABookThatWasWalkedKeepTheirMembers) {
    // A save, a merge or the window reads a book's lists to their end; importing the book
    // afterwards must still give the lists with their members.
    testing::TestRun run;
    NewAdbook source(run);
    source.addEntry(contact("Ann", "ann@x.org"));
    source.addEntry(contact("Bob", "bob@x.org"));
    DistList* team = source.addList("Team");
    team->write(contact("Ann", "ann@x.org"));
    team->write(contact("Bob", "bob@x.org"));
    testing::RecordingWriter saved(run, true, true);
    saved.fromStart(source);
    ASSERT_EQ(saved.got.size(), 6u);  // two contacts, the list's begin, two members, its end

    for (int round = 0; round < 2; ++round) {  // and again, onto a book that holds them
        NewAdbook copy(run);
        copy.fromStart(source);
        if (round == 1) copy.fromStart(source);
        ASSERT_EQ(copy.listCount(), 1);
        EXPECT_EQ(memberNames(*copy.listAt(0)), (Names{"Ann", "Bob"})) << round;
    }
}

TEST(Import, CancelKeepsWhatWasReadSortedAndDeduplicated) {
    testing::TestRun run;
    std::vector<Entry> many;
    for (int i = 9; i >= 0; --i) many.push_back(contact("N" + std::to_string(i % 5), "m@x"));
    ScriptedReader file("f", many);
    RecordingProgress progress;
    progress.cancelAtPump = 2;
    run.setProgress(&progress);
    NewAdbook book(run);
    book.fromStart(file);
    EXPECT_EQ(fullNames(book), (Names{"N0", "N1", "N2", "N3", "N4"}));
    EXPECT_EQ(file.reads, 5);
    EXPECT_TRUE(book.stopRequested);
    EXPECT_EQ(progress.items, (std::vector<int>{0, 5}));
    EXPECT_EQ(progress.percents, (std::vector<int>{0, 50}));
}

class ThrowingReader : public ScriptedReader {
  public:
    using ScriptedReader::ScriptedReader;
    Entry nextEntry() override {
        Entry e = ScriptedReader::nextEntry();
        if (e[Field::FullName] == "bad") throw std::runtime_error("unreadable card");
        if (e[Field::FullName] == "odd") throw 42;
        return e;
    }
};

TEST(Import, AFailingEntryIsReportedAndTheImportGoesOn) {
    ThrowingReader file("f",
                        {contact("A", "a@x"), contact("bad"), contact("odd"), contact("B", "b@x")});
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    NewAdbook book(run);
    book.fromStart(file);
    EXPECT_EQ(fullNames(book), (Names{"A", "B"}));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "unreadable card");
    EXPECT_EQ(prompts.messages[0].caption, "NewAdbook.fromIter");
    EXPECT_EQ(prompts.messages[1].text, "Recon we caught us an error, we did");
}

class StuckReader : public ScriptedReader {
  public:
    bool atEnd() override { return false; }
    Entry nextEntry() override { throw std::runtime_error("stuck"); }
};

TEST(Import, AReaderThatNeverAdvancesCannotHangTheImport) {
    StuckReader file;
    RecordingPrompt prompts;
    MemorySettingsStore runStore;
    RunContext run{prompts, runStore};
    NewAdbook book(run);
    book.fromStart(file);
    EXPECT_EQ(book.entryCount(), 0);
    EXPECT_LE(prompts.messages.size(), 16u);
}

/// An entry of a source that holds only names and addresses (a plain text list).
Entry plain(const std::string& full, const std::string& mail, const std::string& nick = {}) {
    Entry e = contact(full, mail, nick);
    e.mask.reset();
    for (Field f : {Field::FullName, Field::Email, Field::Nickname}) {
        e.mask.set(static_cast<std::size_t>(f));
    }
    return e;
}

TEST(MergeEntry, DuplicateIsAbsorbedUnrelatedIsAddedRelatedIsMerged) {
    testing::TestRun run;
    NewAdbook book(run);
    ScriptedReader file("f", {plain("Ann Lee", "ann@x.org"), plain("Cid", "cid@x.org")});
    book.fromStart(file);
    RecordingPrompt& prompts = run.prompts;
    RecordingTraceSink trace;
    run.setTraceSink(&trace);

    Entry withBirthday = plain("ANN LEE", "ann@x.org");
    withBirthday.addExtra(ExtraKind::Birthday, "1980-05-17");
    EXPECT_TRUE(book.mergeEntry(withBirthday));
    EXPECT_EQ(book.entryCount(), 2);
    EXPECT_EQ(book.entryAt(0).extra(ExtraKind::Birthday), "1980-05-17");  // kept from the copy

    EXPECT_FALSE(book.mergeEntry(plain("Ann Lee", "lee@y.org")));  // similarity 50
    EXPECT_EQ(fullNames(book), (Names{"Ann Lee", "Ann Lee", "Cid"}));
    EXPECT_EQ(prompts.entrySheets, 0);
    EXPECT_TRUE(book.mergeEntry(plain("Ann Lee", "LEE@y.org")));  // the second of its name
    EXPECT_EQ(book.entryCount(), 3);

    Entry related = plain("Cid", "cid@x.org", "cee");
    EXPECT_TRUE(book.mergeEntry(related));
    EXPECT_EQ(prompts.entrySheets, 2);
    EXPECT_EQ(book.entryAt(2)[Field::Nickname], "cee");
    EXPECT_EQ(trace.text, "Cid replaces Cid\n");

    Entry undated = plain("Cid", "", "cee");
    undated.revisionTime = 0;
    EXPECT_TRUE(book.mergeEntry(undated));  // related, but older: it blanks nothing
    EXPECT_EQ(book.entryAt(2)[Field::Email], "cid@x.org");

    NewAdbook empty(run);
    EXPECT_FALSE(empty.mergeEntry(contact("Zed", "z@x")));
    EXPECT_EQ(empty.entryCount(), 1);
}

std::string dump(NewAdbook& book) {
    std::string out;
    for (int i = 0; i < book.entryCount(); ++i) {
        for (const auto& f : book.entryAt(i).allFields()) out += f + "|";
        out += "\n";
    }
    return out;
}

TEST(MergeEntry, AddingToASortedBookGivesWhatAFullResortGives) {
    testing::TestRun run;
    std::mt19937 rng(7);
    const Names pool = {"ann", "Ann", "\"ann\"", "bob", "Bob", "cid", "Eve", "eve", "zed"};
    const auto randomEntry = [&] {
        Entry e = contact(pool[rng() % pool.size()], std::string(1, "abc"[rng() % 3]) + "@x");
        if (rng() % 3 == 0) e[Field::HomePhone] = std::to_string(rng() % 2);
        return e;
    };
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        NewAdbook fast(run);
        NewAdbook naive(run);
        for (int i = 0; i < 12; ++i) {
            const Entry e = randomEntry();
            fast.addEntry(e);
            naive.addEntry(e);
        }
        fast.sortAndMerge(0);
        naive.sortAndMerge(0);
        const Entry extra = randomEntry();
        if (fast.mergeEntry(extra)) continue;  // absorbed: no insertion to compare
        naive.addEntry(extra);
        naive.sortAndMerge(0);
        ASSERT_EQ(dump(fast), dump(naive)) << "round " << round;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

}  // namespace
}  // namespace vesk
