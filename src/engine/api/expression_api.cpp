// Exported functions: evaluating expressions on the current record, testing them, the exact
// setting, and the long and short forms of expression texts.
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/expr/short_form.h"
#include "engine/expr/value_text.h"
#include "engine/format/code_page.h"
#include "engine/index/table_expression.h"

using namespace varelum::engine;

namespace {

struct Compiled {
    HandleSettings settings;
    std::optional<expr::Expression> expression;
};

Compiled compile_on(TableCursor& table, const UNSIGNED8* text) {
    if (text == nullptr) {
        fail(VE_INVALID_ARGUMENT, "no expression given");
    }
    Compiled compiled;
    compiled.settings = handle_settings(table, CursorState::of(table).exact);
    compiled.expression.emplace(
        compile_expression(table,
                           format::recode(format::CodePage::Ansi1252,
                                          compiled.settings.settings.code_page, c_text(text)),
                           compiled.settings.settings, false));
    return compiled;
}

void require_type(const expr::Expression& expression, expr::ValueType type) {
    if (expression.result_type().type != type) {
        fail(VE_INVALID_EXPRESSION,
             "the expression is " +
                 std::string(expr::value_type_name(expression.result_type().type)) + ", not " +
                 std::string(expr::value_type_name(type)));
    }
}

void put_converted(const std::string& text, UNSIGNED8* buffer, UNSIGNED32* length) {
    UNSIGNED32& capacity = out(length);
    if (buffer == nullptr && capacity > 0) {
        fail(VE_INVALID_ARGUMENT, "the buffer is missing");
    }
    std::size_t available = capacity;
    capacity = static_cast<UNSIGNED32>(text.size());
    if (available > text.size()) {
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = 0;
        return;
    }
    if (available > 0) {
        std::memcpy(buffer, text.data(), available - 1);
        buffer[available - 1] = 0;
    }
    fail(VE_BUFFER_TOO_SMALL, "it needs " + std::to_string(text.size() + 1) + " bytes");
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr,
                                     UNSIGNED16* pbResult) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& result = out(pbResult);
        Compiled compiled = compile_on(table, pucExpr);
        require_type(*compiled.expression, expr::ValueType::Logical);
        result =
            evaluate_on_current(table, *compiled.expression, compiled.settings.settings).logical;
    });
}

VE_API UNSIGNED32 AdsEvalNumericExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr, double* pdResult) {
    return with_table(hTable, [&](TableCursor& table) {
        double& result = out(pdResult);
        Compiled compiled = compile_on(table, pucExpr);
        require_type(*compiled.expression, expr::ValueType::Numeric);
        result =
            evaluate_on_current(table, *compiled.expression, compiled.settings.settings).number;
    });
}

VE_API UNSIGNED32 AdsEvalStringExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr,
                                    UNSIGNED8* pucResult, UNSIGNED16* pusLen) {
    return with_table(hTable, [&](TableCursor& table) {
        Compiled compiled = compile_on(table, pucExpr);
        expr::Value value =
            evaluate_on_current(table, *compiled.expression, compiled.settings.settings);
        put_text(format::recode(compiled.settings.settings.code_page, format::CodePage::Ansi1252,
                                expr::value_text(value, compiled.settings.settings)),
                 pucResult, pusLen);
    });
}

VE_API UNSIGNED32 AdsEvalTestExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16* pusType) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& type = out(pusType);
        type = expression_type_code(compile_on(table, pucExpr).expression->result_type().type);
    });
}

VE_API UNSIGNED32 AdsIsExprValid(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16* pbValid) {
    return with_table(hTable, [&](TableCursor& table) {
        UNSIGNED16& valid = out(pbValid);
        valid = 0;
        try {
            compile_on(table, pucExpr);
            valid = 1;
        } catch (const EngineError& error) {
            if (error.code() != VE_INVALID_EXPRESSION) {
                throw;
            }
            // An expression that does not compile is the answer "no", not an error.
        }
    });
}

VE_API UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact) {
    return with_table(hObj,
                      [&](TableCursor& table) { CursorState::of(table).exact = bExact != 0; });
}

VE_API UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact) {
    return with_table(
        hObj, [&](TableCursor& table) { out(pbExact) = CursorState::of(table).exact ? 1 : 0; });
}

VE_API UNSIGNED32 AdsExpressionLongToShort90(ADSHANDLE hTable, const UNSIGNED8* pucLongExpr,
                                             UNSIGNED8* pucShortExpr, UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        if (pucLongExpr == nullptr) {
            fail(VE_INVALID_ARGUMENT, "no expression given");
        }
        std::string converted;
        try {
            converted =
                expr::expression_long_to_short(c_text(pucLongExpr), table.schema().fields());
        } catch (const expr::ExpressionError& error) {
            fail_expression(error, false);
        }
        put_converted(converted, pucShortExpr, pulLen);
    });
}

VE_API UNSIGNED32 AdsExpressionShortToLong90(ADSHANDLE hTable, const UNSIGNED8* pucShortExpr,
                                             UNSIGNED8* pucLongExpr, UNSIGNED32* pulLen) {
    return with_table(hTable, [&](TableCursor& table) {
        if (pucShortExpr == nullptr) {
            fail(VE_INVALID_ARGUMENT, "no expression given");
        }
        put_converted(expr::expression_short_to_long(c_text(pucShortExpr), table.schema().fields()),
                      pucLongExpr, pulLen);
    });
}

}  // extern "C"
