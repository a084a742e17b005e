// Writers that only read their entries are handed the book's own entries where masking and
// dating leave them as they are: what they write must be what they wrote from the masked, dated
// copies, and the book must stay as it was.
#include <gtest/gtest.h>

#include "model/adbook.h"
#include "operations/selection.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "registry/registry.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"

namespace vesk {
namespace {

using testing::contact;
using testing::slurp;

Entry dated(Entry e, std::int64_t time) {
    e.revisionTime = time;
    return e;
}

/// Contacts in the book and in a folder, a list in each, an entry whose mask hides two fields
/// it holds, and an undated entry.
void fillBook(NewAdbook& book) {
    Entry hidden = dated(contact("Bob Hidden", "bob@x.org", "bob"), 1700000100);
    hidden[Field::HomePhone] = "555 0101";
    hidden[Field::Notes] = "kept out";
    hidden.mask.reset(static_cast<std::size_t>(Field::HomePhone));
    hidden.mask.reset(static_cast<std::size_t>(Field::Notes));
    book.addEntry(hidden);
    Entry undated = dated(contact("Una Undated", "una@x.org"), 0);
    undated[Field::Organization] = "Acme";
    book.addEntry(undated);
    Entry plain = dated(contact("Ann Plain", "ann@x.org", "ann"), 1700000000);
    plain[Field::BusinessPhone] = "+41 44 555 1000";
    book.addEntry(plain);
    book.sortAndMerge(0);
    NewAdbook* work = book.folderNamed("Work");
    work->addEntry(dated(contact("Cid Worker", "cid@x.org"), 1700000200));
    work->addEntry(dated(contact("Dee Worker", "dee@x.org"), 1700000300));
    work->addList("Crew")->addMember(work->entryPtr(1));
    DistList* team = book.addList("Team");
    for (int i = 0; i < book.entryCount(); ++i) team->addMember(book.entryPtr(i));
}

/// The entry named `name` in the book or its folders.
const Entry* entryNamed(NewAdbook& book, const std::string& name) {
    for (int i = 0; i < book.entryCount(); ++i) {
        if (book.entryPtr(i)->value(0) == name) return book.entryPtr(i);
    }
    for (int i = 0; i < book.folderCount(); ++i) {
        if (const Entry* e = entryNamed(*book.folder(i), name)) return e;
    }
    return nullptr;
}

/// True when `text` holds `ascii` as it is or in UTF-16LE (the Pegasus book).
bool holds(const std::string& text, const std::string& ascii) {
    std::string wide;
    for (const char c : ascii) wide.append({c, '\0'});
    return text.find(ascii) != std::string::npos || text.find(wide) != std::string::npos;
}

void expectBookUnchanged(NewAdbook& book) {
    const Entry* bob = entryNamed(book, "Bob Hidden");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ((*bob)[Field::HomePhone], "555 0101");
    EXPECT_EQ((*bob)[Field::Notes], "kept out");
    const Entry* una = entryNamed(book, "Una Undated");
    ASSERT_NE(una, nullptr);
    EXPECT_EQ(una->revisionTime, 0);
}

class ViewedBook : public ::testing::TestWithParam<const char*> {
  protected:
    /// What the format's writer makes of the book, handed views of its entries or copies.
    std::string written(bool views, const std::string& folder) {
        const FormatInfo& format = *Registry::builtIn().byId(GetParam());
        // The same file name in both folders: some formats write the name into the file.
        std::filesystem::create_directories(dir.path() / folder);
        const std::string ext(format.extensions.empty() ? "txt" : format.extensions[0]);
        const std::string path = (dir.path() / folder / ("book." + ext)).string();
        std::unique_ptr<ToBase> writer = makeWriter(run, format, path);
        EXPECT_NE(writer, nullptr);
        if (!writer) return {};
        EXPECT_TRUE(writer->takesViews);
        writer->takesViews = views;
        SaveOutcome outcome;
        EXPECT_TRUE(writeBook(*writer, book, outcome));
        return slurp(path);
    }

    testing::TempDir dir;
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    NewAdbook book{run};
};

TEST_P(ViewedBook, WritesWhatCopiesWouldWrite) {
    fillBook(book);
    std::string viaCopies;
    std::string viaViews;
    // The undated entry is dated now: both texts are made within one second.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t start = currentTime();
        viaCopies = written(false, "copies");
        viaViews = written(true, "views");
        if (currentTime() == start) break;
    }
    EXPECT_EQ(viaViews, viaCopies);
    EXPECT_TRUE(holds(viaViews, "Ann Plain"));
    EXPECT_FALSE(holds(viaViews, "kept out"));
    expectBookUnchanged(book);
}

INSTANTIATE_TEST_SUITE_P(Formats, ViewedBook,
                         ::testing::Values("vcard", "vcard21", "vcard40", "ldif", "csv", "kynt",
                                           "html_book", "plain_text", "pegasus_list", "eudora",
                                           "juno", "opera", "mork", "pegasus_book", "agent_xml"),
                         [](const auto& param) { return std::string(param.param); });

/// Notes what it is handed: the name, the hidden phone, the time, and whether the entry is the
/// book's own or a copy.
class NotingWriter : public ToBase {
  public:
    NotingWriter(RunContext& run, NewAdbook& book, bool keepUndated) : ToBase(run), m_book(book) {
        wantsFolders = true;
        wantsLists = true;
        keepsUndated = keepUndated;
        takesViews = true;
    }
    bool write(Entry e) override { return note(e); }
    bool writeView(const Entry& e) override { return note(e); }

    struct Seen {
        std::string name;
        bool own;
        std::string phone;
        std::int64_t time;
    };
    std::vector<Seen> seen;

  private:
    bool note(const Entry& e) {
        if (e.isMarker()) return true;
        const std::string& name = e[Field::FullName];
        seen.push_back({name, entryNamed(m_book, name) == &e, e[Field::HomePhone], e.revisionTime});
        return true;
    }
    NewAdbook& m_book;
};

TEST(WriterViews, OnlyEntriesThatMaskingOrDatingChangesAreCopied) {
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    NewAdbook book(run);
    fillBook(book);
    struct Want {
        std::string name;
        bool own;
        bool datedNow;  ///< else the entry's own time
    };
    struct Case {
        bool keepUndated;
        std::vector<Want> want;
    };
    const Case cases[] = {
        {false,
         {{"Cid Worker", true, false},
          {"Dee Worker", true, false},
          {"Dee Worker", true, false},  // the folder's list
          {"Ann Plain", true, false},
          {"Bob Hidden", false, false},
          {"Una Undated", false, true},
          {"Ann Plain", true, false},  // the book's list
          {"Bob Hidden", false, false},
          {"Una Undated", false, true}}},
        {true,
         {{"Cid Worker", true, false},
          {"Dee Worker", true, false},
          {"Dee Worker", true, false},
          {"Ann Plain", true, false},
          {"Bob Hidden", false, false},
          {"Una Undated", true, false},
          {"Ann Plain", true, false},
          {"Bob Hidden", false, false},
          {"Una Undated", true, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keepUndated ? "keeps undated" : "dates undated");
        NotingWriter writer(run, book, c.keepUndated);
        const std::int64_t before = currentTime();
        ASSERT_TRUE(writer.fromStart(book));
        ASSERT_EQ(writer.seen.size(), c.want.size());
        for (std::size_t i = 0; i < c.want.size(); ++i) {
            const NotingWriter::Seen& got = writer.seen[i];
            const Want& want = c.want[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(got.name, want.name);
            EXPECT_EQ(got.own, want.own);
            EXPECT_EQ(got.phone, "");  // masked off, or never there
            const Entry* stored = entryNamed(book, want.name);
            ASSERT_NE(stored, nullptr);
            if (want.datedNow) {
                EXPECT_GE(got.time, before);
            } else {
                EXPECT_EQ(got.time, stored->revisionTime);
            }
        }
        expectBookUnchanged(book);
    }
}

TEST(WriterViews, AReaderWithoutEntriesOfItsOwnStillGivesMaskedDatedEntries) {
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    NewAdbook book(run);
    Entry hidden = dated(contact("Bob Hidden", "bob@x.org"), 0);
    hidden[Field::HomePhone] = "555 0101";
    hidden.mask.reset(static_cast<std::size_t>(Field::HomePhone));
    testing::ScriptedReader reader("r", {hidden, dated(contact("Ann Plain"), 1700000000)});
    NotingWriter writer(run, book, false);
    const std::int64_t before = currentTime();
    ASSERT_TRUE(writer.fromStart(reader));
    ASSERT_EQ(writer.seen.size(), 2u);
    EXPECT_EQ(writer.seen[0].phone, "");
    EXPECT_GE(writer.seen[0].time, before);
    EXPECT_EQ(writer.seen[1].time, 1700000000);
}

}  // namespace
}  // namespace vesk
