// Exported functions: the links of a data dictionary to others (engine/dict/dictionary_links.h).
// A connection to free tables has none.
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary_admin.h"
#include "engine/dict/dictionary_links.h"
#include "engine/dict/secret.h"

using namespace varelum::engine;

namespace {

// The session of handle, which must be a dictionary connection.
DictionarySession& session_of(ADSHANDLE handle) {
    auto connection = connection_of(handle);
    if (!connection->dictionary()) {
        fail(VE_DICTIONARY_ONLY, "links belong to data dictionary connections");
    }
    return *connection->dictionary();
}

std::string text_of(const UNSIGNED8* text) {
    return ansi_to_utf8(c_text(text));
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hConnect, UNSIGNED16* pusNumLinks) {
    return guarded([&] {
        UNSIGNED16& count = out(pusNumLinks);
        const auto& session = connection_of(hConnect)->dictionary();
        count = session ? static_cast<UNSIGNED16>(session->links->count()) : 0;
    });
}

VE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hConnect, UNSIGNED16 usLinkNum,
                                       UNSIGNED8* pucLinkInfo, UNSIGNED16* pusBufferLen) {
    return guarded([&] {
        out(pusBufferLen);
        DictionarySession& session = session_of(hConnect);
        auto link = usLinkNum == 0 ? nullptr : session.links->at(usLinkNum - 1u);
        if (!link) {
            fail(VE_DICTIONARY_ONLY, "no active link " + std::to_string(usLinkNum));
        }
        put_text(utf8_to_ansi(describe_link(*link)), pucLinkInfo, pusBufferLen);
    });
}

VE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hConnect, const UNSIGNED8* pucLinkAlias,
                                  const UNSIGNED8* pucLinkedDDPath, const UNSIGNED8* pucUserName,
                                  const UNSIGNED8* pucPassword, UNSIGNED32 ulOptions) {
    return guarded([&] {
        DictionarySession& session = session_of(hConnect);
        require_administrator(&session);
        const WipedString password = password_from_ansi(c_text(pucPassword));
        LinkDefinition link;
        link.name = text_of(pucLinkAlias);
        link.linked_path = text_of(pucLinkedDDPath);
        link.user = text_of(pucUserName);
        link.password = password.view();
        link.options = ulOptions;
        DictionaryAdmin(*session.dictionary).create_link(link);
    });
}

VE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hConnect, const UNSIGNED8* pucLinkedDD,
                                UNSIGNED16 usDropGlobal) {
    return guarded([&] {
        DictionarySession& session = session_of(hConnect);
        require_administrator(&session);
        const std::string name = text_of(pucLinkedDD);
        DictionaryAdmin(*session.dictionary).drop_link(name, usDropGlobal != 0);
        session.links->close(name);
    });
}

}  // extern "C"
