// The marks that tie files to dictionaries, kept in a file's index list under keys that no
// index tag can have (tag names never start with '#'): a dictionary file carries
// kDictionaryMark; a table registered in a dictionary carries kBindingKey with the
// dictionary's path, so that the table is refused when opened as a free table and its rights
// cannot be stepped around. Never change these keys: they are stored in files.
#pragma once

#include <optional>
#include <string>

namespace varelum::engine {

class TableFile;

inline constexpr char kDictionaryMark[] = "#data-dictionary";
inline constexpr char kBindingKey[] = "#bound-to-dictionary";

// The dictionary the table file is bound to, if any.
std::optional<std::string> bound_dictionary(const TableFile& file);
// Whether the file is a dictionary file (which is no table to open).
bool is_dictionary_file(const TableFile& file);
// Binds the table file to the dictionary at dictionary_path, or unbinds it (nullopt).
void set_bound_dictionary(TableFile& file, const std::optional<std::string>& dictionary_path);

}  // namespace varelum::engine
