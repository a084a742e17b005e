// Every format the factory knows, checked the same way: an empty file, a file cut short at
// several points, and a book written and read back with accents, line breaks and separators.
#include <gtest/gtest.h>

#include "model/adbook.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "registry/factory.h"
#include "support/temp_dir.h"
#include "support/test_readers.h"

namespace vesk {
namespace {

using testing::contact;

std::vector<std::string> splitExtensions(const char* list) {
    std::vector<std::string> out;
    std::string current;
    for (const char* p = list; *p; ++p) {
        if (*p == ';') {
            out.push_back(current);
            current.clear();
        } else {
            current.push_back(*p);
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

/// The extensions that have both a writer and a reader, so that a book can go round.
std::vector<std::string> roundTripExtensions() {
    std::vector<std::string> out;
    for (const FormatRow& row : writerRows()) {
        if (!row.writer || row.extensions[0] == '\0') continue;
        for (const std::string& ext : splitExtensions(row.extensions)) {
            if (hasReaderFor("x." + ext, -1)) out.push_back(ext);
        }
    }
    return out;
}

std::vector<std::string> readableExtensions() {
    std::vector<std::string> out;
    for (const FormatRow& row : readerRows()) {
        if (!row.reader || row.extensions[0] == '\0') continue;
        for (const std::string& ext : splitExtensions(row.extensions)) out.push_back(ext);
    }
    for (const char* ext : {"ldif", "htm", "nv", "ini"}) out.push_back(ext);  // general reader
    return out;
}

using testing::slurp;
using testing::spit;

class FormatContract : public ::testing::TestWithParam<std::string> {
  protected:
    /// Reads `path` into a new book through the factory; nullptr when no reader is made.
    std::unique_ptr<NewAdbook> readBack(const std::string& path) {
        std::unique_ptr<IterBase> reader = createReader(path, -1);
        if (!reader) return nullptr;
        auto book = std::make_unique<NewAdbook>();
        book->fromStart(*reader);
        EXPECT_TRUE(reader->atEnd()) << path;
        return book;
    }

    testing::TempDir dir;
    RecordingPrompt prompts;
    PromptScope promptScope{prompts};
    MemorySettingsStore store;
    SettingsScope settingsScope{store};
};

NewAdbook& sampleBook(NewAdbook& book) {
    book.addEntry(contact("J\xC3\xBCrgen M\xC3\xBCller", "jm@example.org"));
    book.addEntry(
        contact("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2",
                "ivan@example.org"));
    Entry ann = contact("Ann Lee", "ann@example.org");
    ann[Field::Notes] = "line one\nline two; with \"quotes\", commas & <angles>";
    ann[Field::Organization] = "Acme; Sons, Ltd.";
    book.addEntry(ann);
    book.sortAndMerge(0);
    return book;
}

TEST_P(FormatContract, WrittenBookReadsBackWithItsNamesAndAddresses) {
    const std::string path = dir.file("book." + GetParam());
    NewAdbook source;
    sampleBook(source);
    std::unique_ptr<ToBase> writer = createWriter(path, -1);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->fromStart(source)) << path;

    std::unique_ptr<NewAdbook> back = readBack(path);
    ASSERT_NE(back, nullptr) << path;
    for (int i = 0; i < source.entryCount(); ++i) {
        const Entry want = source.entryAt(i);
        bool found = false;
        for (int j = 0; j < back->entryCount() && !found; ++j) {
            const Entry got = back->entryAt(j);
            if (got[Field::Email] != want[Field::Email]) continue;
            found = true;
            EXPECT_EQ(got[Field::FullName], want[Field::FullName]) << path;
            for (Field f : {Field::Notes, Field::Organization}) {
                if (got.mask.test(static_cast<std::size_t>(f)) && !got[f].empty()) {
                    EXPECT_EQ(got[f], want[f]) << path << " " << fieldName(static_cast<int>(f));
                }
            }
        }
        EXPECT_TRUE(found) << path << " lost " << want[Field::Email] << "\n" << slurp(path);
    }
}

TEST_P(FormatContract, AFileCutShortNeverBreaksTheReader) {
    const std::string path = dir.file("book." + GetParam());
    NewAdbook source;
    sampleBook(source);
    ASSERT_TRUE(createWriter(path, -1)->fromStart(source));
    const std::string whole = slurp(path);
    for (std::size_t cut : {std::size_t{1}, whole.size() / 3, whole.size() / 2, whole.size() - 1}) {
        const std::string part = dir.file("cut" + std::to_string(cut) + "." + GetParam());
        spit(part, whole.substr(0, cut));
        std::unique_ptr<NewAdbook> back = readBack(part);
        ASSERT_NE(back, nullptr);
        EXPECT_LE(back->entryCount(), source.entryCount()) << part;
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, FormatContract, ::testing::ValuesIn(roundTripExtensions()),
                         [](const auto& param) { return param.param; });

class EmptyInput : public ::testing::TestWithParam<std::string> {};

TEST_P(EmptyInput, GivesAnEmptyBook) {
    testing::TempDir dir;
    RecordingPrompt prompts;
    PromptScope promptScope(prompts);
    MemorySettingsStore store;
    SettingsScope settingsScope(store);
    const std::string path = dir.file("empty." + GetParam());
    spit(path, "");
    std::unique_ptr<IterBase> reader = createReader(path, -1);
    ASSERT_NE(reader, nullptr);
    NewAdbook book;
    book.fromStart(*reader);
    EXPECT_EQ(book.entryCount(), 0);
    EXPECT_EQ(book.listCount(), 0);
    EXPECT_TRUE(reader->atEnd());
}

INSTANTIATE_TEST_SUITE_P(Readers, EmptyInput, ::testing::ValuesIn(readableExtensions()),
                         [](const auto& param) { return param.param; });

}  // namespace
}  // namespace vesk
