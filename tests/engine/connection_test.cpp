// Connections and engine-wide settings.
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Connections : public EngineTest {};

TEST_F(Connections, AMissingDirectoryFailsWithAClearCode) {
    ADSHANDLE handle = 0;
    EXPECT_EQ(VE_PATH_NOT_FOUND, AdsConnect(u8(dir_.file("nowhere")), &handle));
    EXPECT_NE(std::string::npos, last_error_text().find("nowhere"));
    EXPECT_EQ(VE_PATH_NOT_FOUND, AdsConnect(u8("BALDERIM"), &handle));
    EXPECT_EQ(VE_PATH_NOT_FOUND, AdsConnect(u8(dir_.file("store.add")), &handle));
}

TEST_F(Connections, BackslashesAreSeparatorsAndThePathComesBackAbsolute) {
    std::string spelled = dir_.path() + "\\";
    ADSHANDLE handle = 0;
    ASSERT_ADS_OK(AdsConnect(u8(spelled), &handle));
    UNSIGNED8 path[300];
    UNSIGNED16 length = sizeof path;
    EXPECT_ADS_OK(AdsGetConnectionPath(handle, path, &length));
    EXPECT_EQ(dir_.path(), std::string(reinterpret_cast<char*>(path)));
    UNSIGNED16 type = 0, alive = 0;
    EXPECT_ADS_OK(AdsGetConnectionType(handle, &type));
    EXPECT_EQ(VE_SERVER_LOCAL, type);
    EXPECT_ADS_OK(AdsIsConnectionAlive(handle, &alive));
    EXPECT_EQ(1, alive);
    EXPECT_ADS_OK(AdsDisconnect(handle));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsDisconnect(handle));
}

TEST_F(Connections, AServerTypeMaskWithoutTheLocalServerFailsAtConnect) {
    EXPECT_ADS_OK(AdsSetServerType(VE_SERVER_REMOTE | VE_SERVER_INTERNET));
    ADSHANDLE handle = 0;
    EXPECT_EQ(VE_SERVER_NOT_AVAILABLE, AdsConnect(u8(dir_.path()), &handle));
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsSetServerType(0));
    EXPECT_ADS_OK(AdsSetServerType(VE_SERVER_LOCAL));
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &handle));
    AdsDisconnect(handle);
}

TEST_F(Connections, ConnectionStringsAreReadKeyByKeyAndMalformedOnesRefused) {
    struct Case {
        std::string text;
        UNSIGNED32 expected;
    };
    const std::vector<Case> cases = {
        {"Data Source=" + dir_.path() + ";FIPS=False;ServerType=LOCAL;", VE_SUCCESS},
        {"Data Source=" + dir_.path() + ";Password=\"a;b\";Colour=blue;", VE_SUCCESS},
        {"Data Source=" + dir_.path() + ";ServerType=REMOTE|INTERNET;", VE_SERVER_NOT_AVAILABLE},
        {"Data Source=" + dir_.path() + ";DateFormat=DD.MM.YYYY;", VE_SUCCESS},
        {"Data Source=" + dir_.path() + ";DateFormat=QQ;", VE_INVALID_DATE_FORMAT},
        {"FIPS=False;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.file("missing") + ";", VE_PATH_NOT_FOUND},
        // Every key this engine reads or ignores, in any case, with blanks around.
        {" data source = " + dir_.path() +
             " ; SERVERTYPE=local|2 ;TableType=adt;DateFormat=CCYY-MM-DD;SQLTimeout=30;"
             "User ID=ana;Password=\"p;w=\" ;DDPassword=dd;FIPS=True;EncryptionType=AES256;"
             "TLSCertificate=c.pem;TLSCommonName=cn;TLSCiphers=AES128-SHA:RC4-MD5;CommType=TLS;"
             "Compression=ALWAYS;IncrementUserCount=TRUE;StoredProcedureConnection=TRUE",
         VE_SUCCESS},
        {"Data Source=" + dir_.path() + ";;", VE_SUCCESS},
        {"Data Source=" + dir_.path() + ";TableType=CDX;", VE_SUCCESS},
        // Malformed strings.
        {"Data Source=" + dir_.path() + ";Password=\"open;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";Password=\"a\"b;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";NoEquals;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";=value;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";data source=/elsewhere;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";User ID=a;Data Source=/x;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";ServerType=LOCL;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";ServerType=;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";TableType=DBF;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";SQLTimeout=-5;", VE_INVALID_CONNECT_STRING},
        {"Data Source=" + dir_.path() + ";SQLTimeout=99999999999;", VE_INVALID_CONNECT_STRING},
        {"Data Source=;", VE_INVALID_CONNECT_STRING},
        {"", VE_INVALID_CONNECT_STRING},
        // A dictionary's log-in is read; there is no such dictionary.
        {"Data Source=" + dir_.file("store.add") + ";User ID=ana;Password=\"pw\";",
         VE_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        ADSHANDLE handle = 0;
        EXPECT_EQ(c.expected, AdsConnect101(u8(c.text), nullptr, &handle)) << c.text;
        if (c.expected == VE_SUCCESS) {
            EXPECT_ADS_OK(AdsDisconnect(handle));
        }
    }
}

TEST_F(Connections, AMalformedConnectionStringIsExplainedWithoutItsValues) {
    ADSHANDLE handle = 0;
    const std::string text = "Data Source=" + dir_.path() + ";Password=\"secret;";
    EXPECT_EQ(VE_INVALID_CONNECT_STRING, AdsConnect101(u8(text), nullptr, &handle));
    EXPECT_NE(std::string::npos, last_error_text().find("Password is not closed"))
        << last_error_text();
    EXPECT_EQ(std::string::npos, last_error_text().find("secret"));
    const std::string loose = "Data Source=" + dir_.path() + ";Password=ab;cd;";
    EXPECT_EQ(VE_INVALID_CONNECT_STRING, AdsConnect101(u8(loose), nullptr, &handle));
    EXPECT_NE(std::string::npos, last_error_text().find("has no \"=\"")) << last_error_text();
    EXPECT_EQ(std::string::npos, last_error_text().find("cd"));
}

TEST_F(Connections, AConnectionsSqlTimeoutIsTakenAndChecked) {
    ADSHANDLE handle = 0;
    ASSERT_ADS_OK(
        AdsConnect101(u8("Data Source=" + dir_.path() + ";SQLTimeout=5;"), nullptr, &handle));
    EXPECT_ADS_OK(AdsSetSQLTimeout(handle, 7));
    ADSHANDLE statement = 0;
    ASSERT_ADS_OK(AdsCreateSQLStatement(handle, &statement));
    EXPECT_ADS_OK(AdsSetSQLTimeout(statement, 0));
    EXPECT_ADS_OK(AdsCloseSQLStatement(statement));
    EXPECT_ADS_OK(AdsDisconnect(handle));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsSetSQLTimeout(handle, 7));
}

TEST_F(Connections, DateFormatsAreValidatedAndUsedForDateText) {
    EXPECT_EQ(VE_INVALID_DATE_FORMAT, AdsSetDateFormat(u8("dd/mm")));
    EXPECT_EQ(VE_INVALID_DATE_FORMAT, AdsSetDateFormat(u8("")));
    EXPECT_ADS_OK(AdsSetDateFormat(u8("dd/MM/yyyy")));
    UNSIGNED8 format[20];
    UNSIGNED16 length = sizeof format;
    EXPECT_ADS_OK(AdsGetDateFormat(format, &length));
    EXPECT_STREQ("DD/MM/YYYY", reinterpret_cast<char*>(format));
    double julian = 0;
    EXPECT_ADS_OK(AdsConvertDateToJulian(0, u8("26/03/2018"), 10, &julian));
    EXPECT_EQ(2458204, julian);
    EXPECT_EQ(VE_VALUE_NOT_CONVERTIBLE, AdsConvertDateToJulian(0, u8("31/02/2018"), 10, &julian));

    // A connection's own format wins over the process's.
    EXPECT_ADS_OK(AdsSetDateFormat60(connection_, u8("CCYY-MM-DD")));
    EXPECT_ADS_OK(AdsConvertDateToJulian(connection_, u8("1899-12-30"), 10, &julian));
    EXPECT_EQ(2415019, julian);
}

// Each table's date text follows its own connection's format, however the calls on tables of
// connections with other formats interleave on one thread.
TEST_F(Connections, DateTextOfTwoConnectionsInterleavedKeepsEachOnesFormat) {
    ADSHANDLE table = create("Datas.adt", "Dia,Date;");
    append_row(table, {{"Dia", "03/26/2018"}});
    ADSHANDLE other_connection = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other_connection));
    ASSERT_ADS_OK(AdsSetDateFormat60(connection_, u8("DD.MM.CCYY")));
    ASSERT_ADS_OK(AdsSetDateFormat60(other_connection, u8("CCYY-MM-DD")));
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(open("Datas.adt", &other, 0, other_connection));
    ASSERT_ADS_OK(AdsGotoTop(table));
    ASSERT_ADS_OK(AdsGotoTop(other));
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ("26.03.2018", text(table, "Dia"));
        EXPECT_EQ("2018-03-26", text(other, "Dia"));
    }
    ASSERT_ADS_OK(AdsSetDate(table, u8("Dia"), u8("27.03.2018"), 10));
    EXPECT_EQ("2018-03-26", text(other, "Dia"));
    EXPECT_EQ("27.03.2018", text(table, "Dia"));
    ASSERT_ADS_OK(AdsWriteRecord(table));
    ASSERT_ADS_OK(AdsRefreshRecord(other));
    EXPECT_EQ("2018-03-27", text(other, "Dia"));
    AdsCloseTable(other);
    AdsDisconnect(other_connection);
}

TEST_F(Connections, JulianDaysConvertToAndFromYyyymmdd) {
    double julian = 0;
    EXPECT_ADS_OK(AdsConvertStringToJulian(u8("18991230"), 8, &julian));
    EXPECT_EQ(2415019, julian);
    EXPECT_ADS_OK(AdsConvertStringToJulian(u8("        "), 8, &julian));
    EXPECT_EQ(0, julian);
    EXPECT_EQ(VE_VALUE_NOT_CONVERTIBLE, AdsConvertStringToJulian(u8("2018AB01"), 8, &julian));
    UNSIGNED8 text[13];
    UNSIGNED16 length = sizeof text;
    EXPECT_ADS_OK(AdsConvertJulianToString(2458204, text, &length));
    EXPECT_STREQ("20180326", reinterpret_cast<char*>(text));
}

TEST_F(Connections, SettingsReadBackWhatWasSet) {
    UNSIGNED16 value = 0;
    EXPECT_ADS_OK(AdsSetDecimals(4));
    EXPECT_ADS_OK(AdsGetDecimals(&value));
    EXPECT_EQ(4, value);
    EXPECT_ADS_OK(AdsSetDecimals(2));
    EXPECT_ADS_OK(AdsShowDeleted(0));
    EXPECT_ADS_OK(AdsGetDeleted(&value));
    EXPECT_EQ(0, value);
    EXPECT_ADS_OK(AdsCacheOpenCursors(25));
    EXPECT_ADS_OK(AdsCacheOpenTables(0));
    UNSIGNED32 major = 0, minor = 0;
    UNSIGNED8 letter = 0;
    EXPECT_ADS_OK(AdsGetVersion(&major, &minor, &letter, nullptr, nullptr));
    EXPECT_EQ(1u, major);
    UNSIGNED8 time[20], date[20];
    UNSIGNED16 time_length = sizeof time, date_length = sizeof date;
    SIGNED32 ms = -1;
    EXPECT_ADS_OK(AdsGetServerTime(connection_, date, &date_length, &ms, time, &time_length));
    EXPECT_GE(ms, 0);
    EXPECT_EQ(8, time_length);
}

}  // namespace
}  // namespace varelum::engine::testing
