#include "stores/abook_sqlite.h"

#include <gtest/gtest.h>

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
    sqlite3_close(other);
    IterABSQLite after(run, path);
    EXPECT_EQ(readAll(after).cards.size(), 2u);
}

TEST_F(AbookSqlite, MorkToSqliteToMorkKeepsWhatBothHold) {
    Entry a = fullContact("a");
    Entry b = fullContact("b");
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
