// Exported functions: the links of a data dictionary to others. A connection to free tables
// has none.
#include "engine/api/guard.h"

using namespace varelum::engine;

namespace {

[[noreturn]] void refuse_without_dictionary() {
    fail(VE_DICTIONARY_ONLY, "links belong to data dictionary connections");
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

VE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hConnect, UNSIGNED16 /*usLinkNum*/,
                                       UNSIGNED8* /*pucLinkInfo*/, UNSIGNED16* pusBufferLen) {
    return guarded([&] {
        out(pusBufferLen);
        connection_of(hConnect);
        refuse_without_dictionary();
    });
}

VE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hConnect, const UNSIGNED8* /*pucLinkAlias*/,
                                  const UNSIGNED8* /*pucLinkedDDPath*/,
                                  const UNSIGNED8* /*pucUserName*/,
                                  const UNSIGNED8* /*pucPassword*/, UNSIGNED32 /*ulOptions*/) {
    return guarded([&] {
        connection_of(hConnect);
        refuse_without_dictionary();
    });
}

VE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hConnect, const UNSIGNED8* /*pucLinkedDD*/,
                                UNSIGNED16 /*usDropGlobal*/) {
    return guarded([&] {
        connection_of(hConnect);
        refuse_without_dictionary();
    });
}

}  // extern "C"
