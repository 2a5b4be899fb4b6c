// How the LMDB table file encodes what it stores (docs/table-format.md gives the layout field
// by field): the header, field and counter values of the "header" and "fields" sub-databases,
// and stored records with the checksum that follows them. Shared by the file's reads and writes
// (lmdb_table_file.cpp) and its creation and loading (lmdb_table_open.cpp).
#pragma once

#include <lmdb.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/storage/table_file.h"

namespace varelum::engine::lmdb_encoding {

// Stored in every file; never change them.
constexpr char kHeaderMagic[8] = {'V', 'R', 'L', 'M', 'T', 'A', 'B', 'L'};
constexpr char kHeaderKey[] = "header";
constexpr char kCountersKey[] = "counters";
constexpr std::size_t kRecordChecksumSize = 4;

std::uint32_t checksum(const void* bytes, std::size_t size);

// The stored record without its checksum, after verifying it. Records written before
// checksums existed (status byte and image only) are answered as they are. Throws
// VE_TABLE_CORRUPT naming path and the record.
std::string_view verified_record(std::string_view stored, std::uint32_t length, std::uint32_t recno,
                                 const std::string& path);
// The stored records in `stored` that verify, in order, stopping at the first that does not
// (as verified_record, without throwing); those that verify lose their checksum in place.
std::size_t verified_prefix(std::span<std::string_view> stored, std::uint32_t length);
// A record's stored bytes (status byte and image) followed by their checksum.
std::string with_checksum(std::string_view record);

std::string encode_header(const TableSchema& schema, const TableOptions& options);
std::string encode_field(const FieldDescriptor& field);
std::string encode_counters(const TableCounters& counters);

// LMDB's view of bytes, and back. The views point into what they were made from.
MDB_val text_val(const char* text);
MDB_val bytes_val(std::string_view bytes);
std::string_view view_of(const MDB_val& value);
// Throws what check_mdb throws for the write.
void put_value(MDB_txn* txn, MDB_dbi dbi, MDB_val key, std::string_view bytes,
               const std::string& path);

}  // namespace varelum::engine::lmdb_encoding
