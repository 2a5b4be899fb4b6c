// Profile file lines: the one set of rules by which ads.ini is read by the components and
// written by varelum-store (sections, entries, comments, blanks, case, quotes, repeated keys).
#include "rtl/profile_text.h"

#include <gtest/gtest.h>

#include <ostream>

namespace varelum::rtl {
namespace {

struct TLookupCase {
    const char* Name;
    const char* Text;
    const char* Section;
    const char* Key;
    const char* Expected;  // nullptr: not found
};

void PrintTo(const TLookupCase& c, std::ostream* out) {
    *out << c.Name;
}

class ProfileValueTest : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(ProfileValueTest, FindsTheEntryTheRulesSay) {
    const TLookupCase& lookup = GetParam();
    const std::optional<std::string> value =
        ProfileValue(ReadProfileLines(lookup.Text), lookup.Section, lookup.Key);
    if (lookup.Expected == nullptr) {
        EXPECT_FALSE(value.has_value()) << *value;
    } else {
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, lookup.Expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileValueTest,
    ::testing::Values(
        TLookupCase{"Plain", "[Databases]\nBALDERIM = /srv/loja\n", "Databases", "BALDERIM",
                    "/srv/loja"},
        TLookupCase{"CommentAfterTheHeader", "[Databases] ; main store\nBALDERIM = /srv/loja\n",
                    "Databases", "BALDERIM", "/srv/loja"},
        TLookupCase{"CaseOfSectionAndKey", "[dataBASES]\nBalderim=/srv/loja", "Databases",
                    "BALDERIM", "/srv/loja"},
        TLookupCase{"BlanksAndCarriageReturns",
                    "  [ Databases ]  \r\n\r\n\t BALDERIM\t=  /srv/loja \r\n", "Databases",
                    "BALDERIM", "/srv/loja"},
        TLookupCase{
            "CommentLines",
            "; [Databases]\n# BALDERIM = /no\n[Databases]\n;BALDERIM = /no\nBALDERIM = /srv\n",
            "Databases", "BALDERIM", "/srv"},
        TLookupCase{"QuotesAreDropped", "[Databases]\nBALDERIM = \"/srv/a loja\"\n", "Databases",
                    "BALDERIM", "/srv/a loja"},
        TLookupCase{"TheTableTypeStaysInTheValue", "[Databases]\nBALDERIM = /srv/loja;N\n",
                    "Databases", "BALDERIM", "/srv/loja;N"},
        TLookupCase{"TheFirstEntryWins",
                    "[Databases]\nBALDERIM = /first\n[Databases]\nBALDERIM = /second\n",
                    "Databases", "BALDERIM", "/first"},
        TLookupCase{"ASecondSectionOfTheName", "[Databases]\n[Other]\nB = 1\n[Databases]\nB = 2\n",
                    "Databases", "B", "2"},
        TLookupCase{"AnotherSectionsEntry", "[Other]\nBALDERIM = /no\n[Databases]\n", "Databases",
                    "BALDERIM", nullptr},
        TLookupCase{"NoSection", "BALDERIM = /no\n", "Databases", "BALDERIM", nullptr},
        TLookupCase{"EmptyText", "", "Databases", "BALDERIM", nullptr}),
    [](const ::testing::TestParamInfo<TLookupCase>& info) { return info.param.Name; });

TEST(ProfileLinesTest, EachLineHasItsKindAndItsNumberIsItsPlace) {
    const std::vector<TProfileLine> lines =
        ReadProfileLines("; note\n[Databases] ; main\n\nno equals sign\n= /no/name\n[Broken\nA=1");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].Kind, TProfileLineKind::Comment);
    EXPECT_EQ(lines[1].Kind, TProfileLineKind::Section);
    EXPECT_EQ(lines[1].Name, "Databases");
    EXPECT_EQ(lines[2].Kind, TProfileLineKind::Comment);
    EXPECT_EQ(lines[3].Kind, TProfileLineKind::Malformed);
    EXPECT_EQ(lines[4].Kind, TProfileLineKind::Malformed);
    EXPECT_EQ(lines[5].Kind, TProfileLineKind::Unclosed);
    EXPECT_EQ(lines[6].Kind, TProfileLineKind::Entry);
    EXPECT_EQ(FindProfileSection(lines, "DATABASES"), 1u);
    EXPECT_TRUE(InProfileSection(lines, 3, "databases"));
    EXPECT_FALSE(InProfileSection(lines, 0, "Databases"));
    EXPECT_EQ(FindProfileEntry(lines, "Databases", "a"), 6u) << "an unclosed header opens nothing";
}

}  // namespace
}  // namespace varelum::rtl
