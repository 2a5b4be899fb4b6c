// The engine connection string of a connection component.
//
// The parts come in a fixed order, each "key=value;" and each only when its property asks for
// it: the data source (always), the user and password of a dictionary log-in, FIPS (always),
// the dictionary password, the data encryption type, the TLS certificate, common name and
// ciphers, the communication type, compression, the SQL timeout, the middle-tier and
// stored-procedure flags, the server types, the date format, the alias's table type, and last
// the ExtraConnectString as it stands. Values are inserted as they are; only the password is
// put in double quotes, so that a ";" in it does not end it.
#include <cstddef>
#include <string>

#include "ads/adscnnct.h"

namespace varelum::ads {

namespace {

// The longest data source the connection string carries.
constexpr std::size_t kMaxDataSourceLength = 255;

const char* EncryptionTypeText(TAdsDataEncryptionType type) {
    switch (type) {
        case etAdsAES128:
            return "AES128";
        case etAdsAES256:
            return "AES256";
        case etAdsRC4:
            return "RC4";
        case etAdsDefault:
            break;
    }
    return "NO_ENCRYPT_TYPE";
}

const char* CommunicationTypeText(TAdsCommunicationType type) {
    switch (type) {
        case ctAdsUDPIP:
            return "UDP_IP";
        case ctAdsIPX:
            return "IPX";
        case ctAdsTCPIP:
            return "TCP_IP";
        case ctAdsTLS:
            return "TLS";
        case ctAdsDefault:
            break;
    }
    return "NO_COMM_TYPE";
}

const char* CompressionText(TAdsCompressionTypes type) {
    switch (type) {
        case ccAdsCompressInternet:
            return "INTERNET";
        case ccAdsCompressAlways:
            return "ALWAYS";
        case ccAdsCompressNever:
            return "NEVER";
        case ccAdsCompressionNotSet:
            break;
    }
    return "COMPRESSION_NOT_SET";
}

const char* TableTypeText(TAdsConnectionTableTypes type) {
    switch (type) {
        case ttAdsConnectCDX:
            return "CDX";
        case ttAdsConnectNTX:
            return "NTX";
        case ttAdsConnectADT:
            return "ADT";
        case ttAdsConnectVFP:
            return "VFP";
        case ttAdsConnectUnspecified:
            break;
    }
    return "ALIAS_TABLE_TYPE_NOT_SET";
}

// The items present, in the order given, joined by separator.
template <typename Set, typename Item>
std::string ListOf(Set set, std::initializer_list<std::pair<Item, const char*>> items,
                   char separator) {
    std::string list;
    for (const auto& [item, text] : items) {
        if (set.Contains(item)) {
            list += text;
            list += separator;
        }
    }
    if (!list.empty()) {
        list.pop_back();
    }
    return list;
}

std::string CipherList(TAdsTLSCipherSuites suites) {
    return ListOf<TAdsTLSCipherSuites, TAdsTLSCipherSuite>(
        suites,
        {{tlsAES128SHA, "AES128-SHA"}, {tlsAES256SHA, "AES256-SHA"}, {tlsRC4MD5, "RC4-MD5"}}, ':');
}

std::string ServerTypeList(TAdsServerTypes types) {
    return ListOf<TAdsServerTypes, TAdsServerType>(
        types, {{stADS_LOCAL, "LOCAL"}, {stADS_REMOTE, "REMOTE"}, {stADS_AIS, "INTERNET"}}, '|');
}

// The first count characters of a UTF-8 text (never half a character).
std::string FirstCharacters(const std::string& text, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continuation && characters++ == count) {
            return text.substr(0, i);
        }
    }
    return text;
}

void AddPart(std::string& text, const char* key, const std::string& value) {
    text += key;
    text += '=';
    text += value;
    text += ';';
}

}  // namespace

std::string TAdsConnection::ConnectString() const {
    const TAdsEncryptionOptions& encryption = EncryptionOptions();
    std::string text;
    AddPart(text, "Data Source", FirstCharacters(GetConnectionWithDDPath(), kMaxDataSourceLength));
    // A free-table connection has no users: only a dictionary logs in.
    if (IsDictionaryConn() && !FUsername.empty()) {
        AddPart(text, "User ID", FUsername);
        if (!FPassword.empty()) {
            AddPart(text, "Password", "\"" + FPassword + "\"");
        }
    }
    AddPart(text, "FIPS", encryption.FIPSMode() ? "True" : "False");
    if (!encryption.DataDictionaryPassword().empty()) {
        AddPart(text, "DDPassword", encryption.DataDictionaryPassword());
    }
    if (encryption.DataEncryptionType() != etAdsDefault) {
        AddPart(text, "EncryptionType", EncryptionTypeText(encryption.DataEncryptionType()));
    }
    if (!encryption.TLSCertificate().empty()) {
        AddPart(text, "TLSCertificate", encryption.TLSCertificate());
    }
    if (!encryption.TLSCommonName().empty()) {
        AddPart(text, "TLSCommonName", encryption.TLSCommonName());
    }
    if (!encryption.TLSCipherSuite().Empty()) {
        AddPart(text, "TLSCiphers", CipherList(encryption.TLSCipherSuite()));
    }
    if (FAdsCommunicationType != ctAdsDefault) {
        AddPart(text, "CommType", CommunicationTypeText(FAdsCommunicationType));
    }
    if (FAdsCompression != ccAdsCompressionNotSet) {
        AddPart(text, "Compression", CompressionText(FAdsCompression));
    }
    if (FSQLTimeout != 0) {
        AddPart(text, "SQLTimeout", std::to_string(FSQLTimeout));
    }
    if (FMiddleTierConn) {
        AddPart(text, "IncrementUserCount", "TRUE");
    }
    if (FStoredProcConn) {
        AddPart(text, "StoredProcedureConnection", "TRUE");
    }
    if (!FAdsServerTypes.Empty()) {
        AddPart(text, "ServerType", ServerTypeList(FAdsServerTypes));
    }
    if (!FDateFormat.empty()) {
        AddPart(text, "DateFormat", FDateFormat);
    }
    if (meAliasTableType != ttAdsConnectUnspecified) {
        AddPart(text, "TableType", TableTypeText(meAliasTableType));
    }
    text += FExtraConnectString;
    return text;
}

}  // namespace varelum::ads
