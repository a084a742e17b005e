#include "formats/html_book.h"

#include <gtest/gtest.h>

#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "parsing/html_text.h"
#include "parsing/tagged_file.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterFile;
using testing::entryNamed;

TEST(HtmlBookReader, NetscapeAddressBook) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("html_book/address.htm"), IterFile::Html);
    NewAdbook book(run);
    book.fromIter(reader, false);
    // The header and the list heading are not people; the list's member is Bob once more.
    ASSERT_EQ(book.entryCount(), 3);
    const Entry* bob = entryNamed(book, "Bob Smith");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ((*bob)[Field::Email], "bob@example.com");
    EXPECT_EQ((*bob)[Field::Nickname], "bob");
    EXPECT_EQ((*bob)[Field::Notes], "Plays golf\non Sundays");
    const Entry* sons = entryNamed(book, "Smith & Sons <Sales>");
    ASSERT_NE(sons, nullptr);
    EXPECT_EQ((*sons)[Field::Email], "sales@smith.example");
    EXPECT_EQ((*sons)[Field::Nickname], "");
    const Entry* j = entryNamed(book, "Jürgen Müller");
    ASSERT_NE(j, nullptr);
    EXPECT_EQ((*j)[Field::Nickname], "jürgen");
    EXPECT_EQ(testing::memberNames(book, "Golfers"), "Bob Smith");
}

TEST(HtmlBookReader, MaskHoldsWhatTheFileCarries) {
    auto reader = IterFile::fromText("", IterFile::Html);
    FieldMask expected;
    expected.reset();
    for (const Field f : {Field::FullName, Field::Email, Field::Nickname, Field::Notes}) {
        expected.set(static_cast<std::size_t>(f));
    }
    EXPECT_EQ(reader->formatMask(), expected);
}

TEST(HtmlBookWriter, LayoutForPlainValuesIsNetscapes) {
    testing::TestRun run;
    ToHTML writer(run, "unused.htm");
    writer.write(testing::contact("Ann Lee", "ann@example.org"));
    writer.write(testing::contact("Bob", "bob@example.org"));
    EXPECT_EQ(writer.text(),
              "<!DOCTYPE NETSCAPE-Addressbook-file-1>\n"
              "<!-- This is an automatically generated file.\n"
              "It will be read and overwritten.\n"
              "Do Not Edit! -->\n"
              "<TITLE>Address Book</TITLE>\n"
              "<H1>Address Book</H1>\n"
              "<DL><p>\n"
              "\n    <DT><A HREF=\"mailto:ann@example.org\" ALIASID=\"0\">Ann Lee</A><DD>\n"
              "\n    <DT><A HREF=\"mailto:bob@example.org\" ALIASID=\"1\">Bob</A><DD>\n"
              "\n</DL><P>");
}

TEST(HtmlBookWriter, EscapesMarkupAndKeepsNicknameAndNotes) {
    testing::TestRun run;
    ToHTML writer(run, "unused.htm");
    Entry e = testing::contact("Smith & Sons <Sales>", "a\"b@e", "s&s");
    e[Field::Notes] = "two\nlines";
    writer.write(e);
    const std::string text = writer.text();
    EXPECT_NE(text.find("<DT><A HREF=\"mailto:a&quot;b@e\" ALIASID=\"0\" NICKNAME=\"s&amp;s\">"
                        "Smith &amp; Sons &lt;Sales&gt;</A><DD>two<BR>lines\n"),
              std::string::npos)
        << text;
}

TEST(HtmlBookWriter, RoundTrip) {
    testing::TestRun run;
    testing::TempDir dir;
    NewAdbook source(run);
    Entry a = testing::contact("Jürgen Müller & Co", "jm@example.de", "jü<>");
    a[Field::Notes] = "Иван \"quoted\"\nsecond line, with comma";
    source.addEntry(a);
    source.addEntry(testing::contact("Plain", "plain@example.org"));
    const std::string path = dir.file("address.htm");
    ToHTML writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));

    IterFile reader(run, path, IterFile::Html);
    NewAdbook back(run);
    back.fromIter(reader, false);
    ASSERT_EQ(back.entryCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const Entry& want = *source.entryPtr(i);
        const Entry* got = entryNamed(back, want[Field::FullName]);
        ASSERT_NE(got, nullptr) << want[Field::FullName];
        for (const Field f : {Field::Email, Field::Nickname, Field::Notes}) {
            EXPECT_EQ((*got)[f], want[f]) << fieldName(static_cast<int>(f));
        }
    }
}

TEST(HtmlEntities, DecodeWhatWritersUse) {
    EXPECT_EQ(html::decodeEntities("a &amp; b &lt;c&gt; &quot;d&quot; &#228;&#xE4;&#XE4; &apos;"),
              "a & b <c> \"d\" äää '");
    EXPECT_EQ(html::decodeEntities("&Uuml;&szlig;&nbsp;&yuml;&#1048;"), "Üß\u00A0ÿИ");
    // Unknown or broken references stay as they are.
    EXPECT_EQ(html::decodeEntities("&bogus; & &#; &#0; &#x110000; &amp"),
              "&bogus; & &#; &#0; &#x110000; &amp");
}

}  // namespace
}  // namespace vesk
