// ads.ini and aliases, and the path tests (see adsdata_names.h for the contract).
//
// ads.ini is read afresh at every lookup: it is small, lookups happen when a DatabaseName or
// AliasName is set, and an edit of the file is then seen by the next component that asks.
// Only the [Databases] section is checked for well-formedness; other sections belong to
// whoever else reads the file and are skipped.
#include "ads/adsdata_names.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "ads/adsdata_errors.h"
#include "ads/process_paths.h"
#include "rtl/profile_text.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr const char* kAdsIniFileName = "ads.ini";
constexpr const char* kSystemConfigurationDirectory = "/etc/varelum";
constexpr std::string_view kDatabasesSection = "Databases";

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

[[noreturn]] void RaiseIniError(const std::string& file, const std::string& problem) {
    RaiseAdsComponentError(nullptr, "The engine configuration file '" + file + "' " + problem);
}

// The whole file as UTF-8. Throws when it exists but cannot be read or is no text.
std::string ReadIniText(const std::string& file) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        RaiseIniError(file, "cannot be read: it is a directory.");
    }
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream content;
    if (!stream || !(content << stream.rdbuf())) {
        // An empty file makes the copy above fail too, yet is a well-formed (empty) profile.
        if (stream && stream.peek() == std::ifstream::traits_type::eof()) {
            return {};
        }
        RaiseIniError(file, "cannot be read.");
    }
    std::string text = content.str();
    if (text.find('\0') != std::string::npos) {
        RaiseIniError(file, "is not a text file.");
    }
    return rtl::IsValidUtf8(text) ? text : rtl::AnsiToUtf8(text);
}

// The value of key in section of the profile file; nullopt when the file, the section or the
// key is absent. The first entry of a key wins.
std::optional<std::string> ReadProfileString(const std::string& file, std::string_view section,
                                             std::string_view key) {
    if (!FileExists(file)) {
        return std::nullopt;
    }
    const std::vector<rtl::TProfileLine> lines = rtl::ReadProfileLines(ReadIniText(file));
    // Every line of the section is checked, also after the key's, so that a broken file is
    // reported at once rather than when some other alias is looked up.
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string lineNumber = std::to_string(i + 1);
        if (lines[i].Kind == rtl::TProfileLineKind::Unclosed) {
            RaiseIniError(
                file, "is malformed: line " + lineNumber + " has a section header without \"]\".");
        }
        if (lines[i].Kind == rtl::TProfileLineKind::Malformed &&
            rtl::InProfileSection(lines, i, section)) {
            RaiseIniError(file, "is malformed: line " + lineNumber + " of section [" +
                                    std::string(section) + "] is not of the form name = path.");
        }
    }
    return rtl::ProfileValue(lines, section, key);
}

// The alias entry of name: its path and the letter after ";" (0 when none).
bool LookupAliasEntry(const std::string& name, std::string& path, char& letter) {
    const std::optional<std::string> value =
        ReadProfileString(FindAdsIniFile(), kDatabasesSection, name);
    if (!value) {
        return false;
    }
    std::string entry = *value;
    letter = 0;
    const std::size_t semicolon = entry.find(';');
    if (semicolon != std::string::npos) {
        if (semicolon + 1 < entry.size()) {
            letter = entry[semicolon + 1];
            if (letter >= 'a' && letter <= 'z') {
                letter = static_cast<char>(letter - 'a' + 'A');
            }
        }
        entry.resize(semicolon);
        // "BALDERIM = /srv/loja ;A": the blanks before the ";" are no part of the path.
        entry = rtl::Trim(entry);
    }
    if (entry.empty()) {
        return false;
    }
    path = entry;
    return true;
}

}  // namespace

bool DataSetTableTypeOf(TAdsConnectionTableTypes connectionType, TAdsTableTypes& tableType) {
    switch (connectionType) {
        case ttAdsConnectCDX:
            tableType = ttAdsCDX;
            return true;
        case ttAdsConnectNTX:
            tableType = ttAdsNTX;
            return true;
        case ttAdsConnectADT:
            tableType = ttAdsADT;
            return true;
        case ttAdsConnectVFP:
            tableType = ttAdsVFP;
            return true;
        case ttAdsConnectUnspecified:
            break;
    }
    return false;
}

std::string FindAdsIniFile() {
    const char* configured = std::getenv("adsini_path");
    if (configured != nullptr && configured[0] != '\0') {
        std::string directory = configured;
        for (char& c : directory) {
            if (c == '\\') {
                c = '/';
            }
        }
        const std::string candidate =
            directory + (directory.back() == '/' ? "" : "/") + kAdsIniFileName;
        if (FileExists(candidate)) {
            return candidate;
        }
    }
    std::vector<std::string> searchDirectories;
    if (std::string directory = ExecutableDirectory(); !directory.empty()) {
        searchDirectories.push_back(std::move(directory));
    }
    std::error_code error;
    if (std::filesystem::path current = std::filesystem::current_path(error); !error) {
        searchDirectories.push_back(current.string());
    }
    // Installed, the program sits in a folder a shop should not edit (/usr/bin): the user's
    // and then the system's configuration folders come last.
    if (const char* home = std::getenv("XDG_CONFIG_HOME"); home != nullptr && home[0] == '/') {
        searchDirectories.push_back(std::string(home) + "/varelum");
    } else if (const char* user = std::getenv("HOME"); user != nullptr && user[0] == '/') {
        searchDirectories.push_back(std::string(user) + "/.config/varelum");
    }
    searchDirectories.emplace_back(kSystemConfigurationDirectory);
    for (const std::string& directory : searchDirectories) {
        const std::string candidate = directory + "/" + kAdsIniFileName;
        if (FileExists(candidate)) {
            return candidate;
        }
    }
    return kAdsIniFileName;
}

bool LookupAlias(const std::string& name, std::string& path, TAdsConnectionTableTypes& tableType) {
    char letter = 0;
    if (!LookupAliasEntry(name, path, letter)) {
        return false;
    }
    switch (letter) {
        case 'N':
            tableType = ttAdsConnectNTX;
            break;
        case 'C':
            tableType = ttAdsConnectCDX;
            break;
        case 'A':
            tableType = ttAdsConnectADT;
            break;
        case 'V':
            tableType = ttAdsConnectVFP;
            break;
        default:
            tableType = ttAdsConnectUnspecified;
            break;
    }
    return true;
}

bool LookupAlias(const std::string& name, std::string& path, TAdsTableTypes& tableType) {
    TAdsConnectionTableTypes connectionType = ttAdsConnectUnspecified;
    if (!LookupAlias(name, path, connectionType)) {
        return false;
    }
    if (!DataSetTableTypeOf(connectionType, tableType)) {
        tableType = ttAdsADT;
    }
    return true;
}

bool IsDictionaryPath(std::string_view path) noexcept {
    const auto endsWith = [path](std::string_view suffix) {
        return path.size() >= suffix.size() &&
               rtl::SameText(path.substr(path.size() - suffix.size()), suffix);
    };
    return endsWith(".ADD") || endsWith("__rootdd");
}

bool HasPathSeparator(std::string_view name) noexcept {
    for (const char c : name) {
        if (IsSeparator(c)) {
            return true;
        }
    }
    return false;
}

}  // namespace varelum::ads
