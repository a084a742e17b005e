#include "stores/abook_sqlite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "stores/mork.h"
#include "support/sqlite_books.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterABSQLite;
using testing::BookCard;
using testing::BookList;

struct ReadBack {
    std::vector<Entry> cards;
    std::vector<std::pair<std::string, std::vector<Entry>>> lists;
};

ReadBack readAll(IterBase& reader) {
    ReadBack r;
    // Rows that are no contacts (Mork's list rows) give empty entries, which a book drops.
    while (!reader.atEnd()) {
        Entry e = reader.nextEntry();
        if (!e.isEmpty()) r.cards.push_back(std::move(e));
    }
    while (!reader.listsDone()) {
        IterBase* list = reader.nextList();
        if (!list) break;
        std::vector<Entry> members;
        while (!list->atEnd()) members.push_back(list->nextEntry());
        r.lists.emplace_back(list->name(), std::move(members));
    }
    return r;
}

/// The extras as "kind=value" strings, sorted: the order they come in does not matter.
std::vector<std::string> extrasOf(const Entry& e) {
    std::vector<std::string> out;
    for (const Extra& x : e.extras)
        out.push_back(std::to_string(static_cast<int>(x.kind)) + "=" + x.value);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> extras(std::initializer_list<std::pair<ExtraKind, std::string>> values) {
    Entry e;
    for (const auto& [kind, value] : values) e.addExtra(kind, value);
    return extrasOf(e);
}

const std::string kAnn = "0b0c9a8e-1c5e-4a7b-9d2f-3e4f5a6b7c8d";
const std::string kBen = "1b0c9a8e-1c5e-4a7b-9d2f-3e4f5a6b7c8d";
const std::string kGone = "2b0c9a8e-1c5e-4a7b-9d2f-3e4f5a6b7c8d";

class AbookSqlite : public ::testing::Test {
  protected:
    testing::TempDir dir;
    testing::TestRun run;
};

// Each layout keeps cards its own way; every one reads into the same contacts and list.
TEST_F(AbookSqlite, ReadsTheCardsAndListsOfEveryLayout) {
    const std::string vcard =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann Lee\r\nN:Lee;Ann;;;\r\n"
        "EMAIL;PREF=1:ann@x.org\r\nTEL;TYPE=work:555 1\r\nADR;TYPE=home:;;1 Main St;Oslo;;0150;"
        "Norway\r\nORG:Acme;Sales\r\nNOTE:two\\nlines\r\nUID:" +
        kAnn + "\r\nEND:VCARD\r\n";
    for (int layout : {2, 3, 4}) {
        SCOPED_TRACE(layout);
        std::vector<std::pair<std::string, std::string>> ann = {{"DisplayName", "Ann Lee"},
                                                                {"PrimaryEmail", "ann@x.org"}};
        if (layout == 4) {
            ann.emplace_back("_vCard", vcard);
        } else {
            for (const auto& p :
                 std::vector<std::pair<std::string, std::string>>{{"FirstName", "Ann"},
                                                                  {"LastName", "Lee"},
                                                                  {"WorkPhone", "555 1"},
                                                                  {"HomeAddress", "1 Main St"},
                                                                  {"HomeCity", "Oslo"},
                                                                  {"HomeZipCode", "0150"},
                                                                  {"HomeCountry", "Norway"},
                                                                  {"Company", "Acme"},
                                                                  {"Department", "Sales"},
                                                                  {"Notes", "two\nlines"}})
                ann.push_back(p);
        }
        const std::string path = dir.file("abook" + std::to_string(layout) + ".sqlite");
        // In layout 2 a card missing from the cards table is no card of the book.
        testing::makeSqliteBook(
            path, layout,
            {{kAnn, ann},
             {kBen, {{"DisplayName", "Ben"}, {"PrimaryEmail", "ben@x.org"}}},
             {kGone, {{"DisplayName", "Gone"}}}},
            {{"l1", "Team", {kBen, kAnn, "not-a-card"}}},
            layout == 2 ? std::vector<std::string>{kAnn, kBen} : std::vector<std::string>{});
        IterABSQLite reader(run, path);
        ASSERT_FALSE(reader.sourceFailed());
        const ReadBack r = readAll(reader);
        ASSERT_EQ(r.cards.size(), layout == 2 ? 2u : 3u);
        const Entry& a = r.cards[0];
        EXPECT_EQ(a.sourceId, kAnn);
        EXPECT_EQ(a[Field::FullName], "Ann Lee");
        EXPECT_EQ(a[Field::FirstName], "Ann");
        EXPECT_EQ(a[Field::LastName], "Lee");
        EXPECT_EQ(a[Field::Email], "ann@x.org");
        EXPECT_EQ(a[Field::BusinessPhone], "555 1");
        EXPECT_EQ(a[Field::HomeStreet], "1 Main St");
        EXPECT_EQ(a[Field::HomeCity], "Oslo");
        EXPECT_EQ(a[Field::HomePostalCode], "0150");
        EXPECT_EQ(a[Field::HomeCountry], "Norway");
        EXPECT_EQ(a[Field::Organization], "Acme");
        EXPECT_EQ(a[Field::Department], "Sales");
        EXPECT_EQ(a[Field::Notes].find("two"), 0u);
        EXPECT_NE(a[Field::Notes].find("lines"), std::string::npos);
        EXPECT_EQ(r.cards[1][Field::Email], "ben@x.org");
        ASSERT_EQ(r.lists.size(), 1u);
        EXPECT_EQ(r.lists[0].first, "Team");
        ASSERT_EQ(r.lists[0].second.size(), 2u);
        EXPECT_EQ(r.lists[0].second[0][Field::FullName], "Ben");
        EXPECT_EQ(r.lists[0].second[1][Field::FullName], "Ann Lee");
        EXPECT_TRUE(run.prompts.messages.empty());
    }
}

// Rows of one card may lie apart (Thunderbird adds a property as a row at the end).
TEST_F(AbookSqlite, ACardsRowsNeedNotLieTogether) {
    for (int layout : {2, 3}) {
        SCOPED_TRACE(layout);
        const std::string path = dir.file("apart" + std::to_string(layout) + ".sqlite");
        testing::makeSqliteBook(
            path, layout,
            {{kAnn, {{"DisplayName", "Ann"}}},
             {kGone, {{"DisplayName", "Gone"}}},
             {kBen, {{"DisplayName", "Ben"}}},
             {kAnn, {{"PrimaryEmail", "ann@x.org"}}},
             {kGone, {{"PrimaryEmail", "gone@x.org"}}},
             {kBen, {{"NickName", "B"}}}},
            {}, layout == 2 ? std::vector<std::string>{kAnn, kBen} : std::vector<std::string>{});
        IterABSQLite reader(run, path);
        const ReadBack r = readAll(reader);
        ASSERT_EQ(r.cards.size(), layout == 2 ? 2u : 3u);
        EXPECT_EQ(r.cards[0][Field::FullName], "Ann");
        EXPECT_EQ(r.cards[0][Field::Email], "ann@x.org");
        const Entry& ben = r.cards[layout == 2 ? 1 : 2];
        EXPECT_EQ(ben[Field::FullName], "Ben");
        EXPECT_EQ(ben[Field::Nickname], "B");
        if (layout == 3) {
            EXPECT_EQ(r.cards[1][Field::Email], "gone@x.org");
        }
    }
}

TEST_F(AbookSqlite, TheVCardTakesPrecedenceWhereItHasAValue) {
    const std::string path = dir.file("abook.sqlite");
    testing::makeSqliteBook(
        path, 4,
        {{kAnn,
          {{"DisplayName", "Old Name"},
           {"WorkPhone", "from the flat copy"},
           {"_vCard", "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:New Name\r\nEND:VCARD\r\n"}}}},
        {});
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), 1u);
    EXPECT_EQ(r.cards[0][Field::FullName], "New Name");
    EXPECT_EQ(r.cards[0][Field::BusinessPhone], "from the flat copy");
}

// Every card's vCard is read by itself: what one card's text held (a group's members, a note,
// further addresses) never turns up in the next card, and flat copies fill only the fields the
// card's own vCard leaves empty.
TEST_F(AbookSqlite, EachCardsVCardIsReadByItself) {
    const std::string kCarl = "3b0c9a8e-1c5e-4a7b-9d2f-3e4f5a6b7c8d";
    const auto vcard = [](const std::string& body) {
        return "BEGIN:VCARD\r\nVERSION:4.0\r\n" + body + "END:VCARD\r\n";
    };
    testing::makeSqliteBook(
        dir.file("abook.sqlite"), 4,
        {{kAnn,
          {{"_vCard", vcard("FN:Ann\r\nNOTE:only Ann's\r\nEMAIL;PREF=1:ann@x.org\r\n"
                            "EMAIL:ann2@x.org\r\nBDAY;VALUE=DATE:19800102\r\n")},
           {"DisplayName", "Old Ann"}}},
         {kBen, {{"_vCard", vcard("KIND:group\r\nFN:Group\r\nMEMBER:urn:uuid:" + kAnn + "\r\n")}}},
         {kCarl,
          {{"DisplayName", "Flat Carl"},
           {"NickName", "C"},
           {"NickName", ""},
           {"PrimaryEmail", "flat@x.org"},
           {"_vCard", vcard("EMAIL;PREF=1:carl@x.org\r\n")}}},
         {kGone, {{"DisplayName", "No vCard"}, {"SecondEmail", "two@x.org"}}}},
        {});
    struct Case {
        std::string fullName, email, notes, nickname;
        std::vector<std::string> extras;
    };
    const std::vector<Case> cases = {
        {"Ann", "ann@x.org", "only Ann's", "",
         extras({{ExtraKind::Uid, kAnn},
                 {ExtraKind::Email, "ann2@x.org"},
                 {ExtraKind::Birthday, "1980-01-02"}})},
        {"Group", "", "", "", extras({{ExtraKind::Uid, kBen}})},
        {"Flat Carl", "carl@x.org", "", "", extras({{ExtraKind::Uid, kCarl}})},
        {"No vCard", "", "", "",
         extras({{ExtraKind::Uid, kGone}, {ExtraKind::Email, "two@x.org"}})},
    };
    IterABSQLite reader(run, dir.file("abook.sqlite"));
    // Read twice: a rewind gives the same cards again.
    for (int pass = 0; pass < 2; ++pass) {
        reader.rewind();
        const ReadBack r = readAll(reader);
        ASSERT_EQ(r.cards.size(), cases.size()) << pass;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(std::to_string(pass) + " card " + std::to_string(i));
            EXPECT_EQ(r.cards[i][Field::FullName], cases[i].fullName);
            EXPECT_EQ(r.cards[i][Field::Email], cases[i].email);
            EXPECT_EQ(r.cards[i][Field::Notes], cases[i].notes);
            EXPECT_EQ(r.cards[i][Field::Nickname], cases[i].nickname);
            EXPECT_EQ(extrasOf(r.cards[i]), cases[i].extras);
        }
    }
}

// List members are whole cards, however often the lists and cards are read.
TEST_F(AbookSqlite, ListMembersAreWholeCardsAfterARewind) {
    const std::string path = dir.file("abook.sqlite");
    testing::makeSqliteBook(path, 4,
                            {{kAnn,
                              {{"_vCard",
                                "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEMAIL;PREF=1:ann@x.org\r\n"
                                "END:VCARD\r\n"},
                               {"NickName", "A"}}},
                             {kBen, {{"DisplayName", "Ben"}}}},
                            {{kGone, "Team", {kBen, kAnn, kGone}}});
    IterABSQLite reader(run, path);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        reader.rewind();
        const ReadBack r = readAll(reader);
        ASSERT_EQ(r.cards.size(), 2u);
        ASSERT_EQ(r.lists.size(), 1u);
        const std::vector<Entry>& members = r.lists[0].second;
        ASSERT_EQ(members.size(), 2u);  // the third is no card of the book
        EXPECT_EQ(members[0].allFields(), r.cards[1].allFields());
        EXPECT_EQ(members[1].allFields(), r.cards[0].allFields());
        EXPECT_EQ(members[1][Field::Nickname], "A");
        EXPECT_EQ(members[1].sourceId, kAnn);
    }
}

/// A contact with every field set, each value distinct and hard to keep.
Entry fullContact(const std::string& tag) {
    Entry e;
    for (int i = 0; i < kFieldCount; ++i)
        e.at(i) = tag + " " + fieldName(i) + " \xC3\xA9\xE2\x82\xAC";
    e[Field::Email] = tag + "@x.org";
    e[Field::Notes] = "a, b; c\\d\nsecond line " + std::string(80, 'x') + " \xE2\x82\xAC";
    e[Field::FullName] = tag + " J\xC3\xBCrgen M\xC3\xBCller with a long name " +
                         std::string(40, 'y') + " \xF0\x9F\x98\x80";
    return e;
}

TEST_F(AbookSqlite, AWrittenBookReadsBackWithEveryFieldAndList) {
    const std::vector<Entry> cards = {fullContact("a"), fullContact("b"), fullContact("c")};
    testing::ScriptedReader source("book", cards);
    source.list("Team \xC3\xA9", {cards[2], cards[0]});
    source.list("Solo", {cards[1]});
    const std::string path = dir.file("out.sqlite");
    ToABSQLite writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));

    EXPECT_EQ(testing::queryColumn(path, "PRAGMA user_version"), std::vector<std::string>{"4"});
    EXPECT_EQ(testing::queryColumn(path, "SELECT count(*) FROM properties WHERE name = '_vCard'"),
              std::vector<std::string>{"3"});
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), cards.size());
    for (std::size_t i = 0; i < cards.size(); ++i) {
        EXPECT_EQ(r.cards[i].allFields(), cards[i].allFields()) << i;
        EXPECT_EQ(r.cards[i].sourceId.size(), 36u);
    }
    ASSERT_EQ(r.lists.size(), 2u);
    EXPECT_EQ(r.lists[0].first, "Team \xC3\xA9");
    ASSERT_EQ(r.lists[0].second.size(), 2u);
    EXPECT_EQ(r.lists[0].second[0].allFields(), cards[2].allFields());
    EXPECT_EQ(r.lists[0].second[1].allFields(), cards[0].allFields());
    EXPECT_EQ(r.lists[1].first, "Solo");
    ASSERT_EQ(r.lists[1].second.size(), 1u);
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST_F(AbookSqlite, CardsKeepTheirUidsAndOtherIdentifiersGetNewOnes) {
    Entry kept = testing::contact("Kept", "k@x.org");
    kept.sourceId = kAnn;
    Entry other = testing::contact("Other", "o@x.org");
    other.sourceId = "42";
    Entry twin = testing::contact("Twin", "t@x.org");
    twin.sourceId = kAnn;
    testing::ScriptedReader source("book", {kept, other, twin});
    const std::string path = dir.file("out.sqlite");
    ToABSQLite writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), 3u);
    EXPECT_EQ(r.cards[0].sourceId, kAnn);
    EXPECT_NE(r.cards[1].sourceId, "42");
    EXPECT_EQ(r.cards[1].sourceId.size(), 36u);
    EXPECT_NE(r.cards[2].sourceId, kAnn);
}

// The values beyond the fields come from the flat columns of the older layouts and from the
// vCard of the current one, where the vCard wins.
TEST_F(AbookSqlite, ReadsTheExtraValuesOfEveryLayout) {
    const std::vector<std::pair<std::string, std::string>> flat = {
        {"DisplayName", "Ann"},    {"PrimaryEmail", "ann@x.org"}, {"SecondEmail", "two@x.org"},
        {"BirthYear", "1980"},     {"BirthMonth", "1"},           {"BirthDay", "2"},
        {"AnniversaryMonth", "6"}, {"AnniversaryDay", "30"}};
    const auto expected = extras({{ExtraKind::Uid, kAnn},
                                  {ExtraKind::Email, "two@x.org"},
                                  {ExtraKind::Birthday, "1980-01-02"},
                                  {ExtraKind::Anniversary, "--06-30"}});
    for (int layout : {2, 3}) {
        const std::string path = dir.file("flat" + std::to_string(layout) + ".sqlite");
        testing::makeSqliteBook(path, layout, {{kAnn, flat}}, {});
        IterABSQLite reader(run, path);
        const ReadBack r = readAll(reader);
        ASSERT_EQ(r.cards.size(), 1u) << layout;
        EXPECT_EQ(extrasOf(r.cards[0]), expected) << layout;
    }
    std::vector<std::pair<std::string, std::string>> current = flat;
    current.emplace_back("_vCard",
                         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEMAIL;PREF=1:ann@x.org\r\n"
                         "EMAIL:three@x.org\r\nEMAIL:four@x.org\r\nBDAY;VALUE=DATE:19791231\r\n"
                         "CATEGORIES:Friends,Work\\, old\r\nX-MOZILLA-HTML:TRUE\r\nUID:" +
                             kAnn + "\r\nEND:VCARD\r\n");
    const std::string path = dir.file("current.sqlite");
    testing::makeSqliteBook(path, 4, {{kAnn, current}}, {});
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), 1u);
    EXPECT_EQ(extrasOf(r.cards[0]), extras({{ExtraKind::Uid, kAnn},
                                            {ExtraKind::Email, "three@x.org"},
                                            {ExtraKind::Email, "four@x.org"},
                                            {ExtraKind::Birthday, "1979-12-31"},
                                            {ExtraKind::Anniversary, "--06-30"},
                                            {ExtraKind::Category, "Friends"},
                                            {ExtraKind::Category, "Work, old"}}));
}

// Birthdays with and without a year, anniversaries, further addresses, categories and UIDs.
TEST_F(AbookSqlite, ABookWithExtraValuesReadsBackIdentical) {
    std::vector<Entry> cards = {fullContact("a"), fullContact("b"), testing::contact("Cid")};
    cards[0].addExtra(ExtraKind::Uid, kAnn);
    cards[0].addExtra(ExtraKind::Email, "second@x.org");
    cards[0].addExtra(ExtraKind::Email, "third, with; marks@x.org");
    cards[0].addExtra(ExtraKind::Birthday, "1980-01-02");
    cards[0].addExtra(ExtraKind::Anniversary, "2005-06-30");
    cards[0].addExtra(ExtraKind::Category, "Friends, old");
    cards[0].addExtra(ExtraKind::Category, "Work");
    cards[1].addExtra(ExtraKind::Uid, kBen);
    cards[1].addExtra(ExtraKind::Birthday, "--02-29");
    cards[2].addExtra(ExtraKind::Uid, kGone);
    cards[2].addExtra(ExtraKind::Email, "only@x.org");  // an address without the field
    testing::ScriptedReader source("book", cards);
    const std::string path = dir.file("extras.sqlite");
    ASSERT_TRUE(ToABSQLite(run, path).fromStart(source));
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(r.cards[i].allFields(), cards[i].allFields()) << i;
        EXPECT_EQ(extrasOf(r.cards[i]), extrasOf(cards[i])) << i;
    }
    // Thunderbird takes the first address of the vCard as the primary one.
    EXPECT_EQ(r.cards[2][Field::Email], "only@x.org");
    EXPECT_EQ(testing::queryColumn(path, "SELECT value FROM properties WHERE card = '" + kGone +
                                             "' AND name = 'PrimaryEmail'"),
              std::vector<std::string>{"only@x.org"});
    EXPECT_EQ(testing::queryColumn(path, "SELECT value FROM properties WHERE card = '" + kAnn +
                                             "' AND name = 'SecondEmail'"),
              std::vector<std::string>{"second@x.org"});
}

// Merged into a card of the book, the entry's further addresses, dates and categories take
// the place of the card's; kinds the entry holds none of stay as the card had them.
TEST_F(AbookSqlite, MergedCardsHoldTheEntrysExtraValuesOnce) {
    const std::string path = dir.file("abook.sqlite");
    const std::string vcard =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEMAIL;PREF=1:ann@x.org\r\n"
        "EMAIL:old@x.org\r\nBDAY:19800102\r\nANNIVERSARY:20000101\r\nCATEGORIES:Old\r\n"
        "X-CUSTOM:kept\r\nUID:" +
        kAnn + "\r\nEND:VCARD\r\n";
    testing::makeSqliteBook(path, 4, {{kAnn, {{"SecondEmail", "old@x.org"}, {"_vCard", vcard}}}},
                            {});
    Entry ann = testing::contact("Ann", "ann@x.org");
    ann.sourceId = kAnn;
    ann.addExtra(ExtraKind::Email, "new@x.org");
    ann.addExtra(ExtraKind::Birthday, "1981-03-04");
    testing::ScriptedReader source("book", {ann});
    ASSERT_TRUE(ToABSQLite(run, path).fromStart(source));
    const std::string merged =
        testing::queryColumn(path, "SELECT value FROM properties WHERE name = '_vCard'")[0];
    const auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = merged.find(text); at != std::string::npos;
             at = merged.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("EMAIL"), 2u) << merged;
    EXPECT_EQ(count("EMAIL:new@x.org"), 1u) << merged;
    EXPECT_EQ(count("BDAY"), 1u) << merged;
    EXPECT_EQ(count("BDAY;VALUE=DATE:19810304"), 1u) << merged;
    EXPECT_EQ(count("ANNIVERSARY:20000101"), 1u) << merged;
    EXPECT_EQ(count("CATEGORIES:Old"), 1u) << merged;
    EXPECT_EQ(count("X-CUSTOM:kept"), 1u) << merged;
    EXPECT_EQ(testing::queryColumn(path,
                                   "SELECT value FROM properties WHERE name = "
                                   "'SecondEmail'"),
              std::vector<std::string>{"new@x.org"});
}

// Written into a book of an older layout, the values go to the flat columns it reads.
TEST_F(AbookSqlite, OlderLayoutsGetTheExtraValuesAsFlatColumns) {
    const std::string path = dir.file("abook3.sqlite");
    testing::makeSqliteBook(path, 3, {{kAnn, {{"DisplayName", "Ann"}, {"BirthYear", "1970"}}}}, {});
    Entry ann = testing::contact("Ann", "ann@x.org");
    ann.sourceId = kAnn;
    ann.addExtra(ExtraKind::Email, "two@x.org");
    ann.addExtra(ExtraKind::Birthday, "--12-24");
    ann.addExtra(ExtraKind::Anniversary, "1999-05-06");
    testing::ScriptedReader source("book", {ann});
    ASSERT_TRUE(ToABSQLite(run, path).fromStart(source));
    EXPECT_EQ(
        testing::queryColumn(path,
                             "SELECT name || '=' || value FROM properties WHERE name "
                             "IN ('SecondEmail', 'BirthYear', 'BirthMonth', "
                             "'BirthDay', 'AnniversaryYear', 'AnniversaryMonth', "
                             "'AnniversaryDay') ORDER BY name"),
        (std::vector<std::string>{"AnniversaryDay=6", "AnniversaryMonth=5", "AnniversaryYear=1999",
                                  "BirthDay=24", "BirthMonth=12", "SecondEmail=two@x.org"}));
    IterABSQLite reader(run, path);
    const ReadBack r = readAll(reader);
    ASSERT_EQ(r.cards.size(), 1u);
    EXPECT_EQ(extrasOf(r.cards[0]), extrasOf([&] {
                  Entry e = ann;
                  e.addExtra(ExtraKind::Uid, kAnn);
                  return e;
              }()));
}

// Written into an existing book, the cards it names change in what Vesk writes only.
TEST_F(AbookSqlite, WritingIntoABookLeavesWhatItDoesNotKnow) {
    const std::string path = dir.file("abook.sqlite");
    testing::makeSqliteBook(path, 4,
                            {{kAnn,
                              {{"DisplayName", "Ann"},
                               {"PopularityIndex", "7"},
                               {"_vCard",
                                "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nEMAIL;PREF=1:ann@x.org\r\n"
                                "EMAIL:second@x.org\r\nBDAY:19800102\r\nTEL;TYPE=work:1\r\nUID:" +
                                    kAnn + "\r\nEND:VCARD\r\n"}}},
                             {kBen, {{"DisplayName", "Ben"}, {"Custom1", "left alone"}}}},
                            {{"l1", "Old List", {kBen}}});
    testing::execSql(path, "CREATE TABLE extra (x TEXT); INSERT INTO extra VALUES ('kept');");
    Entry ann = testing::contact("Ann Changed", "ann@x.org");
    ann.sourceId = kAnn;
    testing::ScriptedReader source("book", {ann, testing::contact("New", "new@x.org")});
    ToABSQLite writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));

    const auto value = [&](const std::string& card, const std::string& name) {
        const auto v = testing::queryColumn(path, "SELECT value FROM properties WHERE card = '" +
                                                      card + "' AND name = '" + name + "'");
        return v.empty() ? std::string("(none)") : v[0];
    };
    EXPECT_EQ(value(kAnn, "DisplayName"), "Ann Changed");
    EXPECT_EQ(value(kAnn, "PopularityIndex"), "7");
    const std::string vcard = value(kAnn, "_vCard");
    EXPECT_NE(vcard.find("FN:Ann Changed"), std::string::npos);
    EXPECT_NE(vcard.find("BDAY:19800102"), std::string::npos);
    EXPECT_NE(vcard.find("EMAIL:second@x.org"), std::string::npos);
    EXPECT_EQ(vcard.find("TEL"), std::string::npos);  // a field Vesk writes, now empty
    EXPECT_EQ(value(kBen, "Custom1"), "left alone");
    EXPECT_EQ(testing::queryColumn(path, "SELECT count(DISTINCT card) FROM properties"),
              std::vector<std::string>{"3"});
    EXPECT_EQ(testing::queryColumn(path, "SELECT name FROM lists"),
              std::vector<std::string>{"Old List"});
    EXPECT_EQ(testing::queryColumn(path, "SELECT x FROM extra"), std::vector<std::string>{"kept"});
}

// Other SQLite files with the extension are refused, read or written, and never changed.
TEST_F(AbookSqlite, OtherFilesAreRefusedAndLeftAlone) {
    const std::string places = dir.file("places.sqlite");
    testing::execSql(places, "CREATE TABLE moz_places (url TEXT);");
    const std::string junk = dir.file("junk.sqlite", "not a database at all, just some text");
    for (const std::string& path : {places, junk}) {
        testing::TestRun r;
        IterABSQLite reader(r, path);
        EXPECT_TRUE(reader.sourceFailed()) << path;
        EXPECT_TRUE(reader.atEnd());
        ASSERT_EQ(r.prompts.messages.size(), 1u) << path;
        const std::string size = std::to_string(std::filesystem::file_size(path));
        testing::ScriptedReader source("book", {testing::contact("Ann")});
        ToABSQLite writer(r, path);
        EXPECT_FALSE(writer.fromStart(source)) << path;
        EXPECT_EQ(std::to_string(std::filesystem::file_size(path)), size);
        EXPECT_EQ(r.prompts.messages.size(), 2u) << path;
    }
}

// A book another program has open is read as it stands and not written over.
TEST_F(AbookSqlite, ABookInUseIsReadButNotWritten) {
    const std::string path = dir.file("abook.sqlite");
    testing::makeSqliteBook(path, 4, {{kAnn, {{"DisplayName", "Ann"}}}}, {});
    sqlite3* other = nullptr;
    sqlite3_open(path.c_str(), &other);
    const std::string sql = "PRAGMA journal_mode = WAL; INSERT INTO properties VALUES ('" + kBen +
                            "', 'DisplayName', 'Ben');";
    sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr);
    IterABSQLite reader(run, path);
    EXPECT_EQ(readAll(reader).cards.size(), 2u);
    testing::ScriptedReader source("book", {testing::contact("Cid")});
    ToABSQLite writer(run, path);
    EXPECT_FALSE(writer.fromStart(source));
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_NE(run.prompts.messages[0].text.find("in use"), std::string::npos);
    // The new book was built beside the old one: it goes again, leaving only the book's files.
    std::vector<std::string> files;
    for (const auto& f :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        files.push_back(f.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"abook.sqlite", "abook.sqlite-shm", "abook.sqlite-wal"}));
    sqlite3_close(other);
    IterABSQLite after(run, path);
    EXPECT_EQ(readAll(after).cards.size(), 2u);
}

TEST_F(AbookSqlite, MorkToSqliteToMorkKeepsWhatBothHold) {
    Entry a = fullContact("a");
    Entry b = fullContact("b");
    a.addExtra(ExtraKind::Email, "second@x.org");
    a.addExtra(ExtraKind::Birthday, "1980-01-02");
    b.addExtra(ExtraKind::Birthday, "--12-24");
    testing::ScriptedReader source("book", {a, b});
    source.list("Pair", {b, a});
    const std::string mab = dir.file("in.mab");
    ASSERT_TRUE(ToMAB(run, mab).fromStart(source));
    iterators::IterMAB fromMork(run, mab);
    const std::string sqlite = dir.file("mid.sqlite");
    ASSERT_TRUE(ToABSQLite(run, sqlite).fromStart(fromMork));
    IterABSQLite fromSqlite(run, sqlite);
    const std::string back = dir.file("back.mab");
    ASSERT_TRUE(ToMAB(run, back).fromStart(fromSqlite));
    iterators::IterMAB again(run, back);
    const ReadBack r = readAll(again);
    ASSERT_EQ(r.cards.size(), 2u);
    const FieldMask both = morkFormat().writeFields & abookSqliteFormat().writeFields;
    for (int f = 0; f < kFieldCount; ++f) {
        if (!both.test(static_cast<std::size_t>(f))) continue;
        EXPECT_EQ(r.cards[0].at(f), a.at(f)) << fieldName(f);
        EXPECT_EQ(r.cards[1].at(f), b.at(f)) << fieldName(f);
    }
    EXPECT_EQ(extrasOf(r.cards[0]), extrasOf(a));
    EXPECT_EQ(extrasOf(r.cards[1]), extrasOf(b));
    ASSERT_EQ(r.lists.size(), 1u);
    EXPECT_EQ(r.lists[0].first, "Pair");
    ASSERT_EQ(r.lists[0].second.size(), 2u);
    EXPECT_EQ(r.lists[0].second[0][Field::Email], "b@x.org");
}

TEST_F(AbookSqlite, IsAddressBookTellsBooksFromOtherDatabases) {
    const std::string book = dir.file("abook.sqlite");
    testing::makeSqliteBook(book, 3, {}, {});
    const std::string places = dir.file("places.sqlite");
    testing::execSql(places, "CREATE TABLE moz_places (url TEXT);");
    EXPECT_TRUE(abook::isAddressBook(book));
    EXPECT_FALSE(abook::isAddressBook(places));
    EXPECT_FALSE(abook::isAddressBook(dir.file("missing.sqlite")));
}

}  // namespace
}  // namespace vesk
