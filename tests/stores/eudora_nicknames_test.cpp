#include "parsing/eudora_nicknames.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "parsing/tagged_file.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterFile;
using testing::entryNamed;
using testing::memberNames;

TEST(EudoraReader, Latin1NicknameFileWithAList) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("eudora/nndbase.txt"), IterFile::Eudora);
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 4);  // Carl of the list "team" included
    const Entry* ann = entryNamed(book, "Ann Lee");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ((*ann)[Field::Email], "ann@example.org");
    EXPECT_EQ((*ann)[Field::Nickname], "ann");
    EXPECT_EQ((*ann)[Field::HomePhone], "555-1000");
    EXPECT_EQ((*ann)[Field::BusinessPhone], "555-2000");
    EXPECT_EQ((*ann)[Field::Organization], "Café Müller");
    EXPECT_EQ((*ann)[Field::HomeCity], "Zürich");
    EXPECT_EQ((*ann)[Field::Notes], "Met in Zürich");
    const Entry* bob = entryNamed(book, "Bob Jones");
    ASSERT_NE(bob, nullptr) << "the nickname stands in for a missing name";
    EXPECT_EQ((*bob)[Field::Email], "bob@example.org");
    const Entry* dora = entryNamed(book, "Dora Dürr");
    ASSERT_NE(dora, nullptr);
    EXPECT_EQ((*dora)[Field::Email], "dora@example.org");
    EXPECT_EQ((*dora)[Field::Nickname], "bare");
    // Carl has no alias of his own: the list's member becomes his contact.
    EXPECT_EQ(memberNames(book, "team"), "Ann Lee,Bob Jones,Carl");
    const Entry* carl = entryNamed(book, "Carl");
    ASSERT_NE(carl, nullptr);
    EXPECT_EQ((*carl)[Field::Email], "carl@example.org");
}

TEST(EudoraReader, AliasForms) {
    auto reader = IterFile::fromText(
        "alias a \"Ann Lee\"<ann@e>\n"
        "alias b Bob Smith <bob@e>\n"
        "alias c carl@e (Carl C)\n"
        "alias d \"Dee, Dora\" <dora@e>\n"
        "alias e    \n"
        "alias f x@e,y@e\n"
        "note f <name:List notes are ignored>\n"
        "something else\n"
        "alias\n",
        IterFile::Eudora);
    EXPECT_EQ(testing::trace(testing::drain(*reader)),
              "0:Ann Lee:ann@e:a | 0:Bob Smith:bob@e:b | 0:Carl C:carl@e:c | "
              "0:Dee, Dora:dora@e:d | 0:e::e | 13:f:: | 0::x@e: | 0::y@e: | 237:::");
}

TEST(EudoraReader, NoteFindsItsAliasByNicknameOrFollowsTheOneAbove) {
    auto reader = IterFile::fromText(
        "note later <phone:1>\n"
        "alias first a@e\n"
        "note nobody <phone:2>\n"
        "alias later b@e\n"
        "note FIRST <phone2:3>\n",
        IterFile::Eudora);
    const auto entries = testing::drain(*reader);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][Field::HomePhone], "2");
    EXPECT_EQ(entries[0][Field::BusinessPhone], "3");
    EXPECT_EQ(entries[1][Field::HomePhone], "1");
}

TEST(EudoraReader, RealSampleFile) {
    testing::TestRun run;
    const std::string path = testing::samplePath("eudora/mabconvert-EudoraSampleFile.txt");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not available: " << path;
    IterFile reader(run, path, IterFile::Eudora);
    NewAdbook book(run);
    book.fromIter(reader, false);
    EXPECT_EQ(book.entryCount(), 7);
    EXPECT_EQ(book.listCount(), 3);
    const Entry* jhd1 = entryNamed(book, "Joe Davidson1");
    ASSERT_NE(jhd1, nullptr);
    EXPECT_EQ((*jhd1)[Field::Email], "jhd@radix.net");
    const Entry* jhd2 = entryNamed(book, "Joe Davidson2");
    ASSERT_NE(jhd2, nullptr);
    EXPECT_EQ((*jhd2)[Field::Notes], "Note for jhd2");
    const Entry* king = entryNamed(book, "Mathew King");
    ASSERT_NE(king, nullptr);
    EXPECT_EQ((*king)[Field::Email], "mjoseph@wipsys.slp.net");
    EXPECT_EQ(memberNames(book, "list3"), "Harry Shetty,Mathew King,Sameer Jones");
    EXPECT_EQ(memberNames(book, "list2"), "Joe Davidson1,Joe Davidson2");
}

}  // namespace
}  // namespace vesk
