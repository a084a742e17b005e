#include "text/charsets.h"

#include <gtest/gtest.h>

#include "text/text_io.h"

namespace vesk {
namespace {

// Each charset's bytes for one short word, and the word.
struct CharsetCase {
    const char* charset;
    const char* bytes;
    const char* text;
};

TEST(Charsets, EveryCharsetIconvKnowsIsRead) {
    const CharsetCase cases[] = {
        {"SHIFT_JIS", "\x88\xC0\x93\xA1", "安藤"},
        {"Shift_JIS", "a\\b", "a\\b"},  // the ASCII backslash stays one (CP932, not JIS X 0201)
        {"ISO-8859-2", "Iksi\xF1ski", "Iksiński"},
        {"windows-1250", "\x8Alapa", "Šlapa"},
        {"KOI8-R", "\xF0\xD2\xC1\xD7\xC4\xC1", "Правда"},
        {"GB2312", "\xD6\xD0\xCE\xC4", "中文"},
        {"Big5", "\xA4\xA4\xA4\xE5", "中文"},
        {"ISO-8859-1", "M\xFCller \x80", "Müller €"},  // peers mean Windows' code page
        {"utf-8", "M\xC3\xBCller \xFC", "Müller ü"},
        // A sequence cut short at the end: that byte alone, as Windows-1252.
        {"SHIFT_JIS", "\x88\xC0\x93", "安“"},
    };
    for (const CharsetCase& c : cases) {
        SCOPED_TRACE(c.charset);
        EXPECT_TRUE(isKnownCharset(c.charset));
        EXPECT_EQ(charsetToUtf8(c.bytes, c.charset), c.text);
    }
    EXPECT_FALSE(isKnownCharset("NO-SUCH-CHARSET"));
    EXPECT_EQ(charsetToUtf8("abc", "NO-SUCH-CHARSET"), std::nullopt);
}

TEST(Charsets, ValidUtf8StaysWhereverItIsValid) {
    const struct {
        const char* label;
        std::string bytes;
        const char* charset;
        const char* fallback;
        const char* text;
    } cases[] = {
        // abook cuts a long note inside a character: only that byte falls back.
        {"cutSequence",
         "Sim\xC3\xB5"
         "es cut \xC3",
         "", "", "Simões cut Ã"},
        {"latin1Byte",
         "M\xFCller und Sim\xC3\xB5"
         "es",
         "", "", "Müller und Simões"},
        // A value that names another charset but is UTF-8 throughout stays UTF-8.
        {"utf8DespiteMarker",
         "Sim\xC3\xB5"
         "es",
         "ISO-8859-1", "", "Simões"},
        {"valueCharsetWins", "Iksi\xF1ski", "ISO-8859-2", "KOI8-R", "Iksiński"},
        {"fallbackWithoutMarker", "Iksi\xF1ski", "", "ISO-8859-2", "Iksiński"},
        {"unknownCharsetFallsBack", "Mu\xF1oz", "X-NONE", "", "Muñoz"},
        // Without any marker, a Central European reading wins only where it reads as words.
        {"polishGuessed", "Iksi\xF1ski", "", "", "Iksiński"},
        {"polishLetterGuessed", "Wa\xB3\xEAsa", "", "", "Wałęsa"},
        {"spanishKept",
         "Mu\xF1oz Pe\xF1"
         "a",
         "", "", "Muñoz Peña"},
        {"frenchKept", "Andr\xE9 Fran\xE7ois", "", "", "André François"},
        {"germanKept",
         "M\xFCller Stra\xDF"
         "e",
         "", "", "Müller Straße"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(decodeValue(c.bytes, c.charset, c.fallback), c.text);
    }
}

TEST(Charsets, FileDecodingKeepsUtf8LinesAndReadsTheOthersInTheNamedCharset) {
    const std::string bytes =
        "Sim\xC3\xB5"
        "es\r\nIksi\xF1ski\r\n";
    EXPECT_EQ(decodeText(bytes), "Simões\nIksiñski\n");
    const DecodeOptions polish{.fallbackCharset = "ISO-8859-2"};
    EXPECT_EQ(decodeText(bytes, polish), "Simões\nIksiński\n");
    const DecodeOptions japanese{.fallbackCharset = "Shift_JIS"};
    EXPECT_EQ(decodeText("N:\x88\xC0\x93\xA1\nE:a@b\n", japanese), "N:安藤\nE:a@b\n");
    // A reader that decodes per value gets the bytes, line ends made LF.
    const DecodeOptions keep{.keepBytes = true};
    EXPECT_EQ(decodeText("N:\x88\xC0\r\n", keep), "N:\x88\xC0\n");
}

}  // namespace
}  // namespace vesk
