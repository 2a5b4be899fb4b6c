// The format version a table file records: a table with a CompactDate field carries the version
// that brought the type, however it was made, so that an engine without the type refuses it as
// too new; every other table keeps the version older engines read, through every later write;
// and a version above the newest this engine knows is refused with the "newer engine" error.
#include <gtest/gtest.h>
#include <lmdb.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace varelum::engine::testing {
namespace {

constexpr std::uint32_t kChecksumVersion = 3;
constexpr std::uint32_t kCompactDateVersion = 4;  // the newest this engine knows

constexpr const char* kPlainFields = "Code,Char,8;Dia,Date;";
constexpr const char* kCompactFields = "Code,Char,8;Vence,CompactDate;";

// Reads (and with `version`, rewrites) the format version in the header of the table file at
// `path` through raw LMDB. Only for a file the engine never opened: one process may not open
// an LMDB file twice, and the engine keeps the files it opened.
std::uint32_t raw_version(const std::string& path, std::optional<std::uint32_t> version = {}) {
    MDB_env* env = nullptr;
    EXPECT_EQ(MDB_SUCCESS, mdb_env_create(&env));
    mdb_env_set_maxdbs(env, 8);
    std::uint32_t found = 0;
    unsigned int flags = MDB_NOSUBDIR | MDB_NOLOCK | (version ? 0 : MDB_RDONLY);
    if (mdb_env_open(env, path.c_str(), flags, 0664) == MDB_SUCCESS) {
        MDB_txn* txn = nullptr;
        EXPECT_EQ(MDB_SUCCESS, mdb_txn_begin(env, nullptr, version ? 0 : MDB_RDONLY, &txn));
        MDB_dbi header = 0;
        EXPECT_EQ(MDB_SUCCESS, mdb_dbi_open(txn, "header", 0, &header));
        MDB_val key{6, const_cast<char*>("header")}, value{};
        EXPECT_EQ(MDB_SUCCESS, mdb_get(txn, header, &key, &value));
        std::string bytes(static_cast<const char*>(value.mv_data), value.mv_size);
        std::memcpy(&found, bytes.data() + 8, sizeof found);
        if (version) {
            std::memcpy(bytes.data() + 8, &*version, sizeof *version);
            MDB_val rewritten{bytes.size(), bytes.data()};
            EXPECT_EQ(MDB_SUCCESS, mdb_put(txn, header, &key, &rewritten, 0));
            EXPECT_EQ(MDB_SUCCESS, mdb_txn_commit(txn));
        } else {
            mdb_txn_abort(txn);
        }
    } else {
        ADD_FAILURE() << path << " does not open as a table file";
    }
    mdb_env_close(env);
    return found;
}

class FormatVersion : public EngineTest {
  protected:
    // The version table `name` records now, read from a copy of its file.
    std::uint32_t version_of(const std::string& name) {
        std::string copy = dir_.file("copy-" + std::to_string(++copies_) + ".raw");
        write_file(copy, read_file(dir_.file(name + ".adt")));
        return raw_version(copy);
    }

    // A copy of table `from` as table `to`, its header claiming `version`: a file as another
    // engine wrote it.
    void forge(const std::string& from, const std::string& to, std::uint32_t version) {
        write_file(dir_.file(to + ".adt"), read_file(dir_.file(from + ".adt")));
        raw_version(dir_.file(to + ".adt"), version);
    }

    // Makes table `name` with two rows.
    void make(const std::string& name, const char* fields) {
        ADSHANDLE table = create(name, fields);
        const char* date = std::string(fields).find("Vence") != std::string::npos ? "Vence" : "Dia";
        append_row(table, {{"Code", "A1"}, {date, "12/10/2026"}});
        append_row(table, {{"Code", "B2"}, {date, "01/31/2024"}});
        AdsCloseTable(table);
    }

    UNSIGNED32 restructure(const char* name, const char* add, const char* remove,
                           const char* change) {
        return AdsRestructureTable90(connection_, u8(name), nullptr, VE_TABLE_TYPE_ADT,
                                     VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK,
                                     add ? u8(add) : nullptr, remove ? u8(remove) : nullptr,
                                     change ? u8(change) : nullptr, u8("ANSI"));
    }

    // Runs `step` on an open handle of table `name`.
    void on_table(const std::string& name, const std::function<UNSIGNED32(ADSHANDLE)>& step) {
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open(name, &table));
        EXPECT_ADS_OK(step(table));
        AdsCloseTable(table);
    }

    int copies_ = 0;
};

TEST_F(FormatVersion, ATableHoldingACompactDateCarriesItsVersionHoweverItIsMade) {
    struct Case {
        const char* what;
        const char* source_fields;
        // Makes the table to look at from the table "Source"; answers its name.
        std::function<std::string()> make;
        std::uint32_t version;
    };
    auto as_created = [] { return std::string("Source"); };
    auto restructured = [this](const char* add, const char* remove, const char* change) {
        return [=, this] {
            EXPECT_ADS_OK(restructure("Source", add, remove, change));
            return std::string("Source");
        };
    };
    auto copied = [this](bool convert) {
        return [=, this] {
            on_table("Source", [&](ADSHANDLE table) {
                return convert ? AdsConvertTable(table, VE_IGNORE_FILTERS, u8("Target"),
                                                 VE_TABLE_TYPE_ADT)
                               : AdsCopyTable(table, VE_IGNORE_FILTERS, u8("Target"));
            });
            return std::string("Target");
        };
    };
    auto recovered = [this] {
        UNSIGNED32 kept = 0, state = 0;
        std::vector<UNSIGNED8> lost(256);
        auto length = static_cast<UNSIGNED32>(lost.size());
        EXPECT_ADS_OK(AdsRecoverTable(connection_, u8("Source"), u8("Target"), &kept, lost.data(),
                                      &length, &state));
        EXPECT_EQ(2u, kept);
        return std::string("Target");
    };
    const Case cases[] = {
        {"created without", kPlainFields, as_created, kChecksumVersion},
        {"created with", kCompactFields, as_created, kCompactDateVersion},
        {"one added", kPlainFields, restructured("Extra,CompactDate", nullptr, nullptr),
         kCompactDateVersion},
        {"a date changed into one", kPlainFields,
         restructured(nullptr, nullptr, "Dia,Dia,CompactDate"), kCompactDateVersion},
        {"another field changed", kCompactFields,
         restructured(nullptr, nullptr, "Code,Code,Char,10"), kCompactDateVersion},
        {"another field added", kCompactFields, restructured("Qty,Integer", nullptr, nullptr),
         kCompactDateVersion},
        // The new file holds no such field: every engine that reads the rest may read it.
        {"the last one removed", kCompactFields, restructured(nullptr, "Vence", nullptr),
         kChecksumVersion},
        {"the last one changed into a date", kCompactFields,
         restructured(nullptr, nullptr, "Vence,Vence,Date"), kChecksumVersion},
        {"copied without", kPlainFields, copied(false), kChecksumVersion},
        {"copied with", kCompactFields, copied(false), kCompactDateVersion},
        {"converted with", kCompactFields, copied(true), kCompactDateVersion},
        {"recovered without", kPlainFields, recovered, kChecksumVersion},
        {"recovered with", kCompactFields, recovered, kCompactDateVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        make("Source", c.source_fields);
        std::string made = c.make();
        EXPECT_EQ(c.version, version_of(made));
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open(made, &table));
        ASSERT_ADS_OK(AdsGotoTop(table));
        EXPECT_EQ("A1", text(table, "Code", VE_TRIM_RIGHT));
        ASSERT_ADS_OK(AdsDeleteTable(table));
        if (made != "Source") {
            ASSERT_ADS_OK(open("Source", &table));
            ASSERT_ADS_OK(AdsDeleteTable(table));
        }
    }
}

// Every later write keeps the version a table was made with: one without a CompactDate field
// stays readable by every engine that read it before, whatever this engine did to it.
TEST_F(FormatVersion, WritesAndMaintenanceKeepTheVersion) {
    const std::vector<std::pair<const char*, std::function<UNSIGNED32(ADSHANDLE)>>> steps = {
        {"append",
         [](ADSHANDLE table) {
             UNSIGNED32 rc = AdsAppendRecord(table);
             return rc != VE_SUCCESS ? rc : AdsWriteRecord(table);
         }},
        {"change",
         [](ADSHANDLE table) {
             UNSIGNED32 rc = AdsGotoTop(table);
             rc = rc != VE_SUCCESS ? rc : AdsSetField(table, u8("Code"), u8("C3"), 2);
             return rc != VE_SUCCESS ? rc : AdsWriteRecord(table);
         }},
        {"delete",
         [](ADSHANDLE table) {
             UNSIGNED32 rc = AdsGotoTop(table);
             return rc != VE_SUCCESS ? rc : AdsDeleteRecord(table);
         }},
        {"index",
         [](ADSHANDLE table) {
             ADSHANDLE index = 0;
             return AdsCreateIndex90(table, nullptr, u8("ByCode"), u8("Code"), nullptr, nullptr, 0,
                                     0, nullptr, &index);
         }},
        {"reindex", [](ADSHANDLE table) { return AdsReindex(table); }},
        {"pack", [](ADSHANDLE table) { return AdsPackTable(table); }},
        {"zap", [](ADSHANDLE table) { return AdsZapTable(table); }},
    };
    for (auto [fields, version] : {std::pair{kPlainFields, kChecksumVersion},
                                   std::pair{kCompactFields, kCompactDateVersion}}) {
        SCOPED_TRACE(fields);
        make("Kept", fields);
        for (const auto& [what, step] : steps) {
            SCOPED_TRACE(what);
            on_table("Kept", step);
            EXPECT_EQ(version, version_of("Kept"));
        }
        ADSHANDLE table = 0;
        ASSERT_ADS_OK(open("Kept", &table));
        ASSERT_ADS_OK(AdsDeleteTable(table));
    }
}

// Tables with a CompactDate field written before such files were marked: they read as they
// are, and their next write marks them.
TEST_F(FormatVersion, ACompactDateTableWrittenBeforeTheMarkGetsItAtItsNextWrite) {
    make("Source", kCompactFields);
    forge("Source", "Older", kChecksumVersion);
    ADSHANDLE table = 0;
    ASSERT_ADS_OK(open("Older", &table));
    ASSERT_ADS_OK(AdsGotoTop(table));
    EXPECT_EQ("12/10/2026", text(table, "Vence"));
    AdsCloseTable(table);
    EXPECT_EQ(kChecksumVersion, version_of("Older"));

    on_table("Older", [](ADSHANDLE table) {
        UNSIGNED32 rc = AdsGotoTop(table);
        rc = rc != VE_SUCCESS ? rc : AdsSetField(table, u8("Vence"), u8("02/29/2028"), 10);
        return rc != VE_SUCCESS ? rc : AdsWriteRecord(table);
    });
    EXPECT_EQ(kCompactDateVersion, version_of("Older"));
}

TEST_F(FormatVersion, AVersionAboveTheNewestKnownIsRefusedAsWrittenByANewerEngine) {
    for (const char* fields : {kPlainFields, kCompactFields}) {
        SCOPED_TRACE(fields);
        make("Source", fields);
        const std::string newer = "Newer" + std::to_string(++copies_);
        forge("Source", newer, kCompactDateVersion + 1);
        ADSHANDLE table = 0;
        EXPECT_EQ(VE_TABLE_VERSION, open(newer, &table));
        EXPECT_EQ("6023 The table file was written by a newer engine: " +
                      dir_.file(newer + ".adt") + " has format version 5",
                  last_error_text());
        // Recovery reads no file it cannot understand, and leaves nothing behind.
        UNSIGNED32 kept = 0, state = 0;
        std::vector<UNSIGNED8> lost(256);
        auto length = static_cast<UNSIGNED32>(lost.size());
        EXPECT_EQ(VE_TABLE_VERSION, AdsRecoverTable(connection_, u8(newer), u8("Saved"), &kept,
                                                    lost.data(), &length, &state));
        EXPECT_EQ(VE_TABLE_NOT_FOUND, open("Saved", &table));
        ASSERT_ADS_OK(open("Source", &table));
        ASSERT_ADS_OK(AdsDeleteTable(table));
    }
}

}  // namespace
}  // namespace varelum::engine::testing
