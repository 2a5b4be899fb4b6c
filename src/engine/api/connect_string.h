// The connection string of AdsConnect101: "key=value;key=value;...", keys compared without
// regard to case and blanks around keys and values dropped. A value in double quotes may hold
// ";" (a password); nothing but blanks may follow its closing quote.
//
// Keys this engine honours: Data Source (required), ServerType (LOCAL, REMOTE, INTERNET, or a
// mask, joined by "|"), TableType (ADT, CDX, NTX, VFP), DateFormat, SQLTimeout (seconds), and
// User ID and Password, for data dictionaries (DDPassword is accepted and has no effect). Keys of a
// remote transport, which mean nothing to local tables (FIPS, EncryptionType, TLSCertificate,
// TLSCommonName, TLSCiphers, CommType, Compression, IncrementUserCount, StoredProcedureConnection),
// and keys this engine does not know are accepted and have no effect; the first six are kept, as
// the connection's properties tell them.
//
// A malformed string fails with VE_INVALID_CONNECT_STRING: a part without "=", an empty key,
// a key given twice (the later one would silently win, so a user name holding
// ";Data Source=..." could redirect the connection), an unterminated quoted value, text after
// a closing quote, and a value of a known key that it cannot take. The error text names the
// key or the character position, never a value, as a value may be a password.
#pragma once

#include <string>
#include <string_view>

#include "engine/dict/secret.h"
#include "engine/table/connection.h"

namespace varelum::engine {

// What a connection string asks for: the connection path (UTF-8), the connection's options
// (the log-in's texts in UTF-8; FIPS is true for "True" in any case; an unknown CommType name
// is VE_COMM_DEFAULT) and the log-in's password in UTF-8, held only in wiped memory (it goes
// into options.password only for a free connection, which answers it back).
struct ConnectRequest {
    std::string data_source;
    ConnectionOptions options;
    WipedString password;
};

// Throws EngineError(VE_INVALID_CONNECT_STRING) for a malformed string, and for a string
// without a Data Source; what a DateFormat that is no date format throws.
ConnectRequest parse_connect_string(std::string_view text);

}  // namespace varelum::engine
