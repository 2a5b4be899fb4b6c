// Handles used by several threads at once: two threads on one handle, a handle closed (or its
// table, or its connection) while another thread walks it, and stale handles after their slot
// was taken again.
#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr int kRows = 120;

class HandleThreads : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ADSHANDLE table = create("Walk", "Id,Integer;Name,Char,12;");
        ASSERT_ADS_OK(AdsBeginTransaction(connection_));
        for (int i = 1; i <= kRows; ++i) {
            append_row(table, {{"Id", std::to_string(i)}, {"Name", "n" + std::to_string(i)}});
        }
        ASSERT_ADS_OK(AdsCommitTransaction(connection_));
        ADSHANDLE index = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ID"), u8("Id"), nullptr, nullptr, 0, 0,
                                       nullptr, &index));
        ASSERT_ADS_OK(AdsCloseTable(table));
    }

    // One skip+read step, as a walk does it; the image read must be one whole record. With
    // two threads on one handle the other may have moved it onto EOF between this thread's
    // calls: the read then answers "no current record" and the walk starts again at the top.
    static UNSIGNED32 step(ADSHANDLE handle, std::atomic<int>& torn) {
        UNSIGNED8 image[64];
        UNSIGNED32 length = sizeof image;
        if (UNSIGNED32 rc = AdsGetRecord(handle, image, &length); rc != VE_SUCCESS) {
            return rc == VE_NO_CURRENT_RECORD ? AdsGotoTop(handle) : rc;
        }
        std::int32_t id = 0;
        std::memcpy(&id, image, 4);
        std::string name(reinterpret_cast<const char*>(image) + 4, 12);
        name.erase(name.find_last_not_of(' ') + 1);
        if (length != 16 || name != "n" + std::to_string(id)) {
            ++torn;
        }
        if (UNSIGNED32 rc = AdsSkip(handle, 1); rc != VE_SUCCESS) {
            return rc;
        }
        UNSIGNED16 eof = 0;
        if (UNSIGNED32 rc = AdsAtEOF(handle, &eof); rc != VE_SUCCESS) {
            return rc;
        }
        return eof ? AdsGotoTop(handle) : VE_SUCCESS;
    }
};

TEST_F(HandleThreads, TwoThreadsWalkingOneHandleEachReadWholeRecords) {
    for (const char* order : {"", "ID"}) {
        SCOPED_TRACE(*order ? "index handle" : "table handle");
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Walk", &table));
        ADSHANDLE handle = table;
        if (*order) {
            ASSERT_ADS_OK(AdsGetIndexHandle(table, u8(order), &handle));
            ASSERT_ADS_OK(AdsGotoTop(handle));
        }
        std::atomic<int> torn{0}, failed{0};
        auto walker = [&] {
            for (int i = 0; i < 3000; ++i) {
                if (step(handle, torn) != VE_SUCCESS) {
                    ++failed;
                }
            }
        };
        std::thread other(walker);
        walker();
        other.join();
        EXPECT_EQ(0, torn.load());
        EXPECT_EQ(0, failed.load());
        ASSERT_ADS_OK(AdsCloseTable(table));
    }
}

// A walker on `handle` until a call fails, while the main thread closes something under it:
// every call before answers success, every call after the closed-handle code.
struct CloseCase {
    const char* name;
    // Opens what is walked on `connection`; answers the handle to walk and the one to close.
    std::function<void(ADSHANDLE connection, ADSHANDLE& walked, ADSHANDLE& closed)> open;
    UNSIGNED32 (*close)(ADSHANDLE);
};

TEST_F(HandleThreads, AHandleClosedWhileAnotherThreadWalksItAnswersClosedFromThenOn) {
    auto open_table = [](ADSHANDLE connection, ADSHANDLE& table) {
        ASSERT_ADS_OK(AdsOpenTable90(connection, u8("Walk"), nullptr, VE_TABLE_TYPE_ADT,
                                     VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                     u8("ANSI"), &table));
    };
    const CloseCase cases[] = {
        {"table handle closed",
         [&](ADSHANDLE connection, ADSHANDLE& walked, ADSHANDLE& closed) {
             open_table(connection, walked);
             closed = walked;
         },
         AdsCloseTable},
        {"index handle's table closed",
         [&](ADSHANDLE connection, ADSHANDLE& walked, ADSHANDLE& closed) {
             open_table(connection, closed);
             ASSERT_ADS_OK(AdsGetIndexHandle(closed, u8("ID"), &walked));
         },
         AdsCloseTable},
        {"SQL cursor closed",
         [&](ADSHANDLE connection, ADSHANDLE& walked, ADSHANDLE& closed) {
             ADSHANDLE statement = 0;
             ASSERT_ADS_OK(AdsCreateSQLStatement(connection, &statement));
             ASSERT_ADS_OK(
                 AdsExecuteSQLDirect(statement, u8("SELECT * FROM Walk ORDER BY Id"), &walked));
             ASSERT_ADS_OK(AdsCloseSQLStatement(statement));  // the cursor outlives it
             closed = walked;
         },
         AdsCloseTable},
        {"connection disconnected",
         [&](ADSHANDLE connection, ADSHANDLE& walked, ADSHANDLE& closed) {
             open_table(connection, walked);
             closed = connection;
         },
         AdsDisconnect},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 20; ++round) {
            ADSHANDLE connection = 0;
            ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
            ADSHANDLE walked = 0, closed = 0;
            c.open(connection, walked, closed);
            ASSERT_NE(0u, walked);
            std::atomic<int> calls{0}, torn{0};
            std::atomic<UNSIGNED32> first_failure{VE_SUCCESS}, after_failure{VE_SUCCESS};
            std::thread walker([&] {
                for (int i = 0; i < 1'000'000; ++i) {  // bounded: a close never seen fails
                    UNSIGNED32 rc = step(walked, torn);
                    ++calls;
                    if (rc != VE_SUCCESS) {
                        first_failure = rc;
                        after_failure = step(walked, torn);
                        return;
                    }
                }
            });
            while (calls.load() < 50) {
                std::this_thread::yield();
            }
            EXPECT_ADS_OK(c.close(closed));
            walker.join();
            EXPECT_EQ(VE_CLOSED_HANDLE, first_failure.load()) << "round " << round;
            EXPECT_EQ(VE_CLOSED_HANDLE, after_failure.load()) << "round " << round;
            EXPECT_EQ(0, torn.load());
            AdsDisconnect(connection);
        }
    }
}

TEST_F(HandleThreads, TwoThreadsClosingOneHandleCloseItOnce) {
    for (int round = 0; round < 20; ++round) {
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Walk", &table));
        std::atomic<UNSIGNED32> elsewhere{0};
        std::thread other([&] { elsewhere = AdsCloseTable(table); });
        UNSIGNED32 here = AdsCloseTable(table);
        other.join();
        std::multiset<UNSIGNED32> answers{here, elsewhere.load()};
        EXPECT_EQ((std::multiset<UNSIGNED32>{VE_SUCCESS, VE_CLOSED_HANDLE}), answers);
    }
}

TEST_F(HandleThreads, AStaleHandleStaysClosedWhenItsPlaceIsTakenAgain) {
    std::set<ADSHANDLE> seen;
    ADSHANDLE table = 0;
    for (int i = 0; i < 50; ++i) {
        ASSERT_ADS_OK(open("Walk", &table));
        EXPECT_TRUE(seen.insert(table).second) << "handle " << table << " issued twice";
        if (i < 49) {
            ASSERT_ADS_OK(AdsCloseTable(table));
        }
    }
    for (ADSHANDLE stale : seen) {
        if (stale != table) {
            EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(stale)) << stale;
            EXPECT_EQ(VE_CLOSED_HANDLE, AdsCloseTable(stale)) << stale;
        }
    }
    std::atomic<int> torn{0};
    EXPECT_ADS_OK(step(table, torn));
    EXPECT_EQ(0, torn.load());
    ASSERT_ADS_OK(AdsCloseTable(table));
}

}  // namespace
}  // namespace varelum::engine::testing
