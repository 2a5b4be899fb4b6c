// The engine's Env: the one table-file look-up, the clock a test can stop, the settings read
// from the environment, and faults that fail a file's syncs.
#include "engine/env/env.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/env/fault_env.h"
#include "engine/env/files.h"

namespace varelum::engine {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "varelum-env-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void touch(const std::string& name) const { std::ofstream(file(name)) << "x"; }

  private:
    std::string path_;
};

// Installs an Env for one test.
class Installed {
  public:
    explicit Installed(Env& env) { install_env(&env); }
    ~Installed() { install_env(nullptr); }
};

TEST(FindFileAnyCase, FindsTheEntryNamedAlikeInAnyLetterCase) {
    TempDir dir;
    dir.touch("Items.adt");
    dir.touch("exact.adt");
    dir.touch("EXACT.adt");
    fs::create_directory(dir.file("Folder.adt"));
    fs::create_symlink(dir.file("Items.adt"), dir.file("Link.adt"));
    struct Case {
        const char* asked;
        const char* found;  // "" when none
    } cases[] = {
        {"Items.adt", "Items.adt"},    // exact spelling
        {"items.ADT", "Items.adt"},    // another case
        {"exact.adt", "exact.adt"},    // the exact spelling wins over another case
        {"Exact.adt", "EXACT.adt"},    // first in byte order when several differ in case
        {"folder.adt", "Folder.adt"},  // a directory is found too: opening it says what it is
        {"link.adt", "Link.adt"},      // a link counts by its own name
        {"Item.adt", ""},              // a prefix is not a match
        {"Items.adt2", ""},
    };
    for (const auto& c : cases) {
        std::string found = find_file_any_case(dir.file(c.asked));
        EXPECT_EQ(*c.found ? dir.file(c.found) : "", found) << c.asked;
    }
    EXPECT_EQ("", find_file_any_case(dir.file("missing-dir/items.adt")));
}

TEST(FindFileAnyCase, TellsNamesWithAnExtension) {
    EXPECT_TRUE(has_extension("/a/b.adt"));
    EXPECT_TRUE(has_extension("b.x"));
    EXPECT_FALSE(has_extension("/a.d/b"));
    EXPECT_FALSE(has_extension("/a/.hidden"));
    EXPECT_FALSE(has_extension("/a/b"));
}

TEST(EnvClock, AStoppedClockGivesTheEngineItsTime) {
    FaultEnv faults;
    Installed installed(faults);
    // 2024-02-29 13:45:30 local time.
    std::tm when{};
    when.tm_year = 124;
    when.tm_mon = 1;
    when.tm_mday = 29;
    when.tm_hour = 13;
    when.tm_min = 45;
    when.tm_sec = 30;
    when.tm_isdst = -1;
    faults.set_clock(Clock::from_time_t(std::mktime(&when)) + std::chrono::milliseconds(250));
    LocalTime now = local_now();
    EXPECT_EQ(2024, now.year);
    EXPECT_EQ(2, now.month);
    EXPECT_EQ(29, now.day);
    EXPECT_EQ(((13 * 60 + 45) * 60 + 30) * 1000 + 250, now.milliseconds);
    faults.set_clock(std::nullopt);
    EXPECT_GE(local_now().year, 2024);
}

TEST(EnvSettings, ComeFromTheEnvironment) {
    const char* saved = std::getenv("TMPDIR");
    std::string kept = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", "/some/where", 1);
    EXPECT_EQ("/some/where", temporary_directory());
    ::setenv("TMPDIR", "", 1);
    EXPECT_NE("", temporary_directory());
    if (saved != nullptr) {
        ::setenv("TMPDIR", kept.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

TEST(EnvSettings, TheTableSizeLimitIsReadAsBytesWithAFloorAndIgnoredWhenMalformed) {
    FaultEnv faults;
    Installed installed(faults);
    constexpr std::size_t kDefault = std::size_t{64} << 30;
    struct Case {
        const char* text;  // nullptr: unset
        std::size_t limit;
    } cases[] = {
        {nullptr, kDefault}, {"", kDefault},       {"2097152", 2097152},
        {"10", 1 << 20},     {"12 MiB", kDefault}, {"-5", kDefault},
    };
    for (const auto& c : cases) {
        faults.set_variable("VARELUM_ENGINE_TABLE_LIMIT",
                            c.text ? std::optional<std::string>(c.text) : std::nullopt);
        if (c.text == nullptr) {
            ::unsetenv("VARELUM_ENGINE_TABLE_LIMIT");
        }
        EXPECT_EQ(c.limit, table_size_limit()) << (c.text ? c.text : "unset");
    }
}

TEST(FaultEnvSync, FailsTheChosenSyncsOfOneFileOnly) {
    TempDir dir;
    dir.touch("a");
    dir.touch("b");
    FaultEnv faults;
    Installed installed(faults);
    int a = env().open_file(dir.file("a"), O_RDWR);
    int b = env().open_file(dir.file("b"), O_RDWR);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    faults.fail_syncs(dir.file("a"), EIO, 1, 1);
    EXPECT_EQ(0, env().sync(b));    // another file
    EXPECT_EQ(0, env().sync(a));    // skipped
    EXPECT_EQ(EIO, env().sync(a));  // fails
    EXPECT_EQ(0, env().sync(a));    // spent
    EXPECT_EQ(0, faults.pending_faults());
    env().close_file(a);
    env().close_file(b);
    EXPECT_LT(env().open_file(dir.file("missing"), O_RDONLY), 0);
}

}  // namespace
}  // namespace varelum::engine
