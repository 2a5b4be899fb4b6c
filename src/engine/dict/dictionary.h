// A data dictionary: one file (".add", kept in the same storage as a table file) that holds
// the database's properties, its users with salted password hashes, groups and membership,
// the tables registered by name with their rights per user or group, procedures and links to
// other dictionaries. A dictionary connection logs in against it; the rights it grants are
// then enforced by every table call of that connection.
//
// Objects live in one ordered key tree of the file: the key is the object type (2 bytes,
// big-endian) and the upper-cased name, so names are unique per type without regard to case;
// the value is the name as given and a list of named properties. Every change is one write
// transaction of the file, so several processes may administer one dictionary.
//
// The dictionary guards who may do what through the engine; whoever can read the files can
// read them. Protecting the files themselves is the operating system's permissions' job.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varelum::engine {

class TableFile;
class TableStore;   // storage/table_store.h
class ActiveLinks;  // dictionary_links.h
class SecretText;   // secret.h

// Object types; the values are those of the C interface (VE_DD_...).
enum class DictObjectType : std::uint16_t {
    Table = 1,
    User = 7,
    UserGroup = 8,
    Procedure = 10,
    Link = 11,
};

// Rights on a table (bits, the C interface's VE_DD_RIGHT_...).
constexpr std::uint8_t kRightRead = 1;
constexpr std::uint8_t kRightUpdate = 2;
constexpr std::uint8_t kRightInsert = 4;
constexpr std::uint8_t kRightDelete = 8;
constexpr std::uint8_t kAllRights = kRightRead | kRightUpdate | kRightInsert | kRightDelete;

struct DictObject {
    DictObjectType type = DictObjectType::Table;
    std::string name;  // as given (UTF-8)
    // Property names are this file's own (see dictionary.cpp); values are UTF-8 text.
    std::map<std::string, std::string> properties;

    std::string property(const std::string& key) const;
};

// Who a dictionary connection logged in as.
struct DictLogin {
    std::string user;  // as stored
    bool administrator = false;
    std::vector<std::string> groups;  // as stored, in the order they were joined
};

// The rights a login has on one registered table: the table's, and the update and insert
// rights per field where a grant names fields (upper-cased field name → bits).
struct GrantedRights {
    std::uint8_t table = 0;
    std::map<std::string, std::uint8_t> columns;
    std::uint8_t column(std::string_view field) const;
};

class Dictionary {
  public:
    // The name of the administrator every dictionary is created with; the administrator
    // holds every right and alone may change the dictionary.
    static constexpr const char* kAdministrator = "Admin";

    // Creates a new dictionary file at path (which must not exist), with the administrator's
    // password. Throws VE_DICTIONARY_EXISTS, VE_FILE_ERROR.
    static void create(const std::string& path, std::string_view admin_password,
                       std::string_view description);
    // Opens the dictionary at path. Throws VE_TABLE_NOT_FOUND, VE_NOT_A_DICTIONARY and what
    // opening a table file throws.
    static std::shared_ptr<Dictionary> open(const std::string& path);
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    const std::string& path() const { return path_; }
    // The folder of the dictionary file: registered table paths are relative to it.
    std::string directory() const;
    // The store of the dictionary's folder, through which its tables are reached.
    TableStore& store() const { return *store_; }

    // Checks the user's password. Throws VE_LOGIN_FAILED (the same for an unknown user and a
    // wrong password, so that nobody learns which users exist).
    DictLogin log_in(std::string_view user, std::string_view password) const;

    std::optional<DictObject> find(DictObjectType type, std::string_view name) const;
    std::vector<DictObject> list(DictObjectType type) const;
    // Adds the object, or replaces the one of the same type and name.
    void put(const DictObject& object);
    // False when there was none.
    bool remove(DictObjectType type, std::string_view name);
    // Puts the object in the place of the one named old_name (of its type), in one change.
    void rename(std::string_view old_name, const DictObject& object);

    // The registered table whose file is path (absolute), if any.
    std::optional<DictObject> table_by_path(const std::string& path) const;
    // The absolute path of a registered table's file.
    std::string table_path(const DictObject& table) const;
    GrantedRights rights_of(const DictLogin& login, const DictObject& table) const;

    // Database properties.
    std::string database_property(const std::string& key) const;
    void set_database_property(const std::string& key, const std::string& value);

  private:
    Dictionary(std::unique_ptr<TableStore> store, std::shared_ptr<TableFile> file);
    std::unique_ptr<TableStore> store_;
    std::shared_ptr<TableFile> file_;
    std::string path_;
};

// An empty set of open links, for a new session.
std::shared_ptr<ActiveLinks> no_active_links();

// What a dictionary connection holds: the dictionary, who logged in, and the links it opened.
struct DictionarySession {
    std::shared_ptr<Dictionary> dictionary;
    DictLogin login;
    // The log-in's password in guarded memory, for links that log in as this user; no call
    // answers it. None for a session opened through a link (links are followed one step).
    std::shared_ptr<const SecretText> password;
    std::shared_ptr<ActiveLinks> links = no_active_links();
};

// Whether a connection path names a dictionary (ends in ".add", without regard to case).
bool is_dictionary_path(std::string_view path);

// The property names kept in objects (shared by the dictionary and the C interface).
namespace dict_property {
inline constexpr const char* kPasswordHash = "password-hash";
inline constexpr const char* kGroups = "groups";  // a user's groups, ";"-separated
inline constexpr const char* kDescription = "description";
inline constexpr const char* kPath = "path";  // a table's file, relative to the dictionary
inline constexpr const char* kDefaultIndex = "default-index";
inline constexpr const char* kPrimaryKey = "primary-key";
inline constexpr const char* kSqlText = "sql";             // a procedure's body
inline constexpr const char* kParameters = "parameters";   // a procedure's, ";"-separated
inline constexpr const char* kLinkedPath = "linked-path";  // a link's dictionary
inline constexpr const char* kLinkOptions = "link-options";
inline constexpr const char* kLinkUser = "link-user";
inline constexpr const char* kLinkPassword = "link-password";  // sealed (secret.h)
// A database property: the key link passwords are sealed with (made with the first link).
inline constexpr const char* kLinkKey = "link-key";
// A table's grant to a user or group: "right:" + upper-cased grantee → bits as decimal text;
// "column:" + upper-cased grantee + ":" + upper-cased field → bits.
inline constexpr const char* kRightPrefix = "right:";
inline constexpr const char* kColumnPrefix = "column:";
}  // namespace dict_property

}  // namespace varelum::engine
