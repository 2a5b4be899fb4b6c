// Helpers for the SQL tests: a store with a product table like the program's, statements
// prepared from text, cursors read into rows of trimmed texts, and the native number of the
// last SQL error.
#pragma once

#include <string>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {

using Rows = std::vector<std::vector<std::string>>;

class SqlTest : public EngineTest {
  protected:
    void TearDown() override {
        for (ADSHANDLE statement : statements_) {
            AdsCloseSQLStatement(statement);
        }
        EngineTest::TearDown();
    }

    ADSHANDLE statement() {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(AdsCreateSQLStatement(connection_, &handle));
        statements_.push_back(handle);
        return handle;
    }

    // Runs text directly; the cursor (0 when none).
    ADSHANDLE run(const std::string& text) {
        ADSHANDLE cursor = 0;
        EXPECT_ADS_OK(AdsExecuteSQLDirect(statement(), u8(text), &cursor)) << text;
        return cursor;
    }

    UNSIGNED32 run_code(const std::string& text) {
        ADSHANDLE cursor = 0;
        UNSIGNED32 rc = AdsExecuteSQLDirect(statement(), u8(text), &cursor);
        if (cursor != 0) {
            AdsCloseTable(cursor);
        }
        return rc;
    }

    static std::u16string wide(const std::string& text) {
        return std::u16string(text.begin(), text.end());
    }

    // The fields of every row from the top, trimmed; the cursor is closed unless kept.
    static Rows rows(ADSHANDLE cursor, bool close = true) {
        Rows result;
        UNSIGNED16 count = 0;
        if (AdsGetNumFields(cursor, &count) != VE_SUCCESS || AdsGotoTop(cursor) != VE_SUCCESS) {
            return {{"<no cursor>"}};
        }
        while (!at_eof(cursor)) {
            std::vector<std::string> row;
            for (UNSIGNED16 field = 1; field <= count; ++field) {
                row.push_back(text(cursor, ADSFIELD(field)));
            }
            result.push_back(std::move(row));
            if (AdsSkip(cursor, 1) != VE_SUCCESS) {
                result.push_back({"<skip failed>"});
                break;
            }
        }
        if (close) {
            AdsCloseTable(cursor);
        }
        return result;
    }

    static std::string text(ADSHANDLE cursor, const UNSIGNED8* field) {
        std::vector<UNSIGNED8> buffer(1 << 16);
        UNSIGNED32 length = static_cast<UNSIGNED32>(buffer.size());
        UNSIGNED32 rc = AdsGetField(cursor, field, buffer.data(), &length, VE_TRIM_BOTH);
        if (rc != VE_SUCCESS) {
            return "<error " + std::to_string(rc) + ">";
        }
        return std::string(reinterpret_cast<const char*>(buffer.data()), length);
    }
    using EngineTest::text;

    static std::string last_text() {
        UNSIGNED32 code = 0;
        UNSIGNED8 buffer[1024] = {};
        UNSIGNED16 length = sizeof buffer;
        AdsGetLastError(&code, buffer, &length);
        return reinterpret_cast<const char*>(buffer);
    }

    // The native number in the last error's text, as the components read it; 0 when none.
    static int last_native() {
        std::string message = last_text();
        if (message.find("ERROR 7200:") == std::string::npos) {
            return 0;
        }
        std::size_t at = message.find("NativeError = ");
        return at == std::string::npos ? 0 : std::atoi(message.c_str() + at + 14);
    }

    // A product table like the shop's: code, barcode, group, description, quantity.
    void make_products() {
        ADSHANDLE table = create("CadProdutos",
                                 "CodProduto,Char,30;CodBarras,Char,20;CodGrupo,Char,16;"
                                 "Descricao,Char,40;QtdeAtual,Numeric,10,0;");
        struct Product {
            const char *code, *barcode, *group, *name, *quantity;
        };
        const Product products[] = {
            {"P300", "7890000000003", "G1", "Arroz", "12"},
            {"P100", "7890000000001", "G2", "Feijao", "5"},
            {"P200", "P100", "G1", "Acucar", "0"},
            {"P400", "7890000000004", "G3", "Cafe", "7"},
        };
        for (const auto& product : products) {
            append_row(table, {{"CodProduto", product.code},
                               {"CodBarras", product.barcode},
                               {"CodGrupo", product.group},
                               {"Descricao", product.name},
                               {"QtdeAtual", product.quantity}});
        }
        AdsCloseTable(table);
    }

    std::vector<ADSHANDLE> statements_;
};

}  // namespace varelum::engine::testing
