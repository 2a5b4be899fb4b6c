// Errors and handles: every misuse of a handle answers a code and a text, never a crash.
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class ErrorsAndHandles : public EngineTest {};

TEST_F(ErrorsAndHandles, LastErrorCarriesCodeAndTextAndASuccessClearsIt) {
    ADSHANDLE table = 0;
    EXPECT_EQ(VE_TABLE_NOT_FOUND, open("Missing.adt", &table));
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600];
    UNSIGNED16 length = sizeof text;
    EXPECT_ADS_OK(AdsGetLastError(&code, text, &length));
    EXPECT_EQ(VE_TABLE_NOT_FOUND, code);
    EXPECT_NE(std::string::npos, std::string(reinterpret_cast<char*>(text)).find("Missing.adt"));
    EXPECT_EQ(length, std::strlen(reinterpret_cast<char*>(text)));

    // A buffer of length 0 asks for the code only.
    UNSIGNED16 none = 0;
    code = 0;
    EXPECT_ADS_OK(AdsGetLastError(&code, nullptr, &none));
    EXPECT_EQ(VE_TABLE_NOT_FOUND, code);

    UNSIGNED16 show = 0;
    EXPECT_ADS_OK(AdsGetDeleted(&show));
    EXPECT_ADS_OK(AdsGetLastError(&code, nullptr, &none));
    EXPECT_EQ(0u, code);
}

TEST_F(ErrorsAndHandles, ATextThatDoesNotFitIsCutAndAnswers5005) {
    AdsSetLastError(VE_TABLE_CORRUPT, u8("a rather long explanation of what went wrong"));
    UNSIGNED32 code = 0;
    UNSIGNED8 text[8];
    UNSIGNED16 length = sizeof text;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL, AdsGetLastError(&code, text, &length));
    EXPECT_STREQ("a rathe", reinterpret_cast<char*>(text));
    EXPECT_EQ(VE_TABLE_CORRUPT, code);
}

TEST_F(ErrorsAndHandles, SetLastErrorAnswersItsCodeSoCallersRaiseWithIt) {
    EXPECT_EQ(5054u, AdsSetLastError(5054, u8("Update permission not granted on this table.")));
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600];
    UNSIGNED16 length = sizeof text;
    AdsGetLastError(&code, text, &length);
    EXPECT_EQ(5054u, code);
    EXPECT_STREQ("Update permission not granted on this table.", reinterpret_cast<char*>(text));
    EXPECT_EQ(0u, AdsSetLastError(0, nullptr));
}

TEST_F(ErrorsAndHandles, EveryCodeHasAText) {
    for (UNSIGNED32 code : std::vector<UNSIGNED32>{VE_BUFFER_TOO_SMALL, VE_RECORD_NOT_FOUND,
                                                   VE_LOCK_REFUSED, VE_NO_CURRENT_RECORD,
                                                   VE_INVALID_HANDLE, VE_TABLE_CORRUPT, 4242u}) {
        UNSIGNED8 text[600];
        UNSIGNED16 length = sizeof text;
        EXPECT_ADS_OK(AdsGetErrorString(code, text, &length));
        EXPECT_GT(length, 5u) << code;
    }
}

TEST_F(ErrorsAndHandles, BadClosedAndWrongKindHandlesHaveTheirOwnCodes) {
    ADSHANDLE table = create("T", "Name,Char,10;");
    UNSIGNED16 flag = 0;
    EXPECT_EQ(VE_INVALID_HANDLE, AdsAtEOF(0, &flag));
    EXPECT_EQ(VE_INVALID_HANDLE, AdsAtEOF(0xFFFFFFFFu, &flag));
    EXPECT_EQ(VE_INVALID_HANDLE, AdsGotoTop(123456789));
    EXPECT_EQ(VE_WRONG_HANDLE_KIND, AdsGotoTop(connection_));
    EXPECT_EQ(VE_WRONG_HANDLE_KIND, AdsDisconnect(table));
    EXPECT_ADS_OK(AdsCloseTable(table));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(table));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsCloseTable(table));
    UNSIGNED16 type = 0;
    EXPECT_ADS_OK(AdsGetHandleType(connection_, &type));
    EXPECT_EQ(VE_HANDLE_CONNECTION, type);
}

TEST_F(ErrorsAndHandles, MissingResultPointersAreRefused) {
    ADSHANDLE table = create("T", "Name,Char,10;");
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsAtEOF(table, nullptr));
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsGetRecordCount(table, VE_IGNORE_FILTERS, nullptr));
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsGetField(table, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(VE_INVALID_ARGUMENT, AdsConnect(u8("/tmp"), nullptr));
    EXPECT_ADS_OK(AdsCloseTable(table));
}

TEST_F(ErrorsAndHandles, DisconnectClosesTheConnectionsTables) {
    ADSHANDLE table = create("T", "Name,Char,10;");
    UNSIGNED16 open_tables = 0;
    AdsGetNumOpenTables(&open_tables);
    EXPECT_EQ(1, open_tables);
    ADSHANDLE other = 0;
    ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &other));
    ADSHANDLE mine = 0;
    ASSERT_ADS_OK(open("T", &mine, 0, other));
    EXPECT_ADS_OK(AdsDisconnect(other));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(mine));
    EXPECT_ADS_OK(AdsGotoTop(table));
    AdsGetNumOpenTables(&open_tables);
    EXPECT_EQ(1, open_tables);
}

}  // namespace
}  // namespace varelum::engine::testing
