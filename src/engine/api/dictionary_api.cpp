// Exported functions: data dictionaries (creating one, its users, groups, tables and rights,
// its properties and the lists of its objects).
#include <algorithm>

#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary.h"
#include "engine/dict/dictionary_admin.h"
#include "engine/dict/secret.h"
#include "engine/sql/procedures.h"
#include "engine/storage/table_file.h"

using namespace varelum::engine;

namespace {

// The names of one enumeration, taken when it starts (AdsDDFindFirstObject).
class DictionaryFind : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::DictionaryFind;
    explicit DictionaryFind(std::vector<std::string> names) : names_(std::move(names)) {}
    HandleKind kind() const override { return kKind; }
    std::optional<std::string> next() {
        return next_ < names_.size() ? std::optional<std::string>(names_[next_++]) : std::nullopt;
    }

  private:
    std::vector<std::string> names_;
    std::size_t next_ = 0;
};

DictionarySession& session_of(ADSHANDLE handle) {
    auto connection = connection_of(handle);
    if (!connection->dictionary()) {
        fail(VE_DICTIONARY_ONLY, "the call needs a data dictionary connection");
    }
    return *connection->dictionary();
}

DictionaryAdmin admin_of(ADSHANDLE handle) {
    auto connection = connection_of(handle);
    require_administrator(connection->dictionary().get());
    return DictionaryAdmin(*connection->dictionary()->dictionary);
}

std::string text_of(const UNSIGNED8* text) {
    return ansi_to_utf8(c_text(text));
}

// A text property into the caller's buffer. A missing buffer or one too small gets the length
// it needs (with the terminating zero) and VE_BUFFER_TOO_SMALL, so a caller can ask first and
// read second; an empty value is VE_DD_PROPERTY_NOT_SET.
void put_property(const std::string& value_utf8, void* buffer, UNSIGNED16* length) {
    UNSIGNED16& capacity = out(length);
    if (value_utf8.empty()) {
        capacity = 0;
        fail(VE_DD_PROPERTY_NOT_SET);
    }
    std::string text = utf8_to_ansi(value_utf8);
    if (buffer == nullptr || capacity <= text.size()) {
        auto* bytes = static_cast<UNSIGNED8*>(buffer);
        if (bytes != nullptr && capacity > 0) {
            std::memcpy(bytes, text.data(), capacity - 1u);
            bytes[capacity - 1] = 0;
        }
        capacity = static_cast<UNSIGNED16>(std::min<std::size_t>(text.size() + 1, 0xFFFF));
        fail(VE_BUFFER_TOO_SMALL, "it needs " + std::to_string(text.size() + 1) + " bytes");
    }
    std::memcpy(buffer, text.data(), text.size());
    static_cast<UNSIGNED8*>(buffer)[text.size()] = 0;
    capacity = static_cast<UNSIGNED16>(text.size());
}

void put_u16_property(UNSIGNED16 value, void* buffer, UNSIGNED16* length) {
    if (buffer == nullptr || out(length) < sizeof(UNSIGNED16)) {
        fail(VE_INVALID_ARGUMENT, "a 16-bit property needs 2 bytes");
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof value;
}

std::string property_text(const void* value, UNSIGNED16 length) {
    if (value == nullptr) {
        return std::string();
    }
    std::string_view bytes(static_cast<const char*>(value), length);
    // A zero ends the text when the caller passed its terminator in the length.
    bytes = bytes.substr(0, bytes.find('\0'));
    return ansi_to_utf8(bytes);
}

const char* table_property_key(UNSIGNED16 property) {
    switch (property) {
        case VE_DD_TABLE_DEFAULT_INDEX:
            return dict_property::kDefaultIndex;
        case VE_DD_TABLE_PRIMARY_KEY:
            return dict_property::kPrimaryKey;
        case VE_DD_TABLE_PATH:
            return dict_property::kPath;
        case VE_DD_COMMENT:
            return dict_property::kDescription;
        default:
            fail(VE_INVALID_ARGUMENT, "table property " + std::to_string(property));
    }
}

DictObjectType object_type(UNSIGNED16 type) {
    switch (type) {
        case VE_DD_TABLE_OBJECT:
        case VE_DD_USER_OBJECT:
        case VE_DD_USER_GROUP_OBJECT:
        case VE_DD_PROCEDURE_OBJECT:
        case VE_DD_LINK_OBJECT:
            return static_cast<DictObjectType>(type);
        default:
            fail(VE_INVALID_ARGUMENT, "object type " + std::to_string(type));
    }
}

std::uint8_t rights_bits(UNSIGNED32 rights) {
    if (rights == 0 || (rights & ~static_cast<UNSIGNED32>(kAllRights)) != 0) {
        fail(VE_INVALID_ARGUMENT, "rights " + std::to_string(rights));
    }
    return static_cast<std::uint8_t>(rights);
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsDDCreate(const UNSIGNED8* pucDictionaryPath, const UNSIGNED8* pucAdminPassword,
                              const UNSIGNED8* pucDescription, ADSHANDLE* phConnect) {
    return guarded([&] {
        ADSHANDLE& result = out(phConnect);
        std::string path = normalize_path(text_of(pucDictionaryPath));
        if (!is_dictionary_path(path)) {
            fail(VE_INVALID_ARGUMENT, "a data dictionary's file name ends in .add");
        }
        const WipedString password = password_from_ansi(c_text(pucAdminPassword));
        if (password.empty()) {
            fail(VE_INVALID_ARGUMENT, "the administrator needs a password");
        }
        Dictionary::create(path, password.view(), text_of(pucDescription));
        auto session = std::make_shared<DictionarySession>();
        session->dictionary = Dictionary::open(path);
        session->login = session->dictionary->log_in(Dictionary::kAdministrator, password.view());
        session->password = std::make_shared<const SecretText>(password.view());
        auto connection = std::make_shared<Connection>(session->dictionary->directory(),
                                                       ConnectionOptions{}, false);
        connection->set_dictionary(std::move(session));
        result = HandleRegistry::instance().add(std::move(connection));
    });
}

VE_API UNSIGNED32 AdsDDCreateUser(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                  const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword,
                                  const UNSIGNED8* pucDescription) {
    return guarded([&] {
        const WipedString password = password_from_ansi(c_text(pucPassword));
        admin_of(hConnect).create_user(text_of(pucUserName), password.view(),
                                       text_of(pucDescription), text_of(pucGroupName));
    });
}

VE_API UNSIGNED32 AdsDDDeleteUser(ADSHANDLE hConnect, const UNSIGNED8* pucUserName) {
    return guarded([&] { admin_of(hConnect).delete_user(text_of(pucUserName)); });
}

VE_API UNSIGNED32 AdsDDSetUserPassword(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       const UNSIGNED8* pucPassword) {
    return guarded([&] {
        const WipedString password = password_from_ansi(c_text(pucPassword));
        admin_of(hConnect).set_password(text_of(pucUserName), password.view());
    });
}

VE_API UNSIGNED32 AdsDDCreateUserGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                       const UNSIGNED8* pucDescription) {
    return guarded(
        [&] { admin_of(hConnect).create_group(text_of(pucGroupName), text_of(pucDescription)); });
}

VE_API UNSIGNED32 AdsDDDeleteUserGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName) {
    return guarded([&] { admin_of(hConnect).delete_group(text_of(pucGroupName)); });
}

VE_API UNSIGNED32 AdsDDAddUserToGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                      const UNSIGNED8* pucUserName) {
    return guarded(
        [&] { admin_of(hConnect).add_member(text_of(pucGroupName), text_of(pucUserName)); });
}

VE_API UNSIGNED32 AdsDDRemoveUserFromGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                           const UNSIGNED8* pucUserName) {
    return guarded(
        [&] { admin_of(hConnect).remove_member(text_of(pucGroupName), text_of(pucUserName)); });
}

VE_API UNSIGNED32 AdsDDAddTable(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                const UNSIGNED8* pucTablePath) {
    return guarded(
        [&] { admin_of(hConnect).add_table(text_of(pucTableName), text_of(pucTablePath)); });
}

VE_API UNSIGNED32 AdsDDRemoveTable(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                   UNSIGNED16 usDeleteFiles) {
    return guarded(
        [&] { admin_of(hConnect).remove_table(text_of(pucTableName), usDeleteFiles != 0); });
}

VE_API UNSIGNED32 AdsDDGrantPermission(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                       const UNSIGNED8* pucColumnName, const UNSIGNED8* pucGrantee,
                                       UNSIGNED32 ulPermissions) {
    return guarded([&] {
        admin_of(hConnect).change_rights(text_of(pucTableName), text_of(pucColumnName),
                                         text_of(pucGrantee), rights_bits(ulPermissions), true);
    });
}

VE_API UNSIGNED32 AdsDDRevokePermission(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                        const UNSIGNED8* pucColumnName, const UNSIGNED8* pucGrantee,
                                        UNSIGNED32 ulPermissions) {
    return guarded([&] {
        admin_of(hConnect).change_rights(text_of(pucTableName), text_of(pucColumnName),
                                         text_of(pucGrantee), rights_bits(ulPermissions), false);
    });
}

VE_API UNSIGNED32 AdsDDGetPermissions(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                      const UNSIGNED8* pucColumnName, const UNSIGNED8* pucUserName,
                                      UNSIGNED32* pulPermissions) {
    return guarded([&] {
        UNSIGNED32& result = out(pulPermissions);
        DictionarySession& session = session_of(hConnect);
        const Dictionary& dictionary = *session.dictionary;
        std::string user_name = text_of(pucUserName);
        DictLogin login = session.login;
        if (!user_name.empty() && !iequals(user_name, login.user)) {
            require_administrator(&session);
            auto user = dictionary.find(DictObjectType::User, user_name);
            if (!user) {
                fail(VE_DICTIONARY_ONLY, "user \"" + user_name + "\"");
            }
            login = dictionary.login_of(*user);
        } else if (auto now = dictionary.current_login(login)) {
            login = *now;
        } else {
            fail(VE_DICTIONARY_ONLY, "user \"" + login.user + "\"");
        }
        auto table = dictionary.find(DictObjectType::Table, text_of(pucTableName));
        if (!table) {
            fail(VE_DICTIONARY_ONLY, "table \"" + text_of(pucTableName) + "\"");
        }
        GrantedRights rights = dictionary.rights_of(login, *table);
        std::string column = text_of(pucColumnName);
        result = column.empty() ? rights.table : rights.column(column);
    });
}

VE_API UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           void* pvProperty, UNSIGNED16* pusPropertyLen) {
    return guarded([&] {
        const Dictionary& dictionary = *session_of(hConnect).dictionary;
        switch (usPropertyID) {
            case VE_DD_VERSION_MAJOR:
            case VE_DD_VERSION_MINOR: {
                std::string text = dictionary.database_property(
                    usPropertyID == VE_DD_VERSION_MAJOR ? "version-major" : "version-minor");
                put_u16_property(static_cast<UNSIGNED16>(text.empty() ? 0 : std::stoul(text)),
                                 pvProperty, pusPropertyLen);
                break;
            }
            case VE_DD_COMMENT:
                put_property(dictionary.database_property(dict_property::kDescription), pvProperty,
                             pusPropertyLen);
                break;
            default:
                fail(VE_INVALID_ARGUMENT, "database property " + std::to_string(usPropertyID));
        }
    });
}

VE_API UNSIGNED32 AdsDDSetDatabaseProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           const void* pvProperty, UNSIGNED16 usPropertyLen) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        require_administrator(connection->dictionary().get());
        Dictionary& dictionary = *connection->dictionary()->dictionary;
        switch (usPropertyID) {
            case VE_DD_VERSION_MAJOR:
            case VE_DD_VERSION_MINOR: {
                if (pvProperty == nullptr || usPropertyLen < sizeof(UNSIGNED16)) {
                    fail(VE_INVALID_ARGUMENT, "a 16-bit property needs 2 bytes");
                }
                UNSIGNED16 value = 0;
                std::memcpy(&value, pvProperty, sizeof value);
                dictionary.set_database_property(
                    usPropertyID == VE_DD_VERSION_MAJOR ? "version-major" : "version-minor",
                    std::to_string(value));
                break;
            }
            case VE_DD_COMMENT:
                dictionary.set_database_property(dict_property::kDescription,
                                                 property_text(pvProperty, usPropertyLen));
                break;
            default:
                fail(VE_INVALID_ARGUMENT, "database property " + std::to_string(usPropertyID));
        }
    });
}

VE_API UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       UNSIGNED16 usPropertyID, void* pvProperty,
                                       UNSIGNED16* pusPropertyLen) {
    return guarded([&] {
        DictionarySession& session = session_of(hConnect);
        std::string name = text_of(pucUserName);
        // A user reads their own properties; the administrator anyone's.
        if (!iequals(name, session.login.user)) {
            require_administrator(&session);
        }
        auto user = session.dictionary->find(DictObjectType::User, name);
        if (!user) {
            fail(VE_DICTIONARY_ONLY, "user \"" + name + "\"");
        }
        switch (usPropertyID) {
            case VE_DD_USER_GROUP_MEMBERSHIP:
                put_property(user->property(dict_property::kGroups), pvProperty, pusPropertyLen);
                break;
            case VE_DD_COMMENT:
                put_property(user->property(dict_property::kDescription), pvProperty,
                             pusPropertyLen);
                break;
            case VE_DD_USER_FAILED_LOG_INS:
                put_u16_property(static_cast<UNSIGNED16>(std::min<std::uint32_t>(
                                     session.dictionary->failed_log_ins(*user).count, 0xFFFF)),
                                 pvProperty, pusPropertyLen);
                break;
            case VE_DD_USER_LOCKED_SECONDS: {
                if (pvProperty == nullptr || out(pusPropertyLen) < sizeof(UNSIGNED32)) {
                    fail(VE_INVALID_ARGUMENT, "a 32-bit property needs 4 bytes");
                }
                const auto seconds = static_cast<UNSIGNED32>(std::min<std::int64_t>(
                    session.dictionary->failed_log_ins(*user).locked_seconds, 0xFFFFFFFF));
                std::memcpy(pvProperty, &seconds, sizeof seconds);
                *pusPropertyLen = sizeof seconds;
                break;
            }
            default:
                fail(VE_INVALID_ARGUMENT, "user property " + std::to_string(usPropertyID));
        }
    });
}

VE_API UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       UNSIGNED16 usPropertyID, const void* pvProperty,
                                       UNSIGNED16 usPropertyLen) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        require_administrator(connection->dictionary().get());
        Dictionary& dictionary = *connection->dictionary()->dictionary;
        std::string name = text_of(pucUserName);
        if (!dictionary.find(DictObjectType::User, name)) {
            fail(VE_DICTIONARY_ONLY, "user \"" + name + "\"");
        }
        UNSIGNED16 value = 1;
        if (pvProperty != nullptr && usPropertyLen >= sizeof value) {
            std::memcpy(&value, pvProperty, sizeof value);
        }
        if (usPropertyID != VE_DD_USER_FAILED_LOG_INS || value != 0) {
            fail(VE_INVALID_ARGUMENT, "user property " + std::to_string(usPropertyID) +
                                          ": only a count of failed log-ins of 0 is set");
        }
        dictionary.clear_failed_log_ins(name);
    });
}

VE_API UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                        UNSIGNED16 usPropertyID, void* pvProperty,
                                        UNSIGNED16* pusPropertyLen) {
    return guarded([&] {
        DictionarySession& session = session_of(hDictionary);
        std::string name = text_of(pucTableName);
        auto table = session.dictionary->find(DictObjectType::Table, name);
        if (!table) {
            fail(VE_DICTIONARY_ONLY, "table \"" + name + "\"");
        }
        put_property(table->property(table_property_key(usPropertyID)), pvProperty, pusPropertyLen);
    });
}

VE_API UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                        UNSIGNED16 usPropertyID, const void* pvProperty,
                                        UNSIGNED16 usPropertyLen) {
    return guarded([&] {
        const char* key = table_property_key(usPropertyID);
        if (usPropertyID == VE_DD_TABLE_PATH) {
            fail(VE_INVALID_ARGUMENT, "a table's path is set when it is added");
        }
        admin_of(hDictionary)
            .set_table_property(text_of(pucTableName), key,
                                property_text(pvProperty, usPropertyLen));
    });
}

VE_API UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, const UNSIGNED8* pucObjectName,
                                    const UNSIGNED8* pucNewObjectName, UNSIGNED16 usObjectType,
                                    UNSIGNED32 ulOptions) {
    (void)ulOptions;
    return guarded([&] {
        if (usObjectType != VE_DD_TABLE_OBJECT) {
            fail(VE_NOT_SUPPORTED, "renaming objects other than tables");
        }
        admin_of(hDictionary).rename_table(text_of(pucObjectName), text_of(pucNewObjectName));
    });
}

VE_API UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hConnect, UNSIGNED16 usFindObjectType,
                                       const UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                       UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFindHandle) {
    return guarded([&] {
        ADSHANDLE& result = out(phFindHandle);
        result = 0;
        DictionarySession& session = session_of(hConnect);
        DictObjectType type = object_type(usFindObjectType);
        std::string parent = text_of(pucParentName);
        std::vector<std::string> names;
        if (type == DictObjectType::User && !parent.empty()) {
            // The users of one group.
            DictionaryAdmin admin(*session.dictionary);
            names = admin.members(parent);
        } else {
            for (const auto& object : session.dictionary->list(type)) {
                names.push_back(object.name);
            }
        }
        auto find = std::make_shared<DictionaryFind>(std::move(names));
        auto first = find->next();
        if (!first) {
            out(pusObjectNameLen) = 0;
            fail(VE_DD_NO_MORE_OBJECTS);
        }
        put_text(utf8_to_ansi(*first), pucObjectName, pusObjectNameLen);
        result = HandleRegistry::instance().add(std::move(find));
    });
}

VE_API UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                      UNSIGNED8* pucObjectName, UNSIGNED16* pusObjectNameLen) {
    return guarded([&] {
        session_of(hConnect);
        auto find = HandleRegistry::instance().get<DictionaryFind>(hFindHandle);
        auto name = find->next();
        if (!name) {
            out(pusObjectNameLen) = 0;
            fail(VE_DD_NO_MORE_OBJECTS);
        }
        put_text(utf8_to_ansi(*name), pucObjectName, pusObjectNameLen);
    });
}

VE_API UNSIGNED32 AdsDDFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle) {
    return guarded([&] {
        (void)hConnect;
        HandleRegistry::instance().get<DictionaryFind>(hFindHandle);
        HandleRegistry::instance().remove(hFindHandle);
    });
}

VE_API UNSIGNED32 AdsDDCreateProcedure(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                       const UNSIGNED8* pucParameters, const UNSIGNED8* pucSQL,
                                       const UNSIGNED8* pucComments) {
    return guarded([&] {
        DictionaryAdmin admin = admin_of(hConnect);
        std::string parameters = text_of(pucParameters);
        std::string body = text_of(pucSQL);
        sql::check_procedure(parameters, body);
        admin.create_procedure(text_of(pucName), parameters, body, text_of(pucComments));
    });
}

VE_API UNSIGNED32 AdsDDDeleteProcedure(ADSHANDLE hConnect, const UNSIGNED8* pucName) {
    return guarded([&] { admin_of(hConnect).delete_procedure(text_of(pucName)); });
}

VE_API UNSIGNED32 AdsDDGetProcedureProperty(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                            UNSIGNED16 usPropertyID, void* pvProperty,
                                            UNSIGNED16* pusPropertyLen) {
    return guarded([&] {
        std::string name = text_of(pucName);
        auto procedure = session_of(hConnect).dictionary->find(DictObjectType::Procedure, name);
        if (!procedure) {
            fail(VE_DICTIONARY_ONLY, "procedure \"" + name + "\"");
        }
        const char* key = usPropertyID == VE_DD_PROC_PARAMETERS ? dict_property::kParameters
                          : usPropertyID == VE_DD_PROC_SQL      ? dict_property::kSqlText
                          : usPropertyID == VE_DD_COMMENT       ? dict_property::kDescription
                                                                : nullptr;
        if (key == nullptr) {
            fail(VE_INVALID_ARGUMENT, "procedure property " + std::to_string(usPropertyID));
        }
        put_property(procedure->property(key), pvProperty, pusPropertyLen);
    });
}

}  // extern "C"
