#include "platform/passed_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/temp_dir.h"
#include "text/text_io.h"

namespace vesk {
namespace {

using testing::TempDir;

/// Lines of differing lengths, CR LF ended, `bytes` long or a little more.
std::string numberedLines(std::size_t bytes) {
    std::string out;
    for (int i = 0; out.size() < bytes; ++i) {
        out += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), 'x');
        out += "\r\n";
    }
    return out;
}

class PassedTextTest : public ::testing::Test {
  protected:
    /// The decoded text of a fresh file of `bytes`.
    std::string load(const std::string& bytes) {
        path = dir.file("in.txt", bytes);
        std::string text = readTextFile(path).value();
        original = text;
        return text;
    }
    TempDir dir;
    std::string path;
    std::string original;
};

TEST_F(PassedTextTest, WhatIsPassedComesBackWholeAndLinesStillCount) {
    std::string text = load(numberedLines(9u << 20));
    PassedText passed;
    passed.watch(text, path, {}, 1000, true);
    for (std::size_t pos = 0; pos + 100 < text.size(); pos += 300000) passed.passed(pos);
#if defined(__linux__)
    EXPECT_TRUE(passed.anyGivenBack());
#endif
    // A line number before the part given back and where the reader stands is the file's.
    for (const std::size_t pos : {std::size_t{10}, text.size() - 5}) {
        SCOPED_TRACE(pos);
        EXPECT_EQ(passed.lineFeedsBefore(pos),
                  static_cast<std::size_t>(std::count(
                      original.begin(), original.begin() + static_cast<long>(pos), '\n')));
    }
    const char* buffer = text.data();
    ASSERT_TRUE(passed.restore());
    EXPECT_EQ(text.data(), buffer);  // views into the text stay valid
    EXPECT_TRUE(text == original);
    EXPECT_FALSE(passed.anyGivenBack());
}

TEST_F(PassedTextTest, TheHeaderBeforeTheFloorIsKept) {
    std::string text = load(numberedLines(9u << 20));
    const std::size_t floor = (5u << 20) + 17;
    PassedText passed;
    passed.watch(text, path, {}, floor);
    passed.passed(text.size());
    EXPECT_EQ(text.compare(0, floor, original, 0, floor), 0);
}

TEST_F(PassedTextTest, AFileChangedMeanwhileIsNotTakenForTheText) {
    std::string text = load(numberedLines(9u << 20));
    PassedText passed;
    passed.watch(text, path, {});
    passed.passed(text.size());
    if (!passed.anyGivenBack()) GTEST_SKIP() << "memory is not given back on this system";
    testing::spit(path, numberedLines(9u << 20) + "one more line\r\n");
    EXPECT_FALSE(passed.restore());
}

}  // namespace
}  // namespace vesk
