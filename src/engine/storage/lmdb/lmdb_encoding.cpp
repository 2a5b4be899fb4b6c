// The LMDB table file's encodings (see lmdb_encoding.h).
#include "engine/storage/lmdb/lmdb_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/error.h"
#include "engine/format/checksum.h"
#include "engine/record/record_image.h"
#include "engine/storage/lmdb/lmdb.h"
#include "varelum_engine.h"

namespace varelum::engine::lmdb_encoding {

std::uint32_t checksum(const void* bytes, std::size_t size) {
    return crc32_of(bytes, size);
}

// The stored record without its checksum, after verifying it. Records written before
// checksums existed (status byte and image only) are answered as they are.
std::string_view verified_record(std::string_view stored, std::uint32_t length, std::uint32_t recno,
                                 const std::string& path) {
    if (stored.size() == length + 1) {
        return stored;
    }
    if (stored.size() != length + 1 + kRecordChecksumSize) {
        fail(VE_TABLE_CORRUPT, path + ": record " + std::to_string(recno) + " has " +
                                   std::to_string(stored.size()) + " bytes instead of " +
                                   std::to_string(length + 1 + kRecordChecksumSize));
    }
    auto expected =
        load_le<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(stored.data()) + length + 1);
    if (checksum(stored.data(), length + 1) != expected) {
        fail(VE_TABLE_CORRUPT,
             path + ": record " + std::to_string(recno) + " does not match its checksum");
    }
    return stored.substr(0, length + 1);
}

// The stored records in `stored` that verify, in order, stopping at the first that does not
// (as verified_record, without throwing). The checksums are computed in a loop of their own,
// so the processor overlaps the records' independent computations.
std::size_t verified_prefix(std::span<std::string_view> stored, std::uint32_t length) {
    std::array<std::uint32_t, 16> sums{};
    std::size_t done = 0;
    while (done < stored.size()) {
        const std::size_t batch = std::min(sums.size(), stored.size() - done);
        for (std::size_t i = 0; i < batch; ++i) {
            const std::string_view record = stored[done + i];
            sums[i] = record.size() == length + 1 + kRecordChecksumSize
                          ? checksum(record.data(), length + 1)
                          : 0;
        }
        for (std::size_t i = 0; i < batch; ++i) {
            std::string_view& record = stored[done + i];
            if (record.size() == length + 1) {
                continue;  // written before checksums
            }
            if (record.size() != length + 1 + kRecordChecksumSize ||
                sums[i] != load_le<std::uint32_t>(
                               reinterpret_cast<const std::uint8_t*>(record.data()) + length + 1)) {
                return done + i;
            }
            record = record.substr(0, length + 1);
        }
        done += batch;
    }
    return done;
}

// A record's stored bytes (status byte and image) followed by their checksum.
std::string with_checksum(std::string_view record) {
    std::string stored(record);
    std::uint32_t sum = checksum(record.data(), record.size());
    stored.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    return stored;
}

MDB_val text_val(const char* text) {
    return MDB_val{std::strlen(text), const_cast<char*>(text)};
}

std::string encode_header(const TableSchema& schema, const TableOptions& options) {
    std::string value(kHeaderMagic, sizeof kHeaderMagic);
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(format_version_for(schema));
    append(options.char_type);
    append(options.memo_block_size);
    append(schema.record_length());
    append(schema.field_count());
    append(static_cast<std::uint16_t>(options.collation.size()));
    value += options.collation;
    return value;
}

std::string encode_field(const FieldDescriptor& field) {
    std::string value;
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(static_cast<std::uint16_t>(field.type));
    append(field.length);
    append(field.decimals);
    append(std::uint16_t{0});  // flags, reserved
    append(static_cast<std::uint16_t>(field.name.size()));
    value += field.name;
    return value;
}

std::string encode_counters(const TableCounters& counters) {
    std::string value;
    auto append = [&value](auto number) {
        value.append(reinterpret_cast<const char*>(&number), sizeof number);
    };
    append(counters.next_record);
    append(counters.next_autoinc);
    append(counters.next_rowversion);
    append(counters.deleted_records);
    append(std::uint32_t{0});
    return value;
}

void put_value(MDB_txn* txn, MDB_dbi dbi, MDB_val key, std::string_view bytes,
               const std::string& path) {
    MDB_val value{bytes.size(), const_cast<char*>(bytes.data())};
    check_mdb(mdb_put(txn, dbi, &key, &value, 0), "write", path);
}

MDB_val bytes_val(std::string_view bytes) {
    return MDB_val{bytes.size(), const_cast<char*>(bytes.data())};
}

std::string_view view_of(const MDB_val& value) {
    return std::string_view(static_cast<const char*>(value.mv_data), value.mv_size);
}

}  // namespace varelum::engine::lmdb_encoding
