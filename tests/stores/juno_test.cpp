#include "stores/juno.h"

#include <gtest/gtest.h>

#include "formats/text_book_support.h"
#include "model/adbook.h"
#include "parsing/tagged_file.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using iterators::IterFile;
using testing::entryNamed;

std::string record(const Entry& e) {
    testing::TestRun run;
    ToNV writer(run, "unused.nv");
    writer.write(e);
    return writer.text();
}

TEST(JunoWriter, RecordLayout) {
    Entry e = testing::contact("Ann Lee", "ann@example.org", "ann");
    e.revisionTime = 1000000000;
    EXPECT_EQ(record(e),
              "Type:Entry\nName:Ann Lee\nEmail:ann@example.org\nAlias:ann\nTime:1000000000\n\n");
}

TEST(JunoWriter, AddressRule) {
    struct Row {
        const char* street;
        const char* city;
        const char* state;
        const char* zip;
        const char* expected;  // nullptr: no Address line
    };
    const Row rows[] = {
        {"", "Bern", "", "3000", "Bern ^^3000"},
        {"Main St", "", "", "", "Main St^^"},
        {"", "", "", "", nullptr},
        {"1 Main", "Bern", "BE", "3000", "1 Main^^Bern BE^^3000"},
        {"", "", "BE", "", "BE^^"},
        {"", "", "", "3000", "3000"},
        // A street of two lines keeps its lines apart with Juno's separator.
        {"1 Main\nFlat 2", "", "", "", "1 Main^^Flat 2^^"},
        {"1 Main\r\nFlat 2", "Bern", "", "", "1 Main^^Flat 2^^Bern ^^"},
    };
    for (const Row& row : rows) {
        Entry e = testing::contact("A");
        e[Field::HomeStreet] = row.street;
        e[Field::HomeCity] = row.city;
        e[Field::HomeState] = row.state;
        e[Field::HomePostalCode] = row.zip;
        e[Field::HomeCountry] = "never written";
        const std::string text = record(e);
        EXPECT_EQ(text.find("never written"), std::string::npos);
        const std::size_t at = text.find("\nAddress:");
        if (!row.expected) {
            EXPECT_EQ(at, std::string::npos) << text;
            continue;
        }
        ASSERT_NE(at, std::string::npos) << text;
        const std::size_t from = at + 9;
        EXPECT_EQ(text.substr(from, text.find('\n', from) - from), row.expected);
    }
}

TEST(JunoWriter, TimeKeepsItsLow32BitsAsASignedNumber) {
    const struct {
        std::int64_t time;
        const char* text;
    } rows[] = {{(std::int64_t{1} << 32) + 5, "Time:5\n"},
                {std::int64_t{0x80000000}, "Time:-2147483648\n"},
                {-1, "Time:-1\n"}};
    for (const auto& row : rows) {
        Entry e = testing::contact("A");
        e.revisionTime = row.time;
        EXPECT_NE(record(e).find(row.text), std::string::npos) << row.time;
    }
}

TEST(JunoWriter, LineBreaksInNamesDoNotBreakTheRecord) {
    Entry e = testing::contact("Ann\nLee", "a@e", "an\r\nn");
    EXPECT_EQ(record(e).substr(0, 50), "Type:Entry\nName:Ann Lee\nEmail:a@e\nAlias:an n\nTime:");
}

TEST(JunoReader, AddressBookWithAList) {
    testing::TestRun run;
    IterFile reader(run, testing::fixturePath("juno/addrbook.nv"), IterFile::Juno);
    NewAdbook book(run);
    book.fromIter(reader, false);
    ASSERT_EQ(book.entryCount(), 3);
    const Entry* ann = entryNamed(book, "Ann Lee");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ((*ann)[Field::Email], "ann@example.org");
    EXPECT_EQ((*ann)[Field::Nickname], "ann");
    EXPECT_EQ(ann->revisionTime, 1000000000);
    EXPECT_EQ(entryNamed(book, "Bob Jones")->revisionTime, -5);
    EXPECT_EQ(testing::memberNames(book, "Friends"), "Ann Lee,Bob Jones,Carl");
}

TEST(JunoReader, AddressAndPhoneLines) {
    const struct {
        const char* address;
        const char* street;
        const char* city;
        const char* state;
        const char* zip;
    } rows[] = {
        // Juno's (and Vesk's writer's) layout: street lines, "City ST", postal code.
        {"1 Main St^^Flat 2^^Springfield IL^^62701", "1 Main St\nFlat 2", "Springfield", "IL",
         "62701"},
        {"1 Main^^Bern BE^^3000", "1 Main", "Bern", "BE", "3000"},
        {"9 Dock Rd^^Boston, MA^^02215^^", "9 Dock Rd", "Boston", "MA", "02215"},
        // Any other shape stays whole in the street, a line each.
        {"PO Box 5^^Nowhere", "PO Box 5\nNowhere", "", "", ""},
        {"Main St^^", "Main St", "", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        auto reader = IterFile::fromText(std::string("Type:Entry\nName:Ann\nEmail:a@x.org\n"
                                                     "Primary Phone:555-0100\nMobile Phone:555-0199"
                                                     "\nAddress:") +
                                             row.address + "\nTime:1\n\n",
                                         IterFile::Juno);
        const auto got = testing::drain(*reader);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0][Field::HomePhone], "555-0100");
        EXPECT_EQ(got[0][Field::CellularPhone], "555-0199");
        EXPECT_EQ(got[0][Field::HomeStreet], row.street);
        EXPECT_EQ(got[0][Field::HomeCity], row.city);
        EXPECT_EQ(got[0][Field::HomeState], row.state);
        EXPECT_EQ(got[0][Field::HomePostalCode], row.zip);
        EXPECT_TRUE(got[0].mask.test(static_cast<std::size_t>(Field::HomeCity)));
    }
}

TEST(JunoReader, DeletedRecordsAreSkipped) {
    // Juno keeps a deleted entry in the file, marked "Deleted:1"; "Deleted:0" is a live one.
    auto reader = IterFile::fromText(
        "Type:Version\nVersion:AB 0.3.0\n\n"
        "Type:Entry\nName:Gone\nEmail:gone@x.org\nAlias:gone\nDeleted:1\nTime:5\n\n"
        "Type:Entry\nName:Kept\nEmail:kept@x.org\nAlias:kept\nDeleted:0\nTime:6\n\n"
        "Type:MList\nName:Old list\nMember0:kept\nDeleted:1\n\n"
        "Type:Entry\nName:Last\nEmail:last@x.org\nDeleted: 1\r\n\n",
        IterFile::Juno);
    EXPECT_EQ(testing::trace(testing::drain(*reader)), "0:Kept:kept@x.org:kept");
}

TEST(JunoWriter, RoundTrip) {
    testing::TestRun run;
    testing::TempDir dir;
    NewAdbook source(run);
    Entry a = testing::contact("Jürgen Müller, Jr.", "jm@example.de", "jü");
    a.revisionTime = 1234567;
    source.addEntry(a);
    source.addEntry(testing::contact("Иван", "ivan@example.ru", "ivan"));
    const std::string path = dir.file("addrbook.nv");
    ToNV writer(run, path);
    ASSERT_TRUE(writer.fromStart(source));

    IterFile reader(run, path, IterFile::Juno);
    NewAdbook back(run);
    back.fromIter(reader, false);
    ASSERT_EQ(back.entryCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const Entry& want = *source.entryPtr(i);
        const Entry* got = entryNamed(back, want[Field::FullName]);
        ASSERT_NE(got, nullptr) << want[Field::FullName];
        EXPECT_EQ((*got)[Field::Email], want[Field::Email]);
        EXPECT_EQ((*got)[Field::Nickname], want[Field::Nickname]);
        EXPECT_EQ(got->revisionTime, want.revisionTime);
    }
}

}  // namespace
}  // namespace vesk
