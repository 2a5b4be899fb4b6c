// What this local engine answers where it has no server, no clipboard and no encrypted
// tables, and the caller's own value kept with a handle.
#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class DirectCalls : public EngineTest {};

TEST_F(DirectCalls, AHandleKeepsTheCallersValueWhileItLives) {
    const ADSHANDLE table = create("t.adt", "Id,Integer");
    UNSIGNED32 value = 99;
    ASSERT_ADS_OK(AdsGetHandleLong(table, &value));
    EXPECT_EQ(value, 0u) << "nothing set yet";
    ASSERT_ADS_OK(AdsSetHandleLong(table, 0xCAFEu));
    ASSERT_ADS_OK(AdsGetHandleLong(table, &value));
    EXPECT_EQ(value, 0xCAFEu);
    ASSERT_ADS_OK(AdsSetHandleLong(connection_, 7));
    ASSERT_ADS_OK(AdsGetHandleLong(connection_, &value));
    EXPECT_EQ(value, 7u) << "every kind of handle";
    AdsCloseTable(table);
    EXPECT_NE(AdsGetHandleLong(table, &value), VE_SUCCESS) << "a closed handle";
    EXPECT_NE(AdsSetHandleLong(123456789u, 1), VE_SUCCESS) << "a handle never issued";
}

TEST_F(DirectCalls, NoServerIsLoadedAndThereIsNoClipboard) {
    UNSIGNED16 loaded = 1;
    ASSERT_ADS_OK(AdsIsServerLoaded(u8("anything"), &loaded));
    EXPECT_EQ(loaded, 0);
    const ADSHANDLE table = create("t.adt", "Id,Integer;Picture,Image");
    EXPECT_EQ(AdsImageToClipboard(table, u8("Picture")), VE_NOT_SUPPORTED);
    AdsCloseTable(table);
}

TEST_F(DirectCalls, TablesAreNotEncryptedAndEncryptingIsNotSupported) {
    const ADSHANDLE table = create("t.adt", "Id,Integer");
    append_row(table, {{"Id", "1"}});
    UNSIGNED16 answer = 1;
    ASSERT_ADS_OK(AdsIsTableEncrypted(table, &answer));
    EXPECT_EQ(answer, 0);
    answer = 1;
    ASSERT_ADS_OK(AdsIsEncryptionEnabled(table, &answer));
    EXPECT_EQ(answer, 0);
    answer = 1;
    ASSERT_ADS_OK(AdsIsRecordEncrypted(table, &answer));
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(AdsEnableEncryption(table, u8("secret")), VE_NOT_SUPPORTED);
    EXPECT_EQ(AdsDisableEncryption(table), VE_NOT_SUPPORTED);
    EXPECT_EQ(AdsEncryptTable(table), VE_NOT_SUPPORTED);
    EXPECT_EQ(AdsDecryptTable(table), VE_NOT_SUPPORTED);
    EXPECT_EQ(AdsEncryptRecord(table), VE_NOT_SUPPORTED);
    EXPECT_EQ(AdsDecryptRecord(table), VE_NOT_SUPPORTED);
    EXPECT_EQ(text(table, "Id"), "1") << "the table is untouched";
    EXPECT_NE(AdsIsTableEncrypted(connection_, &answer), VE_SUCCESS) << "not a table handle";
    AdsCloseTable(table);
}

}  // namespace
}  // namespace varelum::engine::testing
