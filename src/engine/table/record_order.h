// The order in which a cursor visits records. A table handle walks in record-number order
// (NaturalOrder); an index handle will walk in key order by implementing the same interface
// over its index tag. The cursor applies visibility (deleted records, filters) on top.
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine {

class TableFile;

// A stored record as the order found it: its number and its stored bytes (status byte, then
// the image), valid until the read transaction ends. recno 0: there is none.
struct StoredRecord {
    std::uint32_t recno = 0;
    std::string_view bytes;
};

class RecordOrder {
  public:
    virtual ~RecordOrder() = default;
    virtual StoredRecord first(MDB_txn* txn) = 0;
    virtual StoredRecord last(MDB_txn* txn) = 0;
    // The records after and before a given one; image is that record's image (an index
    // order needs it to find the record's key).
    virtual StoredRecord after(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) = 0;
    virtual StoredRecord before(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) = 0;
    // The number of records the order visits when it knows it without a walk (an SQL
    // result's row list); nullopt: the records of the table are counted.
    virtual std::optional<std::uint32_t> count(MDB_txn*) { return std::nullopt; }
    // Whether the order visits the record at all (an index with a condition or a scope
    // leaves records out); record-number order visits every record.
    virtual bool contains(MDB_txn* /*txn*/, std::uint32_t /*recno*/,
                          const std::uint8_t* /*image*/) {
        return true;
    }
};

// Record-number order over the records sub-database.
class NaturalOrder : public RecordOrder {
  public:
    explicit NaturalOrder(const TableFile& file) : file_(file) {}
    ~NaturalOrder() override;
    StoredRecord first(MDB_txn* txn) override;
    StoredRecord last(MDB_txn* txn) override;
    StoredRecord after(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) override;
    StoredRecord before(MDB_txn* txn, std::uint32_t recno, const std::uint8_t* image) override;

  private:
    MDB_cursor* cursor(MDB_txn* txn);
    StoredRecord fetch(MDB_cursor_op op, std::uint32_t recno);

    const TableFile& file_;
    MDB_cursor* cursor_ = nullptr;
    MDB_txn* cursor_txn_ = nullptr;
    std::uint64_t cursor_txnid_ = 0;
};

}  // namespace varelum::engine
