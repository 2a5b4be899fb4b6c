// Handles used by several threads at once: two threads on one handle, a handle closed (or its
// table, or its connection) while another thread walks it, and stale handles after their slot
// was taken again. A table's call lock belongs to the first thread that uses it until another
// needs it: the tests share tables between a thread that used them first and others, close
// them during the first one's calls, and share one between a forked child's threads. CTest runs
// them once more with that bias switched off (VARELUM_ENGINE_BIASED_LOCKS=off).
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

    // Opens the table to walk, and the handle to walk it by: the table handle itself for an
    // empty order, else the handle of that index, at its top.
    void open_walk(const char* order, ADSHANDLE& table, ADSHANDLE& handle) {
        ASSERT_ADS_OK(open("Walk", &table));
        handle = table;
        if (*order) {
            ASSERT_ADS_OK(AdsGetIndexHandle(table, u8(order), &handle));
            ASSERT_ADS_OK(AdsGotoTop(handle));
        }
    }

    // Walks `steps` steps on `handle`; answers how many failed or read a torn record.
    static int walk(ADSHANDLE handle, int steps) {
        std::atomic<int> torn{0};
        int failed = 0;
        for (int i = 0; i < steps; ++i) {
            if (step(handle, torn) != VE_SUCCESS) {
                ++failed;
            }
        }
        return failed + torn.load();
    }
};

// What the progress callbacks of a reindex see, on whichever thread runs it. in_call is a
// plain int on purpose: two reindex calls inside the table's lock at once show as an overlap
// here (and as a data race to ThreadSanitizer).
int in_call = 0;
std::atomic<int> overlaps{0};

UNSIGNED32 check_alone(UNSIGNED16) {
    if (++in_call != 1) {
        ++overlaps;
    }
    std::this_thread::yield();  // room for another call to run into this one
    --in_call;
    return 0;
}

TEST_F(HandleThreads, ASecondThreadTakesTurnsOnATableTheFirstThreadUsed) {
    for (const char* order : {"", "ID"}) {
        SCOPED_TRACE(*order ? "index handle" : "table handle");
        ADSHANDLE table = 0, handle = 0;
        ASSERT_NO_FATAL_FAILURE(open_walk(order, table, handle));
        EXPECT_EQ(0, walk(handle, 200));  // this thread's calls alone first
        overlaps = 0;
        // Walks with a reindex now and then, whose callbacks run inside the table's lock.
        auto turns = [&] {
            EXPECT_ADS_OK(AdsRegisterProgressCallback(&check_alone));
            int failed = 0;
            for (int round = 0; round < 15; ++round) {
                failed += walk(handle, 100);
                if (AdsReindex(table) != VE_SUCCESS || AdsGotoTop(handle) != VE_SUCCESS) {
                    ++failed;
                }
            }
            AdsClearProgressCallback();
            return failed;
        };
        int failed_elsewhere = 0;
        std::thread other([&] { failed_elsewhere = turns(); });
        const int failed_here = turns();
        other.join();
        EXPECT_EQ(0, failed_here);
        EXPECT_EQ(0, failed_elsewhere);
        EXPECT_EQ(0, overlaps.load());
        EXPECT_EQ(0, walk(handle, 200));  // and alone again afterwards
        ASSERT_ADS_OK(AdsCloseTable(table));
    }
}

// The thread that uses a table is inside a long call (a reindex whose progress callback
// waits) when another thread closes the handle, or its connection: the close waits for the
// call, which ends well, and from then on the handle answers closed to both threads.
std::atomic<bool> reindex_started{false}, close_started{false}, close_returned{false};
std::atomic<bool> closed_before_the_call_ended{false};

UNSIGNED32 wait_for_the_close(UNSIGNED16 percent) {
    reindex_started = true;
    if (percent == 0) {
        while (!close_started) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the close is waiting
    }
    if (close_returned) {
        closed_before_the_call_ended = true;
    }
    return 0;
}

TEST_F(HandleThreads, AHandleClosedDuringItsOwnersLongCallClosesWhenTheCallEnds) {
    struct Case {
        const char* name;
        bool disconnect;  // AdsDisconnect of the handle's connection rather than AdsCloseTable
    };
    for (const Case& c : {Case{"table closed", false}, Case{"connection disconnected", true}}) {
        SCOPED_TRACE(c.name);
        reindex_started = close_started = close_returned = false;
        closed_before_the_call_ended = false;
        ADSHANDLE connection = 0;
        ASSERT_ADS_OK(AdsConnect(u8(dir_.path()), &connection));
        std::atomic<ADSHANDLE> table{0};
        UNSIGNED32 reindexed = VE_INTERNAL_ERROR, afterwards = VE_SUCCESS;
        int walked = -1;
        std::thread owner([&] {
            ADSHANDLE mine = 0;
            if (open("Walk", &mine, 0, connection) != VE_SUCCESS) {
                return;
            }
            walked = walk(mine, 50);
            AdsRegisterProgressCallback(&wait_for_the_close);
            table = mine;
            reindexed = AdsReindex(mine);
            AdsClearProgressCallback();
            while (!close_returned) {
                std::this_thread::yield();
            }
            afterwards = AdsGotoTop(mine);
        });
        while (!reindex_started) {
            std::this_thread::yield();
        }
        close_started = true;
        const UNSIGNED32 closed = c.disconnect ? AdsDisconnect(connection) : AdsCloseTable(table);
        close_returned = true;
        owner.join();
        EXPECT_EQ(0, walked);
        EXPECT_ADS_OK(closed);
        EXPECT_ADS_OK(reindexed);
        EXPECT_FALSE(closed_before_the_call_ended.load());
        EXPECT_EQ(VE_CLOSED_HANDLE, afterwards);
        EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(table));
        EXPECT_EQ(VE_CLOSED_HANDLE, AdsCloseTable(table));
        if (!c.disconnect) {
            EXPECT_ADS_OK(AdsDisconnect(connection));
        }
    }
}

TEST_F(HandleThreads, AHandleClosedByTheThreadThatUsedItAnswersClosedEverywhere) {
    ADSHANDLE table = 0;
    int walked = -1;
    UNSIGNED32 closed = VE_INTERNAL_ERROR;
    std::thread owner([&] {
        if (open("Walk", &table) == VE_SUCCESS) {
            walked = walk(table, 50);
            closed = AdsCloseTable(table);
        }
    });
    owner.join();
    EXPECT_EQ(0, walked);
    EXPECT_ADS_OK(closed);
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsGotoTop(table));
    EXPECT_EQ(VE_CLOSED_HANDLE, AdsCloseTable(table));
}

// A child process forked while the parent's table handle belongs to a thread: the parent's
// other thread (which the child does not have) or the forking thread itself. The child, which
// may not touch what its parent opened, connects and opens the table itself and shares it
// between its threads, which ends a bias in the child; the parent goes on with its handle.
TEST_F(HandleThreads, AChildProcessSharesItsOwnTableBetweenItsThreads) {
    for (const bool forking_thread_used_it : {false, true}) {
        SCOPED_TRACE(forking_thread_used_it ? "the forking thread used it" : "another thread did");
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Walk", &table));
        if (forking_thread_used_it) {
            EXPECT_EQ(0, walk(table, 50));
        } else {
            int walked = -1;
            std::thread([&] { walked = walk(table, 50); }).join();
            EXPECT_EQ(0, walked);
        }
        const pid_t child = fork();
        if (child == 0) {
            ADSHANDLE connection = 0, own = 0;
            if (AdsConnect(u8(dir_.path()), &connection) != VE_SUCCESS ||
                open("Walk", &own, 0, connection) != VE_SUCCESS) {
                _exit(90);
            }
            int status = walk(own, 200) == 0 ? 0 : 1;
            int walked_elsewhere = -1;
            std::thread([&] { walked_elsewhere = walk(own, 200); }).join();
            status |= walked_elsewhere == 0 ? 0 : 2;
            status |= walk(own, 200) == 0 ? 0 : 4;
            status |= AdsCloseTable(own) == VE_SUCCESS ? 0 : 8;
            status |= AdsDisconnect(connection) == VE_SUCCESS ? 0 : 16;
            _exit(status);
        }
        ASSERT_GT(child, 0);
        int status = -1;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status));
        EXPECT_EQ(0, walk(table, 200));
        ASSERT_ADS_OK(AdsCloseTable(table));
    }
}

TEST_F(HandleThreads, TwoThreadsWalkingOneHandleEachReadWholeRecords) {
    for (const char* order : {"", "ID"}) {
        SCOPED_TRACE(*order ? "index handle" : "table handle");
        ADSHANDLE table = 0, handle = 0;
        ASSERT_NO_FATAL_FAILURE(open_walk(order, table, handle));
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
