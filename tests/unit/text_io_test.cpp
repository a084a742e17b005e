#include "text/text_io.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vesk {
namespace {

struct DecodeCase {
    const char* label;
    std::string bytes;
    std::string text;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.label;
}

class DecodeText : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeText, GivesUtf8WithLfLineEnds) {
    EXPECT_EQ(decodeText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeText,
    ::testing::Values(
        DecodeCase{"ascii", "Ann\r\nBob\n", "Ann\nBob\n"},
        DecodeCase{"utf8", "J\xC3\xBCrgen M\xC3\xBCller\r\n", "J\xC3\xBCrgen M\xC3\xBCller\n"},
        DecodeCase{"utf8bom",
                   "\xEF\xBB\xBF"
                   "caf\xC3\xA9",
                   "caf\xC3\xA9"},
        DecodeCase{"cp1252", "J\xFCrgen \x80 \x93q\x94",
                   "J\xC3\xBCrgen \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
        DecodeCase{"cp1252StopsAtNul", std::string("M\xFC\0rest", 7), "M\xC3\xBC"},
        DecodeCase{"utf16le",
                   std::string("\xFF\xFE"
                               "A\0\xFC\0\r\0\n\0",
                               10),
                   "A\xC3\xBC\n"},
        DecodeCase{"utf16be", std::string("\xFE\xFF\0A\xD8\x3D\xDE\x00", 8), "A\xF0\x9F\x98\x80"},
        DecodeCase{"utf16loneSurrogate", std::string("\xFF\xFE\x00\xD8", 4), "\xEF\xBF\xBD"},
        DecodeCase{"overlongIsNotUtf8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        DecodeCase{"loneCrStays", "a\rb", "a\rb"}),
    [](const auto& param) { return std::string(param.param.label); });

struct GuessCase {
    const char* label;
    std::string bytes;
    DecodeOptions options;
    std::string text;
};

void PrintTo(const GuessCase& c, std::ostream* os) {
    *os << c.label;
}

class DecodeTextGuessing : public ::testing::TestWithParam<GuessCase> {};

TEST_P(DecodeTextGuessing, TakesOnlyWhatItsOptionsAllow) {
    EXPECT_EQ(decodeText(GetParam().bytes, GetParam().options), GetParam().text);
}

constexpr DecodeOptions kUtf16{.utf16WithoutBom = true};
constexpr DecodeOptions kJoin{.joinFoldsInSequences = true};

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTextGuessing,
    ::testing::Values(
        GuessCase{"utf16leWithoutBom", std::string("B\0E\0\xFC\0\r\0\n\0", 10), kUtf16,
                  "BE\xC3\xBC\n"},
        GuessCase{"utf16beWithoutBom", std::string("\0B\0\xE9", 4), kUtf16, "B\xC3\xA9"},
        GuessCase{
            "nulsStayWithoutTheOption", std::string("B\0E\0", 4), {}, std::string("B\0E\0", 4)},
        GuessCase{"twoNulsAreNotUtf16", std::string("\0\0ab", 4), kUtf16, std::string("\0\0ab", 4)},
        GuessCase{"bomStillDecides", std::string("\xFE\xFF\0A", 4), kUtf16, "A"},
        GuessCase{"foldInsideSequence", "N:M\xC3\r\n \xBCller\r\n", kJoin, "N:M\xC3\xBCller\n"},
        GuessCase{"tabFoldInsideSequence", "\xE2\x82\n\t\xAC", kJoin, "\xE2\x82\xAC"},
        GuessCase{"foldKeptWithoutTheOption", "M\xC3\n \xBC", {}, "M\xC3\x83\n \xC2\xBC"},
        GuessCase{"stillNotUtf8AfterJoining", "\xC3\n \xBC \xFC", kJoin,
                  "\xC3\x83\n \xC2\xBC \xC3\xBC"},
        // The fold is not inside a sequence: it stays, and only the stray byte is
        // Windows-1252; the valid sequences stay UTF-8.
        GuessCase{"foldBetweenSequencesStays", "\xC3\xBC\n \xC3\xBC\x80", kJoin,
                  "\xC3\xBC\n \xC3\xBC\xE2\x82\xAC"}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(ReadTextFile, DecodesAFileAndRefusesWhatIsNotOne) {
    testing::TempDir dir;
    testing::spit(dir.path() / "book.txt", "J\xFCrgen\r\n");
    EXPECT_EQ(readTextFile(dir.file("book.txt")), "J\xC3\xBCrgen\n");
    testing::spit(dir.path() / "utf8.txt", "J\xC3\xBCrgen\r\nA\rB\r\r\nC\r");
    EXPECT_EQ(readTextFile(dir.file("utf8.txt")), "J\xC3\xBCrgen\nA\rB\r\nC\r");
    testing::spit(dir.path() / "utf16.txt", std::string("A\0n\0n\0", 6));
    EXPECT_EQ(readTextFile(dir.file("utf16.txt"), kUtf16), "Ann");
    EXPECT_EQ(readTextFile(dir.file("absent.txt")), std::nullopt);
    // A folder opens like a file but has no text; its size must not be taken for one.
    std::filesystem::create_directory(dir.path() / "folder.txt");
    EXPECT_EQ(readTextFile(dir.file("folder.txt")), std::nullopt);
}

TEST(EncodeForFile, AddsCrBeforeEachLfOnceAndReplacesBrokenSequences) {
    EXPECT_EQ(encodeForFile("a\nb\r\nc"), "a\r\nb\r\nc");
    EXPECT_EQ(encodeForFile("\n"), "\r\n");
    EXPECT_EQ(encodeForFile("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"),
              "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD");
    EXPECT_EQ(encodeForFile("bad\xFF"), "bad\xEF\xBF\xBD");
}

TEST(TextHelpers, CountAndTruncateByCodePoint) {
    EXPECT_EQ(codePointCount("M\xC3\xBCller"), 6u);
    EXPECT_EQ(truncateCodePoints("M\xC3\xBCller", 2), "M\xC3\xBC");
    EXPECT_EQ(truncateCodePoints("ab", 5), "ab");
    std::string out;
    appendUtf8(out, 0x1F600);
    EXPECT_EQ(out, "\xF0\x9F\x98\x80");
    EXPECT_TRUE(isValidUtf8(out));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // an encoded surrogate
}

TEST(TextHelpers, Utf16LittleEndianBothWays) {
    // "Aü€😀": one, two, three and four UTF-8 bytes; the last is a surrogate pair.
    const std::string text = "A\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::u16string units = utf8ToUtf16(text);
    EXPECT_EQ(units, u"A\u00FC\u20AC\xD83D\xDE00");
    const std::string le("A\0\xFC\0\xAC\x20\x3D\xD8\x00\xDE", 10);
    EXPECT_EQ(utf16LeToUtf8(le), text);
    // Broken input becomes U+FFFD both ways: a lone surrogate, an odd byte, a bad sequence.
    EXPECT_EQ(utf16LeToUtf8(std::string("\x00\xD8\x41\x00", 4)),
              "\xEF\xBF\xBD"
              "A");
    EXPECT_EQ(utf16LeToUtf8(std::string("A\0B", 3)), "A\xEF\xBF\xBD");
    EXPECT_EQ(utf8ToUtf16("a\xFF"), u"a\uFFFD");
}

}  // namespace
}  // namespace vesk
