// Exported functions: errors, connections and the engine-wide settings.
#include <unistd.h>

#include <cstdio>

#include "engine/api/connect_string.h"
#include "engine/api/guard.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary.h"
#include "engine/dict/secret.h"
#include "engine/env/env.h"
#include "engine/env/files.h"
#include "engine/format/calendar.h"
#include "engine/storage/table_file.h"
#include "engine/table/table_search.h"

using namespace varelum::engine;

namespace {

ADSHANDLE register_connection(std::shared_ptr<Connection> connection) {
    return HandleRegistry::instance().add(std::move(connection));
}

// A number property into the caller's buffer, which must hold one.
template <typename Number>
void put_number(Number value, void* buffer, UNSIGNED32* length) {
    UNSIGNED32& capacity = out(length);
    if (buffer == nullptr || capacity < sizeof(Number)) {
        fail(VE_INVALID_ARGUMENT,
             "the property needs " + std::to_string(sizeof(Number)) + " bytes");
    }
    std::memcpy(buffer, &value, sizeof(Number));
    capacity = sizeof(Number);
}

// A connection to a folder of free tables, or to a data dictionary, which logs in first. The
// password then moves to guarded memory, where only links that log in as the connection's
// user read it; no call answers it.
std::shared_ptr<Connection> make_connection(const std::string& path, ConnectionOptions options,
                                            const WipedString& password = WipedString()) {
    if (!is_dictionary_path(path)) {
        // A free connection's password guards nothing; it is kept to be told back.
        options.password = std::string(password.view());
        return std::make_shared<Connection>(path, std::move(options), false);
    }
    std::string dictionary_path = normalize_path(path);
    std::shared_ptr<Dictionary> dictionary;
    try {
        dictionary = Dictionary::open(dictionary_path);
    } catch (const EngineError& error) {
        if (error.code() == VE_TABLE_NOT_FOUND) {
            fail(VE_PATH_NOT_FOUND, dictionary_path);
        }
        throw;
    }
    auto session = std::make_shared<DictionarySession>();
    session->login = dictionary->log_in(options.user_id, password.view());
    if (session->login.administrator) {
        // A dictionary an earlier engine wrote gets its id and checksums now: the
        // administrator is who may write it.
        dictionary->upgrade();
    }
    session->dictionary = std::move(dictionary);
    session->password = std::make_shared<const SecretText>(password.view());
    auto connection =
        std::make_shared<Connection>(session->dictionary->directory(), std::move(options), false);
    connection->set_dictionary(std::move(session));
    return connection;
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf,
                                  UNSIGNED16* pusBufLen) {
    // Reports the last error without replacing it.
    try {
        const LastError& error = last_error();
        if (pulErrCode != nullptr) {
            *pulErrCode = error.code;
        }
        if (pucBuf == nullptr || pusBufLen == nullptr || *pusBufLen == 0) {
            if (pusBufLen != nullptr && pucBuf == nullptr) {
                *pusBufLen = 0;
            }
            return VE_SUCCESS;
        }
        std::string text = utf8_to_ansi(error.text);
        std::size_t capacity = *pusBufLen;
        std::size_t count = std::min(capacity - 1, text.size());
        std::memcpy(pucBuf, text.data(), count);
        pucBuf[count] = 0;
        *pusBufLen = static_cast<UNSIGNED16>(count);
        return count < text.size() ? VE_BUFFER_TOO_SMALL : VE_SUCCESS;
    } catch (...) {
        return VE_INTERNAL_ERROR;
    }
}

VE_API UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf,
                                    UNSIGNED16* pusBufLen) {
    try {
        if (pucBuf == nullptr || pusBufLen == nullptr || *pusBufLen == 0) {
            return VE_INVALID_ARGUMENT;
        }
        std::string text = error_text(ulErrCode);
        std::size_t count = std::min<std::size_t>(*pusBufLen - 1, text.size());
        std::memcpy(pucBuf, text.data(), count);
        pucBuf[count] = 0;
        *pusBufLen = static_cast<UNSIGNED16>(count);
        return count < text.size() ? VE_BUFFER_TOO_SMALL : VE_SUCCESS;
    } catch (...) {
        return VE_INTERNAL_ERROR;
    }
}

VE_API UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucDetails) {
    try {
        if (ulErrCode == 0) {
            clear_last_error();
            return VE_SUCCESS;
        }
        std::string text =
            pucDetails != nullptr ? ansi_to_utf8(c_text(pucDetails)) : error_text(ulErrCode);
        set_last_error(ulErrCode, std::move(text));
        return ulErrCode;
    } catch (...) {
        return VE_INTERNAL_ERROR;
    }
}

VE_API UNSIGNED32 AdsShowError(const UNSIGNED8* pucTitle) {
    try {
        const LastError& error = last_error();
        std::string title(c_text(pucTitle));
        if (error.code == 0) {
            std::fprintf(stderr, "%s\n", title.c_str());
        } else {
            std::fprintf(stderr, "%s: %u %s\n", title.c_str(), error.code, error.text.c_str());
        }
        std::fflush(stderr);
        return VE_SUCCESS;
    } catch (...) {
        return VE_INTERNAL_ERROR;
    }
}

VE_API UNSIGNED32 AdsThreadExit(void) {
    LastError& error = last_error();
    error.code = 0;
    std::string().swap(error.text);
    return VE_SUCCESS;
}

VE_API UNSIGNED32 AdsConnect(const UNSIGNED8* pucServerName, ADSHANDLE* phConnect) {
    return guarded([&] {
        ADSHANDLE& result = out(phConnect);
        std::string path = ansi_to_utf8(c_text(pucServerName));
        if (trim_blanks(path).empty()) {
            fail(VE_PATH_NOT_FOUND, "no path given");
        }
        result = register_connection(make_connection(path, ConnectionOptions{}));
    });
}

VE_API UNSIGNED32 AdsConnect101(const UNSIGNED8* pucConnectString, const ADSHANDLE* phOptions,
                                ADSHANDLE* phConnect) {
    return guarded([&] {
        ADSHANDLE& result = out(phConnect);
        if (phOptions != nullptr && *phOptions != 0) {
            fail(VE_NOT_SUPPORTED, "connection options");
        }
        ConnectRequest request = parse_connect_string(c_text(pucConnectString));
        result = register_connection(
            make_connection(request.data_source, std::move(request.options), request.password));
    });
}

VE_API UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        std::exception_ptr first_failure;
        for (const auto& table : connection->tables()) {
            try {
                TableCursor::CallScope scope(*table, TableCursor::CallScope::Purpose::Close);
                table->close();
            } catch (...) {
                if (!first_failure) {
                    first_failure = std::current_exception();
                }
            }
            HandleRegistry::instance().remove(table->handle());
        }
        for (const auto& object : HandleRegistry::instance().all(HandleKind::TableSearch)) {
            if (static_cast<const TableSearch&>(*object).connection_handle() == hConnect) {
                HandleRegistry::instance().remove(object->handle());
            }
        }
        if (connection->transaction() != nullptr) {
            // A transaction left open is not committed by going away.
            try {
                connection->rollback_transaction();
            } catch (...) {
                if (!first_failure) {
                    first_failure = std::current_exception();
                }
            }
        }
        HandleRegistry::instance().remove(hConnect);
        if (first_failure) {
            std::rethrow_exception(first_failure);
        }
    });
}

VE_API UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType) {
    return guarded([&] {
        connection_of(hConnect);
        out(pusConnectType) = VE_SERVER_LOCAL;
    });
}

VE_API UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucPath, UNSIGNED16* pusLen) {
    return guarded(
        [&] { put_text(utf8_to_ansi(connection_of(hConnect)->path()), pucPath, pusLen); });
}

VE_API UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbAlive) {
    return guarded([&] { out(pbAlive) = connection_of(hConnect)->store().alive(); });
}

VE_API UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return guarded([&] {
        connection_of(hConnect);
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) {
            std::strcpy(host, "localhost");
        }
        put_text(host, pucName, pusLen);
    });
}

VE_API UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16* pusDateLen,
                                   SIGNED32* plTime, UNSIGNED8* pucTime, UNSIGNED16* pusTimeLen) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        LocalTime now = local_now();
        std::int32_t julian = format::julian_from_civil(now.year, now.month, now.day);
        std::int32_t ms = now.milliseconds / 1000 * 1000;  // the server time has whole seconds
        if (plTime != nullptr) {
            *plTime = ms;
        }
        if (pucTime != nullptr) {
            put_text(format::format_time(ms), pucTime, pusTimeLen);
        }
        if (pucDate != nullptr) {
            put_text(connection->date_format().format(julian), pucDate, pusDateLen);
        }
    });
}

VE_API UNSIGNED32 AdsGetConnectionProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           void* pvProperty, UNSIGNED32* pulPropertyLen) {
    return guarded([&] {
        const ConnectionOptions options = connection_of(hConnect)->options();
        auto* text = static_cast<UNSIGNED8*>(pvProperty);
        switch (usPropertyID) {
            case VE_CONNECTION_PROP_USERNAME:
                return put_text(utf8_to_ansi(options.user_id), text, pulPropertyLen);
            case VE_CONNECTION_PROP_PASSWORD:
                return put_text(utf8_to_ansi(options.password), text, pulPropertyLen);
            case VE_CONNECTION_PROP_COMM_TYPE:
                return put_number<UNSIGNED32>(options.comm_type, pvProperty, pulPropertyLen);
            case VE_CONNECTION_PROP_ENCRYPTION_TYPE:
                return put_text(options.encryption_type, text, pulPropertyLen);
            case VE_CONNECTION_PROP_FIPS:
                return put_number<UNSIGNED16>(options.fips ? 1 : 0, pvProperty, pulPropertyLen);
            case VE_CONNECTION_PROP_TLS_CERTIFICATE:
                return put_text(options.tls_certificate, text, pulPropertyLen);
            case VE_CONNECTION_PROP_TLS_CIPHERS:
                return put_text(options.tls_ciphers, text, pulPropertyLen);
            case VE_CONNECTION_PROP_TLS_COMMON_NAME:
                return put_text(options.tls_common_name, text, pulPropertyLen);
            default:
                fail(VE_INVALID_ARGUMENT, "no connection property " + std::to_string(usPropertyID));
        }
    });
}

VE_API UNSIGNED32 AdsCloseCachedTables(ADSHANDLE hConnect) {
    return guarded([&] {
        // The process keeps the files of tables closed last open for their next open; those of
        // this connection's store that no handle uses are let go of.
        TableStore& store = connection_of(hConnect)->store();
        for (const std::string& name : store.list("*")) {
            store.release_unused(store.listed_location(name));
        }
    });
}

VE_API UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, const UNSIGNED8* pucFileName,
                                    UNSIGNED16* pbExists) {
    return guarded([&] {
        UNSIGNED16& exists = out(pbExists);
        std::string name = ansi_to_utf8(c_text(pucFileName));
        std::string path;
        if (hConnect == 0) {
            path = normalize_path(name);
        } else {
            path = connection_of(hConnect)->resolve(name);
        }
        FileStatus info;
        exists = env().stat_file(path, info) == 0;
    });
}

VE_API UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType) {
    return guarded([&] {
        out(pusType) = static_cast<UNSIGNED16>(HandleRegistry::instance().find(hObj)->kind());
    });
}

VE_API UNSIGNED32 AdsSetServerType(UNSIGNED16 usServerOptions) {
    return guarded([&] {
        if (usServerOptions == 0 || (usServerOptions & ~7u) != 0) {
            fail(VE_INVALID_ARGUMENT, "server type mask " + std::to_string(usServerOptions));
        }
        EngineSettings::instance().set_server_types(usServerOptions);
    });
}

VE_API UNSIGNED32 AdsSetDateFormat(const UNSIGNED8* pucFormat) {
    return guarded(
        [&] { EngineSettings::instance().set_date_format(DateFormat(c_text(pucFormat))); });
}

VE_API UNSIGNED32 AdsGetDateFormat(UNSIGNED8* pucFormat, UNSIGNED16* pusLen) {
    return guarded(
        [&] { put_text(EngineSettings::instance().date_format().pattern(), pucFormat, pusLen); });
}

VE_API UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, const UNSIGNED8* pucFormat) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        connection->set_date_format(DateFormat(c_text(pucFormat)));
    });
}

VE_API UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted) {
    return guarded([&] { EngineSettings::instance().set_show_deleted(bShowDeleted != 0); });
}

VE_API UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted) {
    return guarded([&] { out(pbShowDeleted) = EngineSettings::instance().show_deleted(); });
}

VE_API UNSIGNED32 AdsSetDecimals(UNSIGNED16 usDecimals) {
    return guarded([&] {
        if (usDecimals > 20) {
            fail(VE_INVALID_ARGUMENT, "at most 20 decimals");
        }
        EngineSettings::instance().set_decimals(usDecimals);
    });
}

VE_API UNSIGNED32 AdsGetDecimals(UNSIGNED16* pusDecimals) {
    return guarded(
        [&] { out(pusDecimals) = static_cast<UNSIGNED16>(EngineSettings::instance().decimals()); });
}

VE_API UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen) {
    return guarded([&] { EngineSettings::instance().cached_tables = usOpen; });
}

VE_API UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen) {
    return guarded([&] { EngineSettings::instance().cached_cursors = usOpen; });
}

VE_API UNSIGNED32 AdsGetNumOpenTables(UNSIGNED16* pusNum) {
    return guarded([&] {
        out(pusNum) =
            static_cast<UNSIGNED16>(HandleRegistry::instance().all(HandleKind::Table).size());
    });
}

VE_API UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                                UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen) {
    return guarded([&] {
        if (pulMajor != nullptr)
            *pulMajor = 1;
        if (pulMinor != nullptr)
            *pulMinor = 0;
        if (pucLetter != nullptr)
            *pucLetter = ' ';
        if (pucDesc != nullptr) {
            put_text("Varelum store engine 1.0", pucDesc, pusDescLen);
        }
    });
}

}  // extern "C"
