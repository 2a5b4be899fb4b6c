// String helpers: name comparison and the map helpers built on it, case mapping, trimming,
// quoting and Format.
#include "rtl/text.h"

#include <gtest/gtest.h>

#include <map>
#include <unordered_map>

#include "rtl/exception.h"

namespace varelum::rtl {
namespace {

TEST(TextTest, NamesCompareWithAsciiFolding) {
    EXPECT_TRUE(SameText("CodProduto", "CODPRODUTO"));
    EXPECT_FALSE(SameText("CodProduto", "CodProdut"));
    EXPECT_FALSE(SameText("\xC3\xA7", "\xC3\x87"));  // ç and Ç: not ASCII, not folded
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("abcd", "ABC"), 0);
    EXPECT_EQ(CompareText("_a", "_A"), 0);

    std::map<std::string, int, TextLess> ordered{{"Beta", 2}, {"alpha", 1}};
    EXPECT_EQ(ordered.find("ALPHA")->second, 1);
    EXPECT_EQ(ordered.begin()->first, "alpha");
    std::unordered_map<std::string, int, TextHash, TextEqual> hashed{{"Balderim", 7}};
    EXPECT_EQ(hashed.count("BALDERIM"), 1u);
    EXPECT_EQ(TextHash{}("Name"), TextHash{}("nAME"));
}

TEST(TextTest, CaseMapping) {
    EXPECT_EQ(UpperCase("a\xC3\xA7z"), "A\xC3\xA7Z");  // ASCII only
    EXPECT_EQ(LowerCase("AbC"), "abc");
    EXPECT_EQ(AnsiUpperCase("a\xC3\xA7\xC3\xA3o"), "A\xC3\x87\xC3\x83O");  // ação → AÇÃO
    EXPECT_EQ(AnsiLowerCase("\xC3\x87"), "\xC3\xA7");
    EXPECT_EQ(AnsiUpperCase("stra\xC3\x9F"
                            "e"),
              "STRASSE");  // length changes
    EXPECT_TRUE(AnsiSameText("A\xC3\x87\xC3\x83O", "a\xC3\xA7\xC3\xA3o"));
    EXPECT_EQ(AnsiUpperCase(""), "");
}

TEST(TextTest, Trimming) {
    EXPECT_EQ(Trim(" \t ab c \r\n"), "ab c");
    EXPECT_EQ(TrimLeft("  ab "), "ab ");
    EXPECT_EQ(TrimRight("  ab \x01"), "  ab");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(TrimTrailingBlanks("ABC   "), "ABC");
    EXPECT_EQ(TrimTrailingBlanks("AB\t "), "AB\t");
    EXPECT_EQ(TrimTrailingBlanks("    "), "");
}

TEST(TextTest, QuotingRoundTrips) {
    struct Case {
        std::string quoted;
        std::string unquoted;
    };
    const Case cases[] = {
        {"'It''s'", "It's"}, {"''", ""}, {"'a'", "a"}, {"''''", "'"}, {"'a''b''c'", "a'b'c"}};
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiDequotedStr(c.quoted, '\''), c.unquoted) << c.quoted;
        EXPECT_EQ(QuotedStr(c.unquoted), c.quoted);
    }
    EXPECT_EQ(AnsiDequotedStr("plain", '\''), "plain");
    EXPECT_EQ(AnsiDequotedStr("'open", '\''), "'open");
    EXPECT_EQ(AnsiDequotedStr("'a'tail", '\''), "a");
    EXPECT_EQ(AnsiDequotedStr("", '\''), "");
    EXPECT_EQ(AnsiDequotedStr("\"x\"\"y\"", '"'), "x\"y");
}

TEST(FormatTest, Specifiers) {
    EXPECT_EQ(Format("Error reading %s%s%s: %s", "Settings", ".", "DateFormat", "bad"),
              "Error reading Settings.DateFormat: bad");
    EXPECT_EQ(Format("%d|%5d|%-5d|%.3d|%d", 42, 42, 42, 7, -7), "42|   42|42   |007|-7");
    EXPECT_EQ(Format("%x %X %.8x", 0xC0FB007Eu, 255, 31), "C0FB007E FF 0000001F");
    EXPECT_EQ(Format("%x", -1), "FFFFFFFF");
    EXPECT_EQ(Format("%x", std::int64_t{-1}), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Format("%u", -1), "4294967295");
    EXPECT_EQ(Format("%d", std::int64_t{-9223372036854775807 - 1}), "-9223372036854775808");
    EXPECT_EQ(Format("%s|%3s|%-3s|%.2s", "abc", "a", "a", "abc"), "abc|  a|a  |ab");
    EXPECT_EQ(Format("%.1s|%2s", "\xC3\xA7\xC3\xA3", "\xC3\xA7"), "\xC3\xA7| \xC3\xA7");
    EXPECT_EQ(Format("%f|%.3f|%.0f|%n", 1.005, 2.5, 2.5, 1234567.891), "1.00|2.500|3|1,234,567.89");
    EXPECT_EQ(Format("%g|%e", 0.1, 1234.5), "0.1|1.23450000000000E+003");
    EXPECT_EQ(Format("%1:s-%0:s-%s", "a", "b"), "b-a-b");
    EXPECT_EQ(Format("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |");
    EXPECT_EQ(Format("100%% %s", 'c'), "100% c");
    EXPECT_EQ(Format("%p", reinterpret_cast<const void*>(std::uintptr_t{0xAB})),
              "00000000000000AB");
    EXPECT_EQ(Format("no arguments"), "no arguments");
}

TEST(FormatTest, FloatsUseTheDecimalSeparator) {
    TFormatSettings settings;
    settings.DecimalSeparator = ',';
    settings.ThousandSeparator = '.';
    const TFormatArg args[] = {TFormatArg(1234.5), TFormatArg(1234.5)};
    EXPECT_EQ(FormatArgs("%.1f %n", args, settings), "1234,5 1.234,50");
}

TEST(FormatTest, MismatchedOrMissingArguments) {
    EXPECT_THROW(Format("%d", "text"), EConvertError);
    EXPECT_THROW(Format("%s", 12), EConvertError);
    EXPECT_THROW(Format("%y", 12), EConvertError);
    EXPECT_THROW(Format("%", 12), EConvertError);
    try {
        Format("%s %s", "one");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "No argument for format '%s %s'");
    }
    try {
        Format("%d", 1.5);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Format '%d' invalid or incompatible with argument");
    }
}

}  // namespace
}  // namespace varelum::rtl
