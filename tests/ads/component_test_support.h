// Helpers of the dataset component tests: a store in a temporary directory with an ads.ini
// that knows it under an alias, tables created and filled through the engine's C ABI (as the
// store's own tools make them), and the program's staff and audit tables.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "ads_test_support.h"

namespace varelum::ads::test {

// A field value to append: the field name and its text (nullptr: left null).
using TFieldText = std::pair<std::string, const char*>;

class TStoreFixture : public ::testing::Test {
  protected:
    TStoreFixture()
        : FData(FDirectory.MakeDirectory("data")), FIniPath("adsini_path", FDirectory.Path()) {
        FDirectory.WriteFile("ads.ini",
                             "[Databases]\nBALDERIM = " + FData + "\nNTXSTORE = " + FData + ";N\n");
    }
    ~TStoreFixture() override {
        if (FConnection != 0) {
            ace::AdsDisconnect(FConnection);
        }
    }

    void SetUp() override {
        if (!EngineCanConnect()) {
            GTEST_SKIP() << "the engine cannot connect yet";
        }
    }

    const std::string& DataPath() const { return FData; }

    // The message of the exception the action raises, or "(no error)".
    static std::string Message(const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "(no error)";
    }

    // The engine code of the EADSDatabaseError the action raises; 0 when it raises none.
    static UNSIGNED32 ErrorCode(const std::function<void()>& action) {
        try {
            action();
        } catch (const EADSDatabaseError& error) {
            return error.ACEErrorCode();
        }
        return 0;
    }

    ADSHANDLE Connection() {
        if (FConnection == 0) {
            EXPECT_EQ(ace::AdsConnect(EngineText(FData), &FConnection), 0u);
        }
        return FConnection;
    }

    // Creates a table (replacing one of that name) and returns its open handle.
    ADSHANDLE CreateTable(const std::string& name, const std::string& fields) {
        ADSHANDLE table = 0;
        const UNSIGNED32 result = ace::AdsCreateTable90(
            Connection(), EngineText(name), nullptr, VE_TABLE_TYPE_ADT, VE_CHARTYPE_ANSI,
            VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0, EngineText(fields), 0, EngineText(""), &table);
        EXPECT_EQ(result, 0u) << "creating " << name;
        return table;
    }

    // Appends one record with the values given as text (AdsSetField).
    static void AppendRow(ADSHANDLE table, const std::vector<TFieldText>& values) {
        ASSERT_EQ(ace::AdsAppendRecord(table), 0u);
        for (const auto& [field, text] : values) {
            if (text == nullptr) {
                continue;
            }
            const std::string value = text;
            ASSERT_EQ(ace::AdsSetField(table, EngineText(field), EngineText(value),
                                       static_cast<UNSIGNED32>(value.size())),
                      0u)
                << field << " = " << value;
        }
        ASSERT_EQ(ace::AdsWriteRecord(table), 0u);
    }

    // The program's staff table with rows of (password, name).
    void CreateStaffTable(const std::vector<std::pair<const char*, const char*>>& rows) {
        const ADSHANDLE table = CreateTable(
            "CadFuncionariosLojas.adt",
            "CodFuncionario,Integer;Senha,Char,20;NomeFuncionario,Char,60;Ativo,Logical");
        int code = 0;
        for (const auto& [password, name] : rows) {
            const std::string number = std::to_string(++code);
            AppendRow(table, {{"CodFuncionario", number.c_str()},
                              {"Senha", password},
                              {"NomeFuncionario", name},
                              {"Ativo", "T"}});
        }
        ace::AdsCloseTable(table);
    }

    // The program's audit table, empty.
    void CreateAuditTable() {
        const ADSHANDLE table =
            CreateTable("Auditoria.adt",
                        "Codigo,AutoInc;Data,TimeStamp;CodGrupo,Char,16;CodProduto,Char,30;"
                        "Quantidade,Char,12;Situacao,Char,20;Observacao,Char,80");
        ace::AdsCloseTable(table);
    }

    // The product table with rows of (code, barcode, group, quantity).
    void CreateProductTable(const std::vector<std::vector<const char*>>& rows) {
        const ADSHANDLE table =
            CreateTable("CadProdutos.adt",
                        "CodProduto,Char,30;CodBarras,Char,30;CodGrupo,Char,16;Descricao,Char,60;"
                        "QtdeAtual,Numeric,12,3");
        for (const auto& row : rows) {
            AppendRow(table, {{"CodProduto", row[0]},
                              {"CodBarras", row[1]},
                              {"CodGrupo", row[2]},
                              {"QtdeAtual", row[3]}});
        }
        ace::AdsCloseTable(table);
    }

  private:
    TTempDirectory FDirectory;
    std::string FData;
    TScopedEnvironment FIniPath;
    ADSHANDLE FConnection = 0;
};

}  // namespace varelum::ads::test
