// Choosing a format: the first row the application or the extension selects, the content when
// the extension is missing, unknown or shared, and a new format wired in by one registry line.
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/cli/command_line.h"
#include "app/common/file_dialogs.h"
#include "support/line_format.h"
#include "support/temp_dir.h"
#include "support/test_run.h"

namespace vesk {
namespace {

using testing::spit;

std::string idOf(const FormatInfo* f) {
    return f ? std::string(f->id) : std::string("(none)");
}

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

TEST(Registry, ReaderAndWriterRowsDecideByFirstMatch) {
    const Registry& r = Registry::builtIn();
    struct Case {
        const char* file;
        Application app;
        const char* reader;  // "(none)": no row
        const char* writer;
    } cases[] = {
        {"x.simeon", Application::None, "simeon", "(none)"},
        {"x.VCF", Application::None, "vcard", "vcard"},
        {"x.bab", Application::None, "vcard21", "vcard21"},
        {"x.kynt", Application::None, "kynt", "kynt"},
        {"x.txt", Application::None, "plain_text", "plain_text"},
        {"nndbase.txt", Application::Eudora, "eudora", "eudora"},
        // Eudora's number selects its row before the rows after it can match by extension;
        // LDIF's row comes before it, for reading as for writing.
        {"book.vcf", Application::Eudora, "eudora", "eudora"},
        {"report.ldif", Application::Eudora, "ldif", "ldif"},
        {"address.htm", Application::Eudora, "eudora", "eudora"},
        {"x.pml", Application::None, "pegasus_list", "pegasus_list"},
        {"x.pmr", Application::None, "pegasus_book", "pegasus_book"},
        {"x.csv", Application::None, "csv", "csv"},
        {"x.abx", Application::None, "abx", "(none)"},
        {"abook.mab", Application::None, "mork", "mork"},
        {"history.SQLITE", Application::None, "abook_sqlite", "abook_sqlite"},
        {"x.dat", Application::None, "palm", "(none)"},
        {"x.addressbook", Application::None, "pine", "(none)"},
        {"anything.else", Application::Pine, "pine", "(none)"},
        {"contacts.adr", Application::None, "opera", "opera"},
        {"Contacts", Application::Opera, "opera", "opera"},
        {"x.xml", Application::None, "agent_xml", "agent_xml"},
        {"x.contact", Application::None, "windows_contact", "(none)"},
        {"report.LDIF", Application::None, "ldif", "ldif"},
        {"address.HTM", Application::None, "html_book", "html_book"},
        {"x.html", Application::None, "html_book", "html_book"},
        {"addrbook.nv", Application::None, "juno", "juno"},
        {"x.ini", Application::None, "ini_book", "(none)"},
        {"x.unknown", Application::None, "(none)", "(none)"},
        {"/home/a.vcf/book", Application::None, "(none)", "(none)"},
        {"store", Application::OutlookExpress, "wab", "wab"},
        {"store", Application::Outlook, "outlook", "outlook"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(idOf(r.readerFormatFor(c.file, c.app)), c.reader);
        EXPECT_EQ(idOf(r.writerFormatFor(c.file, c.app)), c.writer);
    }
}

TEST(Registry, ApplicationNumbersSelectTheirStores) {
    const Registry& r = Registry::builtIn();
    EXPECT_EQ(idOf(r.readerFormatOf(Application::Pine)), "pine");
    EXPECT_EQ(idOf(r.readerFormatOf(Application::Eudora)), "eudora");
    EXPECT_EQ(idOf(r.writerFormatOf(Application::Opera)), "opera");
    EXPECT_EQ(idOf(r.writerFormatOf(Application::Juno)), "(none)");
}

TEST(Registry, ContentDecidesWhenTheExtensionCannot) {
    testing::TempDir dir;
    const Registry& r = Registry::builtIn();
    struct Case {
        const char* file;
        const char* content;
        const char* format;
        bool bySniffing;
    } cases[] = {
        {"card.txt", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nEND:VCARD\r\n", "vcard", true},
        {"export.txt", "dn: cn=Ann,mail=a@x.org\nmail: a@x.org\n\n", "ldif", true},
        {"nndbase.txt", "alias ann \"Ann Lee\" <ann@x.org>\n", "eudora", true},
        {"pine.txt", "ann\tAnn Lee\tann@x.org\n", "pine", true},
        {"list.txt", "\"Ann Lee\" <ann@x.org>\nbob@x.org\n", "plain_text", false},
        {"tabs.csv", "Name\tE-mail Address\nAnn\tann@x.org\n", "csv", false},
        {"vcards.csv", "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n", "vcard", true},
        {"contacts", "First Name,Last Name,E-mail Address\nAnn,Lee,a@x.org\n", "csv", true},
        {"cards.dat2", "\xEF\xBB\xBF\nBEGIN:VCARD\nFN:Ann\nEND:VCARD\n", "vcard", true},
        {"abook", "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n", "mork", true},
        {"book", "<?xml version=\"1.0\"?>\n<!DOCTYPE adbook>\n<adbook>\n", "kynt", true},
        {"netscape", "<!DOCTYPE NETSCAPE-Addressbook-file-1>\n<DL><p>\n", "html_book", true},
        {"people", "[Ann Lee]\nEmail=ann@x.org\n", "ini_book", true},
        // A guess is never enough: a wrong one would be written back by a sync.
        {"notes", "Bob|b@x.org\n", "(none)", false},
        {"photo", "\xFF\xD8\xFF\xE0\x00\x10JFIF", "(none)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        spit(dir.file(c.file), c.content);
        const ReaderChoice choice = r.chooseReader(dir.file(c.file), Application::None);
        EXPECT_EQ(idOf(choice.format), c.format);
        EXPECT_EQ(choice.bySniffing, c.bySniffing);
    }
    // The application named decides, not the content.
    spit(dir.file("named.txt"), "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n");
    EXPECT_EQ(idOf(r.chooseReader(dir.file("named.txt"), Application::Eudora).format), "eudora");
}

TEST(Registry, WhatAFileLooksLikeWhenNoFormatKnowsIt) {
    struct Case {
        std::string bytes;
        const char* description;
    } cases[] = {
        {"", "an empty file"},
        {"\xFF\xD8\xFF\xE0", "a JPEG image"},
        {"%PDF-1.4", "a PDF document"},
        {"SQLite format 3", "an SQLite database"},
        {std::string("ab\0cd", 5), "binary data"},
        {"  \n\n", "blank text"},
        {"Dear Ann,\nthank you", "text beginning \"Dear Ann,\""},
        {std::string(50, 'x'), "text beginning \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\""},
    };
    for (const Case& c : cases) EXPECT_EQ(describeContent(c.bytes), c.description);
}

/// A format a test adds: the line format under another id and extension, with a dialog filter.
const FormatInfo& fakeFormat() {
    static const FormatInfo info = [] {
        FormatInfo f = testing::lineFormat();
        f.id = "fake";
        f.displayName = "Fake address book";
        f.extensions = {"fake"};
        f.openFilters = {{"Fake books (*.fake)", "*.fake"}};
        f.saveFilters = {{"Fake books (*.fake)", "*.fake"}};
        return f;
    }();
    return info;
}

TEST(Registry, ANewFormatIsWiredInByOneLine) {
    testing::TestRun run;
    const Registry r = Registry::withExtra({&fakeFormat()});

    EXPECT_EQ(idOf(r.readerFormatFor("x.fake", Application::None)), "fake");
    EXPECT_EQ(idOf(r.writerFormatFor("x.FAKE", Application::None)), "fake");
    EXPECT_NE(makeReader(run, fakeFormat(), "x.fake"), nullptr);

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::listFormats(r, cli::Streams{out, err, r}), cli::kExitDone);
    EXPECT_NE(out.str().find("fake"), std::string::npos);
    EXPECT_NE(out.str().find("Fake address book"), std::string::npos);

    for (const auto& filters : {openFilters(r), saveFilters(r)}) {
        ASSERT_GE(filters.size(), 2u);
        EXPECT_EQ(filters[filters.size() - 2].description, "Fake books (*.fake)");
        EXPECT_EQ(filters.back().description, "All files (*.*)");
    }
    // The built-in lists keep the order users know.
    EXPECT_EQ(openFilters().size(), 15u);
    EXPECT_EQ(openFilters()[3].description, "Pegasus Mail files (*.pml, *.pmr)");
    EXPECT_EQ(saveFilters()[7].description, "Becky! Address Book (*.bab)");
}

TEST(Registry, IdsAreUniqueAndRecordsHoldWhatTheyClaim) {
    const Registry& r = Registry::builtIn();
    for (const FormatInfo* f : r.formats()) {
        SCOPED_TRACE(std::string(f->id));
        EXPECT_EQ(r.byId(f->id), f);
        EXPECT_TRUE(f->reads || f->writes);
        EXPECT_TRUE(f->reads || !f->reader);
        EXPECT_TRUE(f->writes || !f->writer);
        EXPECT_FALSE(f->extensions.empty() && f->applications.empty());
    }
}

TEST(Registry, TheDocsIndexListsEveryFormatAndEveryBuiltOneHasItsPage) {
    const std::string docs = std::string(VESK_FIXTURES_DIR) + "/../../docs/formats/";
    const std::string index = testing::slurp(docs + "README.md");
    ASSERT_FALSE(index.empty());
    for (const FormatInfo* f : Registry::builtIn().formats()) {
        SCOPED_TRACE(std::string(f->id));
        EXPECT_NE(index.find("| " + std::string(f->id) + " |"), std::string::npos);
        if (!f->reader && !f->writer) continue;
        ASSERT_FALSE(f->docsPage.empty());
        EXPECT_TRUE(std::filesystem::exists(docs + std::string(f->docsPage)));
        EXPECT_NE(index.find("(" + std::string(f->docsPage) + ")"), std::string::npos);
    }
}

}  // namespace
}  // namespace vesk
