// Code-page conversions: every byte of both code pages survives a round trip, characters the
// code page lacks become "?", and UTF-16 handles surrogate pairs and malformed input.
#include "rtl/code_page.h"

#include <gtest/gtest.h>

namespace varelum::rtl {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 1; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(CodePageTest, EveryByteRoundTripsThroughUtf8) {
    for (TCodePage codePage : {TCodePage::Ansi, TCodePage::Oem}) {
        std::string bytes = AllBytes();
        std::string utf8 = CodePageToUtf8(bytes, codePage);
        EXPECT_TRUE(IsValidUtf8(utf8));
        EXPECT_EQ(Utf8ToCodePage(utf8, codePage), bytes);
    }
}

TEST(CodePageTest, KnownCharacters) {
    struct Case {
        TCodePage codePage;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {TCodePage::Ansi, "A\xE7\xE3o", "Aç\xC3\xA3o"},      // "Ação"
        {TCodePage::Ansi, "\x80", "\xE2\x82\xAC"},           // euro sign
        {TCodePage::Ansi, "\x9F", "\xC5\xB8"},               // Y with diaeresis
        {TCodePage::Ansi, "\x81", "\xC2\x81"},               // undefined byte → C1 control
        {TCodePage::Oem, "\x87\xC6o", "\xC3\xA7\xC3\xA3o"},  // "ção"
        {TCodePage::Oem, "\x80", "\xC3\x87"},                // Ç
        {TCodePage::Oem, "\x1A\x1C\x7F", "\x1A\x1C\x7F"},    // ASCII stays ASCII
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.utf8);
        EXPECT_EQ(Utf8ToCodePage(c.utf8, c.codePage), c.bytes);
    }
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    // Chinese, an emoji (a surrogate pair in UTF-16) and a euro sign, which 850 lacks.
    std::string text =
        "a\xE4\xB8\xAD"
        "b\xF0\x9F\x98\x80"
        "c\xE2\x82\xAC";
    EXPECT_EQ(Utf8ToAnsi(text), "a?b?c\x80");
    EXPECT_EQ(Utf8ToOem(text), "a?b?c?");
    // Malformed UTF-8 (a lone continuation byte) is not passed through as a raw byte.
    EXPECT_EQ(Utf8ToAnsi("x\x80y"), "x?y");
}

TEST(CodePageTest, Utf16SurrogatePairsAndMalformedInput) {
    std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600
    std::u16string wide = Utf8ToUtf16("A" + emoji);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1], 0xD83D);
    EXPECT_EQ(wide[2], 0xDE00);
    EXPECT_EQ(Utf16ToUtf8(wide), "A" + emoji);
    EXPECT_EQ(Utf16ToUtf8(u"\u00E7\u00E3"), "\xC3\xA7\xC3\xA3");
    // An unpaired surrogate and a truncated UTF-8 sequence become U+FFFD.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, char16_t(0xFFFD)));
    EXPECT_TRUE(Utf8ToUtf16("").empty());
    EXPECT_FALSE(IsValidUtf8("\xC3"));
}

}  // namespace
}  // namespace varelum::rtl
