// Writing an alias into the engine's configuration file ads.ini: its [Databases] section maps
// a name to a directory ("BALDERIM = /srv/loja"). The file is read by the rules the components
// read it by (rtl/profile_text.h); everything else in an existing file is kept as it is.
#pragma once

#include <filesystem>
#include <string_view>

namespace varelum::store {

// Sets `alias = value` in the [Databases] section of the file at path: replaces the alias's
// line that the components would find, when there is one, else adds it at
// the end of the section, else adds the section at the end of the file; creates the file
// when there is none. The file is replaced in one rename, so a reader never sees half of it.
// Throws StoreError when it cannot be read or written.
void set_ads_ini_alias(const std::filesystem::path& path, std::string_view alias,
                       std::string_view value);

}  // namespace varelum::store
