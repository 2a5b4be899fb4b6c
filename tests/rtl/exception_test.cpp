// The exception classes: class names, the external-exception text, the silent abort and the
// innermost message of nested chains that the shell's error box shows.
#include "rtl/exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace varelum::rtl {
namespace {

TEST(ExceptionTest, ClassNamesAndMessages) {
    EXPECT_STREQ(Exception("a").ClassName(), "Exception");
    EXPECT_STREQ(EAbort("a").ClassName(), "EAbort");
    EXPECT_STREQ(EDatabaseError("a").ClassName(), "EDatabaseError");
    EXPECT_STREQ(ERangeError("a").ClassName(), "ERangeError");
    EXPECT_STREQ(EConvertError("a").ClassName(), "EConvertError");
    EXPECT_STREQ(EConvertError("bad").what(), "bad");
    EXPECT_EQ(ClassNameOf(EConvertError("x")), "EConvertError");
    EXPECT_EQ(ClassNameOf(std::runtime_error("x")), "std::runtime_error");
}

TEST(ExceptionTest, ExternalExceptionNamesItsCodeInUpperCaseHex) {
    EExternalException e(0xC0FB007E);
    EXPECT_EQ(e.Message(), "External exception C0FB007E");
    EXPECT_EQ(e.ExceptionCode(), 0xC0FB007Eu);
    EXPECT_EQ(EExternalException(0x1F).Message(), "External exception 1F");
}

TEST(ExceptionTest, AbortThrowsTheSilentAbort) {
    try {
        Abort();
        FAIL() << "Abort returned";
    } catch (const Exception& e) {
        EXPECT_NE(dynamic_cast<const EAbort*>(&e), nullptr);
        EXPECT_EQ(e.Message(), "Operation aborted");
    }
}

TEST(ExceptionTest, InnermostMessageWalksNestedChains) {
    try {
        try {
            try {
                throw EConvertError("inner");
            } catch (...) {
                std::throw_with_nested(EDatabaseError("middle"));
            }
        } catch (...) {
            std::throw_with_nested(Exception("outer"));
        }
    } catch (const std::exception& e) {
        EXPECT_EQ(InnermostMessage(e), "inner");
        EXPECT_EQ(InnermostMessage(std::current_exception()), "inner");
    }
    // An inner exception without a message leaves the outer message in place.
    try {
        try {
            throw 42;
        } catch (...) {
            std::throw_with_nested(Exception("outer"));
        }
    } catch (const std::exception& e) {
        EXPECT_EQ(InnermostMessage(e), "outer");
    }
    EXPECT_EQ(InnermostMessage(Exception("plain")), "plain");
}

}  // namespace
}  // namespace varelum::rtl
