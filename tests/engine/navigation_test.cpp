// Navigation at both ends and over deleted records, bookmarks, pack and zap, and editing.
#include <atomic>
#include <thread>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

class Navigation : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        table_ = create("Nav", "Id,AutoInc;Name,Char,10;");
    }
    void TearDown() override {
        AdsCloseTable(table_);
        EngineTest::TearDown();
    }
    void fill(int rows) {
        for (int i = 1; i <= rows; ++i) {
            append_row(table_, {{"Name", "r" + std::to_string(i)}});
        }
    }
    void remove(UNSIGNED32 record) {
        ASSERT_ADS_OK(AdsGotoRecord(table_, record));
        ASSERT_ADS_OK(AdsDeleteRecord(table_));
    }
    // The record numbers met walking forward from the top.
    std::vector<UNSIGNED32> walk() {
        std::vector<UNSIGNED32> seen;
        EXPECT_ADS_OK(AdsGotoTop(table_));
        while (!at_eof(table_)) {
            seen.push_back(recno(table_));
            EXPECT_ADS_OK(AdsSkip(table_, 1));
        }
        return seen;
    }
    std::vector<UNSIGNED32> walk_back() {
        std::vector<UNSIGNED32> seen;
        EXPECT_ADS_OK(AdsGotoBottom(table_));
        while (!at_bof(table_)) {
            seen.push_back(recno(table_));
            EXPECT_ADS_OK(AdsSkip(table_, -1));
        }
        return seen;
    }
    UNSIGNED32 count() {
        UNSIGNED32 n = 0;
        EXPECT_ADS_OK(AdsGetRecordCount(table_, VE_IGNORE_FILTERS, &n));
        return n;
    }
    ADSHANDLE table_ = 0;
};

TEST_F(Navigation, AnEmptyTableIsAtBothEnds) {
    EXPECT_TRUE(at_bof(table_));
    EXPECT_TRUE(at_eof(table_));
    EXPECT_ADS_OK(AdsGotoTop(table_));
    EXPECT_TRUE(at_bof(table_) && at_eof(table_));
    EXPECT_ADS_OK(AdsGotoBottom(table_));
    EXPECT_TRUE(at_bof(table_) && at_eof(table_));
    EXPECT_ADS_OK(AdsSkip(table_, 1));
    EXPECT_EQ(0u, recno(table_));
    UNSIGNED8 buffer[20];
    UNSIGNED32 length = sizeof buffer;
    EXPECT_EQ(VE_NO_CURRENT_RECORD, AdsGetField(table_, u8("Name"), buffer, &length, 0));
    EXPECT_EQ(VE_NO_CURRENT_RECORD, AdsGetRecord(table_, buffer, &length));
    UNSIGNED16 visible = 1;
    EXPECT_EQ(VE_NO_CURRENT_RECORD, AdsIsRecordVisible(table_, &visible));
    EXPECT_EQ(0u, count());
}

TEST_F(Navigation, SkippingRunsToTheCracksAtBothEndsAndBack) {
    fill(3);
    EXPECT_EQ((std::vector<UNSIGNED32>{1, 2, 3}), walk());
    EXPECT_EQ((std::vector<UNSIGNED32>{3, 2, 1}), walk_back());
    ASSERT_ADS_OK(AdsGotoTop(table_));
    EXPECT_ADS_OK(AdsSkip(table_, -1));
    EXPECT_TRUE(at_bof(table_));
    EXPECT_FALSE(at_eof(table_));
    EXPECT_ADS_OK(AdsSkip(table_, 1));
    EXPECT_EQ(1u, recno(table_));
    EXPECT_ADS_OK(AdsSkip(table_, 10));
    EXPECT_TRUE(at_eof(table_));
    EXPECT_ADS_OK(AdsSkip(table_, -1));
    EXPECT_EQ(3u, recno(table_));
    EXPECT_ADS_OK(AdsGotoBOF(table_));
    EXPECT_ADS_OK(AdsSkip(table_, 1));
    EXPECT_EQ(1u, recno(table_));
    EXPECT_ADS_OK(AdsGotoEOF(table_));
    EXPECT_ADS_OK(AdsSkip(table_, -2));
    EXPECT_EQ(2u, recno(table_));
}

TEST_F(Navigation, DeletedRecordsArePassedOverOnlyWhileHidden) {
    fill(6);
    remove(1);
    remove(3);
    remove(6);
    EXPECT_ADS_OK(AdsShowDeleted(1));
    EXPECT_EQ((std::vector<UNSIGNED32>{1, 2, 3, 4, 5, 6}), walk());
    EXPECT_EQ(6u, count());
    EXPECT_ADS_OK(AdsShowDeleted(0));
    EXPECT_EQ((std::vector<UNSIGNED32>{2, 4, 5}), walk());
    EXPECT_EQ((std::vector<UNSIGNED32>{5, 4, 2}), walk_back());
    EXPECT_EQ(3u, count());
    // A deleted record is still reached by number, and says it is not visible.
    ASSERT_ADS_OK(AdsGotoRecord(table_, 3));
    UNSIGNED16 deleted = 0, visible = 1;
    EXPECT_ADS_OK(AdsIsRecordDeleted(table_, &deleted));
    EXPECT_ADS_OK(AdsIsRecordVisible(table_, &visible));
    EXPECT_EQ(1, deleted);
    EXPECT_EQ(0, visible);
    EXPECT_ADS_OK(AdsRecallRecord(table_));
    EXPECT_EQ((std::vector<UNSIGNED32>{2, 3, 4, 5}), walk());
    // All visible records deleted: both ends at once.
    for (UNSIGNED32 r : {2u, 3u, 4u, 5u}) {
        remove(r);
    }
    EXPECT_ADS_OK(AdsGotoTop(table_));
    EXPECT_TRUE(at_bof(table_) && at_eof(table_));
}

TEST_F(Navigation, GotoRecordAndBookmarks) {
    fill(5);
    EXPECT_ADS_OK(AdsGotoRecord(table_, 4));
    EXPECT_EQ("r4", text(table_, "Name", VE_TRIM_RIGHT));
    EXPECT_EQ(VE_RECORD_NOT_FOUND, AdsGotoRecord(table_, 99));
    EXPECT_TRUE(at_eof(table_));

    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    UNSIGNED32 length = 0;
    EXPECT_ADS_OK(AdsGetBookmarkLength(table_, &length));
    ASSERT_EQ(4u, length);
    UNSIGNED8 first[4], second[4];
    EXPECT_ADS_OK(AdsGetBookmark60(table_, first, &length));
    UNSIGNED32 recno_in_bookmark = 0;
    std::memcpy(&recno_in_bookmark, first, 4);
    EXPECT_EQ(2u, recno_in_bookmark);
    ADSHANDLE value = 0;
    EXPECT_ADS_OK(AdsGetBookmark(table_, &value));
    EXPECT_EQ(2u, value);
    ASSERT_ADS_OK(AdsGotoRecord(table_, 5));
    EXPECT_ADS_OK(AdsGetBookmark60(table_, second, &length));
    SIGNED32 order = 0;
    EXPECT_ADS_OK(AdsCompareBookmarks(first, second, &order));
    EXPECT_LT(order, 0);
    EXPECT_ADS_OK(AdsCompareBookmarks(second, first, &order));
    EXPECT_GT(order, 0);
    EXPECT_ADS_OK(AdsGotoBookmark60(table_, first));
    EXPECT_EQ(2u, recno(table_));
    EXPECT_ADS_OK(AdsGotoBookmark(table_, 5));
    EXPECT_EQ(5u, recno(table_));
    UNSIGNED8 tiny[2];
    length = sizeof tiny;
    EXPECT_EQ(VE_BUFFER_TOO_SMALL, AdsGetBookmark60(table_, tiny, &length));
}

TEST_F(Navigation, PackRenumbersAndZapEmpties) {
    fill(5);
    remove(2);
    remove(4);
    EXPECT_ADS_OK(AdsPackTable(table_));
    EXPECT_EQ((std::vector<UNSIGNED32>{1, 2, 3}), walk());
    std::vector<std::string> names;
    AdsGotoTop(table_);
    while (!at_eof(table_)) {
        names.push_back(text(table_, "Name", VE_TRIM_RIGHT));
        AdsSkip(table_, 1);
    }
    EXPECT_EQ((std::vector<std::string>{"r1", "r3", "r5"}), names);
    // AutoInc values stay with their rows and never come back.
    append_row(table_, {{"Name", "new"}});
    SIGNED32 id = 0;
    EXPECT_ADS_OK(AdsGetLong(table_, u8("Id"), &id));
    EXPECT_EQ(6, id);
    EXPECT_EQ(4u, recno(table_));

    ADSHANDLE second = 0;
    ASSERT_ADS_OK(open("Nav", &second));
    EXPECT_EQ(VE_NOT_EXCLUSIVE, AdsPackTable(table_));
    EXPECT_EQ(VE_NOT_EXCLUSIVE, AdsZapTable(second));
    AdsCloseTable(second);
    EXPECT_ADS_OK(AdsZapTable(table_));
    EXPECT_EQ(0u, count());
    EXPECT_TRUE(at_eof(table_) && at_bof(table_));
    append_row(table_, {{"Name", "after"}});
    EXPECT_EQ(1u, recno(table_));
    UNSIGNED8 report[100];
    UNSIGNED32 length = sizeof report;
    EXPECT_ADS_OK(AdsCheckTable(table_, VE_CHECK_MEMOS, report, &length));
}

TEST_F(Navigation, EditingWritesOnMoveCancelsAndRefreshes) {
    fill(3);
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("changed"), 7));
    EXPECT_ADS_OK(AdsSkip(table_, 1));  // moving writes the change
    ASSERT_ADS_OK(AdsGotoRecord(table_, 2));
    EXPECT_EQ("changed", text(table_, "Name", VE_TRIM_RIGHT));

    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("dropped"), 7));
    EXPECT_EQ("dropped", text(table_, "Name", VE_TRIM_RIGHT));
    EXPECT_ADS_OK(AdsCancelUpdate(table_));
    EXPECT_EQ("changed", text(table_, "Name", VE_TRIM_RIGHT));
    EXPECT_EQ(VE_NOTHING_TO_CANCEL, AdsCancelUpdate(table_));

    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("refresh"), 7));
    EXPECT_ADS_OK(AdsRefreshRecord(table_));
    EXPECT_EQ("changed", text(table_, "Name", VE_TRIM_RIGHT));

    // A cancelled append leaves nothing behind and returns to the record before it.
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("ghost"), 5));
    EXPECT_ADS_OK(AdsCancelUpdate(table_));
    EXPECT_EQ(2u, recno(table_));
    EXPECT_EQ(3u, count());

    // The number and AutoInc of a pending append are fixed when first asked for.
    ASSERT_ADS_OK(AdsAppendRecord(table_));
    UNSIGNED32 pending = recno(table_);
    EXPECT_EQ(4u, pending);
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ(4u, recno(table_));
    UNSIGNED32 last = 0;
    EXPECT_ADS_OK(AdsGetLastAutoinc(table_, &last));
    EXPECT_EQ(4u, last);

    // CRCs tell a changed record from an unchanged one.
    UNSIGNED32 before = 0, after = 0, pending_crc = 0;
    EXPECT_ADS_OK(AdsGetRecordCRC(table_, &before, 0));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("x"), 1));
    EXPECT_ADS_OK(AdsGetRecordCRC(table_, &after, 0));
    EXPECT_ADS_OK(AdsGetRecordCRC(table_, &pending_crc, 1));
    EXPECT_EQ(before, after);
    EXPECT_NE(before, pending_crc);
    EXPECT_ADS_OK(AdsWriteRecord(table_));
}

TEST_F(Navigation, AnotherHandleSeesAChangeOnceItIsWritten) {
    fill(2);
    ADSHANDLE reader = 0;
    ASSERT_ADS_OK(open("Nav", &reader));
    ASSERT_ADS_OK(AdsGotoRecord(reader, 1));
    EXPECT_EQ("r1", text(reader, "Name", VE_TRIM_RIGHT));
    ASSERT_ADS_OK(AdsGotoRecord(table_, 1));
    ASSERT_ADS_OK(AdsSetField(table_, u8("Name"), u8("pending"), 7));
    EXPECT_EQ("r1", text(reader, "Name", VE_TRIM_RIGHT));
    ASSERT_ADS_OK(AdsWriteRecord(table_));
    EXPECT_EQ("pending", text(reader, "Name", VE_TRIM_RIGHT));
    append_row(table_, {{"Name", "third"}});
    ASSERT_ADS_OK(AdsGotoBottom(reader));
    EXPECT_EQ(3u, recno(reader));
    AdsCloseTable(reader);
}

TEST_F(Navigation, ThreadsAppendThroughTheirOwnHandlesAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRows = 50;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ADSHANDLE mine = 0;
            if (open("Nav", &mine) != VE_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < kRows; ++i) {
                std::string name = std::to_string(t) + "-" + std::to_string(i);
                if (AdsAppendRecord(mine) != 0 ||
                    AdsSetField(mine, u8("Name"), u8(name), static_cast<UNSIGNED32>(name.size())) ||
                    AdsWriteRecord(mine) != 0) {
                    ++failures;
                }
            }
            AdsCloseTable(mine);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(static_cast<UNSIGNED32>(kThreads * kRows), count());
    std::vector<UNSIGNED32> expected(kThreads * kRows);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<UNSIGNED32>(i + 1);
    }
    EXPECT_EQ(expected, walk());
}

TEST_F(Navigation, EmptyRecordImagesHaveEveryFieldNull) {
    UNSIGNED32 length = 0;
    AdsGetRecordLength(table_, &length);
    std::vector<UNSIGNED8> image(length, 0x55), null_record(length, 0x55);
    EXPECT_ADS_OK(AdsClearRecordBuffer(table_, image.data(), length));
    EXPECT_ADS_OK(AdsGetNullRecord(table_, null_record.data(), &length));
    EXPECT_EQ(image, null_record);
    EXPECT_EQ(0xFF, image[0]);  // AutoInc null: all bits set
    EXPECT_EQ(0, image[4]);     // Char null: zeros
}

}  // namespace
}  // namespace varelum::engine::testing
