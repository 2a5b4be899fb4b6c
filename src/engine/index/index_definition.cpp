// Encoding of index tag descriptions (see index_definition.h and docs/table-format.md).
#include "engine/index/index_definition.h"

#include <cstring>

#include "engine/core/text.h"

namespace varelum::engine {
namespace {

constexpr std::uint16_t kDescriptionVersion = 1;

void append_u16(std::string& out, std::uint16_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void append_u32(std::string& out, std::uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void append_text(std::string& out, std::string_view text) {
    append_u16(out, static_cast<std::uint16_t>(text.size()));
    out.append(text);
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    template <typename T>
    bool number(T& value) {
        if (bytes_.size() < sizeof value) {
            return false;
        }
        std::memcpy(&value, bytes_.data(), sizeof value);
        bytes_.remove_prefix(sizeof value);
        return true;
    }
    bool text(std::string& value) {
        std::uint16_t length = 0;
        if (!number(length) || bytes_.size() < length) {
            return false;
        }
        value.assign(bytes_.data(), length);
        bytes_.remove_prefix(length);
        return true;
    }

  private:
    std::string_view bytes_;
};

}  // namespace

std::string encode_index_definition(const IndexDefinition& d) {
    std::string out;
    append_u16(out, kDescriptionVersion);
    append_u32(out, d.tag_id);
    append_u32(out, d.options);
    append_u32(out, d.page_size);
    append_text(out, d.name);
    append_text(out, d.expression);
    append_text(out, d.condition);
    append_text(out, d.collation);
    append_text(out, d.file_name);
    append_text(out, d.date_format);
    return out;
}

std::optional<IndexDefinition> decode_index_definition(std::string_view bytes) {
    Reader reader(bytes);
    IndexDefinition d;
    std::uint16_t version = 0;
    if (!reader.number(version) || version != kDescriptionVersion || !reader.number(d.tag_id) ||
        !reader.number(d.options) || !reader.number(d.page_size) || !reader.text(d.name) ||
        !reader.text(d.expression) || !reader.text(d.condition) || !reader.text(d.collation) ||
        !reader.text(d.file_name) || !reader.text(d.date_format)) {
        return std::nullopt;
    }
    return d;
}

std::string index_definition_key(std::string_view name) {
    return to_upper_ascii(name);
}

}  // namespace varelum::engine
