// The connection string of AdsConnect101: "key=value;key=value;...", keys compared without
// regard to case and blanks around keys and values dropped. A value in double quotes may hold
// ";" (a password); nothing but blanks may follow its closing quote.
//
// Keys this engine honours: Data Source (required), ServerType (LOCAL, REMOTE, INTERNET, or a
// mask, joined by "|"), TableType (ADT, CDX, NTX, VFP), DateFormat, SQLTimeout (seconds), and
// User ID, Password and DDPassword, kept for data dictionaries. Keys of a remote transport,
// which mean nothing to local tables (FIPS, EncryptionType, TLSCertificate, TLSCommonName,
// TLSCiphers, CommType, Compression, IncrementUserCount, StoredProcedureConnection), and keys
// this engine does not know are accepted and have no effect; the first six are kept, as the
// connection's properties tell them.
//
// A malformed string fails with VE_INVALID_CONNECT_STRING: a part without "=", an empty key,
// a key given twice (the later one would silently win, so a user name holding
// ";Data Source=..." could redirect the connection), an unterminated quoted value, text after
// a closing quote, and a value of a known key that it cannot take. The error text names the
// key or the character position, never a value, as a value may be a password.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varelum::engine {

struct ConnectStringParts {
    std::string data_source;  // as given (8-bit text)
    std::optional<std::uint16_t> server_types;
    std::optional<std::uint16_t> table_type;
    std::optional<std::string> date_format;
    std::optional<std::uint32_t> sql_timeout_seconds;
    std::string user_id;
    std::string password;
    std::string dd_password;
    // The remote transport's settings, kept as given so that the connection can tell them.
    std::string encryption_type;
    std::string tls_certificate;
    std::string tls_ciphers;
    std::string tls_common_name;
    bool fips = false;            // "True" (any case) is true
    std::uint32_t comm_type = 0;  // VE_COMM_...; unknown names are VE_COMM_DEFAULT
};

// Throws EngineError(VE_INVALID_CONNECT_STRING) for a malformed string, and for a string
// without a Data Source.
ConnectStringParts parse_connect_string(std::string_view text);

}  // namespace varelum::engine
