// Indexes shared by processes: appends, edits, deletes, pack and zap from two processes keep
// every tag right, and a writer killed in the middle of its writes leaves table and indexes
// in agreement (AdsCheckTable verifies every tag against the records).
#include <signal.h>
#include <sys/wait.h>

#include "index_test_support.h"

namespace varelum::engine::testing {
namespace {

class IndexProcesses : public IndexTest {
  protected:
    template <typename Body>
    pid_t spawn(Body body) {
        pid_t pid = fork();
        if (pid == 0) {
            ADSHANDLE connection = 0;
            int status = 90;
            if (AdsConnect(u8(dir_.path()), &connection) == VE_SUCCESS) {
                ADSHANDLE table = 0;
                status = open("Shared", &table, 0, connection) == VE_SUCCESS ? body(table) : 91;
            }
            _exit(status);
        }
        return pid;
    }
    static int wait_for(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    void expect_consistent(ADSHANDLE table) {
        UNSIGNED32 rc = 0;
        std::string report = check_report(table, &rc);
        EXPECT_EQ(VE_SUCCESS, rc) << (rc == VE_TABLE_CORRUPT ? report : last_error_text());
    }
};

int write_rows(ADSHANDLE table, int first, int count) {
    for (int i = first; i < first + count; ++i) {
        std::string code = "C" + std::to_string(100000 + i);
        std::string qty = std::to_string(i % 7);
        if (AdsAppendRecord(table) != 0 ||
            AdsSetField(table, u8("Code"), u8(code), static_cast<UNSIGNED32>(code.size())) != 0 ||
            AdsSetField(table, u8("Qty"), u8(qty), static_cast<UNSIGNED32>(qty.size())) != 0 ||
            AdsWriteRecord(table) != 0) {
            return 1;
        }
    }
    return 0;
}

TEST_F(IndexProcesses, TwoProcessesWritingKeepEveryTagRight) {
    ADSHANDLE table = create("Shared", "Code,Char,10;Qty,Integer;");
    ADSHANDLE code = index(table, "CODE", "Code", VE_INDEX_UNIQUE);
    index(table, "QTY", "Qty", VE_INDEX_DESCENDING, "Qty > 0");
    pid_t child = spawn([](ADSHANDLE mine) { return write_rows(mine, 0, 200); });
    EXPECT_EQ(0, write_rows(table, 1000, 200));
    EXPECT_EQ(0, wait_for(child));
    // A tag created by the other process is kept in step by this one too.
    pid_t creator = spawn([](ADSHANDLE mine) {
        ADSHANDLE handle = 0;
        return AdsCreateIndex90(mine, nullptr, u8("BYQTY"), u8("Qty;Code"), nullptr, nullptr, 0, 0,
                                nullptr, &handle) == 0
                   ? 0
                   : 1;
    });
    EXPECT_EQ(0, wait_for(creator));
    EXPECT_EQ(0, write_rows(table, 2000, 20));
    for (UNSIGNED32 r = 1; r <= 400; r += 9) {
        ASSERT_ADS_OK(AdsGotoRecord(table, r));
        ASSERT_ADS_OK(AdsSetField(table, u8("Qty"), u8("9"), 1));
        ASSERT_ADS_OK(AdsWriteRecord(table));
        if (r % 2 == 0) {
            ASSERT_ADS_OK(AdsDeleteRecord(table));
        }
    }
    pid_t editor = spawn([](ADSHANDLE mine) {
        for (UNSIGNED32 r = 5; r <= 400; r += 11) {
            if (AdsGotoRecord(mine, r) != 0 || AdsSetField(mine, u8("Code"), u8("Z"), 1) != 0) {
                return 1;
            }
            std::string code = "Z" + std::to_string(r);
            AdsSetField(mine, u8("Code"), u8(code), static_cast<UNSIGNED32>(code.size()));
            if (AdsWriteRecord(mine) != 0) {
                return 2;
            }
        }
        return 0;
    });
    EXPECT_EQ(0, wait_for(editor));
    UNSIGNED32 keys = 0;
    ASSERT_ADS_OK(AdsGetKeyCount(code, VE_IGNORE_FILTERS, &keys));
    EXPECT_EQ(420u, keys);
    expect_consistent(table);
    pid_t packer = spawn([](ADSHANDLE mine) { return AdsPackTable(mine) == 0 ? 0 : 1; });
    EXPECT_EQ(1, wait_for(packer));  // refused: this process has the table open
    ADSHANDLE qty = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("QTY"), &qty));
    ASSERT_ADS_OK(AdsCloseTable(table));
    packer = spawn([](ADSHANDLE mine) { return AdsPackTable(mine) == 0 ? 0 : 1; });
    EXPECT_EQ(0, wait_for(packer));
    ASSERT_ADS_OK(open("Shared", &table));
    expect_consistent(table);
    pid_t zapper = spawn([](ADSHANDLE mine) { return 0 * mine; });
    EXPECT_EQ(0, wait_for(zapper));
    ASSERT_ADS_OK(AdsZapTable(table));
    child = spawn([](ADSHANDLE mine) { return write_rows(mine, 0, 30); });
    EXPECT_EQ(0, wait_for(child));
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("CODE"), &code));
    ASSERT_ADS_OK(AdsGetKeyCount(code, VE_IGNORE_FILTERS, &keys));
    EXPECT_EQ(30u, keys);
    expect_consistent(table);
}

TEST_F(IndexProcesses, AWriterKilledInTheMiddleLeavesTableAndIndexesInAgreement) {
    ADSHANDLE table = create("Shared", "Code,Char,10;Qty,Integer;");
    index(table, "CODE", "Code");
    index(table, "QTY", "Qty", 0, "Qty > 2");
    ASSERT_ADS_OK(AdsCloseTable(table));
    int pipe_fds[2];
    ASSERT_EQ(0, pipe(pipe_fds));
    pid_t child = spawn([&](ADSHANDLE mine) {
        for (int i = 0;; ++i) {
            write_rows(mine, i, 1);
            if (AdsGotoRecord(mine, static_cast<UNSIGNED32>(i / 2 + 1)) == 0) {
                std::string qty = std::to_string(i % 5);
                AdsSetField(mine, u8("Qty"), u8(qty), static_cast<UNSIGNED32>(qty.size()));
                AdsWriteRecord(mine);
            }
            if (i == 50) {
                char c = 'x';
                if (::write(pipe_fds[1], &c, 1) != 1) {
                    return 2;
                }
            }
        }
        return 0;
    });
    char c = 0;
    ASSERT_EQ(1, ::read(pipe_fds[0], &c, 1));
    usleep(20000);
    kill(child, SIGKILL);
    EXPECT_EQ(-SIGKILL, wait_for(child));
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    ASSERT_ADS_OK(open("Shared", &table));
    EXPECT_GT(count(table, VE_IGNORE_FILTERS), 50u);
    expect_consistent(table);
}

}  // namespace
}  // namespace varelum::engine::testing
