// Helpers for the index, seek, scope and filter tests: creating tags, walking an order and
// reading the record numbers and values it visits.
#pragma once

#include "engine_test_support.h"

namespace varelum::engine::testing {

class IndexTest : public EngineTest {
  protected:
    ADSHANDLE index(ADSHANDLE table, const std::string& tag, const std::string& expression,
                    UNSIGNED32 options = 0, const std::string& condition = "",
                    const char* file = nullptr) {
        ADSHANDLE handle = 0;
        EXPECT_ADS_OK(AdsCreateIndex90(table, file ? u8(file) : nullptr, u8(tag), u8(expression),
                                       condition.empty() ? nullptr : u8(condition), nullptr,
                                       options, 0, nullptr, &handle));
        return handle;
    }

    // The record numbers a walk from the top through `order` visits.
    static std::vector<UNSIGNED32> walk(ADSHANDLE order, ADSHANDLE table) {
        std::vector<UNSIGNED32> seen;
        EXPECT_ADS_OK(AdsGotoTop(order));
        while (!at_eof(table) && seen.size() < 10000) {
            seen.push_back(recno(table));
            EXPECT_ADS_OK(AdsSkip(order, 1));
        }
        return seen;
    }

    static std::vector<UNSIGNED32> walk_back(ADSHANDLE order, ADSHANDLE table) {
        std::vector<UNSIGNED32> seen;
        EXPECT_ADS_OK(AdsGotoBottom(order));
        while (!at_bof(table) && !at_eof(table) && seen.size() < 10000) {
            seen.push_back(recno(table));
            EXPECT_ADS_OK(AdsSkip(order, -1));
        }
        return seen;
    }

    static UNSIGNED32 count(ADSHANDLE handle, UNSIGNED16 option) {
        UNSIGNED32 n = 0;
        EXPECT_ADS_OK(AdsGetRecordCount(handle, option, &n));
        return n;
    }

    static std::string check_report(ADSHANDLE table, UNSIGNED32* rc = nullptr) {
        std::vector<UNSIGNED8> report(1 << 16);
        UNSIGNED32 length = static_cast<UNSIGNED32>(report.size());
        UNSIGNED32 result = AdsCheckTable(table, VE_CHECK_STRUCTURE, report.data(), &length);
        if (rc != nullptr) {
            *rc = result;
        }
        return std::string(reinterpret_cast<const char*>(report.data()), length);
    }

    static bool seek_text(ADSHANDLE order, const std::string& key, UNSIGNED16 type) {
        UNSIGNED16 found = 0;
        EXPECT_ADS_OK(AdsSeek(order, u8(key), static_cast<UNSIGNED16>(key.size()), VE_STRINGKEY,
                              type, &found));
        return found != 0;
    }
};

}  // namespace varelum::engine::testing
