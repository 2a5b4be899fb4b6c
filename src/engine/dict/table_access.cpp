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

[[noreturn]] void no_read_right() {
    // The text the components report for the same refusal.
    throw EngineError(VE_PERMISSION_DENIED, "Read permission not granted on this table.");
}

AccessRights no_rights() {
    AccessRights rights;
    rights.table = 0;
    return rights;
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

// The rights a log-in has on a table file of its dictionary as the dictionary stands now: the
// registration's grants to the user and the user's groups as they are now (none for a user
// deleted since); for a file bound to the dictionary but registered under no name (a copy,
// or one whose registration went), the administrator's alone; for a free file, every right.
AccessRights current_rights(const Dictionary& dictionary, const DictLogin& login,
                            const TableFile& file) {
    std::optional<DictLogin> now = dictionary.current_login(login);
    if (!now) {
        return no_rights();
    }
    if (std::optional<DictObject> table = dictionary.table_of_file(file.path())) {
        return access_rights(dictionary.rights_of(*now, *table), file.schema());
    }
    if (table_binding(file) && !now->administrator) {
        return no_rights();
    }
    return AccessRights{};
}

class DictionaryRights : public RightsSource {
  public:
    DictionaryRights(std::shared_ptr<Dictionary> dictionary, DictLogin login)
        : dictionary_(std::move(dictionary)), login_(std::move(login)) {}
    std::uint64_t version() const override { return dictionary_->version(); }
    AccessRights rights(const TableFile& file) const override {
        return current_rights(*dictionary_, login_, file);
    }

  private:
    std::shared_ptr<Dictionary> dictionary_;
    DictLogin login_;
};

// through_link: the session was opened through a link, which reaches registered names only.
TableAccess table_access(const DictionarySession& session, std::string_view name_utf8,
                         bool through_link) {
    const Dictionary& dictionary = *session.dictionary;
    // Read before the rights, so that a change made meanwhile renews them at the next call.
    const std::uint64_t version = dictionary.version();
    std::optional<DictObject> table = dictionary.find(DictObjectType::Table, name_utf8);
    if (!table) {
        table = dictionary.find(DictObjectType::Table,
                                dictionary.store().without_default_extension(name_utf8));
    }
    TableAccess access;
    if (table) {
        access.path = dictionary.table_path(*table);
    } else if (has_separator(name_utf8) && !through_link) {
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
        // Whatever the spelling (another path, a link, "/proc/self/root"), the rights below are
        // those of the file's registration. A file of no registration anywhere is a free table
        // here as on any connection (varelum-store's staging tables in temporary space are
        // such); one bound to this dictionary is the administrator's alone.
    } else {
        fail(VE_DICTIONARY_ONLY, "table \"" + std::string(name_utf8) + "\"");
    }
    auto file = dictionary.store().open(access.path);
    check_table_binding(*file, &session);
    access.rights = current_rights(dictionary, session.login, *file);
    if ((access.rights.table & AccessRights::kRead) == 0) {
        no_read_right();
    }
    access.rights.source = std::make_shared<DictionaryRights>(session.dictionary, session.login);
    access.rights.version = version;
    return access;
}

}  // namespace

TableAccess dictionary_table_access(const Connection& connection, std::string_view name_utf8) {
    const DictionarySession& session = *connection.dictionary();
    // A table of the dictionary's own that happens to hold a "." keeps its name.
    if (!session.dictionary->find(DictObjectType::Table, name_utf8)) {
        if (auto linked = split_linked_name(session, name_utf8)) {
            auto link = session.links->open(session, linked->first);
            return table_access(*link->session, linked->second, true);
        }
    }
    return table_access(session, name_utf8, false);
}

TableAccess dictionary_table_access(const DictionarySession& session, std::string_view name_utf8) {
    return table_access(session, name_utf8, true);
}

void check_table_binding(const TableFile& file, const Connection& connection) {
    check_table_binding(file, connection.dictionary().get());
}

void check_table_binding(const TableFile& file, const DictionarySession* session) {
    if (is_dictionary_file(file)) {
        fail(VE_NOT_SUPPORTED, file.path() + " is a data dictionary, not a table");
    }
    std::optional<TableBinding> bound = table_binding(file);
    if (!bound) {
        return;
    }
    if (session == nullptr || !session->dictionary->holds(*bound)) {
        fail(VE_BOUND_TO_DICTIONARY, file.path() + " (" + bound->dictionary_path + ")");
    }
}

void require_table_administrator(const TableFile& file, const Connection& connection,
                                 std::string_view what) {
    std::optional<TableBinding> bound = table_binding(file);
    const DictionarySession* session = connection.dictionary().get();
    if (!bound) {
        return;
    }
    if (session == nullptr || !session->dictionary->holds(*bound)) {
        fail(VE_BOUND_TO_DICTIONARY, file.path() + " (" + bound->dictionary_path + ")");
    }
    std::optional<DictLogin> login = session->dictionary->current_login(session->login);
    if (!login || !login->administrator) {
        fail(VE_PERMISSION_DENIED, "only the administrator " + std::string(what) +
                                       " a table of the data dictionary (" + file.path() + ")");
    }
}

void check_may_replace(const Connection& connection, const std::string& path) {
    if (resolved_path(path).empty()) {
        return;  // nothing there
    }
    // A registered table is its dictionary's even when its file cannot be opened now.
    if (const DictionarySession* session = connection.dictionary().get()) {
        if (session->dictionary->table_of_file(path) && !session->login.administrator) {
            fail(VE_PERMISSION_DENIED,
                 "only the administrator replaces a table of the data dictionary (" + path + ")");
        }
    }
    std::shared_ptr<TableFile> file;
    try {
        file = connection.store().open(path);
    } catch (const EngineError&) {
        return;  // no table file: making the new one reports what is in its way
    }
    if (is_dictionary_file(*file)) {
        fail(VE_NOT_SUPPORTED, path + " is a data dictionary, not a table");
    }
    require_table_administrator(*file, connection, "replaces");
}

}  // namespace varelum::engine
