// Appends rows to a table in synced batches. Every engine write is its own synced commit, so
// a row at a time a long load would wait for the disk once per row; instead the rows are
// first written to a private staging table in memory-backed temporary space (where a sync
// costs nothing), and every full batch goes into the table with one engine copy, which the
// engine commits in synced batches of its own. A power cut or a killed process then loses at
// most the rows of the last batch, never a row that was there before.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>

#include "engine_table.h"

namespace varelum::store {

class BatchedAppend {
  public:
    static constexpr std::size_t kDefaultRowsPerBatch = 4096;

    // target must stay open while the BatchedAppend lives.
    BatchedAppend(Connection& connection, const Table& target,
                  std::size_t rows_per_batch = kDefaultRowsPerBatch);
    // Closes the staging table; rows still staged are not sent (call send() first).
    ~BatchedAppend();
    BatchedAppend(const BatchedAppend&) = delete;
    BatchedAppend& operator=(const BatchedAppend&) = delete;

    // Where the next row is appended and written (same fields as the target).
    const Table& staging() const { return *staging_; }
    // Counts a row written to staging(); true when the batch is full and wants send().
    bool row_written();
    // Sends the staged rows to the target. When the engine refuses one, the rows before it
    // are in the target, the rest are dropped, and the StoreError says why; rows_sent()
    // counts those that went in.
    void send();
    // Rows that went into the target so far.
    std::size_t rows_sent() const { return sent_; }

  private:
    const Table& target_;
    std::filesystem::path staging_path_;
    std::optional<Table> staging_;
    std::size_t rows_per_batch_;
    std::size_t staged_ = 0;
    std::size_t sent_ = 0;
};

}  // namespace varelum::store
