// TAdsConnection: the links of a data dictionary to others.
#include <algorithm>
#include <string_view>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

// Room for the longest description the engine gives of a link.
constexpr UNSIGNED16 kLinkInfoCapacity = 664;

const UNSIGNED8* Text8(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

}  // namespace

std::vector<std::string> LinkInfoItems(const std::string& strLinkInfo) {
    std::vector<std::string> items;
    std::string_view rest(strLinkInfo);
    for (std::size_t end = rest.find(';'); end != std::string_view::npos; end = rest.find(';')) {
        items.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    return items;
}

int TAdsConnection::GetNumActiveDDLinks() {
    UNSIGNED16 count = 0;
    CheckAceResult(nullptr, ace::AdsGetNumActiveLinks(FhConnection, &count));
    return count;
}

void TAdsConnection::GetActiveDDLinkInfo(int iLinkNum, rtl::TStringList* poList) {
    if (poList == nullptr) {
        return;
    }
    UNSIGNED8 buffer[kLinkInfoCapacity + 1] = {};
    UNSIGNED16 length = kLinkInfoCapacity;
    CheckAceResult(nullptr, ace::AdsGetActiveLinkInfo(
                                FhConnection, static_cast<UNSIGNED16>(iLinkNum), buffer, &length));
    const std::string info(reinterpret_cast<const char*>(buffer),
                           std::min<std::size_t>(length, kLinkInfoCapacity));
    for (const std::string& item : LinkInfoItems(rtl::AnsiToUtf8(info))) {
        poList->Add(item);
    }
}

void TAdsConnection::CreateDDLink(const std::string& strLinkAlias,
                                  const std::string& strLinkedDDPath,
                                  const std::string& strUserName, const std::string& strPassword,
                                  TAdsLinkOptions Options) {
    const std::string alias = rtl::Utf8ToAnsi(strLinkAlias);
    const std::string path = rtl::Utf8ToAnsi(strLinkedDDPath);
    const std::string user = rtl::Utf8ToAnsi(strUserName);
    const std::string password = rtl::Utf8ToAnsi(strPassword);
    CheckAceResult(nullptr, ace::AdsDDCreateLink(FhConnection, Text8(alias), Text8(path),
                                                 Text8(user), Text8(password), Options.Bits()));
}

void TAdsConnection::DropDDLink(const std::string& strLinkedDD, bool bDropGlobal) {
    const std::string name = rtl::Utf8ToAnsi(strLinkedDD);
    CheckAceResult(nullptr, ace::AdsDDDropLink(FhConnection, Text8(name), bDropGlobal ? 1 : 0));
}

}  // namespace varelum::ads
