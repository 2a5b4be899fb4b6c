// Finding files by name the way the engine's callers spell them: names compare without regard
// to ASCII letter case, the file system's names do not.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

// The path of the directory entry named like the last part of path: that spelling when it
// exists, else the entry whose name differs only in ASCII letter case (the first in byte
// order when several do). Any kind of entry counts: a name taken by something that is not a
// table is reported by opening it, not as a missing table. Empty when there is none.
std::string find_file_any_case(const std::string& path);

// The regular files of a directory whose names end in `extension` (in any letter case), as
// paths, in byte order; empty when the directory cannot be read.
std::vector<std::string> regular_files_with_extension(const std::string& directory,
                                                      std::string_view extension);

// Whether name matches a file mask: "*" stands for any run of characters, "?" for exactly one;
// letters compare without regard to ASCII case.
bool matches_file_mask(std::string_view name, std::string_view mask);

// Whether two paths name the same file (the same device and inode, symbolic links followed):
// the file's identity, whatever the spelling of either path. False when either is missing.
bool same_file(const std::string& a, const std::string& b);

// The absolute path of the file or directory at path with every symbolic link, "." and ".."
// step resolved; empty when it does not exist.
std::string resolved_path(const std::string& path);

// Sets the permission bits of the file at path, whatever the process's umask: 0, or an errno
// value.
int set_file_mode(const std::string& path, mode_t mode);

// Renames from to to unless to exists: 0, EEXIST, or another errno value.
int rename_new_file(const std::string& from, const std::string& to);

// The directory part of path ("." when it has none, "/" for the root).
std::string parent_directory(const std::string& path);

// Whether the last part of path has an extension (a dot that does not start it).
bool has_extension(const std::string& path);

}  // namespace varelum::engine
