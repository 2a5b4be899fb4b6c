// Loading the engine library at the first engine call: a library that cannot be found raises
// "External exception C0FB007E", and the next call tries again. Its own executable, because a
// library once loaded stays loaded for the process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "ads/ace.h"
#include "ads_test_support.h"
#include "rtl/exception.h"

namespace varelum::ads {
namespace {

using test::TScopedEnvironment;
using test::TTempDirectory;

std::string RealEngineLibrary() {
    const char* configured = getenv("VARELUM_ENGINE_LIBRARY");
    return configured != nullptr ? configured : "";
}

std::uint32_t ExternalExceptionCodeOf(UNSIGNED32 (*call)()) {
    try {
        call();
    } catch (const rtl::EExternalException& error) {
        EXPECT_EQ(error.Message(),
                  "External exception " +
                      std::string(error.ExceptionCode() == 0xC0FB007E ? "C0FB007E" : "C0FB007F"));
        return error.ExceptionCode();
    }
    return 0;
}

UNSIGNED32 ShowDeletedCall() {
    return ace::AdsShowDeleted(0);
}

UNSIGNED32 GetDecimalsCall() {
    UNSIGNED16 decimals = 0;
    return ace::AdsGetDecimals(&decimals);
}

TEST(AceLoading, MissingLibraryRaisesC0FB007EAndALaterCallTriesAgain) {
    const std::string real = RealEngineLibrary();
    ASSERT_FALSE(real.empty()) << "the test needs VARELUM_ENGINE_LIBRARY";
    ASSERT_FALSE(ace::IsEngineLoaded());
    TTempDirectory directory;
    {
        TScopedEnvironment missing("VARELUM_ENGINE_LIBRARY",
                                   directory / "no-such-libvarelum-engine.so");
        EXPECT_EQ(ExternalExceptionCodeOf(&ShowDeletedCall), ace::kEngineLibraryMissing);
        // Nothing is remembered of the failure: the next call, of the same or another
        // function, tries to load again.
        EXPECT_EQ(ExternalExceptionCodeOf(&ShowDeletedCall), ace::kEngineLibraryMissing);
        EXPECT_EQ(ExternalExceptionCodeOf(&GetDecimalsCall), ace::kEngineLibraryMissing);
        EXPECT_FALSE(ace::IsEngineLoaded());
    }
    // Pointed at the real library, the same functions now reach the engine.
    ASSERT_EQ(RealEngineLibrary(), real);
    UNSIGNED32 result = 0;
    EXPECT_NO_THROW(result = ShowDeletedCall());
    EXPECT_TRUE(ace::IsEngineLoaded());
    if (result == VE_NOT_IMPLEMENTED) {
        GTEST_SKIP() << "the engine does not implement AdsShowDeleted yet";
    }
    EXPECT_EQ(result, 0u);
    UNSIGNED16 showDeleted = 1;
    ASSERT_EQ(ace::AdsGetDeleted(&showDeleted), 0u);
    EXPECT_EQ(showDeleted, 0);
}

TEST(AceLoading, ALoadedLibraryIsKeptWhateverTheEnvironmentSaysLater) {
    EXPECT_NO_THROW(GetDecimalsCall());
    TScopedEnvironment missing("VARELUM_ENGINE_LIBRARY", "/nonexistent/libvarelum-engine.so");
    // A function not called before is looked up in the library already loaded.
    UNSIGNED16 count = 0;
    EXPECT_NO_THROW(ace::AdsGetNumOpenTables(&count));
}

}  // namespace
}  // namespace varelum::ads
