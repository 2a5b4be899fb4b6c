// Parsing the connection string of AdsConnect101 (see connect_string.h).
#include "engine/api/connect_string.h"

#include <algorithm>
#include <set>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "varelum_engine.h"

namespace varelum::engine {

namespace {

[[noreturn]] void malformed(const std::string& why) {
    fail(VE_INVALID_CONNECT_STRING, "the connection string is malformed: " + why);
}

std::string at(std::size_t position) {
    return "at character " + std::to_string(position + 1);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::uint16_t parse_server_types(const std::string& value) {
    std::uint16_t mask = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = value.find('|', start);
        const std::string word = to_upper_ascii(trim_blanks(value.substr(start, bar - start)));
        if (word == "LOCAL" || word == "ADS_LOCAL_SERVER") {
            mask |= VE_SERVER_LOCAL;
        } else if (word == "REMOTE" || word == "ADS_REMOTE_SERVER") {
            mask |= VE_SERVER_REMOTE;
        } else if (word == "INTERNET" || word == "AIS" || word == "ADS_AIS_SERVER") {
            mask |= VE_SERVER_INTERNET;
        } else if (!word.empty() && word.size() <= 2 &&
                   word.find_first_not_of("0123456789") == std::string::npos &&
                   std::stoi(word) <= 7) {
            mask |= static_cast<std::uint16_t>(std::stoi(word));
        } else {
            malformed("ServerType has an unknown server type");
        }
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    if (mask == 0) {
        malformed("ServerType names no server type");
    }
    return mask;
}

std::uint16_t parse_table_type(const std::string& value) {
    const std::string type = to_upper_ascii(value);
    if (type == "ADT") {
        return VE_TABLE_TYPE_ADT;
    }
    if (type == "CDX") {
        return VE_TABLE_TYPE_CDX;
    }
    if (type == "NTX") {
        return VE_TABLE_TYPE_NTX;
    }
    if (type == "VFP") {
        return VE_TABLE_TYPE_VFP;
    }
    malformed("TableType is none of ADT, CDX, NTX and VFP");
}

// A transport's name; it means nothing locally, so an unknown one is no error.
std::uint32_t comm_type_of(const std::string& value) {
    if (iequals(value, "TCP_IP")) {
        return VE_COMM_TCP_IP;
    }
    if (iequals(value, "UDP_IP")) {
        return VE_COMM_UDP_IP;
    }
    if (iequals(value, "IPX")) {
        return VE_COMM_IPX;
    }
    if (iequals(value, "TLS")) {
        return VE_COMM_TLS;
    }
    return VE_COMM_DEFAULT;
}

std::uint32_t parse_seconds(const std::string& value) {
    if (value.empty() || value.size() > 10 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        malformed("SQLTimeout is no number of seconds");
    }
    const unsigned long long seconds = std::stoull(value);
    if (seconds > UINT32_MAX) {
        malformed("SQLTimeout is no number of seconds");
    }
    return static_cast<std::uint32_t>(seconds);
}

// Reads one value from position i (just after "="); leaves i on the ";" that ends it, or at
// the end of the text.
// A view into text: a value may be a password, which is copied only into wiped memory.
std::string_view read_value(std::string_view text, std::size_t& i, const std::string& key) {
    while (i < text.size() && is_blank(text[i])) {
        ++i;
    }
    if (i < text.size() && text[i] == '"') {
        const std::size_t close = text.find('"', i + 1);
        if (close == std::string_view::npos) {
            malformed("the quoted value of " + key + " is not closed");
        }
        std::string_view value = text.substr(i + 1, close - i - 1);
        i = close + 1;
        while (i < text.size() && is_blank(text[i])) {
            ++i;
        }
        if (i < text.size() && text[i] != ';') {
            malformed("text follows the closing quote of " + key);
        }
        return value;
    }
    const std::size_t end = std::min(text.find(';', i), text.size());
    std::string_view value = text.substr(i, end - i);
    while (!value.empty() && is_blank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && is_blank(value.back())) {
        value.remove_suffix(1);
    }
    i = end;
    return value;
}

}  // namespace

ConnectRequest parse_connect_string(std::string_view text) {
    ConnectRequest request;
    std::set<std::string> seen;
    bool has_data_source = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        const std::size_t semicolon = std::min(text.find(';', i), text.size());
        const std::size_t equals = text.find('=', i);
        if (equals == std::string_view::npos || equals > semicolon) {
            if (!trim_blanks(text.substr(start, semicolon - start)).empty()) {
                malformed(at(start) + ", a part has no \"=\"");
            }
            i = semicolon + 1;  // an empty part (";;" or a last ";") is no part
            continue;
        }
        const std::string key = trim_blanks(text.substr(start, equals - start));
        if (key.empty()) {
            malformed(at(start) + ", a part has no key before \"=\"");
        }
        const std::string folded = to_upper_ascii(key);
        if (!seen.insert(folded).second) {
            malformed(key + " is given twice");
        }
        i = equals + 1;
        const std::string_view raw = read_value(text, i, key);
        ++i;  // past the ";"
        if (iequals(key, "Password")) {
            request.password = password_from_ansi(raw);
            continue;
        }
        if (iequals(key, "DDPassword")) {
            continue;  // a remote server's dictionary password: nothing to a local one
        }
        const std::string value(raw);

        if (iequals(key, "Data Source")) {
            request.data_source = ansi_to_utf8(value);
            has_data_source = true;
        } else if (iequals(key, "ServerType")) {
            request.options.server_types = parse_server_types(value);
        } else if (iequals(key, "TableType")) {
            request.options.default_table_type = parse_table_type(value);
        } else if (iequals(key, "DateFormat")) {
            if (!value.empty()) {
                request.options.date_format = DateFormat(value);
            }
        } else if (iequals(key, "SQLTimeout")) {
            request.options.sql_timeout_seconds = parse_seconds(value);
        } else if (iequals(key, "User ID")) {
            request.options.user_id = ansi_to_utf8(value);
        } else if (iequals(key, "EncryptionType")) {
            request.options.encryption_type = value;
        } else if (iequals(key, "TLSCertificate")) {
            request.options.tls_certificate = value;
        } else if (iequals(key, "TLSCiphers")) {
            request.options.tls_ciphers = value;
        } else if (iequals(key, "TLSCommonName")) {
            request.options.tls_common_name = value;
        } else if (iequals(key, "FIPS")) {
            request.options.fips = iequals(value, "True");
        } else if (iequals(key, "CommType")) {
            request.options.comm_type = comm_type_of(value);
        }
        // Every other key, a remote transport's (Compression, ...) as any this engine does not
        // know, is accepted and has no effect on a local connection. The transport keys above
        // are only kept: a local connection has no transport.
    }
    if (!has_data_source || trim_blanks(request.data_source).empty()) {
        fail(VE_INVALID_CONNECT_STRING, "it has no Data Source");
    }
    return request;
}

}  // namespace varelum::engine
