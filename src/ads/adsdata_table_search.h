// Listing the table files of a connection's directory through the engine's table search,
// for the connection's name lists and the dataset's GetFiles.
#pragma once

#include <functional>
#include <string>

#include "varelum_engine.h"

namespace varelum::ads {

// One name found: the alias of the dictionary link it came through (empty for free tables)
// and the table's file name, both UTF-8.
using TFoundTable = std::function<void(const std::string& LinkAlias, const std::string& Name)>;
// Raises the error of an engine result that is neither success nor the end of the search.
using TSearchFailure = std::function<void(UNSIGNED32 result)>;

// Calls found for each table matching pattern ("directory\mask", or empty for a dictionary
// connection) on connection, in the engine's order, with link aliases when withLinks. The
// search is closed at the end; closing goes through fail too, and after a failure (of the
// search or of found) it is closed without a further error.
void FindTables(ADSHANDLE connection, const std::string& pattern, bool withLinks,
                const TFoundTable& found, const TSearchFailure& fail);

}  // namespace varelum::ads
