// The engine interface against a library that is not the engine (foreign_library.cpp): a
// function it lacks raises "External exception C0FB007F" at every call, and the two AdsError
// classes fall back on the engine's error display when no text can be fetched.
#include <gtest/gtest.h>

#include <string>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "ads/adstable_table.h"
#include "rtl/exception.h"

namespace varelum::ads {
namespace {

const char* ShownCaption() {
    using Getter = const char* (*)();
    return reinterpret_cast<Getter>(ace::ResolveEngineFunction("ForeignLibraryShownCaption"))();
}

TEST(AceForeignLibrary, MissingFunctionRaisesC0FB007FAtEveryCall) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        ADSHANDLE hConnect = 0;
        try {
            ace::AdsConnect(reinterpret_cast<const UNSIGNED8*>("/tmp"), &hConnect);
            FAIL() << "the library has no AdsConnect";
        } catch (const rtl::EExternalException& error) {
            EXPECT_EQ(error.ExceptionCode(), ace::kEngineFunctionMissing);
            EXPECT_EQ(error.Message(), "External exception C0FB007F");
        }
    }
    // The functions it does have are found.
    EXPECT_EQ(ace::AdsShowError(reinterpret_cast<const UNSIGNED8*>("probe")), 0u);
}

TEST(AceForeignLibrary, AComponentMemberWhoseEngineFunctionIsMissingRaisesC0FB007F) {
    // Not an error of the components' own making: the same exception as any missing function.
    TAdsTable table;
    try {
        table.AdsClearProgressCallback();
        FAIL() << "the library has no AdsClearProgressCallback";
    } catch (const rtl::EExternalException& error) {
        EXPECT_EQ(error.ExceptionCode(), ace::kEngineFunctionMissing);
        EXPECT_EQ(error.Message(), "External exception C0FB007F");
    }
}

TEST(AceForeignLibrary, SettingsAdsErrorWithoutTextShowsTheErrorAndHasNoMessage) {
    const adsset::AdsError error(5004);
    EXPECT_EQ(error.Message(), "");
    EXPECT_STREQ(ShownCaption(), "Ads Exception Error");
}

TEST(AceForeignLibrary, ConnectionAdsErrorWithoutTextShowsTheErrorAndHasNoMessage) {
    ace::AdsShowError(reinterpret_cast<const UNSIGNED8*>("reset"));
    const adscnnct::AdsError error(5004);
    EXPECT_EQ(error.Message(), "");
    EXPECT_STREQ(ShownCaption(), "Ads Exception Error");
}

TEST(AceForeignLibrary, CheckAceResultStillRaisesWhenTheTextCannotBeFetched) {
    // The refused AdsGetLastError leaves code and text empty; the failure is not lost.
    EXPECT_THROW(CheckAceResult(nullptr, 5004), EADSDatabaseError);
}

}  // namespace
}  // namespace varelum::ads
