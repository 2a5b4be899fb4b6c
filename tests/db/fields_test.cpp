// Field classes through an in-memory table: the native value format of each type, the
// typed accessors and their conversions, range and conversion errors, null handling,
// validation and change events.
#include <gtest/gtest.h>

#include <cstring>

#include "db/field_types.h"
#include "db/mem_table.h"
#include "rtl/datetime.h"
#include "rtl/exception.h"

namespace varelum::db {
namespace {

template <class F>
std::string MessageOf(F&& action) {
    try {
        action();
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
    return "(no error)";
}

class FieldsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        table.FieldDefs().Add("s", ftString, 5);
        table.FieldDefs().Add("w", ftWideString, 4);
        table.FieldDefs().Add("si", ftSmallint);
        table.FieldDefs().Add("i", ftInteger);
        table.FieldDefs().Add("ai", ftAutoInc);
        table.FieldDefs().Add("f", ftFloat);
        table.FieldDefs().Add("c", ftCurrency);
        table.FieldDefs().Add("b", ftBCD, 2).SetPrecision(6);
        table.FieldDefs().Add("fb", ftFMTBcd, 4);
        table.FieldDefs().Add("l", ftBoolean);
        table.FieldDefs().Add("d", ftDate);
        table.FieldDefs().Add("t", ftTime);
        table.FieldDefs().Add("dt", ftDateTime);
        table.FieldDefs().Add("by", ftBytes, 4);
        table.FieldDefs().Add("vb", ftVarBytes, 4);
        table.CreateDataSet();
        table.Append();
    }
    TField& F(const char* name) { return table.FieldByName(name); }
    TMemTable table;
};

TEST_F(FieldsTest, DefaultFieldsHaveTheClassOfTheirType) {
    EXPECT_NE(dynamic_cast<TStringField*>(&F("s")), nullptr);
    EXPECT_NE(dynamic_cast<TWideStringField*>(&F("w")), nullptr);
    EXPECT_NE(dynamic_cast<TSmallintField*>(&F("si")), nullptr);
    EXPECT_NE(dynamic_cast<TAutoIncField*>(&F("ai")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField*>(&F("c")), nullptr);
    EXPECT_NE(dynamic_cast<TFMTBCDField*>(&F("fb")), nullptr);
    EXPECT_NE(dynamic_cast<TDateField*>(&F("d")), nullptr);
    EXPECT_NE(dynamic_cast<TTimeField*>(&F("t")), nullptr);
    EXPECT_NE(dynamic_cast<TVarBytesField*>(&F("vb")), nullptr);
    EXPECT_EQ(F("b").Size(), 2);
    EXPECT_EQ(F("b").Precision(), 6);
    EXPECT_EQ(F("i").FieldNo(), 4);
}

TEST_F(FieldsTest, NativeFormats) {
    struct Case {
        const char* field;
        std::size_t size;
    };
    for (const Case& c : {Case{"s", 6}, Case{"w", 10}, Case{"si", 2}, Case{"i", 4}, Case{"ai", 4},
                          Case{"f", 8}, Case{"c", 8}, Case{"l", 2}, Case{"d", 4}, Case{"t", 4},
                          Case{"dt", 8}, Case{"by", 4}, Case{"vb", 6}}) {
        EXPECT_EQ(F(c.field).DataSize(), c.size) << c.field;
    }
    F("l").SetAsBoolean(true);
    std::int16_t logical = 0;
    ASSERT_TRUE(F("l").GetData(&logical));
    EXPECT_EQ(logical, -1);

    F("d").SetAsDateTime(0.75);  // 1899-12-30 18:00: the time is dropped
    std::int32_t day = 0;
    F("d").GetData(&day);
    EXPECT_EQ(day, 693594);
    EXPECT_EQ(F("d").AsDateTime(), 0.0);

    F("t").SetAsDateTime(rtl::EncodeTime(1, 2, 3, 4));
    std::int32_t ms = 0;
    F("t").GetData(&ms);
    EXPECT_EQ(ms, 3723004);

    F("dt").SetAsDateTime(rtl::EncodeDate(2018, 3, 26) + 0.5);
    double milliseconds = 0;
    F("dt").GetData(&milliseconds);
    EXPECT_EQ(milliseconds, (2458204.0 - 1721425.0) * 86400000.0 + 43200000.0);

    F("vb").SetAsString("ab");
    unsigned char varBytes[6] = {};
    F("vb").GetData(varBytes);
    EXPECT_EQ(varBytes[0] | (varBytes[1] << 8), 2);
    EXPECT_EQ(std::memcmp(varBytes + 2, "ab", 2), 0);

    F("w").SetAsString("€x");
    char16_t wide[5] = {};
    F("w").GetData(wide);
    EXPECT_EQ(wide[0], u'€');
    EXPECT_EQ(wide[2], u'\0');

    F("s").SetAsString("é");
    char narrow[6] = {};
    F("s").GetData(narrow);
    EXPECT_EQ(static_cast<unsigned char>(narrow[0]), 0xE9);  // Windows-1252
}

TEST_F(FieldsTest, TextConversionsBothWays) {
    struct Case {
        const char* field;
        const char* in;
        const char* out;
    };
    for (const Case& c :
         {Case{"s", "abcdefgh", "abcde"}, Case{"w", "日本語です", "日本語で"},
          Case{"si", " 12 ", "12"}, Case{"i", "-2147483648", "-2147483648"},
          Case{"f", "1.5", "1.5"}, Case{"c", "2.25", "2.25"}, Case{"b", "12.345", "12.35"},
          Case{"fb", "0.00005", "0.0001"}, Case{"l", "yes", "True"}, Case{"l", "F", "False"},
          Case{"d", "26/03/2018", "26/03/2018"}, Case{"t", "13:45:10", "13:45:10"},
          Case{"dt", "26/03/2018 08:30:00", "26/03/2018 08:30:00"},
          Case{"by", "ab", std::string("ab\0\0", 4).c_str()}}) {
        F(c.field).SetAsString(c.in);
        if (std::string(c.field) == "by") {
            EXPECT_EQ(F(c.field).AsString(), std::string("ab\0\0", 4));
        } else {
            EXPECT_EQ(F(c.field).AsString(), c.out) << c.field << " <- " << c.in;
        }
    }
}

TEST_F(FieldsTest, EmptyTextClearsNonTextFieldsAndNullReadsAsZero) {
    F("i").SetAsInteger(5);
    F("i").SetAsString("");
    EXPECT_TRUE(F("i").IsNull());
    EXPECT_EQ(F("i").AsInteger(), 0);
    EXPECT_EQ(F("i").AsString(), "");
    EXPECT_TRUE(F("i").AsVariant().IsNull());
    F("s").SetAsString("");
    EXPECT_FALSE(F("s").IsNull());  // an empty text is a value
    F("s").Clear();
    EXPECT_TRUE(F("s").IsNull());
}

TEST_F(FieldsTest, NumericRangesAndConversions) {
    EXPECT_EQ(MessageOf([&] { F("si").SetAsInteger(40000); }),
              "40000 is not a valid value for field 'si'. The allowed range is -32768 to 32767");
    EXPECT_EQ(MessageOf([&] { F("i").SetAsString("12x"); }),
              "'12x' is not a valid integer value for field 'i'");
    EXPECT_EQ(MessageOf([&] { F("f").SetAsString("abc"); }),
              "'abc' is not a valid floating point value for field 'f'");
    EXPECT_EQ(MessageOf([&] { F("l").SetAsString("maybe"); }),
              "'maybe' is not a valid boolean value for field 'l'");
    EXPECT_EQ(MessageOf([&] { F("d").SetAsString("31/02/2018"); }),
              "'31/02/2018' is not a valid date and time for field 'd'");
    EXPECT_EQ(MessageOf([&] { F("b").SetAsFloat(12345.6); }), "BCD overflow");
    EXPECT_EQ(MessageOf([&] { F("d").SetAsInteger(1); }),
              "Cannot access field 'd' as type Integer");
    auto& integer = dynamic_cast<TIntegerField&>(F("i"));
    integer.SetMinValue(1);
    integer.SetMaxValue(10);
    EXPECT_EQ(MessageOf([&] { integer.SetAsInteger(11); }),
              "11 is not a valid value for field 'i'. The allowed range is 1 to 10");

    F("f").SetAsInteger(3);
    EXPECT_EQ(F("f").AsFloat(), 3.0);
    F("f").SetAsFloat(2.5);
    EXPECT_EQ(F("f").AsInteger(), 3);  // half away from zero
    F("b").SetAsCurrency(rtl::Currency::FromScaled(123456));
    EXPECT_EQ(F("b").AsString(), "12.35");
    EXPECT_EQ(F("b").AsCurrency().Scaled, 123500);
    F("i").SetAsFloat(7.4);
    EXPECT_EQ(F("i").AsInteger(), 7);
    F("s").SetAsInteger(42);
    EXPECT_EQ(F("s").AsInteger(), 42);
}

TEST_F(FieldsTest, VariantsInAndOut) {
    F("i").SetAsVariant(rtl::Variant(9));
    EXPECT_EQ(F("i").AsVariant().VarType(), rtl::varInteger);
    F("s").SetAsVariant(rtl::Variant(3.5));
    EXPECT_EQ(F("s").AsString(), "3.5");
    F("dt").SetAsVariant(rtl::Variant::FromDateTime(1.25));
    EXPECT_EQ(F("dt").AsVariant().VarType(), rtl::varDate);
    EXPECT_EQ(F("dt").AsDateTime(), 1.25);
    F("l").SetAsVariant(rtl::Variant(true));
    EXPECT_TRUE(F("l").AsVariant().AsBoolean());
    F("b").SetAsVariant(rtl::Variant(rtl::StrToBcd("1.5")));
    EXPECT_EQ(F("b").AsVariant().VarType(), rtl::varBcd);
    F("c").SetAsVariant(rtl::Variant(2.0));
    EXPECT_EQ(F("c").AsVariant().VarType(), rtl::varCurrency);
    F("i").SetAsVariant(rtl::Variant::Null());
    EXPECT_TRUE(F("i").IsNull());
    table.SetFieldValues("i;s", rtl::Variant(std::vector<rtl::Variant>{1, "x"}));
    rtl::Variant both = table.FieldValues("i;s");
    ASSERT_EQ(both.AsArray().size(), 2u);
    EXPECT_EQ(both.AsArray()[1].AsString(), "x");
}

TEST_F(FieldsTest, OnValidateSeesTheNewValueAndCanRefuseIt) {
    F("i").SetAsInteger(1);
    std::vector<int> seen;
    F("i").OnValidate = [&](TField& field) {
        seen.push_back(field.AsInteger());
        if (field.AsInteger() < 0) {
            throw rtl::EDatabaseError("negative");
        }
    };
    int changes = 0;
    F("i").OnChange = [&](TField&) { ++changes; };
    F("i").SetAsInteger(5);
    EXPECT_EQ(MessageOf([&] { F("i").SetAsInteger(-1); }), "negative");
    EXPECT_EQ(F("i").AsInteger(), 5);
    EXPECT_EQ(seen, (std::vector<int>{5, -1}));
    EXPECT_EQ(changes, 1);
}

TEST(FieldPropertiesTest, NamesLabelsAndFlags) {
    TStringField field;
    EXPECT_EQ(field.Size(), 20);
    field.SetFieldName("codproduto");
    EXPECT_EQ(field.DisplayName(), "codproduto");
    field.SetDisplayLabel("Produto");
    EXPECT_EQ(field.DisplayName(), "Produto");
    EXPECT_EQ(field.FieldKind(), fkData);
    EXPECT_FALSE(field.CanModify());  // no dataset
    EXPECT_TRUE(field.IsNull());
    EXPECT_EQ(MessageOf([&] { field.SetAsString("x"); }), "Field 'Produto' has no dataset");

    TMemTable table;
    table.Fields().Add<TStringField>("a", 3);
    EXPECT_EQ(MessageOf([&] { table.Fields().Add<TIntegerField>("A"); }),
              "Duplicate field name 'A'");
    table.CreateDataSet();
    EXPECT_EQ(MessageOf([&] { table.FieldByName("a").SetSize(4); }),
              "Cannot perform this operation on an open dataset");
    EXPECT_EQ(MessageOf([&] { (void)table.Fields()[5]; }), "Field index out of range");
}

TEST(FieldTypeMismatchTest, PersistentFieldOfAnotherTypeIsRefused) {
    TMemTable table;
    table.FieldDefs().Add("qty", ftInteger);
    table.Fields().Add<TStringField>("qty", 5);
    EXPECT_EQ(MessageOf([&] { table.Open(); }),
              "Type mismatch for field 'qty', expecting: String actual: Integer");
    EXPECT_FALSE(table.Active());
}

}  // namespace
}  // namespace varelum::db

namespace varelum::db {
namespace {

TEST(FieldOwnershipTest, FieldsOfAFormJoinADataSetAndLeaveItWhenDestroyed) {
    rtl::TComponent form;
    TMemTable table(&form);
    auto* group = new TStringField(&form);
    group->SetFieldName("codgrupo");
    group->SetSize(16);
    group->SetDataSet(&table);
    auto* product = new TStringField(&form);
    product->SetFieldName("codproduto");
    product->SetSize(30);
    product->SetDataSet(&table);
    EXPECT_EQ(table.Fields().Count(), 2);
    table.CreateDataSet();
    table.AppendRecord({rtl::Variant("G"), rtl::Variant("P")});
    EXPECT_EQ(product->AsString(), "P");
    EXPECT_THROW(product->SetDataSet(nullptr), rtl::EDatabaseError);  // open
    table.Close();
    EXPECT_EQ(table.Fields().Count(), 2);  // persistent fields stay
    delete group;
    EXPECT_EQ(table.Fields().Count(), 1);
    EXPECT_EQ(table.Fields()[0].FieldName(), "codproduto");
    EXPECT_THROW(table.Fields().Add(std::make_unique<TStringField>(&form)), rtl::EInvalidOperation);
}

TEST(FieldOwnershipTest, ADataSetDestroyedFirstLetsItsFieldsGo) {
    rtl::TComponent form;
    auto* field = new TIntegerField(&form);
    field->SetFieldName("n");
    {
        TMemTable table;
        field->SetDataSet(&table);
        table.CreateDataSet();
    }
    EXPECT_EQ(field->DataSet(), nullptr);
}

}  // namespace
}  // namespace varelum::db
