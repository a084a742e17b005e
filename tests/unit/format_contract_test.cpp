// Every format of the registry, checked the same way: an empty file, a file cut short at
// several points, a book written and read back keeping every field that both the reader and the
// writer hold, and writer flags that agree with what the record says the format holds. The
// test line format rides along, so a format added to the table is checked with no other edit.
#include <gtest/gtest.h>

#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "registry/registry.h"
#include "support/line_format.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"

namespace vesk {
namespace {

using testing::slurp;
using testing::spit;

const Registry& contractRegistry() {
    return testing::lineRegistry();
}

std::vector<std::string> idsWhere(bool (*keep)(const FormatInfo&)) {
    std::vector<std::string> out;
    for (const FormatInfo* f : contractRegistry().formats()) {
        if (keep(*f)) out.emplace_back(f->id);
    }
    return out;
}

std::string fileFor(const testing::TempDir& dir, const FormatInfo& f, const std::string& stem) {
    return dir.file(stem + "." + std::string(f.extensions.empty() ? "txt" : f.extensions[0]));
}

/// A contact with every field filled, accents and separators included.
Entry fullContact(const std::string& name, const std::string& mail) {
    Entry e;
    for (int i = 0; i < kFieldCount; ++i) e.at(i) = "V" + std::to_string(i) + " \xC3\xA9t\xC3\xA9";
    e[Field::FullName] = name;
    e[Field::Email] = mail;
    e[Field::FirstName] = name.substr(0, name.find(' '));
    e[Field::LastName] = name.substr(name.find(' ') + 1);
    e[Field::Notes] = "line one\nline two; with \"quotes\", commas & <angles>";
    e[Field::Organization] = "Acme; Sons, Ltd.";
    e.revisionTime = 1700000000;
    return e;
}

void fillSample(NewAdbook& book) {
    book.addEntry(fullContact("J\xC3\xBCrgen M\xC3\xBCller", "jm@example.org"));
    book.addEntry(fullContact(
        "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2",
        "ivan@example.org"));
    book.addEntry(fullContact("Ann Lee", "ann@example.org"));
    book.sortAndMerge(0);
}

class FormatContract : public ::testing::TestWithParam<std::string> {
  protected:
    const FormatInfo& format() { return *contractRegistry().byId(GetParam()); }

    /// Reads `path` into a new book with the format's reader.
    std::unique_ptr<NewAdbook> readBack(const std::string& path) {
        std::unique_ptr<IterBase> reader = makeReader(run, format(), path, appOf(format()));
        if (!reader) return nullptr;
        auto book = std::make_unique<NewAdbook>(run);
        book->fromStart(*reader);
        EXPECT_TRUE(reader->atEnd()) << path;
        return book;
    }
    static Application appOf(const FormatInfo& f) {
        return f.applications.empty() ? Application::None : f.applications[0];
    }
    std::unique_ptr<ToBase> writer(const std::string& path) {
        return makeWriter(run, format(), path, appOf(format()));
    }

    testing::TempDir dir;
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
};

class WrittenFormat : public FormatContract {};

TEST_P(WrittenFormat, ABookReadsBackWithEveryFieldBothSidesHold) {
    const std::string path = fileFor(dir, format(), "book");
    NewAdbook source(run);
    fillSample(source);
    std::unique_ptr<ToBase> w = writer(path);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->fromStart(source)) << path;

    std::unique_ptr<NewAdbook> back = readBack(path);
    ASSERT_NE(back, nullptr) << path;
    const FieldMask kept = format().readFields & format().writeFields;
    for (int i = 0; i < source.entryCount(); ++i) {
        const Entry want = source.entryAt(i);
        bool found = false;
        for (int j = 0; j < back->entryCount() && !found; ++j) {
            const Entry got = back->entryAt(j);
            if (got[Field::Email] != want[Field::Email]) continue;
            found = true;
            for (int f = 0; f < kFieldCount; ++f) {
                if (!kept.test(static_cast<std::size_t>(f))) continue;
                EXPECT_EQ(got.at(f), want.at(f)) << path << ": " << fieldName(f);
            }
        }
        EXPECT_TRUE(found) << path << " lost " << want[Field::Email] << "\n" << slurp(path);
    }
}

TEST_P(WrittenFormat, TheWriterHoldsWhatTheRecordSays) {
    std::unique_ptr<ToBase> w = writer(fileFor(dir, format(), "flags"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->wantsFolders, format().holdsFolders);
    EXPECT_TRUE(w->wantsLists || !format().holdsLists);
    if (w->wantsLists && !format().holdsLists) {
        // A writer that takes lists it cannot hold does so only to report them as dropped.
        const int before = run.diagnostics().count();
        w->write(markerEntry(KindListBegin, "L"));
        w->write(markerEntry(KindListEnd, ""));
        EXPECT_EQ(run.diagnostics().count(), before + 1);
    }
    EXPECT_EQ(w->mergesExisting, format().mergesExisting);
}

TEST_P(WrittenFormat, AFileCutShortNeverBreaksTheReader) {
    const std::string path = fileFor(dir, format(), "book");
    NewAdbook source(run);
    fillSample(source);
    ASSERT_TRUE(writer(path)->fromStart(source));
    const std::string whole = slurp(path);
    for (std::size_t cut : {std::size_t{1}, whole.size() / 3, whole.size() / 2, whole.size() - 1}) {
        const std::string part = fileFor(dir, format(), "cut" + std::to_string(cut));
        spit(part, whole.substr(0, cut));
        std::unique_ptr<NewAdbook> back = readBack(part);
        ASSERT_NE(back, nullptr);
        EXPECT_LE(back->entryCount(), source.entryCount()) << part;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenFormat,
                         ::testing::ValuesIn(idsWhere([](const FormatInfo& f) {
                             return f.reader != nullptr && f.writer != nullptr && f.writesHere;
                         })),
                         [](const auto& param) { return param.param; });

class ReadFormat : public FormatContract {};

TEST_P(ReadFormat, AnEmptyFileGivesAnEmptyBook) {
    const std::string path = fileFor(dir, format(), "empty");
    spit(path, "");
    std::unique_ptr<IterBase> reader = makeReader(run, format(), path, appOf(format()));
    ASSERT_NE(reader, nullptr);
    NewAdbook book(run);
    book.fromStart(*reader);
    EXPECT_EQ(book.entryCount(), 0);
    EXPECT_EQ(book.listCount(), 0);
    EXPECT_TRUE(reader->atEnd());
}

INSTANTIATE_TEST_SUITE_P(Formats, ReadFormat, ::testing::ValuesIn(idsWhere([](const FormatInfo& f) {
                             return f.reader != nullptr;
                         })),
                         [](const auto& param) { return param.param; });

}  // namespace
}  // namespace vesk
