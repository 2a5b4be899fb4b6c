// AdsRecoverTable on damaged copies of a table: zeroed and scribbled pages across the whole
// file. Every record recovered reads exactly as in the original with its own number, every
// other record is reported lost, a damaged page of records or memo values costs exactly the
// records it holds, the new table checks clean with its index tag, and the damaged file is
// never changed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "engine_test_support.h"
#include "sanitized_build.h"

namespace varelum::engine::testing {
namespace {

constexpr std::size_t kPage = 4096;
// A third under a sanitizer: a third of the pages to damage, each recovery a third as long,
// and still dozens of pages of each kind.
constexpr UNSIGNED32 kRecords = varelum::testing::kSanitizedBuild ? 1000 : 3000;

std::uint16_t u16_at(const std::string& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[offset]) |
                                      static_cast<std::uint8_t>(bytes[offset + 1]) << 8);
}

std::uint32_t big_endian_at(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[offset + i]);
    }
    return value;
}

// The record numbers whose record (4-byte keys) or memo values (6-byte keys) a leaf page of
// the original holds; empty for any other page.
std::set<UNSIGNED32> records_on_page(const std::string& file, std::size_t page) {
    std::set<UNSIGNED32> numbers;
    const std::string bytes = file.substr(page * kPage, kPage);
    if ((u16_at(bytes, 10) & 0x7f) != 0x02) {
        return numbers;
    }
    const std::size_t count = (u16_at(bytes, 12) - 16u) / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t node = u16_at(bytes, 16 + 2 * i);
        const std::uint16_t key_size = u16_at(bytes, node + 6);
        if (key_size != 4 && key_size != 6) {
            return {};
        }
        numbers.insert(big_endian_at(bytes, node + 8));
    }
    return numbers;
}

std::set<UNSIGNED32> parse_ranges(const std::string& text) {
    std::set<UNSIGNED32> numbers;
    std::istringstream in(text);
    std::string run;
    while (std::getline(in, run, ',')) {
        const std::size_t dash = run.find('-');
        const UNSIGNED32 first = std::stoul(run.substr(0, dash));
        const UNSIGNED32 last =
            dash == std::string::npos ? first : std::stoul(run.substr(dash + 1));
        for (UNSIGNED32 n = first; n <= last; ++n) {
            numbers.insert(n);
        }
    }
    return numbers;
}

class Recover : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        ADSHANDLE table = create("Orig", "Code,Integer;Name,Char,30;Note,Memo;");
        ADSHANDLE unused = 0;
        ASSERT_ADS_OK(AdsCreateIndex90(table, nullptr, u8("ByName"), u8("UPPER(Name)"), nullptr,
                                       nullptr, 0, 0, nullptr, &unused));
        fill_by_sql(table,
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                    "i < " +
                        std::to_string(kRecords) +
                        ") SELECT i AS Code, 'name ' || (i * 7919 % 10007) AS Name FROM n");
        // Memo values on some records, a few longer than a page.
        for (UNSIGNED32 recno = 25; recno <= kRecords; recno += 50) {
            const std::string note = std::string(recno % 500 == 25 ? 6000 : 40, 'a' + recno % 26) +
                                     std::to_string(recno);
            ASSERT_ADS_OK(AdsGotoRecord(table, recno));
            ASSERT_ADS_OK(
                AdsSetString(table, u8("Note"), u8(note), static_cast<UNSIGNED32>(note.size())));
            ASSERT_ADS_OK(AdsWriteRecord(table));
        }
        ASSERT_ADS_OK(AdsGotoRecord(table, 5));
        ASSERT_ADS_OK(AdsDeleteRecord(table));
        ASSERT_ADS_OK(AdsCloseTable(table));
        AdsCloseCachedTables(connection_);
        original_ = read_file(dir_.path() + "/Orig.adt");
        contents_ = contents("Orig");
        ASSERT_EQ(kRecords, contents_.size());
        before_last_ = contents_;
        before_last_[5].erase(before_last_[5].rfind("|deleted"));
    }

    // Every record by number: its fields and deleted flag as text.
    std::map<UNSIGNED32, std::string> contents(const std::string& name) {
        std::map<UNSIGNED32, std::string> records;
        ADSHANDLE table = 0;
        EXPECT_ADS_OK(AdsShowDeleted(1));
        EXPECT_ADS_OK(open(name, &table));
        EXPECT_ADS_OK(AdsGotoTop(table));
        while (table != 0 && !at_eof(table)) {
            UNSIGNED16 deleted = 0;
            EXPECT_ADS_OK(AdsIsRecordDeleted(table, &deleted));
            std::vector<UNSIGNED8> note(1 << 14);
            auto length = static_cast<UNSIGNED32>(note.size());
            EXPECT_ADS_OK(AdsGetString(table, u8("Note"), note.data(), &length, VE_TRIM_NONE));
            records[recno(table)] = text(table, "Code") + "|" + text(table, "Name") + "|" +
                                    std::string(reinterpret_cast<char*>(note.data()), length) +
                                    (deleted != 0 ? "|deleted" : "");
            EXPECT_ADS_OK(AdsSkip(table, 1));
        }
        EXPECT_ADS_OK(AdsCloseTable(table));
        EXPECT_ADS_OK(AdsShowDeleted(0));
        return records;
    }

    struct Outcome {
        UNSIGNED32 code = 0;
        UNSIGNED32 kept = 0;
        std::set<UNSIGNED32> lost;
        bool indexes_kept = false;
        bool previous_commit = false;
    };

    Outcome recover(const std::string& damaged, const std::string& target) {
        Outcome outcome;
        std::vector<UNSIGNED8> lost(1 << 16);
        auto length = static_cast<UNSIGNED32>(lost.size());
        UNSIGNED32 state = 0;
        outcome.code = AdsRecoverTable(connection_, u8(damaged), u8(target), &outcome.kept,
                                       lost.data(), &length, &state);
        if (outcome.code == VE_SUCCESS) {
            outcome.lost = parse_ranges(std::string(reinterpret_cast<char*>(lost.data()), length));
            outcome.indexes_kept = (state & VE_RECOVERED_INDEXES) != 0;
            outcome.previous_commit = (state & VE_RECOVERED_PREVIOUS_COMMIT) != 0;
        }
        return outcome;
    }

    std::string original_;
    std::map<UNSIGNED32, std::string> contents_;
    std::map<UNSIGNED32, std::string> before_last_;  // before record 5 was deleted
};

TEST_F(Recover, ASoundTableIsCopiedWholeWithItsNumbersAndIndexTag) {
    const Outcome outcome = recover("Orig", "Copy");
    ASSERT_ADS_OK(outcome.code);
    EXPECT_EQ(kRecords, outcome.kept);
    EXPECT_TRUE(outcome.lost.empty());
    EXPECT_TRUE(outcome.indexes_kept);
    EXPECT_EQ(contents_, contents("Copy"));
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Copy", &table));
    ADSHANDLE index = 0;
    ASSERT_ADS_OK(AdsGetIndexHandle(table, u8("ByName"), &index));
    UNSIGNED32 keys = 0;
    ASSERT_ADS_OK(AdsGetKeyCount(index, VE_IGNORE_FILTERS, &keys));
    EXPECT_EQ(kRecords - 1, keys);  // record 5 is deleted
    ASSERT_ADS_OK(AdsCloseTable(table));
}

TEST_F(Recover, DamagedCopiesGiveBackEveryRecordTheDamageDidNotTouch) {
    const std::size_t pages = original_.size() / kPage;
    std::size_t partly_lost = 0;
    std::size_t exactly_the_page = 0;
    std::size_t previous_commits = 0;
    for (std::size_t page = 2; page < pages; ++page) {
        for (const bool zero : {true, false}) {
            SCOPED_TRACE((zero ? "zeroed page " : "scribbled page ") + std::to_string(page));
            std::string damaged = original_;
            if (zero) {
                std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage,
                            '\0');
            } else {
                std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(page * kPage + 1000), 24,
                            '\x5a');
            }
            std::filesystem::remove(dir_.path() + "/D.adt-lock");
            std::filesystem::remove(dir_.path() + "/R.adt");
            std::filesystem::remove(dir_.path() + "/R.adt-lock");
            write_file(dir_.path() + "/D.adt", damaged);

            const Outcome outcome = recover("D", "R");
            EXPECT_EQ(damaged, read_file(dir_.path() + "/D.adt")) << "the damaged file changed";
            if (outcome.code != VE_SUCCESS) {
                // Only the file's own description may be beyond repair.
                EXPECT_EQ(VE_TABLE_CORRUPT, outcome.code) << last_error_text();
                continue;
            }
            const std::map<UNSIGNED32, std::string> found = contents("R");
            EXPECT_EQ(outcome.kept, found.size());
            // The last change deleted record 5: a table recovered from the commit before has
            // it back.
            const auto& expected = outcome.previous_commit ? before_last_ : contents_;
            previous_commits += outcome.previous_commit ? 1 : 0;
            for (const auto& [recno, record] : found) {
                EXPECT_EQ(expected.at(recno), record) << "record " << recno;
                EXPECT_FALSE(outcome.lost.count(recno)) << recno;
            }
            EXPECT_EQ(kRecords, found.size() + outcome.lost.size());
            const std::set<UNSIGNED32> on_page = records_on_page(original_, page);
            if (zero && !on_page.empty()) {
                for (UNSIGNED32 recno : outcome.lost) {
                    EXPECT_TRUE(on_page.count(recno)) << "record " << recno << " lost needlessly";
                }
                exactly_the_page += outcome.lost == on_page ? 1 : 0;
            }
            partly_lost += !outcome.lost.empty() && !found.empty() ? 1 : 0;
            ADSHANDLE table = 0;
            ASSERT_ADS_OK(open("R", &table));
            std::vector<UNSIGNED8> report(1 << 14);
            auto length = static_cast<UNSIGNED32>(report.size());
            EXPECT_ADS_OK(AdsCheckTable(table, VE_CHECK_MEMOS, report.data(), &length))
                << std::string(reinterpret_cast<char*>(report.data()), length);
            ASSERT_ADS_OK(AdsCloseTable(table));
            AdsCloseCachedTables(connection_);
        }
    }
    EXPECT_GT(partly_lost, 10u);
    EXPECT_GT(exactly_the_page, 5u);
    EXPECT_GT(previous_commits, 0u);
}

TEST_F(Recover, RefusesAnExistingTargetAndAFileWithoutItsDescription) {
    EXPECT_EQ(VE_INVALID_ARGUMENT, recover("Orig", "Orig").code);
    std::string headless = original_;
    std::fill_n(headless.begin(), 2 * kPage, '\0');
    write_file(dir_.path() + "/H.adt", headless);
    EXPECT_EQ(VE_TABLE_CORRUPT, recover("H", "R").code);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/R.adt"));
}

}  // namespace
}  // namespace varelum::engine::testing
