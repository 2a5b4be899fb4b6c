// Exported functions: searching a connection's directory for table files.
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary_links.h"
#include "engine/table/connection.h"
#include "engine/table/table_search.h"

using namespace varelum::engine;

namespace {

// The search of handle, which must belong to connection hConnect.
std::shared_ptr<TableSearch> search_of(ADSHANDLE hConnect, ADSHANDLE hFindHandle) {
    connection_of(hConnect);
    auto search = HandleRegistry::instance().get<TableSearch>(hFindHandle);
    if (search->connection_handle() != hConnect) {
        fail(VE_INVALID_ARGUMENT, "the search belongs to another connection");
    }
    return search;
}

// The next name into the caller's buffers, and with_link its link alias; VE_NO_MORE_TABLES at
// the end. A name that does not fit is handed out again by the next call.
void put_next(TableSearch& search, bool with_link, UNSIGNED8* pucDD, UNSIGNED16* pusDDLen,
              UNSIGNED8* pucFile, UNSIGNED16* pusFileLen) {
    const std::optional<std::string> name = search.current();
    if (!name) {
        fail(VE_NO_MORE_TABLES, "no more tables");
    }
    if (with_link) {
        put_text(utf8_to_ansi(search.current_link()), pucDD, pusDDLen);
    }
    put_text(utf8_to_ansi(*name), pucFile, pusFileLen);
    search.advance();
}

UNSIGNED32 find_first(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask, bool with_link,
                      UNSIGNED8* pucDD, UNSIGNED16* pusDDLen, UNSIGNED8* pucFile,
                      UNSIGNED16* pusFileLen, ADSHANDLE* phFindHandle) {
    return guarded([&] {
        ADSHANDLE& result = out(phFindHandle);
        result = 0;
        auto connection = connection_of(hConnect);
        const std::string pattern = ansi_to_utf8(c_text(pucFileMask));
        std::shared_ptr<TableSearch> search;
        if (connection->dictionary() && pattern.empty()) {
            // A dictionary's tables are its names, and with links those of linked ones.
            search = std::make_shared<TableSearch>(
                hConnect, reachable_tables(*connection->dictionary(), with_link));
        } else {
            search = std::make_shared<TableSearch>(*connection, hConnect, pattern);
        }
        // The first name is taken before a handle is issued, so an empty search leaves none
        // behind to close.
        put_next(*search, with_link, pucDD, pusDDLen, pucFile, pusFileLen);
        result = HandleRegistry::instance().add(std::move(search));
    });
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                    UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                    ADSHANDLE* phFindHandle) {
    return find_first(hConnect, pucFileMask, false, nullptr, nullptr, pucFirstFile, pusFileLen,
                      phFindHandle);
}

VE_API UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                   UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
    return guarded([&] {
        put_next(*search_of(hConnect, hFindHandle), false, nullptr, nullptr, pucFileName,
                 pusFileLen);
    });
}

VE_API UNSIGNED32 AdsFindFirstTable62(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                      UNSIGNED8* pucFirstDD, UNSIGNED16* pusDDLen,
                                      UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                      ADSHANDLE* phFindHandle) {
    return find_first(hConnect, pucFileMask, true, pucFirstDD, pusDDLen, pucFirstFile, pusFileLen,
                      phFindHandle);
}

VE_API UNSIGNED32 AdsFindNextTable62(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                     UNSIGNED8* pucDDName, UNSIGNED16* pusDDLen,
                                     UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen) {
    return guarded([&] {
        put_next(*search_of(hConnect, hFindHandle), true, pucDDName, pusDDLen, pucFileName,
                 pusFileLen);
    });
}

VE_API UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle) {
    return guarded([&] {
        search_of(hConnect, hFindHandle);
        HandleRegistry::instance().remove(hFindHandle);
    });
}

}  // extern "C"
