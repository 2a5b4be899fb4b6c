// A data dictionary: one file (".add", kept in the same storage as a table file) that holds
// the database's properties, its users with salted password hashes, groups and membership,
// the tables registered by name with their rights per user or group, procedures and links to
// other dictionaries. A dictionary connection logs in against it; the rights it grants are
// then enforced by every table call of that connection, against the dictionary as it stands
// at that call (version()).
//
// Objects live in one ordered key tree of the file: the key is the object type (2 bytes,
// big-endian) and the upper-cased name, so names are unique per type without regard to case;
// the value is a checksum over key and value, then the name as given and a list of named
// properties (dictionary.cpp has the layout). Every change is one write transaction of the
// file, so several processes may administer one dictionary. A dictionary has a random id that
// every table it registers carries in its own file (table_binding.h), so that a table belongs
// to the dictionary, not to a spelling of its path.
//
// The dictionary guards who may do what through the engine; whoever can write the dictionary
// file itself can change it at will, and whoever can read it can read it. Protecting the
// files themselves is the operating system's permissions' job: a new dictionary is readable
// and writable by its owner only.
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
class TableStore;     // storage/table_store.h
struct TableBinding;  // table_binding.h
class ActiveLinks;    // dictionary_links.h
class SecretText;     // secret.h

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
    // password, in one step: made whole under a hidden name beside it, readable and writable
    // by its owner only (0600, whatever the umask), synced and then renamed into place, so
    // that a crash leaves no half-made dictionary. Throws VE_DICTIONARY_EXISTS, VE_FILE_ERROR.
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
    // The dictionary's random id (hex text); empty in a dictionary written by an engine before
    // ids, until its administrator's next log-in upgrades it.
    std::string id() const;
    // What a table registered here carries in its file.
    TableBinding binding() const;
    // Whether a table file bound so belongs to this dictionary: the same id, or for a file
    // bound before ids, the same dictionary file.
    bool holds(const TableBinding& binding) const;
    // A number that changes with every change of the dictionary, by any process; cheap, so
    // that every table call can tell whether the rights it holds are still those granted.
    std::uint64_t version() const;

    // Checks the user's password. Throws VE_LOGIN_FAILED (the same for an unknown user, a
    // wrong password and a user locked out, so that nobody learns which users exist). A wrong
    // password answers only after a delay that doubles with each failure of that user since
    // the last success (kept in the dictionary, so across processes); after
    // kFailuresBeforeLockout of them the user is locked out for kLockoutSeconds, refused
    // whatever the password, until then or until the administrator lifts it
    // (clear_failed_log_ins). The administrator is never locked out (nobody could lift it);
    // the delay keeps growing instead, up to kMostDoublings doublings.
    DictLogin log_in(std::string_view user, std::string_view password);
    static constexpr std::uint32_t kFailuresBeforeLockout = 5;
    static constexpr std::int64_t kLockoutSeconds = 15 * 60;
    // The delay after the first failure; each further one doubles it.
    static constexpr std::int64_t kFirstDelayMilliseconds = 100;
    static constexpr std::uint32_t kMostDoublings = 7;
    // A user's failed log-ins since the last success, and the seconds the lockout still lasts.
    struct LogInFailures {
        std::uint32_t count = 0;
        std::int64_t locked_seconds = 0;
    };
    LogInFailures failed_log_ins(const DictObject& user) const;
    // Lifts a user's lockout and forgets the failures (the administrator's).
    void clear_failed_log_ins(std::string_view user);
    // Who a log-in is now: the user's groups as they stand; nullopt for a user deleted since.
    std::optional<DictLogin> current_login(const DictLogin& login) const;
    // The log-in of a stored user (without checking any password).
    DictLogin login_of(const DictObject& user) const;

    std::optional<DictObject> find(DictObjectType type, std::string_view name) const;
    std::vector<DictObject> list(DictObjectType type) const;
    // Adds the object, or replaces the one of the same type and name.
    void put(const DictObject& object);
    // False when there was none.
    bool remove(DictObjectType type, std::string_view name);
    // Puts the object in the place of the one named old_name (of its type), in one change.
    void rename(std::string_view old_name, const DictObject& object);

    // The registered table whose file is the file at path, whatever the spelling of either
    // (the same device and inode), if any.
    std::optional<DictObject> table_of_file(const std::string& path) const;
    // The absolute path of a registered table's file.
    std::string table_path(const DictObject& table) const;
    GrantedRights rights_of(const DictLogin& login, const DictObject& table) const;

    // Database properties.
    std::string database_property(const std::string& key) const;
    void set_database_property(const std::string& key, const std::string& value);

    // Brings a dictionary written by an earlier engine to this one's form in one write: an
    // id (also written into each registered table's file), a checksum in every entry and
    // grants kept per kind of grantee. Nothing to do for a current one. The administrator's
    // log-in calls it.
    void upgrade();

  private:
    Dictionary(std::unique_ptr<TableStore> store, std::shared_ptr<TableFile> file, bool checked);
    // Counts a failed log-in of the user (locking the user out at the limit) or forgets the
    // failures after a success, in one write; answers the failures counted.
    std::uint32_t record_log_in(std::string_view user, bool succeeded);
    std::unique_ptr<TableStore> store_;
    std::shared_ptr<TableFile> file_;
    std::string path_;
    // Whether every entry carries its checksum (false only before upgrade()).
    bool checked_ = true;
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
// A user's failed log-ins since the last success, and when the lockout they caused ends
// (seconds since 1970, UTC).
inline constexpr const char* kFailedLogIns = "failed-log-ins";
inline constexpr const char* kLockedUntil = "locked-until";
// The dictionary's id (a database property).
inline constexpr const char* kId = "id";
// A table's grant to a user: "user-right:" + upper-cased user → bits as decimal text;
// "user-column:" + upper-cased user + ":" + upper-cased field → bits; to a group the same
// with "group-". Users and groups are apart, so that a user never gets a group's grant by
// its name.
inline constexpr const char* kUserRightPrefix = "user-right:";
inline constexpr const char* kGroupRightPrefix = "group-right:";
inline constexpr const char* kUserColumnPrefix = "user-column:";
inline constexpr const char* kGroupColumnPrefix = "group-column:";
// Grants as an engine before kept them, for users and groups alike; read as the group's when
// a group has the name, else as the user's, until upgrade() rewrites them.
inline constexpr const char* kRightPrefix = "right:";
inline constexpr const char* kColumnPrefix = "column:";
}  // namespace dict_property

}  // namespace varelum::engine
