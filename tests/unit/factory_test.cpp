#include "registry/factory.h"

#include <gtest/gtest.h>

#include <string>

#include "support/line_format.h"

namespace vesk {
namespace {

TEST(FileNames, ExtensionAndBaseNameLookOnlyAtTheFilesOwnName) {
    struct Case {
        const char* path;
        const char* ext;
        const char* base;
    } cases[] = {
        {"report.LDIF", "ldif", "report"},
        {"/home/ann/a.b/book", "", "book"},
        {"C:\\Mail.d\\nndbase.txt", "txt", "nndbase"},
        {"/tmp/archive.tar.KYNT", "kynt", "archive.tar"},
        {"noext", "", "noext"},
        {"dir/.hidden", "hidden", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(fileExtension(c.path), c.ext);
        EXPECT_EQ(fileBaseName(c.path), c.base);
    }
}

TEST(ReaderRows, FirstMatchDecidesInTheFixedOrder) {
    struct Case {
        const char* file;
        int format;
        const char* row;
        int subKind;
    } cases[] = {
        {"x.simeon", -1, "Simeon/Execmail export", 0},
        {"x.VCF", -1, "vCard", 0},
        {"x.bab", -1, "vCard", 0},
        {"x.kynt", -1, "Vesk archive", 0},
        {"x.txt", -1, "plain text address list", 0},
        // An Eudora nickname file is a .txt read by the general reader as kind 8.
        {"nndbase.txt", 8, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 8},
        {"x.pml", -1, "Pegasus Mail distribution list", 0},
        {"x.pmr", -1, "Pegasus Mail address book", 0},
        {"x.csv", -1, "CSV", 0},
        {"x.abx", -1, "Corel address book export", 0},
        {"abook.mab", -1, "Mork address book", 0},
        {"x.dat", -1, "Palm Desktop", 0},
        {"x.addressbook", -1, "Pine address book", 0},
        {"anything.else", 11, "Pine address book", 0},
        {"contacts.adr", -1, "Opera hotlist", 0},
        {"x.xml", -1, "XML contacts", 0},
        {"x.contact", -1, "XML contacts", 0},
        {"report.LDIF", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 2},
        {"address.HTM", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 1},
        {"x.html", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 1},
        {"addrbook.nv", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 9},
        {"x.ini", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 14},
        {"x.unknown", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 0},
        {"/home/a.vcf/book", -1, "LDIF, Netscape 3 HTML, Juno, INI, Eudora nicknames", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const FormatRow* row = readerRowFor(c.file, c.format);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->description, c.row);
        EXPECT_EQ(formatArgs(c.file, c.format).subKind, c.subKind);
    }
}

TEST(WriterRows, FirstMatchDecidesAndUnknownExtensionsHaveNone) {
    struct Case {
        const char* file;
        int format;
        const char* row;  // nullptr: no writer
    } cases[] = {
        {"report.LDIF", -1, "LDIF"},
        {"report.ldif", 8, "LDIF"},  // the LDIF row comes before the Eudora one
        {"nndbase.txt", 8, "Eudora nicknames"},
        {"book.vcf", 8, "Eudora nicknames"},
        {"x.VCF", -1, "vCard"},
        {"x.bab", -1, "vCard"},
        {"x.kynt", -1, "Vesk archive"},
        {"x.txt", -1, "plain text address list"},
        {"x.pml", -1, "Pegasus Mail distribution list"},
        {"x.csv", -1, "CSV"},
        {"abook.mab", -1, "Mork address book"},
        {"addrbook.nv", -1, "Juno"},
        {"x.xml", -1, "XML contacts"},
        {"x.htm", -1, "Netscape 3 HTML"},
        {"x.html", -1, "Netscape 3 HTML"},
        {"x.pmr", -1, "Pegasus Mail address book"},
        {"x.adr", -1, "Opera hotlist"},
        {"Contacts", 19, "Opera hotlist"},
        {"x.abx", -1, nullptr},
        {"x.contact", -1, nullptr},
        {"x.unknown", -1, nullptr},
        {"noext", -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const FormatRow* row = writerRowFor(c.file, c.format);
        if (c.row == nullptr) {
            EXPECT_EQ(row, nullptr);
            EXPECT_EQ(createWriter(c.file, c.format), nullptr);
        } else {
            ASSERT_NE(row, nullptr);
            EXPECT_STREQ(row->description, c.row);
        }
    }
}

TEST(Factory, ARowNotBuiltYieldsNoneAndAnOverrideComesFirst) {
    for (const FormatRow& row : readerRows()) {
        if (row.reader) continue;
        const std::string ext = row.extensions;
        const std::string file = "x." + ext.substr(0, ext.find(';'));
        SCOPED_TRACE(file);
        EXPECT_EQ(createReader(file, row.formatNumber), nullptr);
        EXPECT_FALSE(hasReaderFor(file, row.formatNumber));
    }
    {
        testing::LineFormatScope lines;
        EXPECT_NE(createReader("a.TST", -1), nullptr);
        EXPECT_NE(createWriter("a.tst", -1), nullptr);
        EXPECT_TRUE(hasReaderFor("a.tst", -1));
        EXPECT_TRUE(hasWriterFor("a.tsf", -1));
    }
    EXPECT_FALSE(hasWriterFor("a.tst", -1));
}

}  // namespace
}  // namespace vesk
