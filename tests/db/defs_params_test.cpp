// Field and index definitions and statement parameters: names without regard to case,
// duplicates, numbering, lookups that fail with their messages, values and the bound flag.
#include <gtest/gtest.h>

#include "db/field_defs.h"
#include "db/index_defs.h"
#include "db/params.h"
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

TEST(FieldDefsTest, NumberedInOrderAndFoundWithoutCase) {
    TFieldDefs defs;
    defs.Add("CodGrupo", ftString, 16, true);
    defs.Add("QtdeAtual", ftBCD, 2).SetPrecision(10);
    EXPECT_EQ(defs.Count(), 2);
    EXPECT_EQ(defs[0].FieldNo(), 1);
    EXPECT_EQ(defs.Find("qtdeatual").FieldNo(), 2);
    EXPECT_EQ(defs.Find("QTDEATUAL").Precision(), 10);
    EXPECT_TRUE(defs[0].Required());
    EXPECT_EQ(defs.IndexOf("nope"), -1);
    EXPECT_EQ(MessageOf([&] { defs.Add("CODGRUPO", ftInteger); }),
              "Duplicate field definition 'CODGRUPO'");
    EXPECT_EQ(MessageOf([&] { defs.Find("Preco"); }), "Field definition 'Preco' not found");
    defs.Clear();
    EXPECT_TRUE(defs.Empty());
}

TEST(IndexDefsTest, FindsIndexesByNameAndByFields) {
    TIndexDefs defs;
    defs.Add("PK", "CODPRODUTO", ixPrimary | ixUnique);
    defs.Add("BYGROUP", "CODGRUPO;CODPRODUTO");
    defs.Add("EXPR", "", ixExpression).SetExpression("UPPER(NOME)");
    EXPECT_EQ(defs.Find("pk").Options(), static_cast<TIndexOptions>(ixPrimary | ixUnique));
    EXPECT_EQ(defs.GetIndexForFields("codproduto")->Name(), "PK");
    EXPECT_EQ(defs.GetIndexForFields("codgrupo")->Name(), "BYGROUP");
    EXPECT_EQ(defs.GetIndexForFields("codgrupo;codproduto")->Name(), "BYGROUP");
    EXPECT_EQ(defs.GetIndexForFields("nome"), nullptr);
    EXPECT_EQ(defs.Find("EXPR").Expression(), "UPPER(NOME)");
    EXPECT_EQ(MessageOf([&] { defs.Find("X"); }), "Index 'X' not found");
    EXPECT_EQ(MessageOf([&] { defs.Add("pk", "A"); }), "Duplicate index name 'pk'");
}

TEST(ParamsTest, ValuesBoundFlagAndLookup) {
    TParams params;
    TParam& par0 = params.CreateParam(ftString, "Par0");
    params.Add("Qty");
    EXPECT_TRUE(par0.IsNull());
    EXPECT_FALSE(par0.Bound());
    par0.SetAsString("7891234567890");
    EXPECT_TRUE(par0.Bound());
    // A text value turns even a narrow-string parameter into a wide string, so the engine
    // gets it as UTF-16.
    EXPECT_EQ(par0.DataType(), ftWideString);
    EXPECT_EQ(params.ParamByName("PAR0").AsString(), "7891234567890");
    EXPECT_EQ(params.FindParam("qty")->DataType(), ftUnknown);
    params.ParamByName("qty").SetValue(rtl::Variant(3));
    EXPECT_EQ(params.FindParam("qty")->DataType(), ftInteger);
    EXPECT_EQ(params.FindParam("qty")->AsInteger(), 3);
    EXPECT_TRUE(params.AllBound());
    params.ParamByName("qty").SetValue(rtl::Variant::Null());
    EXPECT_TRUE(params.ParamByName("qty").Bound());
    EXPECT_TRUE(params.ParamByName("qty").IsNull());
    params.ParamByName("qty").Clear();
    EXPECT_FALSE(params.AllBound());
    EXPECT_EQ(params.FindParam("missing"), nullptr);
    EXPECT_EQ(MessageOf([&] { params.ParamByName("missing"); }), "Parameter 'missing' not found");

    TParams copy = params;
    copy[0].SetAsString("other");
    EXPECT_EQ(params[0].AsString(), "7891234567890");
    params.AssignValues(copy);
    EXPECT_EQ(params[0].AsString(), "other");
}

}  // namespace
}  // namespace varelum::db
