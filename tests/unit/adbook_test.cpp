#include "model/adbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/prompt.h"
#include "platform/trace.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::contact;
using testing::ScriptedReader;

std::vector<std::string> fullNames(NewAdbook& book) {
    std::vector<std::string> out;
    for (int i = 0; i < book.entryCount(); ++i) out.push_back(book.entryAt(i)[Field::FullName]);
    return out;
}

std::vector<std::string> memberNames(const DistList& list) {
    std::vector<std::string> out;
    for (const Entry* e : list.members()) out.push_back((*e)[Field::FullName]);
    return out;
}

TEST(NewAdbook, NewBookIsEmptyContacts) {
    testing::TestRun run;
    NewAdbook book(run);
    EXPECT_EQ(book.name(), "Contacts");
    EXPECT_EQ(book.parent(), nullptr);
    EXPECT_TRUE(book.hasFolders);
    EXPECT_FALSE(book.stopRequested);
    EXPECT_TRUE(book.rewind());
    EXPECT_EQ(book.entryCount(), 0);
    EXPECT_TRUE(book.atEnd());
    EXPECT_TRUE(book.foldersDone());
    EXPECT_TRUE(book.listsDone());
}

TEST(NewAdbook, AddEntryCleansQuotesAndBrackets) {
    testing::TestRun run;
    NewAdbook book(run);
    Entry e = contact("\"\nAnn Lee\"", "\"<ann@x.org>\"", "\"annie\"");
    e[Field::Organization] = "\"Quoted\" Inc";
    e[Field::HomePhone] = "\"555\"";
    e[Field::Notes] = "Ask about \"Project X\"";
    e[Field::JobTitle] = "\"Boss\"";
    e[Field::Department] = "\"\"Sales\"\"";
    ASSERT_TRUE(book.addEntry(e));
    const Entry got = book.entryAt(0);
    EXPECT_EQ(got[Field::FullName], "Ann Lee");
    EXPECT_EQ(got[Field::Email], "ann@x.org");
    // Quotes in other fields are data: a format that quotes values unquotes them itself.
    EXPECT_EQ(got[Field::Nickname], "\"annie\"");
    EXPECT_EQ(got[Field::Organization], "\"Quoted\" Inc");
    EXPECT_EQ(got[Field::HomePhone], "\"555\"");
    EXPECT_EQ(got[Field::Notes], "Ask about \"Project X\"");
    // Beyond the street, one pair that encloses the whole value goes.
    EXPECT_EQ(got[Field::JobTitle], "Boss");
    EXPECT_EQ(got[Field::Department], "\"Sales\"");
    EXPECT_EQ(got[Field::FirstName], "Ann");
    EXPECT_EQ(got[Field::LastName], "Lee");
}

TEST(NewAdbook, AddEntryDropsOnlyEntriesWithNothingInThem) {
    testing::TestRun run;
    NewAdbook book(run);
    EXPECT_FALSE(book.addEntry(Entry()));
    EXPECT_FALSE(book.addEntry(contact("\"\"", "<>")));  // nothing left after cleaning
    Entry company;
    company[Field::Organization] = "Acme Plumbing";
    company[Field::BusinessPhone] = "555-1234";
    EXPECT_TRUE(book.addEntry(company));
    EXPECT_EQ(book.entryCount(), 1);
}

TEST(NewAdbook, SortAndMergeKeepsTheFirstAndFillsItFromTheDuplicate) {
    testing::TestRun run;
    NewAdbook book(run);
    Entry plain = contact("Ann Lee", "ann@x.org");
    plain.mask.reset();
    plain.mask.set(0);
    plain.mask.set(1);
    Entry rich = contact("ann lee", "ANN@x.org");
    rich[Field::HomePhone] = "555";
    book.addEntry(contact("Zed"));
    book.addEntry(plain);
    book.addEntry(rich);
    book.addEntry(contact("Bob"));
    book.sortAndMerge(0);
    EXPECT_EQ(fullNames(book), (std::vector<std::string>{"Ann Lee", "Bob", "Zed"}));
    const Entry kept = book.entryAt(0);
    EXPECT_EQ(kept[Field::HomePhone], "555");
    EXPECT_TRUE(kept.mask.test(3));
}

TEST(NewAdbook, SortAndMergeComparesEveryEntryOfARunOfEqualNames) {
    // Two people of one name alternate after the stable sort: a copy is never next to its
    // original, and still goes. The earlier entry stays, in its place; the list follows it.
    testing::TestRun run;
    NewAdbook book(run);
    for (const char* mail : {"a@x", "b@x", "A@X", "c@x", "b@x", "a@x"}) {
        book.addEntry(contact("Ann Lee", mail));
    }
    book.addEntry(contact("Al", "al@x"));
    DistList* team = book.addList("Team");
    team->addMember(book.entryPtr(4));  // the second b@x
    book.sortAndMerge(0);
    EXPECT_EQ(fullNames(book), (std::vector<std::string>{"Al", "Ann Lee", "Ann Lee", "Ann Lee"}));
    std::vector<std::string> mails;
    for (int i = 0; i < book.entryCount(); ++i) mails.push_back(book.entryAt(i)[Field::Email]);
    EXPECT_EQ(mails, (std::vector<std::string>{"al@x", "a@x", "b@x", "c@x"}));
    ASSERT_EQ(team->members().size(), 1u);
    EXPECT_EQ(team->members()[0], book.entryPtr(2));
}

/// What de-duplication must give, the slow way: a stable sort by Full Name, then each entry
/// compared with every entry kept so far of its run of equal names; the first it is the same
/// as takes what only the copy knew.
std::vector<Entry> naiveSortAndMerge(std::vector<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.sortsBefore(b, 0); });
    std::vector<Entry> kept;
    std::size_t runStart = 0;
    for (const Entry& e : entries) {
        if (kept.empty() || !equalNoCase(kept.back()[Field::FullName], e[Field::FullName])) {
            runStart = kept.size();
        }
        bool merged = false;
        for (std::size_t k = runStart; k < kept.size() && !merged; ++k) {
            if (!kept[k].sameAs(e)) continue;
            fillFrom(kept[k], e);
            merged = true;
        }
        if (!merged) kept.push_back(e);
    }
    return kept;
}

std::string dumpEntries(const std::vector<Entry>& entries) {
    std::string out;
    for (const Entry& e : entries) {
        out += maskToText(e.mask) + ":";
        for (const auto& f : e.allFields()) out += f + "|";
        out += "\n";
    }
    return out;
}

TEST(NewAdbook, SortAndMergeGivesWhatComparingWithEveryKeptEntryGives) {
    // Small runs and runs of hundreds, entries of two sources (masks), and duplicates that
    // fill their survivors: the book must agree with the slow way on every one.
    testing::TestRun run;
    std::mt19937 rng(11);
    FieldMask small;
    for (int f : {0, 1, 2, 28, 30}) small.set(static_cast<std::size_t>(f));
    for (int round = 0; round < 30; ++round) {
        const std::size_t names = round % 2 == 0 ? 3 : 40;
        std::vector<Entry> entries;
        for (int i = 0; i < 600; ++i) {
            Entry e = contact(rng() % 4 == 0 ? "" : "N" + std::to_string(rng() % names),
                              std::string(1, "abcd"[rng() % 4]) + "@x");
            if (rng() % 3 == 0) e[Field::HomePhone] = std::to_string(rng() % 2);
            if (rng() % 4 == 0) e[Field::Nickname] = "n";
            if (rng() % 3 == 0) e.mask = small;
            entries.push_back(e.maskedFields());
        }
        NewAdbook book(run);
        std::vector<Entry> added;
        for (const Entry& e : entries) {
            if (book.addEntry(e)) added.push_back(*book.entryPtr(book.entryCount() - 1));
        }
        book.sortAndMerge(0);
        std::vector<Entry> got;
        for (int i = 0; i < book.entryCount(); ++i) got.push_back(*book.entryPtr(i));
        ASSERT_EQ(dumpEntries(got), dumpEntries(naiveSortAndMerge(added))) << "round " << round;
    }
}

TEST(NewAdbook, SortAndMergeOfEntriesOfOneMaskGivesWhatComparingGives) {
    // A book whose entries all share one mask is de-duplicated by a hash of the fields inside
    // it; values outside the mask (handed to the survivor by its copies) must not change which
    // entry a copy merges into.
    FieldMask few;
    for (int f : {0, 1, 2, 3, 28, 30}) few.set(static_cast<std::size_t>(f));
    struct Case {
        const char* what;
        FieldMask mask;
        std::size_t names;
        bool beyondMask;
    };
    const Case cases[] = {
        {"every field, short runs", FieldMask().set(), 60, false},
        {"every field, long runs", FieldMask().set(), 3, false},
        {"few fields, values beyond them, short runs", few, 60, true},
        {"few fields, values beyond them, long runs", few, 2, true},
    };
    testing::TestRun run;
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        for (int round = 0; round < 8; ++round) {
            NewAdbook book(run);
            std::vector<Entry> added;
            for (int i = 0; i < 500; ++i) {
                Entry e = contact(rng() % 5 == 0 ? "" : "N" + std::to_string(rng() % c.names),
                                  std::string(1, "abAB"[rng() % 4]) + "@x");
                if (rng() % 3 == 0) e[Field::HomePhone] = std::to_string(rng() % 2);
                if (rng() % 4 == 0) e[Field::Nickname] = rng() % 2 ? "n" : "N";
                e.mask = c.mask;
                e = e.maskedFields();
                if (c.beyondMask && rng() % 2 == 0) {
                    e[Field::Notes] = std::string(1, "pq"[rng() % 2]);
                    if (rng() % 2 == 0) e[Field::HomeCity] = "c";
                }
                if (book.addEntry(e)) added.push_back(*book.entryPtr(book.entryCount() - 1));
            }
            book.sortAndMerge(0);
            std::vector<Entry> got;
            for (int i = 0; i < book.entryCount(); ++i) got.push_back(*book.entryPtr(i));
            ASSERT_EQ(dumpEntries(got), dumpEntries(naiveSortAndMerge(added)))
                << c.what << ", round " << round;
        }
    }
}

TEST(NewAdbook, SortOrderIsAStableCaseFoldedSort) {
    testing::TestRun run;
    // Keys around the 16 bytes the sort keeps in its records, with case, NUL and bytes that
    // sit between the upper and lower case letters.
    std::mt19937 rng(3);
    const std::string alphabet = std::string("aAbB[_z\0\xC3\xBC", 10);
    for (int round = 0; round < 20; ++round) {
        NewAdbook book(run);
        std::vector<std::pair<std::string, int>> expected;
        for (int i = 0; i < 200; ++i) {
            std::string key(static_cast<std::size_t>(rng() % 20), 'a');
            for (char& c : key) c = alphabet[rng() % alphabet.size()];
            Entry e = contact(key, std::to_string(i) + "@x");
            e.mask.reset();
            e.mask.set(0);
            e.mask.set(1);
            book.addEntry(e);
            expected.emplace_back(book.entryAt(i)[Field::FullName], i);
        }
        std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return compareNoCase(a.first, b.first) < 0;
        });
        book.sortAndMerge(0);
        ASSERT_EQ(book.entryCount(), 200);
        for (int i = 0; i < 200; ++i) {
            ASSERT_EQ(book.entryAt(i)[Field::Email],
                      std::to_string(expected[static_cast<std::size_t>(i)].second) + "@x")
                << "round " << round << " position " << i;
        }
    }
}

TEST(NewAdbook, SortAndMergeDeduplicatesABookAlreadyInOrder) {
    testing::TestRun run;
    // Runs of equal keys found from the sort records: short keys, and keys past the 16 bytes
    // the records hold, which differ only in case or only after those bytes.
    const std::string longKey = "Alexandra Montgomery-Smith";
    NewAdbook book(run);
    book.addEntry(contact("Ann", "ann@x.org"));
    book.addEntry(contact("ann", "ANN@x.org"));
    book.addEntry(contact("ann", "other@x.org"));
    book.addEntry(contact(longKey, "alex@x.org"));
    book.addEntry(contact("ALEXANDRA MONTGOMERY-SMITH", "alex@x.org"));
    book.addEntry(contact(longKey + "e", "alex@x.org"));
    book.addEntry(contact("Bob", "bob@x.org"));
    book.sortAndMerge(0);
    const std::vector<std::string> expected = {longKey, longKey + "e", "Ann", "ann", "Bob"};
    EXPECT_EQ(fullNames(book), expected);
    EXPECT_EQ(book.entryAt(2)[Field::Email], "ann@x.org");
    book.sortAndMerge(0);  // in order and without repeats: nothing changes
    EXPECT_EQ(fullNames(book), expected);
}

TEST(NewAdbook, HandingOutEntriesWritesWhatCopiesWouldWrite) {
    testing::TestRun run;
    // A writer that keeps the name and the home phone (masked off in one entry) it is given.
    struct Writer : testing::RecordingWriter {
        using RecordingWriter::RecordingWriter;
        bool write(Entry e) override {
            RecordingWriter::write(e);
            got.back() += "/" + e[Field::HomePhone];
            return true;
        }
    };
    const auto fill = [](NewAdbook& book) {
        Entry hidden = contact("Bob", "bob@x.org");
        hidden[Field::HomePhone] = "555";
        hidden.mask.reset(static_cast<std::size_t>(Field::HomePhone));
        book.addEntry(hidden);
        Entry shown = contact("Ann", "ann@x.org");
        shown[Field::HomePhone] = "556";
        book.addEntry(shown);
        NewAdbook* folder = book.folderNamed("F");
        folder->addEntry(contact("Cid", "cid@x.org"));
        folder->addList("L")->addMember(folder->entryPtr(0));
    };
    NewAdbook copied(run);
    NewAdbook handed(run);
    fill(copied);
    fill(handed);
    handed.handOutEntries();
    Writer fromCopies(run, true, true);
    Writer fromHanded(run, true, true);
    fromCopies.fromStart(copied);
    fromHanded.fromStart(handed);
    EXPECT_EQ(fromHanded.got, fromCopies.got);
    EXPECT_EQ(fromHanded.got, (std::vector<std::string>{"15:F/", "0:Cid/", "13:L/", "0:Cid/",
                                                        "237:L/", "14:F/", "0:Bob/", "0:Ann/556"}));
    // The folder's entries stay: its list refers to them.
    EXPECT_EQ(handed.folder(0)->entryAt(0)[Field::FullName], "Cid");
}

TEST(NewAdbook, EntriesAddedWhereOthersWereRemovedKeepTheirOwnValues) {
    testing::TestRun run;
    NewAdbook book(run);
    // More than one block of the book's store, removals by position and by de-duplication,
    // places used again, then all of it cleared and filled again.
    for (int i = 0; i < 600; ++i) book.addEntry(contact("n" + std::to_string(1000 + i)));
    for (int i = 0; i < 200; ++i) book.removeEntry(i);
    for (int i = 0; i < 100; ++i) book.addEntry(contact("n" + std::to_string(1001 + 2 * i)));
    book.sortAndMerge(0);
    ASSERT_EQ(book.entryCount(), 400);
    for (int i = 0; i < 400; ++i) {
        const int n = i < 200 ? 1001 + 2 * i : 1400 + (i - 200);
        ASSERT_EQ(book.entryAt(i)[Field::FullName], "n" + std::to_string(n)) << i;
    }
    book.clear();
    for (int i = 0; i < 300; ++i) book.addEntry(contact("m" + std::to_string(100 + i)));
    ASSERT_EQ(book.entryCount(), 300);
    EXPECT_EQ(book.entryAt(299)[Field::FullName], "m399");
}

TEST(NewAdbook, SortAndMergeSortsByTheFieldItIsGiven) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("B", "a@x"));
    book.addEntry(contact("A", "b@x"));
    book.sortAndMerge(1);
    EXPECT_EQ(fullNames(book), (std::vector<std::string>{"B", "A"}));
    book.sortAndMerge(0);
    EXPECT_EQ(fullNames(book), (std::vector<std::string>{"A", "B"}));
}

TEST(NewAdbook, FoldersAndListsAreFoundByExactName) {
    testing::TestRun run;
    NewAdbook book(run);
    ASSERT_NE(book.addFolder("Homework"), nullptr);
    EXPECT_EQ(book.folderIndex("Work"), -1);
    EXPECT_EQ(book.folderIndex(""), -1);
    Adbook* work = book.addFolder("Work");
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(book.addFolder("Work"), nullptr);
    EXPECT_EQ(book.folderIndex("Work"), 1);
    EXPECT_EQ(static_cast<NewAdbook*>(work)->parent(), &book);

    ASSERT_NE(book.addList("Teamwork"), nullptr);
    ASSERT_NE(book.addList("Team"), nullptr);
    EXPECT_EQ(book.addList("Team"), nullptr);
    EXPECT_EQ(book.listIndex("Team"), 1);

    EXPECT_FALSE(book.removeList("Work"));   // a folder is not a list
    EXPECT_TRUE(book.removeFolder("Team"));  // falls back to the list of that name
    EXPECT_EQ(book.listCount(), 1);
    EXPECT_EQ(book.listAt(0)->name(), "Teamwork");
    EXPECT_FALSE(book.removeFolder("Nothing"));
    EXPECT_TRUE(book.removeFolder("Work"));
    EXPECT_EQ(book.folderCount(), 1);
}

TEST(NewAdbook, NamesFollowRenamesRemovalsAndClear) {
    // After a rename two children may share a name: the first one is the one found.
    testing::TestRun run;
    NewAdbook book(run);
    Adbook* a = book.addFolder("A");
    book.addFolder("B");
    DistList* l = book.addList("L");
    book.addList("M");
    ASSERT_EQ(book.folderIndex("B"), 1);  // looked up once before the changes below
    ASSERT_EQ(book.listIndex("M"), 1);
    a->setName("B");
    l->setName("M");
    EXPECT_EQ(book.folderIndex("A"), -1);
    EXPECT_EQ(book.folderIndex("B"), 0);
    EXPECT_EQ(book.listIndex("L"), -1);
    EXPECT_EQ(book.listIndex("M"), 0);
    EXPECT_TRUE(book.removeChild(a));
    EXPECT_TRUE(book.removeList("M"));
    EXPECT_EQ(book.folderIndex("B"), 0);
    EXPECT_EQ(book.listIndex("M"), 0);
    NewAdbook* c = book.folderNamed("C");
    EXPECT_EQ(c, book.folder(1));
    book.clear();
    EXPECT_EQ(book.folderIndex("B"), -1);
    EXPECT_EQ(book.listIndex("M"), -1);
    EXPECT_NE(book.addFolder("B"), nullptr);

    FolderBook tree(run, "Tree");
    tree.addFolder("X");
    tree.addFolder("Y");
    EXPECT_TRUE(tree.removeFolder("X"));
    EXPECT_EQ(tree.folderIndex("Y"), 0);
    EXPECT_EQ(tree.addFolder("Y"), nullptr);
}

TEST(NewAdbook, FindIsASubstringSearchOverNameMailAndNickname) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Anna Jim", "jimbob@x.org"));
    book.addEntry(contact("Bob Smith", "bob@x.org", "bobby"));
    EXPECT_EQ(book.find("bob", 0, -1), 0);
    EXPECT_EQ(book.find("bob", 1, -1), 1);
    EXPECT_EQ(book.find("bobby", 0, -1), 1);
    EXPECT_EQ(book.find("BOB", 0, -1), -1);  // case-sensitive
    EXPECT_EQ(book.find("", 1, -1), 1);      // empty text matches the first examined
    EXPECT_EQ(book.find("Smith", 0, 1), -1);
    EXPECT_EQ(book.indexOf(book.entryPtr(1), 0, -1), 1);
    EXPECT_EQ(book.indexOf(book.entryPtr(1), 0, 1), -1);
    EXPECT_EQ(book.indexOf(book.entryPtr(0), 1, -1), -1);
}

TEST(NewAdbook, ReplaceEntryAssignsInPlaceAndStripsOneQuote) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Ann", "ann@x.org"));
    Entry* before = book.entryPtr(0);
    Entry edited = contact("\"\"Ann Lee\"", "ann@y.org");
    edited.mask.reset(5);
    edited[Field::Organization] = "kept despite mask";
    EXPECT_TRUE(book.replaceEntry(edited, 0));
    EXPECT_EQ(book.entryPtr(0), before);
    EXPECT_EQ((*before)[Field::FullName], "\"Ann Lee");
    EXPECT_EQ((*before)[Field::Organization], "kept despite mask");
    EXPECT_FALSE(book.replaceEntry(edited, 1));
    EXPECT_FALSE(book.replaceEntry(Entry(), 0));
}

TEST(DistList, MemberIsFoundByExactKeyBeforeSubstring) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Anna Jim", "jimbob@x.org"));
    book.addEntry(contact("Bob Smith", "bob@x.org"));
    book.addEntry(contact("Robert", "rob@x.org", "bob"));
    DistList* list = book.addList("Team");
    EXPECT_TRUE(list->write(contact("", "BOB@x.org")));
    EXPECT_TRUE(list->write(contact("Someone", "", "bob")));
    EXPECT_TRUE(list->write(contact("Anna Jim")));
    EXPECT_TRUE(list->write(contact("Smith")));  // no exact match: substring fallback
    EXPECT_FALSE(list->write(contact("Nobody", "nobody@x.org")));
    // A member with an address is that address: no contact merely containing its name or
    // its address stands in for it (the import makes it a contact of its own).
    EXPECT_FALSE(list->write(contact("Smith", "smith@y.org")));
    EXPECT_FALSE(list->write(contact("", "bob@x")));
    EXPECT_FALSE(list->write(Entry()));
    EXPECT_EQ(memberNames(*list),
              (std::vector<std::string>{"Bob Smith", "Robert", "Anna Jim", "Bob Smith"}));
}

TEST(DistList, MemberLookupFollowsChangesToTheBook) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Ann", "ann@x.org"));
    DistList* list = book.addList("Team");
    EXPECT_TRUE(list->write(contact("", "ANN@x.org")));  // builds the lookup
    book.addEntry(contact("Bob", "bob@x.org"));          // appended after it was built
    EXPECT_TRUE(list->write(contact("", "bob@x.org")));
    (*book.entryPtr(0))[Field::Email] = "ann@y.org";  // edited behind the book's back
    EXPECT_FALSE(list->write(contact("", "ann@x.org")));
    EXPECT_TRUE(list->write(contact("", "ann@y.org")));
    book.removeEntry(1);
    EXPECT_FALSE(list->write(contact("", "bob@x.org")));
    book.addEntry(contact("Cid", "cid@x.org"));
    book.addEntry(contact("Cid Two", "cid@x.org"));
    book.sortAndMerge(0);
    EXPECT_EQ(book.findMember(contact("", "cid@x.org")), book.entryPtr(1));  // the first one
    EXPECT_EQ(memberNames(*list), (std::vector<std::string>{"Ann", "Ann"}));
}

TEST(DistList, MembersFollowTheKeptEntryAfterDeduplication) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Bob Smith", "bob@x.org"));
    book.addEntry(contact("Ann Lee", "ann@x.org"));
    book.addEntry(contact("bob smith", "BOB@x.org"));
    DistList* list = book.addList("Team");
    list->addMember(book.entryPtr(2));  // the duplicate that will go
    list->addMember(book.entryPtr(1));
    list->addMember(book.entryPtr(0));  // the same person again, once re-pointed
    book.sortAndMerge(0);
    ASSERT_EQ(book.entryCount(), 2);
    EXPECT_EQ(memberNames(*list), (std::vector<std::string>{"Bob Smith", "Ann Lee"}));
    list->rewind();
    EXPECT_EQ(list->nextEntry()[Field::FullName], "Bob Smith");  // ASan: no freed entry read
}

TEST(DistList, RemovingAnEntryDropsItsMembership) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Ann", "a@x"));
    book.addEntry(contact("Bob", "b@x"));
    DistList* list = book.addList("Team");
    list->addMember(book.entryPtr(0));
    list->addMember(book.entryPtr(1));
    EXPECT_TRUE(book.removeEntry(0));
    EXPECT_EQ(memberNames(*list), (std::vector<std::string>{"Bob"}));
    EXPECT_FALSE(book.removeEntry(5));
}

TEST(DistList, SortAndMergeTouchesReferencesOnly) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Bob", "b@x"));
    book.addEntry(contact("Ann", "a@x"));
    book.addEntry(contact("bob", "B@x"));
    DistList* list = book.addList("Team");
    for (int i = 0; i < 3; ++i) list->addMember(book.entryPtr(i));
    list->sortAndMerge(0);
    EXPECT_EQ(memberNames(*list), (std::vector<std::string>{"Ann", "Bob"}));
    EXPECT_EQ(book.entryCount(), 3);
    EXPECT_EQ(list->indexOf(book.entryPtr(1), 0, -1), 0);
    EXPECT_EQ(list->indexOf(book.entryPtr(1), 1, -1), -1);
    // Replacing through the list changes the owner's entry.
    EXPECT_TRUE(list->replaceEntry(contact("Ann Lee", "a@x"), 0));
    EXPECT_EQ(book.entryAt(1)[Field::FullName], "Ann Lee");
    EXPECT_TRUE(list->removeEntry(0));
    EXPECT_EQ(book.entryCount(), 3);
}

TEST(ResolveFolderPath, FindsCreatesOrRevertsToTheTop) {
    testing::TestRun run;
    NewAdbook book(run);
    RecordingPrompt& prompts = run.prompts;
    RecordingTraceSink trace;
    run.setTraceSink(&trace);

    EXPECT_EQ(book.resolveFolderPath("\\Work", false), &book);  // no trailing backslash
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(trace.text, "");

    EXPECT_EQ(book.resolveFolderPath("\\Work\\", false), &book);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "It would appear that this folder does not exist. Reverting to the \"Contacts\" "
              "folder");
    EXPECT_EQ(prompts.messages[0].caption, "");
    EXPECT_EQ(book.folderCount(), 0);

    Adbook* b = book.resolveFolderPath("\\Work\\B\\", true);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->name(), "B");
    EXPECT_EQ(book.folder(0)->name(), "Work");
    EXPECT_EQ(book.resolveFolderPath("\\Work\\B\\", false), b);
    EXPECT_EQ(book.resolveFolderPath("No backslash", false), &book);
    EXPECT_NE(trace.text.find("Work\nB\n"), std::string::npos);
}

TEST(NewAdbook, ClearEmptiesEverything) {
    testing::TestRun run;
    NewAdbook book(run);
    book.addEntry(contact("Ann"));
    static_cast<NewAdbook*>(book.addFolder("F"))->addEntry(contact("Bob"));
    book.addList("L")->addMember(book.entryPtr(0));
    book.clear();
    EXPECT_EQ(book.entryCount(), 0);
    EXPECT_EQ(book.folderCount(), 0);
    EXPECT_EQ(book.listCount(), 0);
}

TEST(FolderBook, BuildsTheTreeFromSubReadersAndInlineMarkers) {
    testing::TestRun run;
    ScriptedReader reader;
    reader.folder("Sub", {});
    Entry begin = contact("Inline");
    begin.kind = KindFolderBegin;
    begin[Field::Email] = "42";
    Entry inner = contact("Deeper");
    inner.kind = KindFolderBegin;
    Entry end = contact("");
    end.kind = KindFolderEnd;
    reader.entries = {begin, contact("ignored"), inner, end, end, contact("Top")};

    FolderBook tree(run, "root", 7);
    tree.fromIter(reader, false);
    ASSERT_EQ(tree.folderCount(), 2);
    EXPECT_EQ(tree.folder(0)->name(), "Sub");
    FolderBook* inl = tree.folder(1);
    EXPECT_EQ(inl->name(), "Inline");
    EXPECT_EQ(inl->folderNumber, 42);
    ASSERT_EQ(inl->folderCount(), 1);
    EXPECT_EQ(inl->folder(0)->name(), "Deeper");
    EXPECT_EQ(tree.value(), 7);
    EXPECT_TRUE(tree.atEnd());
    EXPECT_FALSE(tree.write(contact("x")));
}

}  // namespace
}  // namespace vesk
