// Key search of TAdsDataSet against the real engine: SetKey, EditKey, GotoKey, GotoNearest,
// FindKey and FindNearest on the active index, found and not found in the middle and at the
// ends, the key edit's Post and Cancel, the key properties, and GotoCurrent.
#include <gtest/gtest.h>

#include <ostream>

#include "case_names.h"
#include "db/field.h"
#include "rtl/text.h"
#include "search_test_support.h"

namespace varelum::ads {
namespace {

constexpr const char* kStaff = "CadFuncionariosLojas.adt";

class KeySearchTest : public test::TDataSetFixture {
  protected:
    void SetUp() override {
        test::TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        // In the table's order the passwords are not sorted.
        CreateStaffTable({{"3333", "CARLA DIAS"},
                          {"1111", "ANA LIMA"},
                          {"5555", "EVA ROCHA"},
                          {"2222", "BRUNO COSTA"}});
    }

    // The staff table in the order of an index on the password (and the code).
    std::unique_ptr<TAdsTable> OpenBySenha() {
        CreateIndex(kStaff, "SENHA", "Senha");
        CreateIndex(kStaff, "SENHA_CODIGO", "Senha;CodFuncionario");
        auto table = Table(kStaff);
        table->SetIndexName("SENHA");
        table->Open();
        return table;
    }

    static std::string Name(const TAdsTable& table) {
        return table.FieldByName("NomeFuncionario").AsString();
    }
};

#define REQUIRE_KEY_SEARCH()                                                                    \
    VARELUM_REQUIRE_ENGINE("AdsCreateIndex90", "AdsGetIndexHandle", "AdsSeek", "AdsInitRawKey", \
                           "AdsBuildRawKey100", "AdsGetSegmentFieldname", "AdsGetKeyLength")

// --- Without an active index --------------------------------------------------------------------

TEST_F(KeySearchTest, WithoutAnActiveIndexKeySearchRefuses) {
    auto staff = Table(kStaff);
    staff->Open();
    try {
        staff->SetKey();
        FAIL() << "SetKey without an index";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_STREQ(error.what(), "TbCadFuncionariosLojas: Index is not set.");
    }
    EXPECT_EQ(Message([&] { staff->EditKey(); }), "TbCadFuncionariosLojas: Index is not set.");
    EXPECT_EQ(Message([&] { staff->FindKey({"1111"}); }),
              "TbCadFuncionariosLojas: An index must be active to perform this operation. Set "
              "the IndexName property.");
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->KeySize(), 0);
    EXPECT_EQ(staff->IndexFieldCount(), 0);
    EXPECT_EQ(Message([&] { staff->KeyExclusive(); }),
              "TbCadFuncionariosLojas: Dataset not in edit mode");
    EXPECT_EQ(Message([&] { staff->SetKeyFieldCount(1); }),
              "TbCadFuncionariosLojas: Dataset not in edit mode");
}

// --- FindKey and GotoKey
// --------------------------------------------------------------------------

TEST_F(KeySearchTest, FindKeyFindsTheExactKey) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    EXPECT_EQ(Name(*staff), "ANA LIMA") << "the index's order";
    EXPECT_GT(staff->KeySize(), 0);
    EXPECT_EQ(staff->IndexFieldCount(), 1);
    EXPECT_TRUE(staff->FindKey({"3333"}));
    EXPECT_TRUE(staff->Found());
    EXPECT_EQ(Name(*staff), "CARLA DIAS");
    staff->Next();
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    EXPECT_TRUE(staff->FindKey({"1111"}));
    EXPECT_EQ(Name(*staff), "ANA LIMA");
    EXPECT_FALSE(staff->FindKey({"11"})) << "an exact search";
    EXPECT_EQ(Message([&] {
                  staff->FindKey({"1111", "X"});
              }),
              "TbCadFuncionariosLojas: Too many values given for current index");
}

struct TNotFoundCase {
    const char* Name;
    std::function<void(TAdsTable&)> Position;
    const char* Expected;   // the record shown afterwards
    const char* AfterNext;  // and after one Next
};

void PrintTo(const TNotFoundCase& c, std::ostream* out) {
    *out << c.Name;
}

class KeyNotFoundTest : public KeySearchTest,
                        public ::testing::WithParamInterface<TNotFoundCase> {};

TEST_P(KeyNotFoundTest, AKeyNotFoundReturnsToTheRecordOrToTheEnd) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    GetParam().Position(*staff);
    EXPECT_FALSE(staff->FindKey({"4444"}));
    EXPECT_FALSE(staff->Found());
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(Name(*staff), GetParam().Expected);
    staff->Next();
    EXPECT_EQ(Name(*staff), GetParam().AfterNext);
}

INSTANTIATE_TEST_SUITE_P(Positions, KeyNotFoundTest,
                         ::testing::Values(TNotFoundCase{"Middle", [](TAdsTable& t) { t.Next(); },
                                                         "BRUNO COSTA", "CARLA DIAS"},
                                           TNotFoundCase{"End",
                                                         [](TAdsTable& t) {
                                                             t.Last();
                                                             t.Next();
                                                         },
                                                         "EVA ROCHA", "EVA ROCHA"},
                                           TNotFoundCase{"Beginning",
                                                         [](TAdsTable& t) {
                                                             t.Next();
                                                             t.First();
                                                             t.Prior();
                                                         },
                                                         "ANA LIMA", "BRUNO COSTA"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(KeySearchTest, SetKeyThenGotoKey) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    staff->SetKey();
    EXPECT_EQ(staff->State(), db::dsSetKey);
    EXPECT_TRUE(staff->Modified());
    EXPECT_TRUE(staff->FieldByName("Senha").IsNull()) << "SetKey starts from an empty key";
    staff->FieldByName("Senha").SetAsString("5555");
    EXPECT_EQ(Message([&] { staff->FieldByName("NomeFuncionario").SetAsString("X"); }),
              "TbCadFuncionariosLojas: Field 'NomeFuncionario' is not indexed and cannot be "
              "modified");
    EXPECT_FALSE(staff->KeyExclusive());
    EXPECT_TRUE(staff->GotoKey()) << "GotoKey posts the key edit";
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    staff->First();
    EXPECT_TRUE(staff->GotoKey()) << "the key survives the search";
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
}

TEST_F(KeySearchTest, CancelOfAKeyEditRestoresTheKey) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    ASSERT_TRUE(staff->FindKey({"2222"}));
    staff->EditKey();
    EXPECT_EQ(staff->FieldByName("Senha").AsString(), "2222") << "EditKey keeps the last key";
    staff->FieldByName("Senha").SetAsString("9999");
    staff->Cancel();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    staff->EditKey();
    EXPECT_EQ(staff->FieldByName("Senha").AsString(), "2222");
    staff->SetKeyExclusive(true);
    staff->SetKeyFieldCount(1);
    EXPECT_EQ(staff->KeyFieldCount(), 1);
    staff->Post();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    staff->First();
    EXPECT_TRUE(staff->GotoKey());
    EXPECT_EQ(Name(*staff), "BRUNO COSTA");
}

TEST_F(KeySearchTest, DeleteInAKeyEditCancelsIt) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    staff->SetKey();
    staff->Delete();
    EXPECT_EQ(staff->State(), db::dsBrowse);
    EXPECT_EQ(staff->RecordCount(), 4);
}

TEST_F(KeySearchTest, FindKeyOnTheLeadingFieldOfACompoundIndex) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    VARELUM_REQUIRE_WHOLE_KEY_OF_LEADING_SEGMENTS(kStaff, "SENHA_CODIGO", "Senha");
    staff->SetIndexName("SENHA_CODIGO");
    EXPECT_EQ(staff->IndexFieldCount(), 2);
    EXPECT_TRUE(staff->FindKey({"5555"}));
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    EXPECT_TRUE(staff->FindKey({"5555", 3}));
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    EXPECT_FALSE(staff->FindKey({"5555", 4}));
}

TEST_F(KeySearchTest, OnFilterRecordDecidesAmongTheRecordsOfTheKey) {
    REQUIRE_KEY_SEARCH();
    VARELUM_REQUIRE_ENGINE("AdsBuildKeyFromRecord");
    CreateIndex(kStaff, "ATIVO", "Ativo");
    auto staff = OpenBySenha();
    std::string accepted = "EVA ROCHA";
    staff->SetOnFilterRecord([&](db::TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("NomeFuncionario").AsString() == accepted;
    });
    staff->SetFiltered(true);
    staff->SetIndexName("ATIVO");
    EXPECT_TRUE(staff->FindKey({true})) << "past two records the event refuses";
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    accepted = "NOBODY";
    EXPECT_FALSE(staff->FindKey({true}));
    EXPECT_EQ(Name(*staff), "EVA ROCHA");

    staff->SetIndexName("SENHA");
    accepted = "EVA ROCHA";
    EXPECT_FALSE(staff->FindKey({"2222"})) << "the walk ends where the key ends";
    EXPECT_TRUE(staff->FindKey({"5555"}));
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
}

// --- FindNearest ---------------------------------------------------------------------------------

struct TNearestCase {
    const char* Value;
    bool Found;
    const char* Expected;
};

void PrintTo(const TNearestCase& c, std::ostream* out) {
    *out << c.Value << (c.Found ? " found at " : " not found, at ") << c.Expected;
}

class NearestTest : public KeySearchTest, public ::testing::WithParamInterface<TNearestCase> {};

TEST_P(NearestTest, FindNearestGoesToTheFirstKeyAtOrAfterTheValue) {
    REQUIRE_KEY_SEARCH();
    auto staff = OpenBySenha();
    staff->FindNearest({GetParam().Value});
    EXPECT_EQ(staff->Found(), GetParam().Found) << GetParam().Value;
    EXPECT_EQ(Name(*staff), GetParam().Expected) << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(Values, NearestTest,
                         ::testing::Values(TNearestCase{"2222", true, "BRUNO COSTA"},
                                           TNearestCase{"3", true, "CARLA DIAS"},
                                           TNearestCase{"4", false, "EVA ROCHA"},
                                           TNearestCase{"0", false, "ANA LIMA"},
                                           TNearestCase{"9", false, "EVA ROCHA"}),
                         ReadableCaseName());

// --- Segment field names ------------------------------------------------------------------------

// Every reader of an index segment's field name takes the longest name the engine keeps: the
// index definitions, Locate's choice of an index, a key search and a key field's edit.
TEST_F(KeySearchTest, AKeyFieldWithTheLongestNameTheEngineKeepsIsFound) {
    REQUIRE_KEY_SEARCH();
    const std::string longest = "C" + std::string(kSegmentNameCapacity - 1, 'x');
    const ADSHANDLE handle = CreateTable("Longos.adt", longest + ",Char,10;Nome,Char,20;");
    AppendRow(handle, {{longest, "B"}, {"Nome", "SEGUNDO"}});
    AppendRow(handle, {{longest, "A"}, {"Nome", "PRIMEIRO"}});
    AppendRow(handle, {{longest, "C"}, {"Nome", "TERCEIRO"}});
    ace::AdsCloseTable(handle);
    CreateIndex("Longos.adt", "LONGO", longest);

    auto table = Table("Longos.adt");
    table->SetIndexName("LONGO");
    table->Open();
    EXPECT_TRUE(rtl::SameText(table->IndexDefs().Find("LONGO").Fields(), longest));
    EXPECT_TRUE(table->FindKey({"C"}));
    EXPECT_EQ(table->FieldByName("Nome").AsString(), "TERCEIRO");
    table->SetKey();
    table->FieldByName(longest).SetAsString("A");
    EXPECT_TRUE(table->GotoKey());
    EXPECT_EQ(table->FieldByName("Nome").AsString(), "PRIMEIRO");
    EXPECT_TRUE(table->Locate(longest, "B", 0));
    EXPECT_EQ(table->FieldByName("Nome").AsString(), "SEGUNDO");
}

// --- GotoCurrent -------------------------------------------------------------------------------

TEST_F(KeySearchTest, GotoCurrentFollowsAnotherDatasetOfTheSameTable) {
    auto staff = Table(kStaff);
    staff->Open();
    auto other = Table(kStaff);
    other->SetName("TbOther");
    other->Open();
    other->Next();
    other->Next();
    int scrolls = 0;
    staff->AfterScroll = [&](db::TDataSet&) { ++scrolls; };
    staff->GotoCurrent(*other);
    EXPECT_EQ(Name(*staff), "EVA ROCHA");
    EXPECT_EQ(scrolls, 1);
    staff->Next();
    EXPECT_EQ(Name(*staff), "BRUNO COSTA");

    CreateAuditTable();
    auto audit = Table("Auditoria.adt");
    audit->Open();
    EXPECT_EQ(Message([&] { staff->GotoCurrent(*audit); }),
              "TbCadFuncionariosLojas: Tables are not the same");
}

}  // namespace
}  // namespace varelum::ads
