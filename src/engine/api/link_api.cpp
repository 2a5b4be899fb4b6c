// Exported functions: the links of a data dictionary to others. A connection to free tables
// has none; a dictionary has none either until this engine can make them, so a link is never
// found.
#include "engine/api/guard.h"
#include "engine/core/text.h"

using namespace varelum::engine;

namespace {

// The connection of handle, which must be a dictionary connection.
void require_dictionary(ADSHANDLE handle) {
    if (!connection_of(handle)->dictionary()) {
        fail(VE_DICTIONARY_ONLY, "links belong to data dictionary connections");
    }
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hConnect, UNSIGNED16* pusNumLinks) {
    return guarded([&] {
        UNSIGNED16& count = out(pusNumLinks);
        connection_of(hConnect);
        count = 0;
    });
}

VE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hConnect, UNSIGNED16 usLinkNum,
                                       UNSIGNED8* /*pucLinkInfo*/, UNSIGNED16* pusBufferLen) {
    return guarded([&] {
        out(pusBufferLen);
        require_dictionary(hConnect);
        fail(VE_DICTIONARY_ONLY, "no active link " + std::to_string(usLinkNum));
    });
}

VE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hConnect, const UNSIGNED8* /*pucLinkAlias*/,
                                  const UNSIGNED8* /*pucLinkedDDPath*/,
                                  const UNSIGNED8* /*pucUserName*/,
                                  const UNSIGNED8* /*pucPassword*/, UNSIGNED32 /*ulOptions*/) {
    return guarded([&] {
        require_dictionary(hConnect);
        fail(VE_NOT_IMPLEMENTED, "links between data dictionaries");
    });
}

VE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hConnect, const UNSIGNED8* pucLinkedDD,
                                UNSIGNED16 /*usDropGlobal*/) {
    return guarded([&] {
        require_dictionary(hConnect);
        fail(VE_DICTIONARY_ONLY, "link \"" + ansi_to_utf8(c_text(pucLinkedDD)) + "\"");
    });
}

}  // extern "C"
