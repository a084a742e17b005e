#include "stores/opera.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "discovery/books.h"
#include "model/adbook.h"
#include "operations/dispatch.h"
#include "operations/selection.h"
#include "platform/prompt.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"
#include "support/test_run.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterOpera;
using testing::slurp;

const std::string kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
const std::string kNotThere =
    "It would appear that this folder does not exist. Reverting to the \"Contacts\" folder";

/// One line per entry: "[name" and "]" for folders, else the fields the reader fills and the
/// time, "|"-separated; line breaks shown as "/".
std::vector<std::string> dumpAll(IterBase& reader) {
    std::vector<std::string> out;
    while (!reader.atEnd() && out.size() < 1000) {
        const Entry e = reader.nextEntry();
        if (e.kind == KindFolderBegin) {
            out.push_back("[" + e[Field::FullName]);
            continue;
        }
        if (e.kind == KindFolderEnd) {
            out.push_back("]");
            continue;
        }
        std::string line;
        for (Field f : {Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                        Field::HomeWebPage, Field::Notes, Field::HomeFax, Field::HomeStreet}) {
            line += e[f] + "|";
        }
        line += std::to_string(e.revisionTime);
        for (char& c : line) {
            if (c == '\n') c = '/';
        }
        out.push_back(line);
    }
    return out;
}

struct ReadCase {
    const char* label;
    std::string text;
    std::vector<std::string> expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.label;
}

class OperaReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(OperaReading, GivesTheItemsInOrder) {
    testing::TempDir dir;
    testing::TestRun run;
    IterOpera reader(run, dir.file("Contacts.adr", GetParam().text));
    EXPECT_EQ(dumpAll(reader), GetParam().expected);
    EXPECT_TRUE(run.prompts.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OperaReading,
    ::testing::Values(
        ReadCase{"everyKey",
                 kHeader + "#CONTACT\n\tID=11\n\tNAME=Ann Lee\n\tURL=http://ann.org\n"
                           "\tCREATED=1195034040\n\tDESCRIPTION=friend\n\tSHORT NAME=an\n"
                           "\tACTIVE=YES\n\tMAIL=ann@x.org\n\tPHONE=123\n\tFAX=456\n"
                           "\tPOSTALADDRESS=Main St\n\tICON=Contact0\n\n",
                 {"Ann Lee|ann@x.org|an|123|http://ann.org|friend|456|Main St|1195034040"}},
        // A key counts at the start of its line only: SHORT NAME= and PICTURE URL= hold other
        // keys' names.
        ReadCase{"shortNameBeforeName",
                 "#CONTACT\n\tSHORT NAME=An\n\tNAME=Ann\n\tMAIL=ann\n\n",
                 {"Ann|ann|An||||||0"}},
        ReadCase{"nameBeforeShortName",
                 "#CONTACT\n\tNAME=Ann\n\tSHORT NAME=An\n\tMAIL=ann\n\n",
                 {"Ann|ann|An||||||0"}},
        ReadCase{"pictureUrlIsNoUrl",
                 "#CONTACT\n\tNAME=Ann\n\tPICTURE URL=me.png\n\n#CONTACT\n\tNAME=Bob\n"
                 "\tPICTURE URL=bob.png\n\tURL=bob.org\n\n",
                 {"Ann||||||||0", "Bob||||bob.org||||0"}},
        ReadCase{"lowerCaseKeysAndKeysWithoutTab",
                 "#CONTACT\nname=ann\n  mail=ann@x.org\n\tShort Name=a\n\n",
                 {"ann|ann@x.org|a||||||0"}},
        ReadCase{
            "firstLineOfAKeyCounts", "#CONTACT\n\tNAME=Ann\n\tNAME=Other\n\n", {"Ann||||||||0"}},
        ReadCase{"lineBreakPairs",
                 "#CONTACT\n\tNAME=Ann\n\tDESCRIPTION=one\x02\x02two\x02\x02\x02\x02three\n"
                 "\tPOSTALADDRESS=Main St\x02\x02"
                 "Bern\x02\x02\x02\x02\n\n",
                 {"Ann|||||one/two//three||Main St/Bern|0"}},
        // The last item needs no empty line after it, nor a line end.
        ReadCase{"lastItemWithoutEmptyLine",
                 "#CONTACT\n\tNAME=Ann\n\n#CONTACT\n\tNAME=Bob\n\tMAIL=bob@x.org",
                 {"Ann||||||||0", "Bob|bob@x.org|||||||0"}},
        ReadCase{"lastItemEndsWithOneLineEnd", "#CONTACT\n\tNAME=Bob\n", {"Bob||||||||0"}},
        ReadCase{"crLfLineEnds",
                 "Opera Hotlist version 2.0\r\n\r\n#FOLDER\r\n\tNAME=F\r\n\r\n#CONTACT\r\n"
                 "\tNAME=Ann\r\n\tMAIL=a@x.org\r\n\r\n-\r\n\r\n#CONTACT\r\n\tNAME=Bob\r\n\r\n",
                 {"[F", "Ann|a@x.org|||||||0", "]", "Bob||||||||0"}},
        ReadCase{"contactsAfterAFolderAreAtTheTop",
                 kHeader + "#FOLDER\n\tNAME=Friends\n\tCREATED=1\n\n#CONTACT\n\tNAME=Ann\n\n-\n\n"
                           "#CONTACT\n\tNAME=Bob\n\n",
                 {"[Friends", "Ann||||||||0", "]", "Bob||||||||0"}},
        ReadCase{"closingDashRightAfterAnItem",
                 "#FOLDER\n\tNAME=Friends\n\n#CONTACT\n\tNAME=Ann\n-\n#CONTACT\n\tNAME=Bob\n",
                 {"[Friends", "Ann||||||||0", "]", "Bob||||||||0"}},
        // The last folder's "-" closes it, and nothing comes after it.
        ReadCase{"closingDashOfTheLastFolder",
                 "#CONTACT\n\tNAME=Ann\n\n#FOLDER\n\tNAME=Trash\n\tTRASH FOLDER=YES\n\n"
                 "#CONTACT\n\tNAME=Old\n\n-\n",
                 {"Ann||||||||0", "[Trash", "Old||||||||0", "]"}},
        ReadCase{"nestedFoldersAndAnEmptyOne",
                 "#FOLDER\n\tNAME=A\n\n#FOLDER\n\tNAME=B\n\n#CONTACT\n\tNAME=Ann\n\n-\n\n"
                 "#FOLDER\n\tNAME=Empty\n\n-\n\n#CONTACT\n\tNAME=Bob\n\n-\n",
                 {"[A", "[B", "Ann||||||||0", "]", "[Empty", "]", "Bob||||||||0", "]"}},
        ReadCase{"unclosedFolderRunsToTheEnd",
                 "#FOLDER\n\tNAME=A\n\n#CONTACT\n\tNAME=Ann\n\n",
                 {"[A", "Ann||||||||0"}},
        // A "-" with no folder open would end the whole import after it.
        ReadCase{"strayDashClosesNothing",
                 "-\n\n#CONTACT\n\tNAME=Ann\n\n-\n#CONTACT\n\tNAME=Bob\n\n",
                 {"Ann||||||||0", "Bob||||||||0"}},
        ReadCase{"twoItemsWithoutEmptyLineBetween",
                 "#CONTACT\n\tNAME=Ann\n#CONTACT\n\tNAME=Bob\n",
                 {"Ann||||||||0", "Bob||||||||0"}},
        ReadCase{"createdTimes",
                 "#CONTACT\n\tNAME=A\n\tCREATED=12x\n\n#CONTACT\n\tNAME=B\n\tCREATED=-5\n\n"
                 "#CONTACT\n\tNAME=C\n\tCREATED=\n\n",
                 {"A||||||||12", "B||||||||4294967291", "C||||||||0"}},
        ReadCase{"nonAsciiUtf8", "#CONTACT\n\tNAME=J\xC3\xBCrgen\n\n", {"J\xC3\xBCrgen||||||||0"}},
        ReadCase{"nonAsciiLegacy", "#CONTACT\n\tNAME=M\xFCller\n\n", {"M\xC3\xBCller||||||||0"}},
        ReadCase{"otherItemsAndTextAreSkipped",
                 "junk NAME=x\n#SEPARATOR\n\tNAME=no\n\n#CONTACT\n\tNAME=Ann\n\n",
                 {"Ann||||||||0"}},
        ReadCase{"headerOnly", kHeader, {}}, ReadCase{"empty", "", {}}),
    [](const auto& param) { return std::string(param.param.label); });

const std::string kTree = kHeader +
                          "#CONTACT\n\tNAME=Top\n\n"
                          "#FOLDER\n\tNAME=Friends\n\n"
                          "#CONTACT\n\tNAME=Ann\n\n"
                          "#FOLDER\n\tNAME=Work\n\n"
                          "#CONTACT\n\tNAME=Bob\n\n"
                          "-\n\n"
                          "#CONTACT\n\tNAME=Cid\n\n"
                          "-\n\n"
                          "#FOLDER\n\tNAME=Workshop\n\n"
                          "#CONTACT\n\tNAME=Dan\n\n"
                          "-\n\n"
                          "#CONTACT\n\tNAME=End\n\n";

struct FolderCase {
    const char* label;
    std::string path;
    std::vector<std::string> names;  ///< the contacts read, folders as "[name" and "]"
    bool reported;                   ///< the missing-folder message was shown
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.label;
}

class OperaFolderChoice : public ::testing::TestWithParam<FolderCase> {};

TEST_P(OperaFolderChoice, ReadsThatFolderOnly) {
    testing::TempDir dir;
    testing::TestRun run;
    IterOpera reader(run, dir.file("Contacts.adr", kTree), GetParam().path);
    std::vector<std::string> names;
    for (const std::string& line : dumpAll(reader)) names.push_back(line.substr(0, line.find('|')));
    EXPECT_EQ(names, GetParam().names);
    ASSERT_EQ(run.prompts.messages.size(), GetParam().reported ? 1u : 0u);
    if (GetParam().reported) {
        EXPECT_EQ(run.prompts.messages[0].text, kNotThere);
    }
    reader.rewind();
    EXPECT_EQ(dumpAll(reader).size(), names.size());
}

const std::vector<std::string> kWholeTree = {"Top", "[Friends", "Ann",       "[Work", "Bob", "]",
                                             "Cid", "]",        "[Workshop", "Dan",   "]",   "End"};

INSTANTIATE_TEST_SUITE_P(
    Cases, OperaFolderChoice,
    ::testing::Values(
        FolderCase{"contacts", "Contacts", kWholeTree, false},
        FolderCase{"contactsWithBackslash", "Contacts\\", kWholeTree, false},
        FolderCase{"empty", "", kWholeTree, false},
        FolderCase{"nameAnywhere", "Work", {"Bob"}, false},
        FolderCase{"nameWithSubFolder", "Friends", {"Ann", "[Work", "Bob", "]", "Cid"}, false},
        // Folders are found by their whole name.
        FolderCase{"namePrefixIsNoMatch", "Wor", kWholeTree, true},
        FolderCase{"contactNameIsNoFolder", "Top", kWholeTree, true},
        FolderCase{"path", "Contacts\\Friends\\Work\\", {"Bob"}, false},
        FolderCase{
            "pathOfTopFolder", "Contacts\\Friends\\", {"Ann", "[Work", "Bob", "]", "Cid"}, false},
        FolderCase{"pathOfLastFolder", "Contacts\\Workshop\\", {"Dan"}, false},
        FolderCase{"pathNotThere", "Contacts\\Friends\\Play\\", kWholeTree, true}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(OperaReader, FoldersNestedTooDeepGoIntoTheFolderAbove) {
    std::string text;
    for (int i = 0; i < 70; ++i) text += "#FOLDER\n\tNAME=F" + std::to_string(i) + "\n\n";
    text += "#CONTACT\n\tNAME=Deep\n\n";
    for (int i = 0; i < 70; ++i) text += "-\n\n";
    text += "#CONTACT\n\tNAME=Top\n\n";
    testing::TempDir dir;
    testing::TestRun run;
    IterOpera reader(run, dir.file("Contacts.adr", text));
    const std::vector<std::string> items = dumpAll(reader);
    ASSERT_EQ(items.size(), 64u + 1 + 64 + 1);
    EXPECT_EQ(items[63], "[F63");
    EXPECT_EQ(items[64].substr(0, 5), "Deep|");
    EXPECT_EQ(items[65], "]");
    EXPECT_EQ(items.back().substr(0, 4), "Top|");
    EXPECT_EQ(run.diagnostics().count(Severity::Warning), 1);
}

TEST(OperaReader, UnopenableFileIsReportedAndGivesNothing) {
    testing::TempDir dir;
    testing::TestRun run;
    IterOpera reader(run, dir.file("missing.adr"));
    EXPECT_TRUE(reader.atEnd());
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "file cannot be opened!");
    EXPECT_EQ(run.prompts.messages[0].caption, dir.file("missing.adr"));
}

TEST(OperaReader, FolderBeginCarriesWhereItsContentsStart) {
    testing::TempDir dir;
    testing::TestRun run;
    IterOpera reader(run, dir.file("Contacts.adr", kTree));
    FolderBook tree(run, "Contacts");
    tree.fromIter(reader, false);
    ASSERT_EQ(tree.folderCount(), 2);
    FolderBook* friends = tree.folder(0);
    EXPECT_EQ(friends->name(), "Friends");
    EXPECT_EQ(static_cast<std::size_t>(friends->folderNumber), kTree.find("#CONTACT\n\tNAME=Ann"));
    ASSERT_EQ(friends->folderCount(), 1);
    EXPECT_EQ(friends->folder(0)->name(), "Work");
}

Entry sampleContact() {
    Entry e;
    e[Field::FullName] = "Ann Lee";
    e[Field::Email] = "ann@x.org";
    e[Field::HomeWebPage] = "http://ann.org";
    e[Field::HomePhone] = "123";
    e[Field::HomeFax] = "456";
    e[Field::HomeStreet] = "Main St";
    e[Field::HomeCity] = "Bern";
    e[Field::HomeState] = "BE";
    e[Field::HomePostalCode] = "3000";
    e[Field::Notes] = "friend";
    e.revisionTime = 1195034040;
    return e;
}

TEST(OperaWriter, WritesTheHeaderKeysInOrderAndFolders) {
    testing::TestRun run;
    ToOpera writer(run, "unused.adr");
    EXPECT_TRUE(writer.wantsFolders);
    EXPECT_FALSE(writer.wantsLists);
    Entry folder = markerEntry(KindFolderBegin, "Friends");
    folder.revisionTime = 7;
    EXPECT_TRUE(writer.write(folder));
    EXPECT_TRUE(writer.write(sampleContact()));
    Entry nick = testing::contact("Bob", "bob@x.org", "bobby");
    nick.revisionTime = 0x80000001LL;  // written in 32 bits, signed
    EXPECT_TRUE(writer.write(nick));
    folder.kind = KindFolderEnd;
    EXPECT_TRUE(writer.write(folder));
    EXPECT_FALSE(writer.write(markerEntry(KindListBegin, "List")));
    EXPECT_EQ(writer.text(),
              "Opera Hotlist version 2.0\nOptions:encoding=utf8,version=3\n\n"
              "#FOLDER\n\tNAME=Friends\n\tCREATED=7\n\n"
              "#CONTACT\n\tMAIL=ann@x.org\n\tNAME=Ann Lee\n\tURL=http://ann.org\n"
              "\tCREATED=1195034040\n\tPHONE=123\n\tFAX=456\n"
              "\tPOSTALADDRESS=Main St\x02\x02"
              "Bern\x02\x02"
              "BE\x02\x02"
              "3000\n\tDESCRIPTION=friend\n\n"
              "#CONTACT\n\tMAIL=bob@x.org\n\tNAME=Bob\n\tURL=\n\tCREATED=-2147483647\n"
              "\tPHONE=\n\tFAX=\n\tPOSTALADDRESS=\x02\x02\x02\x02\x02\x02\n\tDESCRIPTION=\n"
              "\tSHORT NAME=bobby\n\n"
              "-\n");
}

TEST(OperaWriter, AHotlistOfManyChunksComesBackWhole) {
    // 3000 contacts make more than one of the chunks the file is written in.
    testing::TempDir dir;
    testing::TestRun run;
    std::vector<Entry> contacts;
    for (int i = 0; i < 3000; ++i) {
        contacts.push_back(testing::contact("N\xC3\xBC" + std::to_string(i), "n@x.org"));
        contacts.back()[Field::Notes] = std::string(60, 'x') + "\nend";
    }
    testing::ScriptedReader source("book", contacts);
    const std::string path = dir.file("book.adr");
    ASSERT_TRUE(ToOpera(run, path).fromStart(source));
    const std::string written = slurp(path);
    EXPECT_GT(written.size(), std::size_t{256} << 10);
    EXPECT_TRUE(written.starts_with("Opera Hotlist version 2.0\r\n"));
    IterOpera reader(run, path);
    std::size_t n = 0;
    while (!reader.atEnd()) {
        const Entry e = reader.nextEntry();
        ASSERT_LT(n, contacts.size());
        EXPECT_EQ(e[Field::FullName], contacts[n][Field::FullName]);
        EXPECT_EQ(e[Field::Notes], contacts[n][Field::Notes]);
        ++n;
    }
    EXPECT_EQ(n, contacts.size());
}

TEST(OperaWriter, LineBreaksInValuesBecomePairsAndComeBack) {
    testing::TempDir dir;
    testing::TestRun run;
    Entry e = testing::contact("J\xC3\xBCrgen\nM\xC3\xBCller", "j@x.org", "J\xC3\xBC");
    e[Field::Notes] = "line one\r\nline two\rthree\n\nfive \xE2\x9C\x93";
    e[Field::HomeStreet] =
        "Hauptstra\xC3\x9F"
        "e 1\nHinterhaus";
    e[Field::HomeCity] = "Z\xC3\xBCrich";
    e[Field::HomePhone] = "+41 1";
    e[Field::HomeFax] = "+41 2";
    e[Field::HomeWebPage] = "http://x.org/?a=b";
    e.revisionTime = 3000000000;  // past 2038: negative in 32 bits
    testing::ScriptedReader source("book", {e, testing::contact("Bob", "bob@x.org")});
    const std::string path = dir.file("book.adr");
    ToOpera writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));
    const std::string written = slurp(path);
    EXPECT_EQ(written.find("line one\r\nline two"), std::string::npos);
    EXPECT_NE(written.find("line one\x02\x02line two\x02\x02three\x02\x02\x02\x02"
                           "five"),
              std::string::npos);

    IterOpera reader(run, path);
    const Entry back = reader.nextEntry();
    for (Field f : {Field::FullName, Field::Email, Field::Nickname, Field::HomePhone,
                    Field::HomeFax, Field::HomeWebPage}) {
        EXPECT_EQ(back[f], e[f]) << fieldName(static_cast<int>(f));
    }
    EXPECT_EQ(back[Field::Notes], "line one\nline two\nthree\n\nfive \xE2\x9C\x93");
    EXPECT_EQ(back[Field::HomeStreet],
              "Hauptstra\xC3\x9F"
              "e 1\nHinterhaus\nZ\xC3\xBCrich");
    EXPECT_EQ(back.revisionTime, 3000000000);
    EXPECT_EQ(reader.nextEntry()[Field::FullName], "Bob");
    EXPECT_TRUE(reader.atEnd());
}

struct InsertCase {
    const char* label;
    std::string existing;
    std::string folderPath;
    std::string expected;  ///< "%" stands for the new contact's item
};

void PrintTo(const InsertCase& c, std::ostream* os) {
    *os << c.label;
}

const std::string kNewItem =
    "#CONTACT\n\tMAIL=new@x.org\n\tNAME=New\n\tURL=\n\tCREATED=5\n\tPHONE=\n\tFAX=\n"
    "\tPOSTALADDRESS=\x02\x02\x02\x02\x02\x02\n\tDESCRIPTION=\n\n";

std::string withNewItem(const std::string& text, const std::string& item) {
    std::string out;
    for (const char c : text) {
        if (c == '%') {
            out += item;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

class OperaInsertion : public ::testing::TestWithParam<InsertCase> {};

TEST_P(OperaInsertion, LeavesTheExistingItemsAsTheyAre) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", GetParam().existing);
    Entry e = testing::contact("New", "new@x.org");
    e.revisionTime = 5;
    testing::ScriptedReader source("book", {e});
    ToOpera writer(run, path, ToOpera::IntoHotlist{GetParam().folderPath});
    ASSERT_TRUE(writer.fromStart(source));
    EXPECT_EQ(slurp(path), withNewItem(GetParam().expected, kNewItem));
    EXPECT_EQ(slurp(path + ".bak"), GetParam().existing);
    EXPECT_TRUE(run.prompts.messages.empty());
}

const std::string kFriends = kHeader +
                             "#FOLDER\n\tNAME=Friends\n\n"
                             "#CONTACT\n\tNAME=Ann\n\n"
                             "#FOLDER\n\tNAME=Work\n\n"
                             "#CONTACT\n\tNAME=Bob\n\n"
                             "-\n\n"
                             "-\n\n"
                             "#CONTACT\n\tNAME=Top\n\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, OperaInsertion,
    ::testing::Values(
        InsertCase{"atTheEnd", kFriends, "Contacts", kFriends + "%"},
        InsertCase{"intoAFolderByName", kFriends, "Work",
                   kHeader +
                       "#FOLDER\n\tNAME=Friends\n\n#CONTACT\n\tNAME=Ann\n\n#FOLDER\n\tNAME=Work\n\n"
                       "#CONTACT\n\tNAME=Bob\n\n%-\n\n-\n\n#CONTACT\n\tNAME=Top\n\n"},
        InsertCase{"intoAFolderByPath", kFriends, "Contacts\\Friends\\",
                   kHeader +
                       "#FOLDER\n\tNAME=Friends\n\n#CONTACT\n\tNAME=Ann\n\n#FOLDER\n\tNAME=Work\n\n"
                       "#CONTACT\n\tNAME=Bob\n\n-\n\n%-\n\n#CONTACT\n\tNAME=Top\n\n"},
        InsertCase{"intoANestedFolderByPath", kFriends, "Contacts\\Friends\\Work\\",
                   kHeader +
                       "#FOLDER\n\tNAME=Friends\n\n#CONTACT\n\tNAME=Ann\n\n#FOLDER\n\tNAME=Work\n\n"
                       "#CONTACT\n\tNAME=Bob\n\n%-\n\n-\n\n#CONTACT\n\tNAME=Top\n\n"},
        InsertCase{"crLfFileGetsCrLfItems", "#CONTACT\r\n\tNAME=Old\r\n\r\n", "Contacts",
                   "#CONTACT\r\n\tNAME=Old\r\n\r\n#CONTACT\r\n\tMAIL=new@x.org\r\n\tNAME=New\r\n"
                   "\tURL=\r\n\tCREATED=5\r\n\tPHONE=\r\n\tFAX=\r\n"
                   "\tPOSTALADDRESS=\x02\x02\x02\x02\x02\x02\r\n\tDESCRIPTION=\r\n\r\n"},
        // Without an empty line the old item would run on into the new one.
        InsertCase{"lastItemWithoutLineEnd", "#CONTACT\n\tNAME=Old", "Contacts",
                   "#CONTACT\n\tNAME=Old\n\n%"},
        InsertCase{"closingDashWithoutEmptyLine", "#FOLDER\n\tNAME=F\n\n-\n", "Contacts",
                   "#FOLDER\n\tNAME=F\n\n-\n\n%"},
        // A folder left open at the end is closed first, so the new items are at the top.
        InsertCase{"openFolderAtTheEnd", "#FOLDER\n\tNAME=F\n\n#CONTACT\n\tNAME=Old\n\n",
                   "Contacts", "#FOLDER\n\tNAME=F\n\n#CONTACT\n\tNAME=Old\n\n-\n\n%"},
        InsertCase{"intoAnOpenFolderAtTheEnd", "#FOLDER\n\tNAME=F\n\n#CONTACT\n\tNAME=Old\n", "F",
                   "#FOLDER\n\tNAME=F\n\n#CONTACT\n\tNAME=Old\n\n%"},
        InsertCase{"intoAnEmptyFolder", "#FOLDER\n\tNAME=F\n\n-\n", "F",
                   "#FOLDER\n\tNAME=F\n\n%-\n"},
        InsertCase{"legacyBytesKeepTheirText", "#CONTACT\n\tNAME=M\xFCller\n\n", "Contacts",
                   "#CONTACT\r\n\tNAME=M\xC3\xBCller\r\n\r\n#CONTACT\r\n\tMAIL=new@x.org\r\n"
                   "\tNAME=New\r\n\tURL=\r\n\tCREATED=5\r\n\tPHONE=\r\n\tFAX=\r\n"
                   "\tPOSTALADDRESS=\x02\x02\x02\x02\x02\x02\r\n\tDESCRIPTION=\r\n\r\n"}),
    [](const auto& param) { return std::string(param.param.label); });

/// The folders and contact names of a hotlist file, as the reader gives them.
std::vector<std::string> namesIn(RunContext& run, const std::string& path) {
    IterOpera reader(run, path);
    std::vector<std::string> out;
    for (const std::string& line : dumpAll(reader)) out.push_back(line.substr(0, line.find('|')));
    return out;
}

TEST(OperaWriter, MissingFoldersAreMadeWhereThePathLeads) {
    struct Case {
        std::string path;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"Play", {"[Friends", "Ann", "[Work", "Bob", "]", "]", "Top", "[Play", "New", "]"}},
        {"Contacts\\Play\\",
         {"[Friends", "Ann", "[Work", "Bob", "]", "]", "Top", "[Play", "New", "]"}},
        {"Contacts\\Friends\\Play\\Games\\",
         {"[Friends", "Ann", "[Work", "Bob", "]", "[Play", "[Games", "New", "]", "]", "]", "Top"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        testing::TempDir dir;
        testing::TestRun run;
        const std::string path = dir.file("Contacts.adr", kFriends);
        testing::ScriptedReader source("book", {testing::contact("New", "new@x.org")});
        ASSERT_TRUE(ToOpera(run, path, ToOpera::IntoHotlist{c.path}).fromStart(source));
        EXPECT_EQ(namesIn(run, path), c.names);
    }
}

TEST(OperaWriter, BookFoldersBecomeFoldersInsideTheChosenOne) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", kFriends);
    testing::ScriptedReader source("book", {testing::contact("New", "new@x.org")});
    source.folder("Sub", {testing::contact("Inner", "in@x.org")});
    ASSERT_TRUE(ToOpera(run, path, ToOpera::IntoHotlist{"Work"}).fromStart(source));
    EXPECT_EQ(namesIn(run, path),
              (std::vector<std::string>{"[Friends", "Ann", "[Work", "Bob", "[Sub", "Inner", "]",
                                        "New", "]", "]", "Top"}));
}

// Saved as a file of its own, a hotlist is merged like any file: read into the book and
// written whole, so a book opened from it and saved back holds nothing twice.
TEST(OperaWriter, AHotlistSavedAsAFileIsMergedAndWrittenWhole) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string existing =
        "#CONTACT\n\tNAME=Top\n\n#FOLDER\n\tNAME=Work\n\n#CONTACT\n\tNAME=Inner\n\n-\n";
    // The file's name is no folder's choice: "Work.adr" is read and written whole.
    const std::string path = dir.file("Work.adr", existing);
    PlainBookView view(run);
    ASSERT_EQ(loadFile(path, view), 0);
    EXPECT_EQ(countTree(view.currentBook()).entries, 2);
    view.currentBook().addEntry(testing::contact("New", "new@x.org"));
    const SaveOutcome saved = saveToFile(path, view);
    ASSERT_EQ(saved.status, SaveStatus::Saved);
    EXPECT_TRUE(saved.mergedWithExisting);
    EXPECT_EQ(namesIn(run, path), (std::vector<std::string>{"[Work", "Inner", "]", "New", "Top"}));
    EXPECT_EQ(slurp(path + ".bak"), existing);
    EXPECT_TRUE(run.prompts.messages.empty());
}

// Opera named as the destination gets the new items in its own hotlist, whose items stay.
TEST(OperaWriter, TheOperaApplicationWritesIntoTheHotlist) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", kHeader + "#CONTACT\n\tNAME=Old\n\n");
    const std::string source = dir.file("in.adr", "#CONTACT\n\tNAME=New\n\tMAIL=n@x.org\n\n");
    PlainBookView view(run);
    const DispatchOutcome out = dispatchApplications("op", source, "Opera", path, view);
    EXPECT_EQ(out.save.status, SaveStatus::Saved);
    EXPECT_EQ(namesIn(run, path), (std::vector<std::string>{"Old", "New"}));
    const std::string old = kHeader + "#CONTACT\n\tNAME=Old\n\n";
    EXPECT_EQ(slurp(path).substr(0, old.size()), old);
}

// With the hotlist the wizard keeps, the destination named is the folder chosen in it.
TEST(OperaWriter, TheKeptHotlistTakesTheContactsInTheFolderChosen) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", kFriends);
    const std::string source = dir.file("in.adr", "#CONTACT\n\tNAME=New\n\tMAIL=n@x.org\n\n");
    PlainBookView view(run);
    DispatchContext context;
    context.operaFile = path;
    const DispatchOutcome out =
        dispatchApplications("opera", source, "op", "Contacts\\Friends\\", view, context);
    EXPECT_EQ(out.save.status, SaveStatus::Saved);
    EXPECT_EQ(namesIn(run, path), (std::vector<std::string>{"[Friends", "Ann", "[Work", "Bob", "]",
                                                            "New", "]", "Top"}));
}

// The wizard's folder tree gives paths that the reader and writer take back.
TEST(OperaFolders, TheWizardsTreeListsEveryFolderByItsPath) {
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", kFriends);
    const std::vector<std::string> folders = operaFolderPaths(run, path);
    ASSERT_EQ(folders,
              (std::vector<std::string>{"Contacts\\Friends\\", "Contacts\\Friends\\Work\\"}));
    IterOpera work(run, path, folders[1]);
    EXPECT_EQ(dumpAll(work), (std::vector<std::string>{"Bob||||||||0"}));
    EXPECT_TRUE(operaFolderPaths(run, dir.file("in.adr", "#CONTACT\n\tNAME=A\n\n")).empty());
    EXPECT_TRUE(run.prompts.messages.empty());
}

TEST(OperaWriter, AnUnreadableHotlistIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    testing::TempDir dir;
    testing::TestRun run;
    const std::string path = dir.file("Contacts.adr", "#CONTACT\n\tNAME=Old\n\n");
    fs::permissions(path, fs::perms::owner_write);
    testing::ScriptedReader source("book", {testing::contact("New", "new@x.org")});
    ToOpera writer(run, path, ToOpera::IntoHotlist{});
    EXPECT_FALSE(writer.fromStart(source));
    ASSERT_EQ(run.prompts.messages.size(), 1u);
    EXPECT_EQ(run.prompts.messages[0].text, "file cannot be opened!");
    fs::permissions(path, fs::perms::owner_all);
    EXPECT_EQ(slurp(path), "#CONTACT\n\tNAME=Old\n\n");
}

TEST(OperaSamples, RealHotlistsReadToTheEnd) {
    const char* env = std::getenv("VESK_SAMPLES_DIR");
    const fs::path samples(env && *env ? env : VESK_SAMPLES_DIR);
    if (!fs::is_directory(samples)) GTEST_SKIP() << "no samples folder";
    int files = 0;
    for (const auto& item : fs::recursive_directory_iterator(samples)) {
        std::string ext = item.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!item.is_regular_file() || ext != ".adr") continue;
        ++files;
        SCOPED_TRACE(item.path().string());
        testing::TestRun run;
        IterOpera reader(run, item.path().string());
        NewAdbook book(run);
        book.fromStart(reader);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_GT(countTree(book).entries, 0);
        EXPECT_TRUE(run.prompts.messages.empty());
    }
    if (files == 0) GTEST_SKIP() << "no .adr file among the samples";
}

}  // namespace
}  // namespace vesk
