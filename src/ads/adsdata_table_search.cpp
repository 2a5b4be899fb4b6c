// The engine's table search, start to end (see adsdata_table_search.h).
#include "ads/adsdata_table_search.h"

#include "ads/ace.h"
#include "rtl/code_page.h"

namespace varelum::ads {
namespace {

// The engine's buffers for a link alias and a file name.
constexpr UNSIGNED16 kNameCapacity = 260;

std::string NameOf(const UNSIGNED8* buffer, UNSIGNED16 length) {
    return rtl::AnsiToUtf8(std::string(reinterpret_cast<const char*>(buffer), length));
}

}  // namespace

void FindTables(ADSHANDLE connection, const std::string& pattern, bool withLinks,
                const TFoundTable& found, const TSearchFailure& fail) {
    const std::string mask = rtl::Utf8ToAnsi(pattern);
    UNSIGNED8 link[kNameCapacity + 1] = {};
    UNSIGNED8 name[kNameCapacity + 1] = {};
    UNSIGNED16 linkLength = kNameCapacity;
    UNSIGNED16 nameLength = kNameCapacity;
    ADSHANDLE search = 0;
    UNSIGNED32 result =
        withLinks
            ? ace::AdsFindFirstTable62(connection, reinterpret_cast<const UNSIGNED8*>(mask.c_str()),
                                       link, &linkLength, name, &nameLength, &search)
            : ace::AdsFindFirstTable(connection, reinterpret_cast<const UNSIGNED8*>(mask.c_str()),
                                     name, &nameLength, &search);
    try {
        while (result == VE_SUCCESS) {
            found(withLinks ? NameOf(link, linkLength) : std::string(), NameOf(name, nameLength));
            linkLength = kNameCapacity;
            nameLength = kNameCapacity;
            result = withLinks ? ace::AdsFindNextTable62(connection, search, link, &linkLength,
                                                         name, &nameLength)
                               : ace::AdsFindNextTable(connection, search, name, &nameLength);
        }
        if (result != VE_NO_MORE_TABLES) {
            fail(result);
        }
    } catch (...) {
        if (search != 0) {
            // The search's own failure is on its way; closing is clean-up.
            static_cast<void>(ace::AdsFindClose(connection, search));
        }
        throw;
    }
    if (search != 0) {
        const UNSIGNED32 closed = ace::AdsFindClose(connection, search);
        if (closed != VE_SUCCESS) {
            fail(closed);
        }
    }
}

}  // namespace varelum::ads
