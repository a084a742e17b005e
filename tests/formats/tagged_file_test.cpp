#include "parsing/tagged_file.h"

#include <gtest/gtest.h>

#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterFile;
using testing::drain;
using testing::entryNamed;
using testing::trace;

TEST(IniBookReader, SectionsAreContacts) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("ini_book/book.ini"), IterFile::Ini);
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 2);
    const Entry* ann = entryNamed(book, "Ann Lee");
    ASSERT_NE(ann, nullptr);
    const Entry& e = *ann;
    EXPECT_EQ(e[Field::Email], "ann@example.org");
    EXPECT_EQ(e[Field::Nickname], "ann");
    EXPECT_EQ(e[Field::HomePhone], "555-1");
    EXPECT_EQ(e[Field::Organization], "Acme");
    EXPECT_EQ(e[Field::BusinessPhone], "555-2");
    EXPECT_EQ(e[Field::HomeStreet], "1 Main St");
    EXPECT_EQ(e[Field::HomeState], "BE");
    // The country's key is matched without its line start, so a longer key ending in it counts.
    EXPECT_EQ(e[Field::HomeCountry], "Switzerland");
    EXPECT_EQ(e[Field::HomeFax], "555-3");
    EXPECT_EQ(e[Field::CellularPhone], "555-4");
    EXPECT_EQ(e[Field::HomeWebPage], "http://ann.example.org/");
    EXPECT_EQ(e[Field::BusinessStreet], "2 Work Rd");
    EXPECT_EQ(e[Field::BusinessState], "ZH");
    EXPECT_EQ(e[Field::BusinessFax], "555-5");
    EXPECT_EQ(e[Field::Pager], "555-6");
    EXPECT_EQ(e[Field::Notes], "likes tea");
    const Entry* bob = entryNamed(book, "Bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ((*bob)[Field::Email], "bob@example.org");
}

TEST(IniBookReader, MaskHoldsOnlyTheKeysItReads) {
    auto reader = IterFile::fromText("", IterFile::Ini);
    const FieldMask mask = reader->formatMask();
    EXPECT_EQ(mask.count(), 17u);
    for (const Field f :
         {Field::HomeCity, Field::HomePostalCode, Field::BusinessCity, Field::BusinessPostalCode,
          Field::BusinessCountry, Field::BusinessWebPage, Field::JobTitle, Field::Department}) {
        EXPECT_FALSE(mask.test(static_cast<std::size_t>(f))) << fieldName(static_cast<int>(f));
    }
}

struct TaggedCase {
    const char* name;
    int kind;
    const char* input;
    const char* expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TaggedCase& c, std::ostream* os) {
    *os << c.name;
}

class TaggedReadCases : public ::testing::TestWithParam<TaggedCase> {};

TEST_P(TaggedReadCases, GivesTheseEntries) {
    auto reader = IterFile::fromText(GetParam().input, GetParam().kind);
    EXPECT_EQ(trace(drain(*reader)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TaggedReadCases,
    ::testing::Values(
        TaggedCase{"IniFirstSectionAtFileStart", IterFile::Ini, "[Ann]\nEmail=a@e", "0:Ann:a@e:"},
        TaggedCase{"IniMailKeepsItsLastWord", IterFile::Ini, "[Ann]\nEmail=Ann <a@e>\n",
                   "0:Ann:<a@e>:"},
        TaggedCase{"HtmlHeaderGivesNoEntry", IterFile::Html,
                   "<!DOCTYPE NETSCAPE-Addressbook-file-1>\n<DL><p>\n</DL><p>\n", ""},
        TaggedCase{"HtmlAnchorWithoutAlias", IterFile::Html, "<DT><A HREF=\"mailto:a@e\">Ann</A>\n",
                   "0:Ann:a@e:"},
        TaggedCase{"HtmlListsAndReferences", IterFile::Html,
                   "<DL><p>\n<DT><A HREF=\"mailto:a@e\" ALIASID=\"1\">Ann</A>\n"
                   "<DT><H3 FOLDED ALIASID=\"2\">Empty</H3>\n<DL><p>\n</DL><p>\n"
                   "<DT><H3 ALIASID=\"3\">T &amp; U</H3>\n<DD>about\n<DL><p>\n"
                   "<DT><A HREF=\"mailto:a@e\" ALIASOF=\"1\">Ann</A>\n"
                   "<DT><H3 ALIASID=\"4\">Unclosed</H3>\n<DL><p>\n"
                   "<DT><A HREF=\"mailto:a@e\" ALIASOF=\"1\">Ann</A>\n",
                   "0:Ann:a@e: | 13:Empty:: | 237::: | 13:T & U:: | 0:Ann:a@e: | 237::: | "
                   "13:Unclosed:: | 0:Ann:a@e: | 237:::"},
        TaggedCase{"JunoListWithNumberedMembers", IterFile::Juno,
                   "Type:MList\nName:Team\nMember0:ann\nMember1:bob\nMember2:carl\n\n"
                   "Type:Entry\nName:Ann\nEmail:a@e\nAlias:ann\n\n",
                   "13:Team:: | 0:::ann | 0:::bob | 0:::carl | 237::: | 0:Ann:a@e:ann"},
        TaggedCase{"JunoListMembersStopAtTheBlankLine", IterFile::Juno,
                   "Type:MList\nName:T\nMember0:a\n\nMember1:stray\nType:Entry\nName:B\n",
                   "13:T:: | 0:::a | 237::: | 0:B::"},
        TaggedCase{"JunoListAtFileStart", IterFile::Juno, "Type:MList\nName:T\n",
                   "13:T:: | 237:::"},
        TaggedCase{"UnknownKindReadsNothing", 3, "anything\n", ""}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vesk
