// The shell's error texts: the main loop's period rule and the start-failure report.
#include "app/error_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

namespace varelum::app {
namespace {

struct TPeriodCase {
    const char* Name;
    const char* Message;
    const char* Shown;
};

void PrintTo(const TPeriodCase& c, std::ostream* out) {
    *out << c.Name;
}

class ErrorBoxTextTest : public ::testing::TestWithParam<TPeriodCase> {};

TEST_P(ErrorBoxTextTest, AppendsAPeriodOnlyAfterACharacterAboveThePeriod) {
    EXPECT_EQ(ErrorBoxText(GetParam().Message), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorBoxTextTest,
    ::testing::Values(TPeriodCase{"Letter", "Table not found", "Table not found."},
                      TPeriodCase{"Exclamation", "Pronto!", "Pronto!"},  // "!" sorts before "."
                      TPeriodCase{"Period", "Done.", "Done."}, TPeriodCase{"Empty", "", ""},
                      TPeriodCase{"Digit", "code 42", "code 42."},
                      TPeriodCase{"Parenthesis", "(closed)", "(closed)"},
                      TPeriodCase{"Comma", "a, b,", "a, b,"}, TPeriodCase{"Hyphen", "a-", "a-"},
                      TPeriodCase{"Slash", "path /", "path /."},  // the first code above "."
                      TPeriodCase{"Space", "ends in space ", "ends in space "},
                      TPeriodCase{"NonAsciiLetter", "Senha não", "Senha não."}),
    [](const ::testing::TestParamInfo<TPeriodCase>& info) { return info.param.Name; });

TEST(ApplicationErrorTextTest, FillsClassModuleAddressMessageAndPeriod) {
    const void* address = reinterpret_cast<const void*>(std::uintptr_t{0xC0FB07E});
    EXPECT_EQ(ApplicationErrorText("EExternalException", "varelum", address,
                                   "External exception C0FB007E"),
              "Exception EExternalException in module varelum at 000000000C0FB07E.\r\n"
              "External exception C0FB007E.\r\n");
}

TEST(ApplicationErrorTextTest, AddsThePeriodUnlessTheMessageEndsWithOne) {
    struct {
        const char* Message;
        const char* Tail;
    } cases[] = {{"Error reading AdsSettings1.DateFormat: bad.", "bad.\r\n"},
                 {"Falhou!", "Falhou!.\r\n"},  // unlike the loop's rule: only "." counts
                 {"", ".\r\n"}};
    for (const auto& c : cases) {
        const std::string text = ApplicationErrorText("Exception", "varelum", nullptr, c.Message);
        EXPECT_TRUE(text.ends_with(c.Tail)) << text;
        EXPECT_TRUE(
            text.starts_with("Exception Exception in module varelum at 0000000000000000.\r\n"))
            << text;
    }
    EXPECT_STREQ(ApplicationErrorCaption, "Application Error");
}

}  // namespace
}  // namespace varelum::app
