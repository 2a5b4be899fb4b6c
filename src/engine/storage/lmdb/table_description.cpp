#include "engine/storage/lmdb/table_description.h"

#include <cstring>

#include "engine/core/error.h"
#include "engine/format/field_image.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr char kHeaderMagic[8] = {'V', 'R', 'L', 'M', 'T', 'A', 'B', 'L'};

template <typename T>
T load_at(std::string_view bytes, std::size_t offset) {
    return format::load_le<T>(reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset);
}

}  // namespace

TableDescription decode_table_description(const std::string& path, std::string_view header,
                                          const std::vector<std::string_view>& fields) {
    TableDescription description;
    constexpr std::size_t kFixed = 8 + 4 + 2 + 2 + 4 + 2 + 2;
    if (header.size() < kFixed || std::memcmp(header.data(), kHeaderMagic, 8) != 0) {
        fail(VE_TABLE_CORRUPT, path + " has a damaged table header");
    }
    description.format_version = load_at<std::uint32_t>(header, 8);
    if (description.format_version > kFormatVersion) {
        fail(VE_TABLE_VERSION,
             path + " has format version " + std::to_string(description.format_version));
    }
    description.options.char_type = load_at<std::uint16_t>(header, 12);
    description.options.memo_block_size = load_at<std::uint16_t>(header, 14);
    const auto record_length = load_at<std::uint32_t>(header, 16);
    const auto field_count = load_at<std::uint16_t>(header, 20);
    const auto collation_length = load_at<std::uint16_t>(header, 22);
    if (header.size() < kFixed + collation_length) {
        fail(VE_TABLE_CORRUPT, path + " has a damaged table header");
    }
    description.options.collation.assign(header.substr(kFixed, collation_length));

    std::vector<FieldDescriptor> descriptors;
    for (std::string_view f : fields) {
        if (f.size() < 12 || f.size() < 12u + load_at<std::uint16_t>(f, 10)) {
            fail(VE_TABLE_CORRUPT, path + " has a damaged field description");
        }
        FieldDescriptor field;
        const auto type = load_at<std::uint16_t>(f, 0);
        if (!is_known_type(type)) {
            fail(VE_TABLE_CORRUPT, path + " has a field of unknown type " + std::to_string(type));
        }
        field.type = static_cast<FieldType>(type);
        field.length = load_at<std::uint32_t>(f, 2);
        field.decimals = load_at<std::uint16_t>(f, 6);
        field.name.assign(f.substr(12, load_at<std::uint16_t>(f, 10)));
        descriptors.push_back(std::move(field));
    }
    try {
        description.schema = TableSchema(std::move(descriptors));
    } catch (const EngineError& error) {
        fail(VE_TABLE_CORRUPT, path + ": " + error.text());
    }
    if (description.schema.field_count() != field_count ||
        description.schema.record_length() != record_length) {
        fail(VE_TABLE_CORRUPT, path + " has field descriptions that disagree with its header");
    }
    return description;
}

std::optional<TableCounters> decode_table_counters(std::string_view value) {
    if (value.size() < 20) {
        return std::nullopt;
    }
    TableCounters counters;
    counters.next_record = load_at<std::uint32_t>(value, 0);
    counters.next_autoinc = load_at<std::uint32_t>(value, 4);
    counters.next_rowversion = load_at<std::uint64_t>(value, 8);
    counters.deleted_records = load_at<std::uint32_t>(value, 16);
    return counters;
}

}  // namespace varelum::engine
