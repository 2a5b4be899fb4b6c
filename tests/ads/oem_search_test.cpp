// Accented names on a table created with the OEM character type (code page 850): Locate and
// Lookup find them by the text the program holds, with an index seek and with an expression,
// as they do on an ANSI table.
#include <gtest/gtest.h>

#include "ads/adsdata_options.h"
#include "db/field.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

using test::EngineText;

constexpr const char* kCustomers = "Clientes.adt";

class OemSearchTest : public test::TDataSetFixture,
                      public ::testing::WithParamInterface<UNSIGNED16> {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        ADSHANDLE table = 0;
        ASSERT_EQ(
            ace::AdsCreateTable90(Connection(), EngineText(kCustomers), nullptr, VE_TABLE_TYPE_ADT,
                                  GetParam(), VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                  EngineText("Codigo,Integer;Nome,Char,20"), 0, nullptr, &table),
            0u);
        // Windows-1252 at the engine's boundary: "JOSÉ", "ÇÃO".
        AppendRow(table, {{"Codigo", "1"}, {"Nome", "JOSE"}});
        AppendRow(table, {{"Codigo", "2"}, {"Nome", "JOS\xC9"}});
        AppendRow(table, {{"Codigo", "3"}, {"Nome", "\xC7\xC3O"}});
        ace::AdsCloseTable(table);
    }

    std::unique_ptr<TAdsTable> OpenCustomers() {
        auto table = Table(kCustomers);
        table->AdsTableOptions().SetAdsCharType(GetParam() == VE_CHARTYPE_OEM ? OEM : ANSI);
        table->Open();
        return table;
    }

    static int Code(const TAdsTable& table) { return table.FieldByName("Codigo").AsInteger(); }
};

TEST_P(OemSearchTest, AnAccentedNameIsLocatedByExpression) {
    auto customers = OpenCustomers();
    EXPECT_EQ(customers->FieldByName("Nome").AsString(), "JOSE");
    EXPECT_TRUE(customers->Locate("Nome", "JOSÉ", 0));
    EXPECT_EQ(Code(*customers), 2);
    EXPECT_TRUE(customers->Locate("Nome", "ÇÃO", 0));
    EXPECT_EQ(Code(*customers), 3);
    EXPECT_EQ(customers->Lookup("Nome", "JOSÉ", "Codigo").AsInteger(), 2);
    EXPECT_TRUE(customers->Locate("Nome", "josé", db::loCaseInsensitive));
    EXPECT_EQ(Code(*customers), 2);
}

TEST_P(OemSearchTest, AnAccentedNameIsSeekedThroughAnIndex) {
    CreateIndex(kCustomers, "NOME", "Nome");
    auto customers = OpenCustomers();
    customers->SetIndexName("NOME");
    EXPECT_TRUE(customers->Locate("Nome", "JOSÉ", 0));
    EXPECT_EQ(Code(*customers), 2);
    EXPECT_EQ(customers->FieldByName("Nome").AsString(), "JOSÉ");
    EXPECT_EQ(customers->Lookup("Nome", "ÇÃO", "Codigo").AsInteger(), 3);
    EXPECT_TRUE(customers->FindKey({rtl::Variant("JOSÉ")}));
    EXPECT_EQ(Code(*customers), 2);
}

INSTANTIATE_TEST_SUITE_P(CharTypes, OemSearchTest,
                         ::testing::Values(UNSIGNED16{VE_CHARTYPE_OEM},
                                           UNSIGNED16{VE_CHARTYPE_ANSI}),
                         [](const auto& info) {
                             return std::string(info.param == VE_CHARTYPE_OEM ? "Oem" : "Ansi");
                         });

}  // namespace
}  // namespace varelum::ads
