// Variant: the held types, conversions among them (with their errors for Null, impossible
// pairs, bad text and overflow) and comparison by value.
#include "rtl/variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "rtl/exception.h"

namespace varelum::rtl {
namespace {

TEST(VariantTest, ConstructorsChooseTheType) {
    EXPECT_EQ(Variant().VarType(), varEmpty);
    EXPECT_EQ(Variant::Null().VarType(), varNull);
    EXPECT_EQ(Variant(true).VarType(), varBoolean);
    EXPECT_EQ(Variant(std::int16_t{5}).VarType(), varSmallint);
    EXPECT_EQ(Variant(std::uint16_t{40000}).VarType(), varInteger);
    EXPECT_EQ(Variant(5).VarType(), varInteger);
    EXPECT_EQ(Variant(5u).VarType(), varInt64);
    EXPECT_EQ(Variant(std::int64_t{5}).VarType(), varInt64);
    EXPECT_EQ(Variant(1.5).VarType(), varDouble);
    EXPECT_EQ(Variant(Currency::FromScaled(1)).VarType(), varCurrency);
    EXPECT_EQ(Variant(StrToBcd("1.5")).VarType(), varBcd);
    EXPECT_EQ(Variant::FromDateTime(0).VarType(), varDate);
    EXPECT_EQ(Variant("text").VarType(), varString);
    EXPECT_EQ(Variant(u"wide").VarType(), varUString);
    EXPECT_EQ(Variant(TBytes{1, 2}).VarType(), varBytes);
    EXPECT_EQ(Variant(std::vector<Variant>{1, "a"}).VarType(), varArray);
    EXPECT_THROW(Variant(std::uint64_t{1} << 63), ERangeError);
}

TEST(VariantTest, NumbersConvertAmongThemselves) {
    EXPECT_EQ(Variant(2.5).AsInteger(), 3);  // half away from zero
    EXPECT_EQ(Variant(-2.5).AsInteger(), -3);
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(Currency::FromScaled(15000)).AsInteger(), 2);
    EXPECT_EQ(Variant(Currency::FromScaled(-15000)).AsInt64(), -2);
    EXPECT_EQ(Variant(StrToBcd("-7.49")).AsInteger(), -7);
    EXPECT_DOUBLE_EQ(Variant(Currency::FromScaled(12345)).AsDouble(), 1.2345);
    EXPECT_EQ(Variant(3).AsCurrency().Scaled, 30000);
    EXPECT_EQ(Variant(0.1).AsBcd(), StrToBcd("0.1"));
    EXPECT_EQ(Variant(Currency::FromScaled(5)).AsBcd(), StrToBcd("0.0005"));
    EXPECT_EQ(Variant(StrToBcd("2.00005")).AsCurrency().Scaled, 20001);
    EXPECT_TRUE(Variant(0.5).AsBoolean());
    EXPECT_FALSE(Variant(0).AsBoolean());
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant().AsString(), "");
}

TEST(VariantTest, TextConversions) {
    EXPECT_EQ(Variant("42").AsInteger(), 42);
    EXPECT_EQ(Variant("2.5").AsInteger(), 3);
    EXPECT_EQ(Variant(u"17").AsInt64(), 17);
    EXPECT_DOUBLE_EQ(Variant("1.25").AsDouble(), 1.25);
    EXPECT_EQ(Variant("12.34").AsCurrency().Scaled, 123400);
    EXPECT_TRUE(Variant("TRUE").AsBoolean());
    EXPECT_FALSE(Variant("false").AsBoolean());
    EXPECT_TRUE(Variant("-1").AsBoolean());
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(Variant(-12).AsString(), "-12");
    EXPECT_EQ(Variant(0.1).AsString(), "0.1");
    EXPECT_EQ(Variant(StrToBcd("1.50")).AsString(), "1.5");
    EXPECT_EQ(Variant(Currency::FromScaled(-5)).AsString(), "-0.0005");
    EXPECT_EQ(Variant("a\xC3\xA7").AsWideString(), u"a\u00E7");
    EXPECT_EQ(Variant(u"a\u00E7").AsString(), "a\xC3\xA7");
    EXPECT_EQ(Variant(TBytes{'h', 'i'}).AsString(), "hi");
    EXPECT_EQ(Variant("hi").AsBytes(), (TBytes{'h', 'i'}));

    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    FormatSettings().DateSeparator = '/';
    EXPECT_EQ(Variant(1.5).AsString(), "1,5");
    EXPECT_DOUBLE_EQ(Variant("2,5").AsDouble(), 2.5);
    TDateTime date = EncodeDate(2018, 3, 26);
    EXPECT_EQ(Variant::FromDateTime(date).AsString(), "26/03/2018");
    EXPECT_EQ(Variant("26/03/2018").AsDateTime(), date);
    FormatSettings() = saved;
}

TEST(VariantTest, ImpossibleConversionsAndBadText) {
    try {
        Variant::Null().AsInteger();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Integer)");
    }
    EXPECT_THROW(Variant::Null().AsString(), EVariantError);
    EXPECT_EQ(VarToStr(Variant::Null()), "");
    EXPECT_THROW(Variant(std::vector<Variant>{1}).AsDouble(), EVariantError);
    EXPECT_THROW(Variant(TBytes{1}).AsInteger(), EVariantError);
    EXPECT_THROW(Variant(true).AsDateTime(), EVariantError);
    EXPECT_THROW(Variant(1).AsArray(), EVariantError);
    try {
        Variant("12x").AsInteger();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "''12x'' is not a valid integer value");
    }
    EXPECT_THROW(Variant("maybe").AsBoolean(), EConvertError);
    EXPECT_THROW(Variant("x").AsDouble(), EConvertError);
    EXPECT_THROW(Variant(40000).AsSmallint(), ERangeError);
    EXPECT_THROW(Variant(std::int64_t{1} << 40).AsInteger(), ERangeError);
    EXPECT_THROW(Variant(1e30).AsInt64(), ERangeError);
    EXPECT_THROW(Variant(std::int64_t{1} << 62).AsCurrency(), ERangeError);
}

TEST(VariantTest, ComparisonByValue) {
    struct Case {
        Variant a;
        Variant b;
        TVariantRelationship expected;
    };
    const Case cases[] = {
        {1, 1.0, vrEqual},
        {1, StrToBcd("1.00"), vrEqual},
        {Currency::FromScaled(10000), 1, vrEqual},
        {std::int16_t{2}, std::int64_t{3}, vrLessThan},
        {2.5, StrToBcd("2.4"), vrGreaterThan},
        {"abc", "abd", vrLessThan},
        {"abc", u"abc", vrEqual},
        {"10", 9, vrGreaterThan},
        {"x", 9, vrNotEqual},
        {Variant::Null(), Variant::Null(), vrEqual},
        {Variant::Null(), 0, vrNotEqual},
        {Variant(), Variant(), vrEqual},
        {Variant(), Variant::Null(), vrNotEqual},
        {std::vector<Variant>{1, "a"}, std::vector<Variant>{1.0, "a"}, vrEqual},
        {std::vector<Variant>{1, "a"}, std::vector<Variant>{1, "b"}, vrNotEqual},
        {TBytes{1, 2}, TBytes{1, 3}, vrLessThan},
        {Variant::FromDateTime(1), Variant::FromDateTime(2), vrLessThan},
        {true, false, vrGreaterThan},
        {std::nan(""), 1.0, vrNotEqual},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(VarCompareValue(cases[i].a, cases[i].b), cases[i].expected) << "case " << i;
    }
    EXPECT_TRUE(Variant("a") == Variant("a"));
    EXPECT_FALSE(Variant(1) == Variant(2));
}

}  // namespace
}  // namespace varelum::rtl
