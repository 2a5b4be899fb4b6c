#include "batched_append.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <system_error>

#include "store_error.h"

namespace varelum::store {

namespace fs = std::filesystem;

namespace {

// Memory-backed space when there is some: $TMPDIR when set, else /dev/shm, else /tmp.
fs::path staging_directory() {
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
        return tmpdir;
    }
    std::error_code error;
    if (fs::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return "/tmp";
}

UNSIGNED32 stored_records(const Table& table) {
    UNSIGNED32 count = 0;
    check(AdsGetRecordCount(table.handle(), VE_IGNORE_FILTERS, &count),
          "cannot count the records of " + display_name(table.path()));
    return count;
}

}  // namespace

BatchedAppend::BatchedAppend(Connection& connection, const Table& target,
                             std::size_t rows_per_batch)
    : target_(target), rows_per_batch_(rows_per_batch == 0 ? 1 : rows_per_batch) {
    static std::atomic<unsigned> made{0};
    staging_path_ = staging_directory() / ("varelum-staging-" + std::to_string(::getpid()) + "-" +
                                           std::to_string(made++) + ".adt");
    const std::string engine_path = to_engine_text(staging_path_.string(), "path");
    check(AdsCopyTableStructure(target.handle(),
                                reinterpret_cast<const UNSIGNED8*>(engine_path.c_str())),
          "cannot make a staging table in " + staging_path_.parent_path().string());
    // Unlinked as soon as it is open, so that nothing is left in temporary space (memory)
    // when the process is killed; the open file lives on until the process ends.
    std::error_code ignored;
    try {
        staging_.emplace(Table::open(connection, staging_path_, OpenMode::Exclusive));
    } catch (...) {
        fs::remove(staging_path_, ignored);
        fs::remove(staging_path_.string() + "-lock", ignored);
        throw;
    }
    fs::remove(staging_path_, ignored);
    fs::remove(staging_path_.string() + "-lock", ignored);
}

BatchedAppend::~BatchedAppend() = default;

bool BatchedAppend::row_written() {
    return ++staged_ >= rows_per_batch_;
}

void BatchedAppend::send() {
    if (staged_ == 0) {
        return;
    }
    const UNSIGNED32 before = stored_records(target_);
    const UNSIGNED32 code =
        AdsCopyTableContents(staging_->handle(), target_.handle(), VE_IGNORE_FILTERS);
    if (code != VE_SUCCESS) {
        const std::string why = last_error_text();
        // The engine keeps the rows before the one it refused.
        sent_ += stored_records(target_) - before;
        staged_ = 0;
        AdsZapTable(staging_->handle());
        throw StoreError(why, code);
    }
    sent_ += staged_;
    staged_ = 0;
    check(AdsZapTable(staging_->handle()), "cannot empty the staging table");
}

}  // namespace varelum::store
