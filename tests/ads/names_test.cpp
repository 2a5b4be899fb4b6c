// ads.ini and aliases: where the file is found, what an entry maps to with and without its
// table-type letter, what a malformed file does, and the path tests.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "ads/adsdata_errors.h"
#include "ads/adsdata_names.h"
#include "ads_test_support.h"
#include "case_names.h"

namespace varelum::ads {
namespace {

using test::TIsolatedAdsIni;
using test::TScopedCurrentDirectory;
using test::TScopedEnvironment;
using test::TTempDirectory;

std::string Canonical(const std::string& path) {
    return std::filesystem::weakly_canonical(path).string();
}

// --- FindAdsIniFile ---------------------------------------------------------------------------

TEST(FindAdsIniFile, TakesTheFileInAdsiniPathFirst) {
    TTempDirectory work;
    TTempDirectory configured;
    work.WriteFile("ads.ini", "[Databases]\n");
    configured.WriteFile("ads.ini", "[Databases]\n");
    TScopedCurrentDirectory current(work.Path());
    TScopedEnvironment adsiniPath("adsini_path", configured.Path());
    EXPECT_EQ(FindAdsIniFile(), configured / "ads.ini");
}

TEST(FindAdsIniFile, AdsiniPathWithATrailingOrBackslashSeparatorNamesTheSameFile) {
    TTempDirectory configured;
    configured.WriteFile("ads.ini", "");
    {
        TScopedEnvironment adsiniPath("adsini_path", configured.Path() + "/");
        EXPECT_EQ(FindAdsIniFile(), configured / "ads.ini");
    }
    {
        TScopedEnvironment adsiniPath("adsini_path", configured.Path() + "\\");
        EXPECT_EQ(FindAdsIniFile(), configured / "ads.ini");
    }
}

TEST(FindAdsIniFile, AdsiniPathWithoutTheFileFallsBackOnTheSearch) {
    TTempDirectory work;
    TTempDirectory empty;
    work.WriteFile("ads.ini", "");
    TScopedCurrentDirectory current(work.Path());
    TScopedEnvironment adsiniPath("adsini_path", empty.Path());
    EXPECT_EQ(Canonical(FindAdsIniFile()), Canonical(work / "ads.ini"));
}

TEST(FindAdsIniFile, TheSearchFindsTheFileInTheCurrentDirectoryAsAnAbsolutePath) {
    TTempDirectory work;
    work.WriteFile("ads.ini", "");
    TIsolatedAdsIni isolated(work);
    const std::string found = FindAdsIniFile();
    EXPECT_EQ(found.front(), '/');
    EXPECT_EQ(Canonical(found), Canonical(work / "ads.ini"));
}

// Where the file is once the program is installed: the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), only after adsini_path, the program's folder and the
// current folder.
TEST(FindAdsIniFile, TheUsersConfigurationFolderComesAfterTheCurrentDirectory) {
    enum class ConfigHome { Absolute, Unset, Relative };
    struct Case {
        const char* name;
        ConfigHome configHome;  // how XDG_CONFIG_HOME is set
        bool inCurrentDirectory;
    };
    const Case cases[] = {
        {"XDG_CONFIG_HOME names the folder", ConfigHome::Absolute, false},
        {"HOME/.config without XDG_CONFIG_HOME", ConfigHome::Unset, false},
        {"HOME/.config when XDG_CONFIG_HOME is relative", ConfigHome::Relative, false},
        {"the current directory before it", ConfigHome::Absolute, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TTempDirectory work;
        TTempDirectory home;
        const std::string userFolder =
            home / (test.configHome == ConfigHome::Absolute ? "config" : ".config");
        std::filesystem::create_directories(userFolder + "/varelum");
        std::ofstream(userFolder + "/varelum/ads.ini") << "[Databases]\n";
        if (test.inCurrentDirectory) {
            work.WriteFile("ads.ini", "[Databases]\n");
        }
        TIsolatedAdsIni isolated(work);
        TScopedEnvironment homeVariable("HOME", home.Path());
        std::optional<std::string> configHome;
        if (test.configHome == ConfigHome::Absolute) {
            configHome = userFolder;
        } else if (test.configHome == ConfigHome::Relative) {
            configHome = "config";
        }
        TScopedEnvironment configHomeVariable("XDG_CONFIG_HOME", configHome);
        const std::string expected =
            test.inCurrentDirectory ? work / "ads.ini" : userFolder + "/varelum/ads.ini";
        EXPECT_EQ(Canonical(FindAdsIniFile()), Canonical(expected));
    }
}

TEST(FindAdsIniFile, AnAliasInTheUsersConfigurationFileIsFound) {
    TTempDirectory work;
    TTempDirectory configuration;
    std::filesystem::create_directories(configuration / "varelum");
    configuration.WriteFile("varelum/ads.ini", "[Databases]\nBALDERIM = /srv/loja/dados\n");
    TIsolatedAdsIni isolated(work);
    TScopedEnvironment configHome("XDG_CONFIG_HOME", configuration.Path());
    std::string path;
    TAdsTableTypes type = ttAdsVFP;
    ASSERT_TRUE(LookupAlias("BALDERIM", path, type));
    EXPECT_EQ(path, "/srv/loja/dados");
}

TEST(FindAdsIniFile, WithoutAnyFileItIsTheBareNameInTheCurrentDirectory) {
    if (std::filesystem::exists("/etc/varelum/ads.ini")) {
        GTEST_SKIP() << "this machine has a system-wide /etc/varelum/ads.ini";
    }
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    EXPECT_EQ(FindAdsIniFile(), "ads.ini");
    std::string path = "untouched";
    TAdsTableTypes type = ttAdsVFP;
    EXPECT_FALSE(LookupAlias("BALDERIM", path, type));
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(type, ttAdsVFP);
}

// --- LookupAlias ------------------------------------------------------------------------------

struct TAliasCase {
    const char* Entry;  // the value of the BALDERIM entry
    bool Found;
    const char* Path;
    TAdsTableTypes DataSetType;
    TAdsConnectionTableTypes ConnectionType;
};

void PrintTo(const TAliasCase& c, std::ostream* out) {
    *out << "BALDERIM = " << c.Entry << (c.Found ? " gives " : " is no alias ") << c.Path;
}

class LookupAliasEntries : public ::testing::TestWithParam<TAliasCase> {};

TEST_P(LookupAliasEntries, MapPathAndTableTypeLetter) {
    const TAliasCase& row = GetParam();
    TTempDirectory work;
    work.WriteFile("ads.ini", std::string("[Databases]\nBALDERIM = ") + row.Entry + "\n");
    TIsolatedAdsIni isolated(work);

    std::string dataSetPath = "untouched";
    TAdsTableTypes dataSetType = ttAdsDefault;
    EXPECT_EQ(LookupAlias("BALDERIM", dataSetPath, dataSetType), row.Found);
    std::string connectionPath = "untouched";
    TAdsConnectionTableTypes connectionType = ttAdsConnectVFP;
    EXPECT_EQ(LookupAlias("BALDERIM", connectionPath, connectionType), row.Found);
    if (row.Found) {
        EXPECT_EQ(dataSetPath, row.Path);
        EXPECT_EQ(connectionPath, row.Path);
        EXPECT_EQ(dataSetType, row.DataSetType);
        EXPECT_EQ(connectionType, row.ConnectionType);
    } else {
        EXPECT_EQ(dataSetPath, "untouched");
        EXPECT_EQ(dataSetType, ttAdsDefault);
        EXPECT_EQ(connectionType, ttAdsConnectVFP);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Letters, LookupAliasEntries,
    ::testing::Values(
        TAliasCase{"/data/loja", true, "/data/loja", ttAdsADT, ttAdsConnectUnspecified},
        TAliasCase{"/data/loja;n", true, "/data/loja", ttAdsNTX, ttAdsConnectNTX},
        TAliasCase{"/data/loja;N", true, "/data/loja", ttAdsNTX, ttAdsConnectNTX},
        TAliasCase{"/data/loja;c", true, "/data/loja", ttAdsCDX, ttAdsConnectCDX},
        TAliasCase{"/data/loja;A", true, "/data/loja", ttAdsADT, ttAdsConnectADT},
        TAliasCase{"/data/loja;v", true, "/data/loja", ttAdsVFP, ttAdsConnectVFP},
        // An unknown letter, or none after the ";", is the mapping's default.
        TAliasCase{"/data/loja;x", true, "/data/loja", ttAdsADT, ttAdsConnectUnspecified},
        TAliasCase{"/data/loja;", true, "/data/loja", ttAdsADT, ttAdsConnectUnspecified},
        // Only the letter right after the first ";" counts; the rest is dropped.
        TAliasCase{"/data/loja;ntx;C", true, "/data/loja", ttAdsNTX, ttAdsConnectNTX},
        TAliasCase{"C:\\Dados\\Loja\\;c", true, "C:\\Dados\\Loja\\", ttAdsCDX, ttAdsConnectCDX},
        TAliasCase{"\"/data/with blank\"", true, "/data/with blank", ttAdsADT,
                   ttAdsConnectUnspecified},
        // Nothing before the ";" (or nothing at all) is no alias.
        TAliasCase{";A", false, "", ttAdsADT, ttAdsConnectUnspecified},
        TAliasCase{"", false, "", ttAdsADT, ttAdsConnectUnspecified}),
    ReadableCaseName());

TEST(LookupAlias, NamesAndSectionsCompareWithoutCaseAndOtherSectionsDoNotCount) {
    TTempDirectory work;
    work.WriteFile("ads.ini",
                   "; the store's aliases\n"
                   "[Settings]\n"
                   "OTHER = /not/an/alias\n"
                   "free text that only other readers understand\n"
                   "\n"
                   "[databases]\r\n"
                   "  Balderim   =   /data/loja  \r\n"
                   "# a comment\n"
                   "BALDERIM = /data/second\n"
                   "[Later]\n"
                   "EXTRA = /data/extra\n");
    TIsolatedAdsIni isolated(work);
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    ASSERT_TRUE(LookupAlias("BALDERIM", path, type));
    EXPECT_EQ(path, "/data/loja");  // the first entry of a name wins
    EXPECT_FALSE(LookupAlias("OTHER", path, type));
    EXPECT_FALSE(LookupAlias("EXTRA", path, type));
    EXPECT_FALSE(LookupAlias("UNKNOWN", path, type));
}

TEST(LookupAlias, Windows1252FileTextBecomesUtf8) {
    TTempDirectory work;
    work.WriteFile("ads.ini", "[Databases]\nLOJA = /dados/estoque\xe7\xe3o\n");
    TIsolatedAdsIni isolated(work);
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    ASSERT_TRUE(LookupAlias("LOJA", path, type));
    EXPECT_EQ(path, "/dados/estoque\u00e7\u00e3o");
}

TEST(LookupAlias, ReadsTheFileAfreshAtEveryLookup) {
    TTempDirectory work;
    TIsolatedAdsIni isolated(work);
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    EXPECT_FALSE(LookupAlias("LOJA", path, type));
    work.WriteFile("ads.ini", "[Databases]\nLOJA=/dados\n");
    EXPECT_TRUE(LookupAlias("LOJA", path, type));
    EXPECT_EQ(path, "/dados");
}

struct TMalformedCase {
    const char* Name;
    std::string Content;
    const char* Problem;  // part of the message
};

void PrintTo(const TMalformedCase& c, std::ostream* out) {
    *out << c.Name;
}

class MalformedAdsIni : public ::testing::TestWithParam<TMalformedCase> {};

TEST_P(MalformedAdsIni, GivesAClearErrorNamingTheFile) {
    const TMalformedCase& row = GetParam();
    TTempDirectory work;
    work.WriteFile("ads.ini", row.Content);
    TIsolatedAdsIni isolated(work);
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    try {
        LookupAlias("BALDERIM", path, type);
        FAIL() << "a malformed ads.ini was accepted";
    } catch (const EADSDatabaseError& error) {
        EXPECT_EQ(error.ACEErrorCode(), 5121u);
        EXPECT_NE(error.Message().find("ads.ini"), std::string::npos) << error.Message();
        EXPECT_NE(error.Message().find(row.Problem), std::string::npos) << error.Message();
        EXPECT_EQ(error.DataSetInstanceName(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedAdsIni,
    ::testing::Values(TMalformedCase{"UnclosedHeader", "[Databases\nBALDERIM=/data\n", "line 1"},
                      TMalformedCase{"EntryWithoutEquals",
                                     "[Databases]\nBALDERIM=/data\n/data/other\n", "line 3"},
                      TMalformedCase{"EntryWithoutName", "[Databases]\n = /data\n", "line 2"},
                      TMalformedCase{"BinaryGarbage",
                                     std::string("[Databases]\nBALDERIM=/da\0ta\n", 26),
                                     "not a text file"}),
    [](const ::testing::TestParamInfo<TMalformedCase>& info) { return info.param.Name; });

TEST(LookupAlias, AnAdsIniThatIsADirectoryOrUnreadableGivesAClearError) {
    TTempDirectory work;
    work.MakeDirectory("ads.ini");
    TIsolatedAdsIni isolated(work);
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    EXPECT_THROW(LookupAlias("BALDERIM", path, type), EADSDatabaseError);

    if (geteuid() != 0) {  // root reads any file
        std::filesystem::remove(work / "ads.ini");
        work.WriteFile("ads.ini", "[Databases]\nBALDERIM=/data\n");
        chmod((work / "ads.ini").c_str(), 0);
        EXPECT_THROW(LookupAlias("BALDERIM", path, type), EADSDatabaseError);
    }
}

// --- Path tests -------------------------------------------------------------------------------

TEST(PathTests, IsDictionaryPathAndHasPathSeparator) {
    struct TRow {
        const char* Path;
        bool Dictionary;
        bool Separator;
    };
    const TRow rows[] = {
        {"/data/loja/loja.add", true, true},
        {"C:\\Dados\\LOJA.ADD", true, true},
        {"loja.Add", true, false},
        {"/data/__rootdd", true, true},
        {"/data/__ROOTDD", true, true},
        {"/data/loja", false, true},
        {"/data/loja.adt", false, true},
        {"BALDERIM", false, false},
        {"add", false, false},
        {"", false, false},
        {"Form1.AdsConnection1", false, false},
        {"C:", false, false},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(IsDictionaryPath(row.Path), row.Dictionary) << row.Path;
        EXPECT_EQ(HasPathSeparator(row.Path), row.Separator) << row.Path;
    }
}

}  // namespace
}  // namespace varelum::ads
