// The marks that tie files to dictionaries, kept in a file's index list under keys that no
// index tag can have (tag names never start with '#'): a dictionary file carries
// kDictionaryMark; a table registered in a dictionary carries the dictionary's random id
// (kBindingIdKey) and its path (kBindingKey, for messages, and the only mark of files bound
// before dictionaries had ids). The marks travel with the file's records wherever they are
// written anew (restructure, pack, copy, convert, recover), so a copy is bound as its source
// was. Never change these keys: they are stored in files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/table/table_copy.h"

namespace varelum::engine {

class TableFile;

inline constexpr char kDictionaryMark[] = "#data-dictionary";
inline constexpr char kBindingKey[] = "#bound-to-dictionary";
inline constexpr char kBindingIdKey[] = "#bound-to-dictionary-id";
// The binding travels with the table's records (table/table_copy.h); the dictionary's own
// mark does not, so that a copy of a dictionary file is no dictionary.
static_assert(std::string_view(kBindingKey).starts_with(kBelongingMarkPrefix));
static_assert(std::string_view(kBindingIdKey).starts_with(kBelongingMarkPrefix));

// The dictionary a table file belongs to.
struct TableBinding {
    std::string dictionary_id;  // empty in a file bound before dictionaries had ids
    std::string dictionary_path;
};

// The dictionary the table file is bound to, if any.
std::optional<TableBinding> table_binding(const TableFile& file);
// Whether the file is a dictionary file (which is no table to open).
bool is_dictionary_file(const TableFile& file);
// Binds the table file to a dictionary, in one write.
void bind_table(TableFile& file, const TableBinding& binding);
// Frees the table file of its dictionary.
void unbind_table(TableFile& file);

}  // namespace varelum::engine
