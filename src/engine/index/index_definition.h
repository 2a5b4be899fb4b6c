// The stored description of one index tag: what AdsCreateIndex90 was given (name, key
// expression or field list, condition, options, collation, page size, index file) and the
// number of the LMDB sub-database that holds its keys. Encoded into the table file's
// `indexes` sub-database (docs/table-format.md gives the layout byte by byte).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine {

// Option bits of AdsCreateIndex90, as stored and answered by AdsGetIndexFlags.
constexpr std::uint32_t kIndexUnique = 0x0001;
constexpr std::uint32_t kIndexCompound = 0x0002;
constexpr std::uint32_t kIndexCustom = 0x0004;
constexpr std::uint32_t kIndexDescending = 0x0008;
constexpr std::uint32_t kIndexCandidate = 0x0800;

struct IndexDefinition {
    std::string name;        // the tag name as given (8-bit); compared without regard to case
    std::string expression;  // key expression, or fields separated by ";"
    std::string condition;   // FOR condition; empty: every record has a key
    std::uint32_t options = 0;
    std::uint32_t page_size = 0;  // accepted and answered; keys need no pages here
    std::string collation;        // collation of text keys ("" for the table's)
    std::string file_name;        // index file beside the table ("" for the table's own)
    std::string date_format;      // date format key expressions are evaluated with
    std::uint32_t tag_id = 0;     // names the sub-database "tag.<id>"

    bool unique() const { return (options & (kIndexUnique | kIndexCandidate)) != 0; }
    bool descending() const { return (options & kIndexDescending) != 0; }
    bool custom() const { return (options & kIndexCustom) != 0; }
    std::string database_name() const { return "tag." + std::to_string(tag_id); }
};

// The value stored for a tag, and back. decode answers nothing for a damaged value.
std::string encode_index_definition(const IndexDefinition& definition);
std::optional<IndexDefinition> decode_index_definition(std::string_view bytes);

// The key of a tag's description in the `indexes` sub-database: the upper-cased name.
std::string index_definition_key(std::string_view name);

}  // namespace varelum::engine
