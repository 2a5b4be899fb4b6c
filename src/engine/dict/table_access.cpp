// Table names and rights on dictionary connections (see table_access.h).
#include "engine/dict/table_access.h"

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary.h"
#include "engine/dict/dictionary_links.h"
#include "engine/dict/table_binding.h"
#include "engine/env/files.h"
#include "engine/storage/table_store.h"
#include "engine/table/connection.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

bool has_separator(std::string_view name) {
    return name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos;
}

AccessRights access_rights(const GrantedRights& granted, const TableSchema& schema) {
    AccessRights rights;
    rights.table = granted.table;
    if (!granted.columns.empty()) {
        for (const auto& field : schema.fields()) {
            rights.columns.push_back(granted.column(field.name));
        }
    }
    return rights;
}

}  // namespace

TableAccess dictionary_table_access(const Connection& connection, std::string_view name_utf8) {
    const DictionarySession& session = *connection.dictionary();
    // A table of the dictionary's own that happens to hold a "." keeps its name.
    if (!session.dictionary->find(DictObjectType::Table, name_utf8)) {
        if (auto linked = split_linked_name(session, name_utf8)) {
            auto link = session.links->open(session, linked->first);
            return dictionary_table_access(*link->session, linked->second);
        }
    }
    return dictionary_table_access(session, name_utf8);
}

TableAccess dictionary_table_access(const DictionarySession& session, std::string_view name_utf8) {
    const Dictionary& dictionary = *session.dictionary;
    std::optional<DictObject> table = dictionary.find(DictObjectType::Table, name_utf8);
    if (!table) {
        table = dictionary.find(DictObjectType::Table,
                                dictionary.store().without_default_extension(name_utf8));
    }
    TableAccess access;
    if (table) {
        access.path = dictionary.table_path(*table);
    } else if (has_separator(name_utf8)) {
        std::string path = normalize_path(name_utf8);
        // The components name a file by the database path, which is the dictionary's own.
        const std::string& own = dictionary.path();
        if (path.size() > own.size() && iequals(path.substr(0, own.size()), own) &&
            path[own.size()] == '/') {
            path = dictionary.directory() + path.substr(own.size());
        }
        std::optional<std::string> found = dictionary.store().locate(path);
        if (!found) {
            fail(VE_TABLE_NOT_FOUND, dictionary.store().missing_name(path));
        }
        access.path = *found;
        table = dictionary.table_by_path(*found);
    } else {
        fail(VE_DICTIONARY_ONLY, "table \"" + std::string(name_utf8) + "\"");
    }
    auto file = dictionary.store().open(access.path);
    check_table_binding(*file, &session);
    if (table) {
        GrantedRights granted = dictionary.rights_of(session.login, *table);
        if ((granted.table & kRightRead) == 0) {
            throw EngineError(VE_PERMISSION_DENIED, "Read permission not granted on this table.");
        }
        access.rights = access_rights(granted, file->schema());
    }
    return access;
}

void check_table_binding(const TableFile& file, const Connection& connection) {
    check_table_binding(file, connection.dictionary().get());
}

void check_table_binding(const TableFile& file, const DictionarySession* session) {
    if (is_dictionary_file(file)) {
        fail(VE_NOT_SUPPORTED, file.path() + " is a data dictionary, not a table");
    }
    std::optional<std::string> bound = bound_dictionary(file);
    if (!bound) {
        return;
    }
    if (session == nullptr || session->dictionary->path() != *bound) {
        fail(VE_BOUND_TO_DICTIONARY, file.path() + " (" + *bound + ")");
    }
}

}  // namespace varelum::engine
