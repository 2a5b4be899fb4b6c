// Searching a connection's directory for table files (AdsFindFirstTable and the calls after
// it) and the connection's properties, through the C ABI on real files.
#include <fstream>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class TableSearchTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Real tables (each with its lock file beside it), plus plain files and a directory.
        for (const char* name : {"Produtos", "auditoria", "Aux1", "Aux22"}) {
            AdsCloseTable(create(name, "Codigo,Char,10;"));
        }
        for (const char* name : {"legacy.DBF", "notes.txt"}) {
            std::ofstream(dir_.file(name)) << "x";
        }
        std::filesystem::create_directory(dir_.file("folder.adt"));
    }

    // Every name the search of pattern gives, through the 6.2 calls when with_links.
    std::vector<std::string> names(const std::string& pattern, bool with_links = false) {
        std::vector<std::string> found;
        UNSIGNED8 link[261] = {};
        UNSIGNED8 name[261] = {};
        UNSIGNED16 link_length = 260;
        UNSIGNED16 name_length = 260;
        ADSHANDLE search = 0;
        UNSIGNED32 rc =
            with_links ? AdsFindFirstTable62(connection_, u8(pattern), link, &link_length, name,
                                             &name_length, &search)
                       : AdsFindFirstTable(connection_, u8(pattern), name, &name_length, &search);
        while (rc == VE_SUCCESS) {
            if (with_links) {
                EXPECT_EQ(link_length, 0) << "free tables come through no link";
            }
            found.emplace_back(reinterpret_cast<const char*>(name), name_length);
            link_length = 260;
            name_length = 260;
            rc = with_links ? AdsFindNextTable62(connection_, search, link, &link_length, name,
                                                 &name_length)
                            : AdsFindNextTable(connection_, search, name, &name_length);
        }
        EXPECT_EQ(rc, VE_NO_MORE_TABLES) << last_error_text();
        if (search != 0) {
            EXPECT_ADS_OK(AdsFindClose(connection_, search));
        } else {
            EXPECT_TRUE(found.empty()) << "a search that found something has a handle";
        }
        return found;
    }
};

TEST_F(TableSearchTest, MasksMatchNamesInByteOrderWithoutLockFilesOrDirectories) {
    using Names = std::vector<std::string>;
    const std::string dir = dir_.path();
    const struct {
        std::string pattern;
        Names expected;
    } cases[] = {
        {dir + "/*.adt", {"Aux1.adt", "Aux22.adt", "Produtos.adt", "auditoria.adt"}},
        {dir + "\\*.ADT", {"Aux1.adt", "Aux22.adt", "Produtos.adt", "auditoria.adt"}},
        {dir + "/a*", {"Aux1.adt", "Aux22.adt", "auditoria.adt"}},
        {dir + "/aux?.adt", {"Aux1.adt"}},
        {dir + "/*",
         {"Aux1.adt", "Aux22.adt", "Produtos.adt", "auditoria.adt", "legacy.DBF", "notes.txt"}},
        {dir + "/*.dbf", {"legacy.DBF"}},
        {dir + "/*.cdx", {}},
        {"*.txt", {"notes.txt"}},  // a bare mask: the connection's directory
        {"", {"Aux1.adt", "Aux22.adt", "Produtos.adt", "auditoria.adt"}},
        {dir + "/nowhere/*.adt", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(names(c.pattern), c.expected) << c.pattern;
        EXPECT_EQ(names(c.pattern, true), c.expected) << c.pattern << " (with links)";
    }
}

TEST_F(TableSearchTest, ANameThatDoesNotFitIsGivenAgainAndTheSearchEndsWithItsConnection) {
    UNSIGNED8 name[261] = {};
    UNSIGNED16 length = 4;
    ADSHANDLE search = 0;
    EXPECT_EQ(AdsFindFirstTable(connection_, u8(dir_.path() + "/aux*"), name, &length, &search),
              VE_BUFFER_TOO_SMALL);
    EXPECT_EQ(search, 0u);

    length = 260;
    ASSERT_ADS_OK(
        AdsFindFirstTable(connection_, u8(dir_.path() + "/aux*"), name, &length, &search));
    EXPECT_STREQ(reinterpret_cast<const char*>(name), "Aux1.adt");
    length = 3;
    EXPECT_EQ(AdsFindNextTable(connection_, search, name, &length), VE_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 9);
    length = 260;
    ASSERT_ADS_OK(AdsFindNextTable(connection_, search, name, &length));
    EXPECT_STREQ(reinterpret_cast<const char*>(name), "Aux22.adt");

    // A search belongs to its connection: another one cannot use it, and it ends with it.
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other));
    EXPECT_EQ(AdsFindNextTable(other, search, name, &length), VE_INVALID_ARGUMENT);
    UNSIGNED16 kind = 0;
    ASSERT_ADS_OK(AdsGetHandleType(search, &kind));
    EXPECT_EQ(kind, VE_HANDLE_TABLE_SEARCH);
    ASSERT_ADS_OK(AdsDisconnect(connection_));
    EXPECT_EQ(AdsFindClose(other, search), VE_CLOSED_HANDLE);
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection_));
    ASSERT_ADS_OK(AdsDisconnect(other));
}

TEST_F(EngineTest, ConnectionPropertiesAreThoseOfItsConnectionString) {
    ADSHANDLE connection = 0;
    ASSERT_ADS_OK(AdsConnect101(
        u8("Data Source=" + dir_.path() +
           ";User ID=ana;Password=\"s;e\";FIPS=True;EncryptionType=AES256;"
           "TLSCertificate=/etc/cert.pem;TLSCiphers=AES128-SHA:RC4-MD5;TLSCommonName=loja;"
           "CommType=TLS;"),
        nullptr, &connection));
    const auto text = [&](UNSIGNED16 property) {
        UNSIGNED8 buffer[261] = {};
        UNSIGNED32 length = 260;
        EXPECT_ADS_OK(AdsGetConnectionProperty(connection, property, buffer, &length));
        return std::string(reinterpret_cast<const char*>(buffer), length);
    };
    EXPECT_EQ(text(VE_CONNECTION_PROP_USERNAME), "ana");
    EXPECT_EQ(text(VE_CONNECTION_PROP_PASSWORD), "s;e");
    EXPECT_EQ(text(VE_CONNECTION_PROP_ENCRYPTION_TYPE), "AES256");
    EXPECT_EQ(text(VE_CONNECTION_PROP_TLS_CERTIFICATE), "/etc/cert.pem");
    EXPECT_EQ(text(VE_CONNECTION_PROP_TLS_CIPHERS), "AES128-SHA:RC4-MD5");
    EXPECT_EQ(text(VE_CONNECTION_PROP_TLS_COMMON_NAME), "loja");
    UNSIGNED16 fips = 0;
    UNSIGNED32 length = sizeof fips;
    ASSERT_ADS_OK(AdsGetConnectionProperty(connection, VE_CONNECTION_PROP_FIPS, &fips, &length));
    EXPECT_EQ(fips, 1);
    UNSIGNED32 comm = 0;
    length = sizeof comm;
    ASSERT_ADS_OK(
        AdsGetConnectionProperty(connection, VE_CONNECTION_PROP_COMM_TYPE, &comm, &length));
    EXPECT_EQ(comm, static_cast<UNSIGNED32>(VE_COMM_TLS));

    // A number needs room for itself; an unknown property is refused; a plain connection
    // has every property empty.
    length = 1;
    EXPECT_EQ(AdsGetConnectionProperty(connection, VE_CONNECTION_PROP_COMM_TYPE, &comm, &length),
              VE_INVALID_ARGUMENT);
    UNSIGNED8 buffer[8] = {};
    length = sizeof buffer;
    EXPECT_EQ(AdsGetConnectionProperty(connection, 99, buffer, &length), VE_INVALID_ARGUMENT);
    length = sizeof buffer;
    ASSERT_ADS_OK(
        AdsGetConnectionProperty(connection_, VE_CONNECTION_PROP_USERNAME, buffer, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_ADS_OK(AdsCloseCachedTables(connection));
    ASSERT_ADS_OK(AdsDisconnect(connection));
    EXPECT_EQ(AdsCloseCachedTables(connection), VE_CLOSED_HANDLE);
}

// A directory of free tables has no dictionary links: none are counted, and asking for one,
// creating or dropping one is refused as needing a dictionary.
TEST_F(EngineTest, AFreeTableConnectionHasNoDictionaryLinks) {
    UNSIGNED16 count = 7;
    ASSERT_ADS_OK(AdsGetNumActiveLinks(connection_, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(AdsGetNumActiveLinks(connection_, nullptr), VE_INVALID_ARGUMENT);

    UNSIGNED8 info[665] = {};
    UNSIGNED16 length = 664;
    EXPECT_EQ(AdsGetActiveLinkInfo(connection_, 1, info, &length), VE_DICTIONARY_ONLY);
    EXPECT_NE(last_error_text().find("dictionary"), std::string::npos) << last_error_text();
    EXPECT_EQ(AdsDDCreateLink(connection_, u8("Other"), u8(dir_.file("other.add")), u8("Admin"),
                              u8("secret"), 1),
              VE_DICTIONARY_ONLY);
    EXPECT_EQ(last_error_text().find("secret"), std::string::npos) << "no password in a text";
    EXPECT_EQ(AdsDDDropLink(connection_, u8("Other"), 1), VE_DICTIONARY_ONLY);

    // A handle that is no connection is refused before anything else.
    EXPECT_EQ(AdsGetNumActiveLinks(0, &count), VE_INVALID_HANDLE);
    EXPECT_EQ(AdsDDDropLink(0, u8("Other"), 0), VE_INVALID_HANDLE);

    // A new dictionary has no links: none is open, none is found to describe or drop, and a
    // link to a dictionary that does not exist is refused.
    ADSHANDLE dictionary = 0;
    ASSERT_ADS_OK(AdsDDCreate(u8(dir_.file("loja.add")), u8("s3nha"), u8("Loja"), &dictionary));
    ASSERT_ADS_OK(AdsGetNumActiveLinks(dictionary, &count));
    EXPECT_EQ(count, 0);
    length = 664;
    EXPECT_EQ(AdsGetActiveLinkInfo(dictionary, 1, info, &length), VE_DICTIONARY_ONLY);
    EXPECT_EQ(AdsDDDropLink(dictionary, u8("Other"), 0), VE_DICTIONARY_ONLY);
    EXPECT_NE(last_error_text().find("Other"), std::string::npos) << last_error_text();
    EXPECT_EQ(AdsDDCreateLink(dictionary, u8("Other"), u8(dir_.file("other.add")), u8("Admin"),
                              u8("secret"), 0),
              VE_PATH_NOT_FOUND);
    ASSERT_ADS_OK(AdsDisconnect(dictionary));
}

}  // namespace
}  // namespace varelum::engine::testing
