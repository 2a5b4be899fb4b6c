// varelum-store dict FILE.add ACTION [ARG...]: a data dictionary's users, groups, tables,
// rights, links and procedures. "create" makes the dictionary with its administrator's
// password; every other action logs in as the administrator ("Admin"), whose password is asked
// for (password_prompt.h), as is a new user's. No password is ever taken from the command line
// or printed.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <utility>

#include "commands.h"
#include "engine_table.h"
#include "password_prompt.h"
#include "store_error.h"

namespace varelum::store {
namespace {

const UNSIGNED8* engine_bytes(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}
const UNSIGNED8* engine_bytes(const SecretBuffer& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// An administrator's connection to a dictionary, disconnected when it goes.
class DictionaryLogin {
  public:
    explicit DictionaryLogin(ADSHANDLE handle) : handle_(handle) {}
    static DictionaryLogin administrator(const std::filesystem::path& file) {
        const std::string source = "Data Source=" + to_engine_text(file.string(), "path");
        SecretBuffer text(source.size() + SecretBuffer::kPasswordCapacity + 64);
        {
            const SecretBuffer password = checked_password(read_password("Password of Admin: "));
            text.append(source);
            text.append(";User ID=Admin;Password=\"");
            text.append(password.view());
            text.append("\";");
        }
        ADSHANDLE handle = 0;
        UNSIGNED32 rc = AdsConnect101(engine_bytes(text), nullptr, &handle);
        check(rc, "cannot log in to " + file.string());
        return DictionaryLogin(handle);
    }
    ~DictionaryLogin() {
        if (handle_ != 0) {
            AdsDisconnect(handle_);
        }
    }
    DictionaryLogin(DictionaryLogin&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
    DictionaryLogin& operator=(DictionaryLogin&&) = delete;
    ADSHANDLE handle() const noexcept { return handle_; }

  private:
    ADSHANDLE handle_ = 0;
};

// The names of one kind of object (the users of one group when parent is given).
std::vector<std::string> object_names(ADSHANDLE dictionary, UNSIGNED16 type,
                                      const std::string& parent = "") {
    std::vector<std::string> names;
    UNSIGNED8 name[201];
    UNSIGNED16 length = sizeof name;
    ADSHANDLE find = 0;
    UNSIGNED32 rc =
        AdsDDFindFirstObject(dictionary, type, engine_bytes(parent), name, &length, &find);
    while (rc == VE_SUCCESS) {
        names.push_back(from_engine_text(std::string(reinterpret_cast<char*>(name), length)));
        length = sizeof name;
        rc = AdsDDFindNextObject(dictionary, find, name, &length);
    }
    if (find != 0) {
        AdsDDFindClose(dictionary, find);
    }
    if (rc != VE_DD_NO_MORE_OBJECTS) {
        check(rc, "cannot list the dictionary");
    }
    return names;
}

std::string table_text_property(ADSHANDLE dictionary, const std::string& table, UNSIGNED16 id) {
    char value[261] = {};
    UNSIGNED16 length = sizeof value;
    UNSIGNED32 rc = AdsDDGetTableProperty(dictionary, engine_bytes(to_engine_text(table, "table")),
                                          id, value, &length);
    if (rc == VE_DD_PROPERTY_NOT_SET) {
        return {};
    }
    check(rc, "cannot read the table " + table);
    return from_engine_text(value);
}

std::string procedure_property(ADSHANDLE dictionary, const std::string& procedure, UNSIGNED16 id) {
    const std::string name = to_engine_text(procedure, "procedure");
    UNSIGNED16 length = 0;
    UNSIGNED32 rc = AdsDDGetProcedureProperty(dictionary, engine_bytes(name), id, nullptr, &length);
    if (rc == VE_DD_PROPERTY_NOT_SET) {
        return {};
    }
    if (rc != VE_BUFFER_TOO_SMALL) {
        check(rc, "cannot read the procedure " + procedure);
    }
    std::string value(length, '\0');
    check(AdsDDGetProcedureProperty(dictionary, engine_bytes(name), id, value.data(), &length),
          "cannot read the procedure " + procedure);
    value.resize(length);
    return from_engine_text(value);
}

constexpr std::pair<const char*, UNSIGNED32> kRightNames[] = {
    {"read", VE_DD_RIGHT_READ},
    {"update", VE_DD_RIGHT_UPDATE},
    {"insert", VE_DD_RIGHT_INSERT},
    {"delete", VE_DD_RIGHT_DELETE},
};

// "read,insert" or "all" as rights; UsageError for anything else.
UNSIGNED32 parse_rights(const std::string& text, const CommandSpec& command) {
    if (text == "all") {
        return VE_DD_RIGHT_READ | VE_DD_RIGHT_UPDATE | VE_DD_RIGHT_INSERT | VE_DD_RIGHT_DELETE;
    }
    UNSIGNED32 rights = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string word = text.substr(start, comma == std::string::npos ? comma : comma - start);
        bool known = false;
        for (const auto& [name, bit] : kRightNames) {
            if (word == name) {
                rights |= bit;
                known = true;
            }
        }
        if (!known) {
            throw UsageError("unknown right \"" + word + "\" (read, update, insert, delete, all)",
                             &command);
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return rights;
}

std::string rights_text(UNSIGNED32 rights) {
    std::string text;
    for (const auto& [name, bit] : kRightNames) {
        if ((rights & bit) != 0) {
            text += (text.empty() ? "" : ", ") + std::string(name);
        }
    }
    return text.empty() ? "none" : text;
}

// A user's failed log-ins and lockout, for the listing ("" when there are none).
std::string log_in_state(ADSHANDLE dictionary, const std::string& user) {
    const std::string name = to_engine_text(user, "user");
    UNSIGNED16 failures = 0;
    UNSIGNED16 length = sizeof failures;
    check(AdsDDGetUserProperty(dictionary, engine_bytes(name), VE_DD_USER_FAILED_LOG_INS, &failures,
                               &length),
          "cannot read the user " + user);
    UNSIGNED32 locked = 0;
    length = sizeof locked;
    check(AdsDDGetUserProperty(dictionary, engine_bytes(name), VE_DD_USER_LOCKED_SECONDS, &locked,
                               &length),
          "cannot read the user " + user);
    std::string state;
    if (failures > 0) {
        state += "  (" + std::to_string(failures) + " failed log-in" + (failures == 1 ? "" : "s");
        state += locked > 0 ? "; locked out for " + std::to_string((locked + 59) / 60) +
                                  " min more, until dict unlock)"
                            : ")";
    } else if (locked > 0) {
        state += "  (locked out for " + std::to_string((locked + 59) / 60) + " min more)";
    }
    return state;
}

void list_dictionary(ADSHANDLE dictionary) {
    const std::vector<std::string> users = object_names(dictionary, VE_DD_USER_OBJECT);
    std::cout << "Tables:\n";
    for (const std::string& table : object_names(dictionary, VE_DD_TABLE_OBJECT)) {
        std::cout << "  " << table << "  "
                  << table_text_property(dictionary, table, VE_DD_TABLE_PATH) << "\n";
        for (const std::string& user : users) {
            UNSIGNED32 rights = 0;
            check(AdsDDGetPermissions(dictionary, engine_bytes(to_engine_text(table, "table")),
                                      nullptr, engine_bytes(to_engine_text(user, "user")), &rights),
                  "cannot read the rights on " + table);
            std::cout << "    " << user << ": " << rights_text(rights) << "\n";
        }
    }
    std::cout << "Groups:\n";
    for (const std::string& group : object_names(dictionary, VE_DD_USER_GROUP_OBJECT)) {
        std::string members;
        for (const std::string& user :
             object_names(dictionary, VE_DD_USER_OBJECT, to_engine_text(group, "group"))) {
            members += (members.empty() ? "" : ", ") + user;
        }
        std::cout << "  " << group << ": " << members << "\n";
    }
    std::cout << "Users:\n";
    for (const std::string& user : users) {
        std::cout << "  " << user << log_in_state(dictionary, user) << "\n";
    }
    std::cout << "Links:\n";
    for (const std::string& link : object_names(dictionary, VE_DD_LINK_OBJECT)) {
        std::cout << "  " << link << "\n";
    }
    std::cout << "Procedures:\n";
    for (const std::string& procedure : object_names(dictionary, VE_DD_PROCEDURE_OBJECT)) {
        std::cout << "  " << procedure << "("
                  << procedure_property(dictionary, procedure, VE_DD_PROC_PARAMETERS) << ")\n    "
                  << procedure_property(dictionary, procedure, VE_DD_PROC_SQL) << "\n";
    }
}

// The dictionary file is the store's users, their password hashes and the sealed passwords of
// its links (sealed with a key in the same file): it is for its owner alone, or for the group
// the administrator gave it to, to read (0600 or 0640). Say so when it is open to more.
void warn_if_open_to_others(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && (info.st_mode & 0037) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        std::cerr << "Warning: " << file.string() << " has mode " << mode
                  << ": accounts other than its owner (and its group's reading) can "
                  << ((info.st_mode & 0022) != 0 ? "change" : "read")
                  << " it, its password hashes and its links' sealed passwords included (chmod "
                  << "600 " << file.string() << ").\n";
    }
}

// Gives a new dictionary to a group, which may then read it (0640): the accounts of the
// shop's stations that log in to it.
void give_to_group(const std::filesystem::path& file, const std::string& group_name) {
    const group* found = ::getgrnam(group_name.c_str());
    if (found == nullptr) {
        throw StoreError("no group \"" + group_name + "\" on this machine");
    }
    if (::chown(file.c_str(), static_cast<uid_t>(-1), found->gr_gid) != 0 ||
        ::chmod(file.c_str(), 0640) != 0) {
        throw StoreError("cannot give " + file.string() + " to the group " + group_name + ": " +
                         std::strerror(errno));
    }
}

struct Action {
    const char* name;
    std::size_t minimum, maximum;  // arguments after the action
    const char* usage;             // of those arguments
};

// grant and revoke take the same arguments (parse_rights_change).
constexpr const char* kRightsChangeUsage = "USER|GROUP RIGHTS TABLE [COLUMN]";

constexpr Action kActions[] = {
    {"create", 0, 0, ""},
    {"list", 0, 0, ""},
    {"add-user", 1, 2, "USER [GROUP]"},
    {"remove-user", 1, 1, "USER"},
    {"password", 1, 1, "USER"},
    {"unlock", 1, 1, "USER"},
    {"add-group", 1, 1, "GROUP"},
    {"remove-group", 1, 1, "GROUP"},
    {"join", 2, 2, "USER GROUP"},
    {"leave", 2, 2, "USER GROUP"},
    {"add-table", 1, 2, "NAME [FILE]"},
    {"remove-table", 1, 1, "NAME"},
    {"grant", 3, 4, kRightsChangeUsage},
    {"revoke", 3, 4, kRightsChangeUsage},
    {"add-link", 2, 3, "ALIAS LINKED.add [USER]"},
    {"remove-link", 1, 1, "ALIAS"},
    {"add-procedure", 3, 3, "NAME PARAMETERS SQL"},
    {"remove-procedure", 1, 1, "NAME"},
};

const Action& find_action(const Arguments& arguments) {
    const std::string& name = arguments.at(1);
    for (const Action& action : kActions) {
        if (name == action.name) {
            std::size_t given = arguments.count() - 2;
            if (given < action.minimum || given > action.maximum) {
                std::string usage = std::string("usage: dict FILE.add ") + action.name;
                if (*action.usage != '\0') {
                    usage += std::string(" ") + action.usage;
                }
                throw UsageError(usage, &arguments.command());
            }
            return action;
        }
    }
    throw UsageError("unknown dict action \"" + name + "\"", &arguments.command());
}

// The arguments of grant and revoke (kRightsChangeUsage) as the engine takes them, all checked
// before anyone is asked for a password.
struct RightsChange {
    std::string grantee;
    UNSIGNED32 rights = 0;
    std::string table;
    std::string column;  // empty: the whole table
};

RightsChange parse_rights_change(const Arguments& arguments) {
    RightsChange change;
    change.grantee = to_engine_text(arguments.at(2), "user or group");
    change.rights = parse_rights(arguments.at(3), arguments.command());
    change.table = to_engine_text(arguments.at(4), "table");
    if (arguments.count() > 5) {
        change.column = to_engine_text(arguments.at(5), "column");
    }
    return change;
}

}  // namespace

int run_dict(const Arguments& arguments) {
    const std::filesystem::path file = std::filesystem::absolute(arguments.at(0));
    const Action& action = find_action(arguments);
    const std::string what = action.name;
    const bool changes_rights = what == "grant" || what == "revoke";
    const RightsChange rights_change =
        changes_rights ? parse_rights_change(arguments) : RightsChange{};
    // The action's arguments as the engine's 8-bit text.
    auto arg = [&](std::size_t i, std::string_view kind) {
        return to_engine_text(arguments.at(2 + i), kind);
    };
    auto optional_arg = [&](std::size_t i, std::string_view kind) {
        return arguments.count() > 2 + i ? arg(i, kind) : std::string();
    };
    auto text_or_null = [](const std::string& text) {
        return text.empty() ? nullptr : engine_bytes(text);
    };

    if (what == "create") {
        const std::optional<std::string> group = arguments.value("--group");
        const SecretBuffer password = checked_password(read_new_password("Password for Admin: "));
        std::string description =
            to_engine_text(arguments.value("--description").value_or(""), "description");
        ADSHANDLE handle = 0;
        check(AdsDDCreate(engine_bytes(to_engine_text(file.string(), "path")),
                          engine_bytes(password), engine_bytes(description), &handle),
              "cannot create " + file.string());
        DictionaryLogin made(handle);
        if (group) {
            give_to_group(file, *group);
        }
        std::cerr << "Created " << file.string() << " with the user Admin.\n";
        return 0;
    }

    warn_if_open_to_others(file);
    DictionaryLogin login = DictionaryLogin::administrator(file);
    const ADSHANDLE dictionary = login.handle();
    const std::string context = "cannot " + what;
    if (what == "list") {
        list_dictionary(dictionary);
    } else if (what == "add-user") {
        std::string user = arg(0, "user");
        std::string group = optional_arg(1, "group");
        const SecretBuffer password =
            checked_password(read_new_password("Password for the new user: "));
        check(AdsDDCreateUser(dictionary, text_or_null(group), engine_bytes(user),
                              engine_bytes(password), nullptr),
              context);
    } else if (what == "remove-user") {
        check(AdsDDDeleteUser(dictionary, engine_bytes(arg(0, "user"))), context);
    } else if (what == "password") {
        std::string user = arg(0, "user");
        const SecretBuffer password = checked_password(read_new_password("New password: "));
        check(AdsDDSetUserPassword(dictionary, engine_bytes(user), engine_bytes(password)),
              context);
    } else if (what == "unlock") {
        const UNSIGNED16 none = 0;
        check(AdsDDSetUserProperty(dictionary, engine_bytes(arg(0, "user")),
                                   VE_DD_USER_FAILED_LOG_INS, &none, sizeof none),
              context);
    } else if (what == "add-group") {
        check(AdsDDCreateUserGroup(dictionary, engine_bytes(arg(0, "group")), nullptr), context);
    } else if (what == "remove-group") {
        check(AdsDDDeleteUserGroup(dictionary, engine_bytes(arg(0, "group"))), context);
    } else if (what == "join") {
        check(AdsDDAddUserToGroup(dictionary, engine_bytes(arg(1, "group")),
                                  engine_bytes(arg(0, "user"))),
              context);
    } else if (what == "leave") {
        check(AdsDDRemoveUserFromGroup(dictionary, engine_bytes(arg(1, "group")),
                                       engine_bytes(arg(0, "user"))),
              context);
    } else if (what == "add-table") {
        std::string name = arg(0, "table");
        std::string path = optional_arg(1, "file");
        check(
            AdsDDAddTable(dictionary, engine_bytes(name), engine_bytes(path.empty() ? name : path)),
            context);
    } else if (what == "remove-table") {
        check(AdsDDRemoveTable(dictionary, engine_bytes(arg(0, "table")), 0), context);
    } else if (what == "add-link") {
        std::string alias = arg(0, "link");
        std::string linked = arg(1, "path");
        std::string user = optional_arg(2, "user");
        UNSIGNED32 options = arguments.has("--global") ? 1u : 0u;
        if (user.empty()) {
            options |= 2u;  // each connection logs in there as its own user
        }
        const SecretBuffer password =
            user.empty() ? SecretBuffer()
                         : checked_password(read_password("Password of " + arguments.at(4) +
                                                          " in the linked dictionary: "));
        check(AdsDDCreateLink(dictionary, engine_bytes(alias), engine_bytes(linked),
                              text_or_null(user), engine_bytes(password), options),
              context);
    } else if (what == "remove-link") {
        check(AdsDDDropLink(dictionary, engine_bytes(arg(0, "link")), 1), context);
    } else if (what == "add-procedure") {
        check(AdsDDCreateProcedure(dictionary, engine_bytes(arg(0, "procedure")),
                                   engine_bytes(arg(1, "parameters")), engine_bytes(arg(2, "SQL")),
                                   nullptr),
              context);
    } else if (what == "remove-procedure") {
        check(AdsDDDeleteProcedure(dictionary, engine_bytes(arg(0, "procedure"))), context);
    } else {  // grant, revoke
        auto change = what == "grant" ? AdsDDGrantPermission : AdsDDRevokePermission;
        check(change(dictionary, engine_bytes(rights_change.table),
                     text_or_null(rights_change.column), engine_bytes(rights_change.grantee),
                     rights_change.rights),
              context);
    }
    return 0;
}

}  // namespace varelum::store
