// Database names: the table types, the engine configuration file ads.ini and its aliases, and
// the tests that tell a path from a name.
//
// A dataset's DatabaseName names a connection component, an alias of the [Databases] section
// of ads.ini, or a directory or data-dictionary path. This header holds the pieces that do not
// depend on datasets or connections: where ads.ini is, what an alias maps to, and whether a
// name is a path. The resolution itself is TAdsDatabaseLink's (adsdata_link.h).
//
// ads.ini is a profile file, read by the rules of rtl/profile_text.h that varelum-store writes
// it by too: "[Section]" headers (a comment may follow the "]") and "name = value" lines; blank
// lines and lines starting with ";" or "#" are comments; section and key names compare without
// regard to case. An alias entry is "name = path", optionally followed by ";" and a table-type
// letter N, C, A or V. The file may be UTF-8 or Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace varelum::ads {

// The table type of a connection's alias (values in this order, from 0).
enum TAdsConnectionTableTypes {
    ttAdsConnectUnspecified,
    ttAdsConnectCDX,
    ttAdsConnectNTX,
    ttAdsConnectADT,
    ttAdsConnectVFP,
};

// A dataset's own table type (values in this order, from 0); a new dataset has ttAdsADT.
enum TAdsTableTypes {
    ttAdsCDX,
    ttAdsNTX,
    ttAdsADT,
    ttAdsDefault,
    ttAdsVFP,
};

// The dataset table type that follows a connection's table type; false for
// ttAdsConnectUnspecified, which leaves a dataset's type as it is.
bool DataSetTableTypeOf(TAdsConnectionTableTypes connectionType, TAdsTableTypes& tableType);

// The path of ads.ini:
//  1. the value of the environment variable adsini_path followed by "/ads.ini", when
//     adsini_path is set and that file exists;
//  2. otherwise the first "ads.ini" found by the file search, in the directory of the running
//     executable, then in the current directory; the result is an absolute path;
//  3. otherwise varelum/ads.ini in the user's configuration folder ($XDG_CONFIG_HOME, or
//     ~/.config when that is unset or not absolute), then /etc/varelum/ads.ini;
//  4. otherwise "ads.ini" as it stands (the current directory, where it does not exist).
// "\" in adsini_path is taken as a separator, like "/".
std::string FindAdsIniFile();

// Looks name up in the [Databases] section of the file FindAdsIniFile() gives. Returns true
// when the entry exists and its path is not empty; then path is the value with the ";" and all
// that follows it removed, and tableType is selected by the letter right after the ";" (any
// case): N NTX, C CDX, A ADT, V VFP; no ";" or any other letter gives the mapping's default
// (ttAdsConnectUnspecified for a connection, ttAdsADT for a dataset). Returns false and leaves
// both untouched when there is no such entry (also when the file does not exist).
// Throws EADSDatabaseError (no dataset, code 5121) when the file exists but cannot be read or
// is malformed (a section header without "]", a line in [Databases] that is not
// "name = value", a file that is not text), naming the file and the line.
bool LookupAlias(const std::string& name, std::string& path, TAdsConnectionTableTypes& tableType);
bool LookupAlias(const std::string& name, std::string& path, TAdsTableTypes& tableType);

// True when path ends, ignoring case, with ".ADD" or "__rootdd": a data dictionary.
bool IsDictionaryPath(std::string_view path) noexcept;

// True when name contains "/" or "\": a path, not an alias or a component name.
bool HasPathSeparator(std::string_view name) noexcept;

}  // namespace varelum::ads
