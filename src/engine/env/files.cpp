// Case-insensitive file look-up (see files.h).
#include "engine/env/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "engine/env/env.h"

namespace varelum::engine {
namespace {

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_any_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string join_path(const std::string& directory, std::string_view name) {
    return (directory == "/" ? "" : directory) + "/" + std::string(name);
}

bool is_regular_file(const std::string& path) {
    FileStatus status;
    return env().stat_file(path, status) == 0 && status.regular();
}

}  // namespace

std::string find_file_any_case(const std::string& path) {
    if (path_exists(path)) {
        return path;
    }
    std::size_t slash = path.rfind('/');
    std::string directory = parent_directory(path);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        return {};
    }
    std::vector<std::string> entries;
    if (env().list_folder(directory, entries) != 0) {
        return {};
    }
    std::string best;
    for (const std::string& candidate : entries) {
        if (equal_any_case(candidate, name) && (best.empty() || candidate < best)) {
            best = candidate;
        }
    }
    if (best.empty()) {
        return {};
    }
    if (slash == std::string::npos) {
        return best;
    }
    return join_path(directory, best);
}

std::vector<std::string> regular_files_with_extension(const std::string& directory,
                                                      std::string_view extension) {
    std::vector<std::string> files;
    std::vector<std::string> entries;
    if (env().list_folder(directory, entries) != 0) {
        return files;
    }
    for (std::string_view name : entries) {
        if (name.size() > extension.size() &&
            equal_any_case(name.substr(name.size() - extension.size()), extension)) {
            std::string path = join_path(directory, name);
            if (is_regular_file(path)) {
                files.push_back(std::move(path));
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool matches_file_mask(std::string_view name, std::string_view mask) {
    // Greedy matching with one point of return: the last "*" seen and where it started
    // matching, so that a mask is matched in linear steps per star, never by recursion.
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t star = std::string_view::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            star = m++;
            star_name = n;
        } else if (m < mask.size() &&
                   (mask[m] == '?' || ascii_lower(mask[m]) == ascii_lower(name[n]))) {
            ++m;
            ++n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

bool same_file(const std::string& a, const std::string& b) {
    FileStatus first;
    FileStatus second;
    return env().stat_file(a, first) == 0 && env().stat_file(b, second) == 0 &&
           first.identity == second.identity;
}

std::string resolved_path(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return {};
    }
    return resolved;
}

int set_file_mode(const std::string& path, mode_t mode) {
    return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
}

int rename_new_file(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0
                                                                                            : errno;
}

std::string parent_directory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool has_extension(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace varelum::engine
