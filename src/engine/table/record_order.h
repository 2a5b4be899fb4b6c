// The order in which a cursor visits records. A table handle walks in record-number order
// (NaturalOrder); an index handle will walk in key order by implementing the same interface
// over its index tag. The cursor applies visibility (deleted records, filters) on top.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/storage/table_file.h"
#include "engine/table/record_cache.h"

namespace varelum::engine {

class RecordOrder {
  public:
    virtual ~RecordOrder() = default;
    virtual StoredRecord first(const Snapshot& snapshot) = 0;
    virtual StoredRecord last(const Snapshot& snapshot) = 0;
    // The records after and before a given one; image is that record's image (an index
    // order needs it to find the record's key).
    virtual StoredRecord after(const Snapshot& snapshot, std::uint32_t recno,
                               const std::uint8_t* image) = 0;
    virtual StoredRecord before(const Snapshot& snapshot, std::uint32_t recno,
                                const std::uint8_t* image) = 0;
    // The number of records the order visits when it knows it without a walk (an SQL
    // result's row list); nullopt: the records of the table are counted.
    virtual std::optional<std::uint32_t> count(const Snapshot&) { return std::nullopt; }
    // Whether the order visits the record at all (an index with a condition or a scope
    // leaves records out); record-number order visits every record.
    virtual bool contains(const Snapshot& /*snapshot*/, std::uint32_t /*recno*/,
                          const std::uint8_t* /*image*/) {
        return true;
    }
};

// Record-number order over the records.
class NaturalOrder : public RecordOrder {
  public:
    explicit NaturalOrder(const TableFile& file) : file_(file) {}
    StoredRecord first(const Snapshot& snapshot) override;
    StoredRecord last(const Snapshot& snapshot) override;
    StoredRecord after(const Snapshot& snapshot, std::uint32_t recno,
                       const std::uint8_t* image) override;
    StoredRecord before(const Snapshot& snapshot, std::uint32_t recno,
                        const std::uint8_t* image) override;
    // Fills the cache with the records that follow `recno` in the same snapshot, verified,
    // until it is full or the records end. A record that cannot be read ends the fill early
    // and stays for the walk to report when it gets there.
    void read_ahead(const Snapshot& snapshot, std::uint32_t recno, RecordCache& cache);

  private:
    RecordCursor& cursor(const Snapshot& snapshot);

    const TableFile& file_;
    std::unique_ptr<RecordCursor> cursor_;
};

}  // namespace varelum::engine
