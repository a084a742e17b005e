#include "text/text_out.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/text_io.h"

namespace vesk {
namespace {

/// `pieces` appended one by one through chunks of `chunk` bytes; what reached the drain.
std::string streamed(const std::vector<std::string>& pieces, std::size_t chunk,
                     FileEncoding encoding = FileEncoding::Utf8) {
    std::string file;
    std::size_t largest = 0;
    TextOut out(chunk);
    out.setEncoding(encoding);
    out.setDrain([&](std::string_view bytes) {
        file.append(bytes);
        largest = std::max(largest, bytes.size());
        return true;
    });
    for (const std::string& p : pieces) out += p;
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(out.size(), file.size());
    // A chunk goes out once it is full: never more than one append beyond it.
    std::size_t longest = 0;
    for (const std::string& p : pieces) longest = std::max(longest, p.size());
    EXPECT_LE(largest, chunk + 3 * longest + 8);
    return file;
}

std::string joined(const std::vector<std::string>& pieces) {
    std::string all;
    for (const std::string& p : pieces) all += p;
    return all;
}

TEST(TextOut, GivesTheBytesOfTheWholeTextEncodedAtOnce) {
    const std::string big(3000, 'x');
    const std::vector<std::vector<std::string>> cases = {
        {"J\xC3\xBCrgen\n", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\n"},
        {"a\r", "\n", "b\n", "\n", "\r\n", "c"},           // a CR before the LF stays single
        {"x\r\n\n\r", "\r\n"},                             // lone CRs stay as they are
        {"\xE2\x82", "\xAC", "\n"},                        // a sequence split between appends
        {"\xF0", "\x9F", "\x98", "\x80!"},                 // split over four appends
        {"\xE0", "\x80\x80", "\n"},                        // overlong, split: U+FFFD per byte
        {"a\xFF", "b\xC3", "(\n", "\xED\xA0\x80"},         // ill-formed bytes
        {"end \xE2\x82"},                                  // cut off at the very end
        {"\xE2", "\x82"},                                  // cut off after two appends
        {big + "\n" + big, "\n", big + "\xC3", "\xA9\n"},  // values larger than the buffer
        // Line ends and ill-formed bytes inside and right after runs of eight ASCII bytes.
        {"twelve bytes\nof ascii\r\nthen \xC3\xA9 and more text\n"},
        {"sixteen ascii by\r", "\ntes, then bad \xFF\r\nafter it\n"},
        {"a long run of ascii, a CR\r\xFF\nthen a line feed"},
        {"abcdefg\n", "abcdefgh\n", "abcdefghi\n\n\n", "\r\r\n\n"},
    };
    for (const auto& pieces : cases) {
        const std::string expected = encodeForFile(joined(pieces));
        for (const std::size_t chunk : {1u, 2u, 3u, 7u, 64u, 1u << 20}) {
            EXPECT_EQ(streamed(pieces, chunk), expected) << joined(pieces) << " chunk " << chunk;
        }
    }
}

TEST(TextOut, WritesWindows1252WithQuestionMarksForWhatItLacks) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"J\xC3\xBCrgen \xE2\x82\xAC\n"}, "J\xFCrgen \x80\r\n"},
        {{"\xD0\x98\xD0\xB2", "\n"}, "??\r\n"},
        {{"caf\xC3", "\xA9\r", "\n"}, "caf\xE9\r\n"},
        {{"a\xFF"
          "b"},
         "a?b"},
    };
    for (const auto& [pieces, expected] : cases) {
        for (const std::size_t chunk : {1u, 4u, 1u << 20}) {
            EXPECT_EQ(streamed(pieces, chunk, FileEncoding::Windows1252), expected);
        }
    }
}

TEST(TextOut, AFailedDrainDropsTheRestAndSaysSo) {
    int calls = 0;
    TextOut out(4);
    out.setDrain([&](std::string_view) {
        ++calls;
        return false;
    });
    out << "first line\n";
    EXPECT_TRUE(out.failed());
    out << "second line\n" << 'x';
    EXPECT_FALSE(out.flush());
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(out.bytes().empty());
}

TEST(TextOut, KeepsEverythingWithoutADrain) {
    TextOut out(2);
    out.append("ab\n").append(2, '-');
    out.push_back('\n');
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(out.bytes(), "ab\r\n--\r\n");
}

}  // namespace
}  // namespace vesk
