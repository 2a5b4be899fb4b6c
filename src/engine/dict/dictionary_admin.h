// Changing a data dictionary: users, groups and membership, table registrations and the
// rights granted on them. Every change needs the administrator's log-in (callers check
// require_administrator first); names are unique per kind without regard to case.
//
// Rights: a grant gives a user or a group rights on a table (read, update, insert, delete);
// a user has what is granted to the user and to each of the user's groups. A column's own
// grant can only narrow a grantee's table rights for that column (update and insert).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/dictionary.h"
#include "engine/dict/dictionary_links.h"

namespace varelum::engine {

// Throws VE_DICTIONARY_ONLY for a free-table connection, VE_PERMISSION_DENIED for a user who
// is not the administrator.
void require_administrator(const DictionarySession* session);

class DictionaryAdmin {
  public:
    explicit DictionaryAdmin(Dictionary& dictionary) : dictionary_(dictionary) {}

    // Throws VE_DD_OBJECT_EXISTS, VE_DICTIONARY_ONLY for an unknown group.
    void create_user(std::string_view name, std::string_view password, std::string_view description,
                     std::string_view group);
    void delete_user(std::string_view name);  // not the administrator
    void set_password(std::string_view user, std::string_view password);
    void create_group(std::string_view name, std::string_view description);
    void delete_group(std::string_view name);
    void add_member(std::string_view group, std::string_view user);
    void remove_member(std::string_view group, std::string_view user);
    // The users of a group, in name order.
    std::vector<std::string> members(std::string_view group) const;

    // Registers the table file at path (relative to the dictionary's folder, or absolute)
    // under name and binds the file to the dictionary. Throws VE_TABLE_NOT_FOUND,
    // VE_BOUND_TO_DICTIONARY when another dictionary has it.
    void add_table(std::string_view name, std::string_view path);
    // Unregisters the table and unbinds its file (or deletes it, with delete_file).
    void remove_table(std::string_view name, bool delete_file);
    void rename_table(std::string_view name, std::string_view new_name);
    void set_table_property(std::string_view table, const std::string& key, std::string_view value);

    // Stores a procedure: its parameters as field text ("Name,Type[,length[,decimals]];...",
    // the types of a table's fields), its SQL body and a description. The body is checked by
    // the SQL layer before it comes here. Throws VE_DD_OBJECT_EXISTS,
    // VE_INVALID_FIELD_DEFINITION, VE_INVALID_ARGUMENT (an empty body, a parameter twice).
    void create_procedure(std::string_view name, std::string_view parameters, std::string_view body,
                          std::string_view description);
    void delete_procedure(std::string_view name);

    // Adds (grant) or takes away (revoke) rights of a user or group on a table, or on one
    // column of it when column is not empty.
    void change_rights(std::string_view table, std::string_view column, std::string_view grantee,
                       std::uint8_t rights, bool grant);

    // Stores a link (dictionary_links.h) after logging in to the linked dictionary once, so
    // that a link that cannot work is refused at once. Throws VE_DD_OBJECT_EXISTS,
    // VE_INVALID_ARGUMENT, VE_PATH_NOT_FOUND, VE_NOT_A_DICTIONARY, VE_LOGIN_FAILED.
    void create_link(const LinkDefinition& link);
    // Removes a link. A global link is taken from every user, so it needs drop_global.
    // Throws VE_DICTIONARY_ONLY for a link the dictionary does not hold.
    void drop_link(std::string_view name, bool drop_global);

  private:
    DictObject require(DictObjectType type, std::string_view name) const;
    void require_new(DictObjectType type, std::string_view name) const;
    // Drops every grant of a grantee that goes away, so that a later user or group of the
    // same name does not inherit them.
    void forget_grantee(std::string_view grantee, bool group);

    Dictionary& dictionary_;
};

}  // namespace varelum::engine
