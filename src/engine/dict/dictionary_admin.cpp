// Changing a data dictionary (see dictionary_admin.h).
#include "engine/dict/dictionary_admin.h"

#include <algorithm>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/password_hash.h"
#include "engine/dict/table_binding.h"
#include "engine/env/files.h"
#include "engine/record/schema.h"
#include "engine/storage/table_store.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

const char* kind_name(DictObjectType type) {
    switch (type) {
        case DictObjectType::Table:
            return "table";
        case DictObjectType::User:
            return "user";
        case DictObjectType::UserGroup:
            return "group";
        case DictObjectType::Procedure:
            return "procedure";
        case DictObjectType::Link:
            return "link";
    }
    return "object";
}

std::string quoted(DictObjectType type, std::string_view name) {
    return std::string(kind_name(type)) + " \"" + std::string(name) + "\"";
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find(';', start), text.size());
        if (end > start) {
            items.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return items;
}

std::string join_list(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ";") + item;
    }
    return text;
}

void check_name(std::string_view name) {
    if (trim_blanks(std::string(name)).empty() || name.find(';') != std::string_view::npos ||
        name.find(':') != std::string_view::npos) {
        fail(VE_INVALID_ARGUMENT, "a dictionary name must not be empty or hold ';' or ':'");
    }
}

}  // namespace

void require_administrator(const DictionarySession* session) {
    if (session == nullptr) {
        fail(VE_DICTIONARY_ONLY, "the call needs a data dictionary connection");
    }
    if (!session->login.administrator) {
        fail(VE_PERMISSION_DENIED, "only the administrator changes the data dictionary");
    }
}

DictObject DictionaryAdmin::require(DictObjectType type, std::string_view name) const {
    auto object = dictionary_.find(type, name);
    if (!object) {
        fail(VE_DICTIONARY_ONLY, quoted(type, name));
    }
    return *object;
}

void DictionaryAdmin::require_new(DictObjectType type, std::string_view name) const {
    check_name(name);
    if (dictionary_.find(type, name)) {
        fail(VE_DD_OBJECT_EXISTS, quoted(type, name));
    }
    // A grant names its grantee by name alone: a user and a group of one name could not be
    // told apart there.
    const DictObjectType other = type == DictObjectType::User        ? DictObjectType::UserGroup
                                 : type == DictObjectType::UserGroup ? DictObjectType::User
                                                                     : type;
    if (other != type && dictionary_.find(other, name)) {
        fail(VE_DD_OBJECT_EXISTS, quoted(other, name));
    }
}

void DictionaryAdmin::create_user(std::string_view name, std::string_view password,
                                  std::string_view description, std::string_view group) {
    require_new(DictObjectType::User, name);
    DictObject user;
    user.type = DictObjectType::User;
    user.name = std::string(name);
    user.properties[dict_property::kPasswordHash] = hash_password(password);
    user.properties[dict_property::kDescription] = std::string(description);
    if (!group.empty()) {
        user.properties[dict_property::kGroups] = require(DictObjectType::UserGroup, group).name;
    }
    dictionary_.put(user);
}

void DictionaryAdmin::delete_user(std::string_view name) {
    DictObject user = require(DictObjectType::User, name);
    if (iequals(user.name, Dictionary::kAdministrator)) {
        fail(VE_PERMISSION_DENIED, "the administrator cannot be deleted");
    }
    dictionary_.remove(DictObjectType::User, name);
    forget_grantee(user.name, false);
}

void DictionaryAdmin::set_password(std::string_view name, std::string_view password) {
    DictObject user = require(DictObjectType::User, name);
    user.properties[dict_property::kPasswordHash] = hash_password(password);
    // A new password lifts a lockout: the administrator gave it.
    user.properties.erase(dict_property::kFailedLogIns);
    user.properties.erase(dict_property::kLockedUntil);
    dictionary_.put(user);
}

void DictionaryAdmin::create_group(std::string_view name, std::string_view description) {
    require_new(DictObjectType::UserGroup, name);
    DictObject group;
    group.type = DictObjectType::UserGroup;
    group.name = std::string(name);
    group.properties[dict_property::kDescription] = std::string(description);
    dictionary_.put(group);
}

void DictionaryAdmin::delete_group(std::string_view name) {
    DictObject group = require(DictObjectType::UserGroup, name);
    for (const auto& member : members(group.name)) {
        remove_member(group.name, member);
    }
    dictionary_.remove(DictObjectType::UserGroup, name);
    forget_grantee(group.name, true);
}

void DictionaryAdmin::add_member(std::string_view group_name, std::string_view user_name) {
    DictObject group = require(DictObjectType::UserGroup, group_name);
    DictObject user = require(DictObjectType::User, user_name);
    auto groups = split_list(user.property(dict_property::kGroups));
    if (std::none_of(groups.begin(), groups.end(),
                     [&](const std::string& g) { return iequals(g, group.name); })) {
        groups.push_back(group.name);
        user.properties[dict_property::kGroups] = join_list(groups);
        dictionary_.put(user);
    }
}

void DictionaryAdmin::remove_member(std::string_view group_name, std::string_view user_name) {
    DictObject user = require(DictObjectType::User, user_name);
    auto groups = split_list(user.property(dict_property::kGroups));
    std::erase_if(groups, [&](const std::string& g) { return iequals(g, group_name); });
    user.properties[dict_property::kGroups] = join_list(groups);
    dictionary_.put(user);
}

std::vector<std::string> DictionaryAdmin::members(std::string_view group) const {
    std::vector<std::string> names;
    for (const auto& user : dictionary_.list(DictObjectType::User)) {
        for (const auto& g : split_list(user.property(dict_property::kGroups))) {
            if (iequals(g, group)) {
                names.push_back(user.name);
            }
        }
    }
    return names;
}

void DictionaryAdmin::add_table(std::string_view name, std::string_view path_utf8) {
    require_new(DictObjectType::Table, name);
    std::string spelled(path_utf8);
    TableStore& store = dictionary_.store();
    std::optional<std::string> located = store.locate(spelled);
    if (!located) {
        fail(VE_TABLE_NOT_FOUND, store.missing_name(spelled));
    }
    const std::string& found = *located;
    auto file = store.open(found);
    if (is_dictionary_file(*file)) {
        fail(VE_NOT_SUPPORTED, found + " is a data dictionary, not a table");
    }
    if (auto bound = table_binding(*file); bound && !dictionary_.holds(*bound)) {
        fail(VE_BOUND_TO_DICTIONARY, found + " (" + bound->dictionary_path + ")");
    }
    // One file, one registration: another name for it would hold other rights on it.
    if (auto registered = dictionary_.table_of_file(found)) {
        fail(VE_DD_OBJECT_EXISTS, quoted(DictObjectType::Table, registered->name) + " is " + found);
    }
    DictObject table;
    table.type = DictObjectType::Table;
    table.name = std::string(name);
    // Kept relative to the dictionary when it lies beside it, so the folder can be moved.
    std::string directory = dictionary_.directory() + "/";
    table.properties[dict_property::kPath] =
        found.starts_with(directory) ? found.substr(directory.size()) : found;
    dictionary_.put(table);
    bind_table(*file, dictionary_.binding());
}

void DictionaryAdmin::remove_table(std::string_view name, bool delete_file) {
    DictObject table = require(DictObjectType::Table, name);
    std::string path = dictionary_.table_path(table);
    TableStore& store = dictionary_.store();
    if (store.locate(path)) {
        if (delete_file) {
            // Files kept only for a next open count as not open.
            if (store.open_in_process(path)) {
                fail(VE_TABLE_IN_USE, path);
            }
            store.remove(path);
        } else {
            unbind_table(*store.open(path));
        }
    }
    dictionary_.remove(DictObjectType::Table, name);
}

void DictionaryAdmin::rename_table(std::string_view name, std::string_view new_name) {
    DictObject table = require(DictObjectType::Table, name);
    if (!iequals(name, new_name)) {
        require_new(DictObjectType::Table, new_name);
    }
    check_name(new_name);
    table.name = std::string(new_name);
    dictionary_.rename(name, table);
}

void DictionaryAdmin::set_table_property(std::string_view table_name, const std::string& key,
                                         std::string_view value) {
    DictObject table = require(DictObjectType::Table, table_name);
    if (value.empty()) {
        table.properties.erase(key);
    } else {
        table.properties[key] = std::string(value);
    }
    dictionary_.put(table);
}

void DictionaryAdmin::create_procedure(std::string_view name, std::string_view parameters,
                                       std::string_view body, std::string_view description) {
    require_new(DictObjectType::Procedure, name);
    std::vector<FieldDescriptor> fields = parse_field_text(parameters);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (iequals(fields[i].name, fields[j].name)) {
                fail(VE_INVALID_ARGUMENT, "the parameter " + fields[i].name + " is named twice");
            }
        }
    }
    if (trim_blanks(std::string(body)).empty()) {
        fail(VE_INVALID_ARGUMENT, "a procedure needs a body");
    }
    DictObject procedure;
    procedure.type = DictObjectType::Procedure;
    procedure.name = std::string(name);
    procedure.properties[dict_property::kParameters] = std::string(parameters);
    procedure.properties[dict_property::kSqlText] = std::string(body);
    procedure.properties[dict_property::kDescription] = std::string(description);
    dictionary_.put(procedure);
}

void DictionaryAdmin::delete_procedure(std::string_view name) {
    require(DictObjectType::Procedure, name);
    dictionary_.remove(DictObjectType::Procedure, name);
}

void DictionaryAdmin::change_rights(std::string_view table_name, std::string_view column,
                                    std::string_view grantee_name, std::uint8_t rights,
                                    bool grant) {
    DictObject table = require(DictObjectType::Table, table_name);
    auto grantee = dictionary_.find(DictObjectType::User, grantee_name);
    if (!grantee) {
        grantee = dictionary_.find(DictObjectType::UserGroup, grantee_name);
    }
    if (!grantee) {
        fail(VE_DICTIONARY_ONLY, "user or group \"" + std::string(grantee_name) + "\"");
    }
    const bool group = grantee->type == DictObjectType::UserGroup;
    std::string upper = to_upper_ascii(grantee->name);
    std::string key;
    std::uint8_t current = 0;
    if (column.empty()) {
        key = (group ? dict_property::kGroupRightPrefix : dict_property::kUserRightPrefix) + upper;
        std::string stored = table.property(key);
        current = stored.empty() ? 0 : static_cast<std::uint8_t>(std::stoul(stored));
    } else {
        if (!dictionary_.store().open(dictionary_.table_path(table))->schema().by_name(column)) {
            fail(VE_FIELD_NOT_FOUND, std::string(column));
        }
        key = (group ? dict_property::kGroupColumnPrefix : dict_property::kUserColumnPrefix) +
              upper + ":" + to_upper_ascii(column);
        std::string stored = table.property(key);
        // Without a grant of its own a column follows the table's rights.
        current = stored.empty() ? kAllRights : static_cast<std::uint8_t>(std::stoul(stored));
    }
    std::uint8_t changed = grant ? (current | rights) : (current & ~rights);
    changed &= kAllRights;
    if (!column.empty() && changed == kAllRights) {
        table.properties.erase(key);
    } else {
        table.properties[key] = std::to_string(changed);
    }
    dictionary_.put(table);
}

void DictionaryAdmin::forget_grantee(std::string_view grantee, bool group) {
    std::string upper = to_upper_ascii(grantee);
    std::string right_key =
        (group ? dict_property::kGroupRightPrefix : dict_property::kUserRightPrefix) + upper;
    std::string column_prefix =
        (group ? dict_property::kGroupColumnPrefix : dict_property::kUserColumnPrefix) + upper +
        ":";
    // An earlier engine's grants under the name too (upgrade() rewrites them on the
    // administrator's log-in, so these are left only where that could not be written).
    std::string legacy_right_key = dict_property::kRightPrefix + upper;
    std::string legacy_column_prefix = dict_property::kColumnPrefix + upper + ":";
    for (auto& table : dictionary_.list(DictObjectType::Table)) {
        std::size_t before = table.properties.size();
        std::erase_if(table.properties, [&](const auto& entry) {
            return entry.first == right_key || entry.first.starts_with(column_prefix) ||
                   entry.first == legacy_right_key || entry.first.starts_with(legacy_column_prefix);
        });
        if (table.properties.size() != before) {
            dictionary_.put(table);
        }
    }
}

}  // namespace varelum::engine
