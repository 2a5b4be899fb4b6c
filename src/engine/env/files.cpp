// Case-insensitive file look-up (see files.h).
#include "engine/env/files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

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

}  // namespace

std::string find_file_any_case(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return path;
    }
    std::size_t slash = path.rfind('/');
    std::string directory = parent_directory(path);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        return {};
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), &::closedir);
    if (!dir) {
        return {};
    }
    std::string best;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view candidate(entry->d_name);
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
    return (directory == "/" ? "" : directory) + "/" + best;
}

std::vector<std::string> regular_files_with_extension(const std::string& directory,
                                                      std::string_view extension) {
    std::vector<std::string> files;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), &::closedir);
    if (!dir) {
        return files;
    }
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name.size() > extension.size() &&
            equal_any_case(name.substr(name.size() - extension.size()), extension)) {
            std::string path = (directory == "/" ? "" : directory) + "/" + entry->d_name;
            struct stat info {};
            if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
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

std::vector<std::string> regular_files_matching(const std::string& directory,
                                                std::string_view mask) {
    std::vector<std::string> all;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), &::closedir);
    if (!dir) {
        return all;
    }
    while (dirent* entry = ::readdir(dir.get())) {
        std::string path = (directory == "/" ? "" : directory) + "/" + entry->d_name;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            all.emplace_back(entry->d_name);
        }
    }
    std::sort(all.begin(), all.end());
    constexpr std::string_view kLockSuffix = "-lock";
    std::vector<std::string> names;
    for (const std::string& name : all) {
        const bool own_lock_file =
            name.size() > kLockSuffix.size() &&
            name.compare(name.size() - kLockSuffix.size(), kLockSuffix.size(), kLockSuffix) == 0 &&
            std::binary_search(all.begin(), all.end(),
                               name.substr(0, name.size() - kLockSuffix.size()));
        const bool work_file = name.front() == '.';  // a table being made, for one
        if (!own_lock_file && !work_file && matches_file_mask(name, mask)) {
            names.push_back(name);
        }
    }
    return names;
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
