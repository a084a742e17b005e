#include "formats/kynt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "model/adbook.h"
#include "support/test_readers.h"
#include "support/test_run.h"
#include "text/text_io.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using iterators::IterKYNT;

constexpr std::int64_t kMarch2006 = 1141214400;  // 2006-03-01T12:00:00Z

/// A neutral text form of a book: every field, mask and time of every entry, folders and
/// lists with their members, so two books compare with one EXPECT_EQ.
std::string dump(NewAdbook& book, const std::string& indent = "") {
    std::ostringstream out;
    for (int i = 0; i < book.entryCount(); ++i) {
        const Entry& e = *book.entryPtr(i);
        out << indent << "entry kind=" << toNumber(e.kind) << " mask=" << maskToText(e.mask)
            << " rev=" << e.revisionTime << "\n";
        for (int f = 0; f < kFieldCount; ++f) {
            if (e.at(f).empty()) continue;
            std::string v = e.at(f);
            for (std::size_t p = 0; (p = v.find('\n', p)) != std::string::npos; p += 2) {
                v.replace(p, 1, "\\n");
            }
            out << indent << "  " << fieldName(f) << "=" << v << "\n";
        }
    }
    for (int i = 0; i < book.listCount(); ++i) {
        DistList* list = book.listAt(i);
        out << indent << "list " << list->name() << "\n";
        for (const Entry* m : list->members()) {
            out << indent << "  member " << (*m)[Field::FullName] << "\n";
        }
    }
    for (int i = 0; i < book.folderCount(); ++i) {
        NewAdbook* folder = book.folder(i);
        out << indent << "folder " << folder->name() << "\n" << dump(*folder, indent + "  ");
    }
    return out.str();
}

class KyntTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vesk-kynt-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const std::string& bytes, const std::string& name = "in.kynt") {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    /// Reads an archive text into a new book.
    std::unique_ptr<NewAdbook> load(const std::string& text) {
        IterKYNT r(run, file(text));
        auto book = std::make_unique<NewAdbook>(run);
        book->fromIter(r, false);
        return book;
    }
    /// Writes `book` to an archive and returns the path.
    std::string save(NewAdbook& book, std::int64_t time = kMarch2006) {
        const std::string path = (dir / "out.kynt").string();
        ToKYNT w(run, path, time, FieldMask().set());
        w.fromStart(book);
        EXPECT_TRUE(w.succeeded());
        return path;
    }

    fs::path dir;
    testing::TestRun run;
};

/// A contact whose 34 fields all hold something, marked with `tag`.
Entry person(const std::string& tag, std::int64_t time) {
    Entry e;
    for (int i = 0; i < kFieldCount; ++i) e.at(i) = tag + " " + fieldName(i);
    e[Field::FullName] = tag + " Person";
    e[Field::Email] = tag + "@example.org";
    e[Field::Nickname] = tag;
    e.revisionTime = time;
    return e;
}

TEST_F(KyntTest, EmptyBookWritesWrapperAndHeaderOnly) {
    NewAdbook empty(run);
    const std::string path = save(empty);
    EXPECT_EQ(slurp(path),
              "<?xml version=\"1.0\"?>\r\n<!DOCTYPE adbook>\r\n<adbook>\r\nBEGIN:VCARD\r\n"
              "VERSION:2.1\r\nN:KYNTv1\r\nFN:KYNTv1\r\nREV:2006-03-01T12:00:00Z\r\n"
              "X-KYNT-SUPPORTED:1111111111111111111111111111111111\r\nEND:VCARD\r\n"
              "</adbook>\r\n");
    IterKYNT r(run, path);
    ASSERT_FALSE(r.atEnd());
    EXPECT_TRUE(r.nextEntry().isEmpty());  // the header card
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(r.revisionTime(), kMarch2006);
    EXPECT_EQ(load(slurp(path))->entryCount(), 0);
}

TEST_F(KyntTest, WholeBookComesBackIdentical) {
    Entry ann = person("Ann", 1000000001);
    ann[Field::LastName] = "Müller; \"the elder\"";
    ann[Field::Notes] = "Line 1\nLine 2, with; separators\n\nand a \"quote\" and \\ backslash";
    ann[Field::HomeStreet] = "12 Main St\nApt 4";
    Entry bob = person("Bob", 1000000002);
    bob[Field::FirstName] = "Иван";
    bob[Field::Organization] = "中文; Co, Ltd";
    bob[Field::Spouse] = "ß é\nкириллица";
    Entry cy = person("Cy", 1000000003);
    cy.mask.reset(static_cast<std::size_t>(Field::Pager))
        .reset(static_cast<std::size_t>(Field::Spouse));
    cy[Field::Pager].clear();
    cy[Field::Spouse].clear();
    Entry dee = person("Dee", 1000000004);
    dee[Field::Department] = "<list name=\"x\">\nBEGIN:VCARD\nEND:VCARD\n</folder>";
    Entry eve = person("Eve", 1000000005);
    Entry fay = person("Fay", 1000000006);

    testing::ScriptedReader source("Contacts", {ann, bob, cy});
    auto& friends = source.folder("Friends", {dee});
    auto& inner = friends.folder("Close \"inner\" <b> & c", {eve});
    inner.folder("Deepest", {fay});
    friends.list("Friends list", {dee});
    source.folder("Empty folder", {});
    source.list("Team", {ann, bob});
    source.list("Family; \"ours\" & <co>", {cy, ann});

    NewAdbook original(run);
    original.fromIter(source, false);
    ASSERT_EQ(original.listCount(), 2);
    ASSERT_EQ(original.folderCount(), 2);
    ASSERT_EQ(original.listAt(0)->entryCount(), 2);

    const std::string path = save(original, kMarch2006);
    IterKYNT r(run, path);
    NewAdbook copy(run);
    copy.fromIter(r, false);
    EXPECT_EQ(dump(copy), dump(original));
    EXPECT_EQ(copy.revisionTime(), kMarch2006);
    EXPECT_NE(dump(original).find("member Ann Person"), std::string::npos);
    EXPECT_NE(dump(original).find("folder Deepest"), std::string::npos);
}

TEST_F(KyntTest, NamesAreEscapedOnDiskAndOldUnescapedNamesStillRead) {
    ToKYNT w(run, (dir / "n.kynt").string(), kMarch2006, FieldMask().set());
    w.write(markerEntry(KindFolderBegin, "The \"A\" Team <&>"));
    w.write(markerEntry(KindFolderEnd, ""));
    w.write(markerEntry(KindListBegin, "two\nlines"));
    w.write(markerEntry(KindListEnd, ""));
    const std::string text = w.text();
    EXPECT_NE(text.find("<folder name=\"The &quot;A&quot; Team &lt;&amp;&gt;\">\n</folder>\n"),
              std::string::npos);
    EXPECT_NE(text.find("<list name=\"two&#10;lines\">\n</list>\n</adbook>\n"), std::string::npos);
    EXPECT_EQ(text, w.text());  // asking twice does not close the archive twice

    auto book = load(
        "<adbook>\n<folder name=\"The \"A\" Team\">\nBEGIN:VCARD\nFN:Ann\nEND:VCARD\n</folder>\n"
        "<folder name=\"a>b & c\">\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n</folder>\n</adbook>\n");
    ASSERT_EQ(book->folderCount(), 2);
    EXPECT_EQ(book->folder(0)->name(), "The \"A\" Team");
    EXPECT_EQ(book->folder(1)->name(), "a>b & c");
    EXPECT_EQ(book->folder(1)->entryCount(), 1);
}

TEST_F(KyntTest, NameEntities) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"},
        {"&amp;&quot;&lt;&gt;&apos;", "&\"<>'"},
        {"&#10;&#x41;&#169;", "\nA©"},
        {"R&D &unknown; &#xZZ; & &amp", "R&D &unknown; &#xZZ; & &amp"},
        {"&#0; &#99999999999;", "&#0; &#99999999999;"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(kynt::unescapeName(in), out) << in;
    for (const char* name : {"a\"b", "<x>&y", "two\r\nlines", "ü & ö"}) {
        EXPECT_EQ(kynt::unescapeName(kynt::escapeName(name)), name);
        EXPECT_EQ(kynt::escapeName(name).find_first_of("\"<>\n"), std::string::npos);
    }
}

TEST_F(KyntTest, HandMadeFilesReadLikeOurs) {
    // Upper-case tags, no wrapper lines, a first card at the very start of the file.
    auto book = load(
        "BEGIN:VCARD\nFN:First\nEND:VCARD\n<FOLDER NAME=\"Friends\">\nBEGIN:VCARD\nFN:Ann\n"
        "END:VCARD\n<FOLDER name=\"Inner\">\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n</FOLDER>\n"
        "</Folder>\n<LIST name=\"Team\">\nBEGIN:VCARD\nFN:First\nEND:VCARD\n</LIST>\n");
    EXPECT_EQ(dump(*book).find("Full Name=First") != std::string::npos, true);
    ASSERT_EQ(book->entryCount(), 1);
    ASSERT_EQ(book->folderCount(), 1);
    EXPECT_EQ(book->folder(0)->name(), "Friends");
    ASSERT_EQ(book->folder(0)->folderCount(), 1);
    EXPECT_EQ(book->folder(0)->folder(0)->name(), "Inner");
    EXPECT_EQ(book->folder(0)->folder(0)->entryAt(0)[Field::FullName], "Bob");
    ASSERT_EQ(book->listCount(), 1);
    EXPECT_EQ(book->listAt(0)->entryCount(), 1);
}

TEST_F(KyntTest, MarkersInsideValuesDoNotSplitCards) {
    auto book = load(
        "<adbook>\nBEGIN:VCARD\nFN:Ann\nORG:<Lisbon office>\nNOTE:see <list name=\"x\"> and "
        "BEGIN:VCARD\nTITLE:</FOLDER>\nEND:VCARD\n</adbook>\n");
    ASSERT_EQ(book->entryCount(), 1);
    EXPECT_EQ(book->listCount(), 0);
    const Entry& e = *book->entryPtr(0);
    EXPECT_EQ(e[Field::Organization], "<Lisbon office>");
    EXPECT_EQ(e[Field::JobTitle], "</FOLDER>");
}

TEST_F(KyntTest, CardWhoseOrganizationGivesNoPartsStillReads) {
    auto book = load("<adbook>\nBEGIN:VCARD\nFN:Ann\nORG;BASE64:QQ==\nEND:VCARD\n</adbook>\n");
    ASSERT_EQ(book->entryCount(), 1);
    EXPECT_EQ(book->entryAt(0)[Field::Organization], "");
}

TEST_F(KyntTest, HeaderRevisionTime) {
    const std::pair<std::string, std::int64_t> cases[] = {
        {"<adbook>\nBEGIN:VCARD\nN:KYNTv1\nFN:KYNTv1\nREV:2006-03-01T12:00:00Z\nEND:VCARD\n",
         kMarch2006},
        {"REV:2006-03-01T12:00:00Z\n", kMarch2006},
        {"<adbook>\nBEGIN:VCARD\nFN:KYNTv1\nEND:VCARD\n</adbook>\n", 0},
        {"BEGIN:VCARD\nFN:KYNTv1\nREV:garbage\nEND:VCARD\n", 0},
        {"", 0},
    };
    for (const auto& [text, time] : cases) {
        IterKYNT r(run, file(text));
        EXPECT_EQ(r.revisionTime(), time) << text;
        NewAdbook book(run);
        book.fromIter(r, false);
        EXPECT_EQ(book.revisionTime(), time) << text;
    }
}

TEST_F(KyntTest, BrokenElementsNeverStallOrEndTheImport) {
    struct Case {
        const char* name;
        const char* text;
        const char* expected;  ///< dump of the book, names only
    };
    const Case cases[] = {
        {"NameWithoutClosingQuote",
         "<folder name=\"Friends>\nBEGIN:VCARD\nFN:Ann\nEND:VCARD\n</folder>\n"
         "BEGIN:VCARD\nFN:Bob\nEND:VCARD\n",
         "Ann Bob |"},
        {"StrayClosingTags",
         "</folder>\n</list>\nBEGIN:VCARD\nFN:Ann\nEND:VCARD\n</folder>\nBEGIN:VCARD\nFN:Bob\n"
         "END:VCARD\n",
         "Ann Bob |"},
        {"ListLeftOpenInsideAFolder",
         "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n<folder name=\"F\">\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n"
         "<list name=\"L\">\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n</folder>\nBEGIN:VCARD\nFN:Cy\n"
         "END:VCARD\n",
         "Ann Cy | F: Bob L[Bob] |"},
        {"ListInsideAList",
         "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n<list name=\"L\">\n<list name=\"M\">\nBEGIN:VCARD\n"
         "FN:Ann\nEND:VCARD\n</list>\n</list>\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n",
         "Ann Bob L[Ann] |"},
        {"FolderInsideAList",
         "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n<list name=\"L\">\n<folder name=\"G\">\nBEGIN:VCARD\n"
         "FN:Ann\nEND:VCARD\n</folder>\n</list>\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n",
         "Ann Bob L[Ann] |"},
        {"TruncatedCardBeforeATag",
         "<folder name=\"F\">\nBEGIN:VCARD\nFN:Ann\n</folder>\nBEGIN:VCARD\nFN:Bob\n",
         "Bob | F: Ann |"},
    };
    const std::function<std::string(NewAdbook&)> names = [&](NewAdbook& b) {
        std::string s;
        for (int i = 0; i < b.entryCount(); ++i) s += b.entryPtr(i)->value(0) + " ";
        for (int i = 0; i < b.listCount(); ++i) {
            s += b.listAt(i)->name() + "[";
            for (const Entry* m : b.listAt(i)->members()) s += (*m)[Field::FullName];
            s += "] ";
        }
        s += "|";
        for (int i = 0; i < b.folderCount(); ++i) {
            s += " " + b.folder(i)->name() + ": " + names(*b.folder(i));
        }
        return s;
    };
    for (const Case& c : cases) {
        auto book = load(c.text);
        EXPECT_EQ(names(*book), c.expected) << c.name;
    }
}

TEST_F(KyntTest, DeepNestingIsCapped) {
    std::string text;
    const int depth = 500;
    for (int i = 0; i < depth; ++i) text += "<folder name=\"f" + std::to_string(i) + "\">\n";
    text += "BEGIN:VCARD\nFN:Deep\nEND:VCARD\n";
    for (int i = 0; i < depth; ++i) text += "</folder>\n";
    text += "BEGIN:VCARD\nFN:Top\nEND:VCARD\n";
    auto book = load(text);
    ASSERT_EQ(book->entryCount(), 1);
    EXPECT_EQ(book->entryAt(0)[Field::FullName], "Top");
    NewAdbook* f = book.get();
    std::size_t levels = 0;
    while (f->folderCount() == 1) {
        f = f->folder(0);
        ++levels;
    }
    EXPECT_EQ(levels, IterKYNT::kMaxFolderDepth);
    ASSERT_EQ(f->entryCount(), 1);
    EXPECT_EQ(f->entryAt(0)[Field::FullName], "Deep");
}

TEST_F(KyntTest, ListMemberWithoutContactBecomesOne) {
    auto book = load(
        "BEGIN:VCARD\nFN:Ann\nEMAIL:ann@x\nEND:VCARD\n<list name=\"Team\">\nBEGIN:VCARD\nFN:Ann\n"
        "EMAIL:ann@x\nEND:VCARD\nBEGIN:VCARD\nFN:Ghost\nEMAIL:ghost@x\nEND:VCARD\n</list>\n");
    ASSERT_EQ(book->listCount(), 1);
    ASSERT_EQ(book->listAt(0)->entryCount(), 2);
    EXPECT_EQ(book->listAt(0)->members()[0]->value(0), "Ann");
    EXPECT_EQ(book->listAt(0)->members()[1]->value(0), "Ghost");
    EXPECT_EQ(book->entryCount(), 2);
    EXPECT_EQ(book->membersAdded(), 1);
}

TEST_F(KyntTest, ReaderWalksItemsInOrder) {
    IterKYNT r(
        run,
        file("<?xml version=\"1.0\"?>\n<adbook>\nBEGIN:VCARD\nFN:KYNTv1\nEND:VCARD\n"
             "<folder name=\"F\">\nBEGIN:VCARD\nFN:Ann\nEND:VCARD\n</folder>\n<list name=\"L\">\n"
             "</list>\n</adbook>\n"));
    std::vector<std::string> got;
    while (!r.atEnd()) {
        const Entry e = r.nextEntry();
        got.push_back(std::to_string(toNumber(e.kind)) + ":" + e[Field::FullName]);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"0:", "15:F", "0:Ann", "14:", "13:L", "237:"}));
    EXPECT_FLOAT_EQ(r.progress(), 1.0f);
    r.rewind();
    EXPECT_FALSE(r.atEnd());
    EXPECT_EQ(r.nextEntry()[Field::FullName], "");
}

TEST_F(KyntTest, ArchiveOfVcardsWithFolderlessWriter) {
    // Our own vCard writer receiving the archive directly skips the markers.
    NewAdbook book(run);
    testing::ScriptedReader source("Contacts", {testing::contact("Ann")});
    source.folder("F", {testing::contact("Bob")});
    book.fromIter(source, false);
    const std::string archive = save(book);
    IterKYNT r(run, archive);
    ToVCF vcf(run, (dir / "flat.vcf").string());
    vcf.fromStart(r);
    const std::string text = decodeText(slurp((dir / "flat.vcf").string()));
    EXPECT_EQ(text.find("FN:F\n"), std::string::npos);
    EXPECT_NE(text.find("FN:Ann\n"), std::string::npos);
}

}  // namespace
}  // namespace vesk
