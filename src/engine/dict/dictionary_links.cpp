// Links between data dictionaries (see dictionary_links.h): storing and dropping them, and
// opening them for a connection.
#include "engine/dict/dictionary_links.h"

#include <algorithm>
#include <filesystem>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/dict/dictionary_admin.h"
#include "engine/dict/secret.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

std::string quoted_link(std::string_view name) {
    return "link \"" + std::string(name) + "\"";
}

// An absolute path without "." and ".." steps.
std::string plain_path(const std::string& path) {
    return std::filesystem::path(normalize_path(path)).lexically_normal().string();
}

std::string resolve_linked_path(const Dictionary& dictionary, const std::string& spelled) {
    std::string path = normalize_path(spelled);  // turns "\" into "/"
    if (!spelled.empty() && spelled.front() != '/' && spelled.front() != '\\') {
        path = dictionary.directory() + "/" + spelled;
    }
    return plain_path(path);
}

std::shared_ptr<Dictionary> open_linked(std::string_view link, const std::string& path) {
    try {
        return Dictionary::open(path);
    } catch (const EngineError& error) {
        if (error.code() == VE_TABLE_NOT_FOUND) {
            fail(VE_PATH_NOT_FOUND,
                 quoted_link(link) + ": the linked dictionary " + path + " does not exist");
        }
        throw;
    }
}

DictLogin log_in_linked(Dictionary& linked, std::string_view link, std::string_view user,
                        std::string_view password) {
    try {
        return linked.log_in(user, password);
    } catch (const EngineError& error) {
        if (error.code() == VE_LOGIN_FAILED) {
            // The user's name only: the password stays out of every text.
            fail(VE_LOGIN_FAILED, quoted_link(link) + ": the dictionary " + linked.path() +
                                      " refuses the log-in of user \"" + std::string(user) + "\"");
        }
        throw;
    }
}

// The stored link as one text, to tell whether it changed since it was opened.
std::string definition_of(const DictObject& link) {
    std::string text;
    for (const auto& [key, value] : link.properties) {
        text += key + "=" + value + "\n";
    }
    return text;
}

}  // namespace

std::shared_ptr<ActiveLinks> no_active_links() {
    return std::make_shared<ActiveLinks>();
}

std::string linked_dictionary_path(const Dictionary& dictionary, const DictObject& link) {
    return resolve_linked_path(dictionary, link.property(dict_property::kLinkedPath));
}

std::uint32_t link_options(const DictObject& link) {
    std::string text = link.property(dict_property::kLinkOptions);
    return text.empty() ? 0 : static_cast<std::uint32_t>(std::stoul(text)) & kLinkOptionBits;
}

void DictionaryAdmin::create_link(const LinkDefinition& definition) {
    require_new(DictObjectType::Link, definition.name);
    // SQL names a linked table "alias.table", where these two already name the connection's
    // own tables and a dot would make the name ambiguous.
    if (iequals(definition.name, "main") || iequals(definition.name, "temp") ||
        definition.name.find('.') != std::string::npos) {
        fail(VE_INVALID_ARGUMENT, "a link cannot be called \"" + definition.name + "\"");
    }
    if ((definition.options & ~kLinkOptionBits) != 0) {
        fail(VE_INVALID_ARGUMENT, "link options " + std::to_string(definition.options));
    }
    const std::string path = resolve_linked_path(dictionary_, definition.linked_path);
    if (!is_dictionary_path(path)) {
        fail(VE_INVALID_ARGUMENT, "a linked dictionary's file name ends in .add: " + path);
    }
    if (path == dictionary_.path()) {
        fail(VE_INVALID_ARGUMENT, "a dictionary cannot link to itself");
    }
    std::shared_ptr<Dictionary> linked = open_linked(definition.name, path);

    DictObject link;
    link.type = DictObjectType::Link;
    link.name = definition.name;
    // Kept relative to this dictionary unless asked otherwise, so that a folder holding both
    // can be moved.
    link.properties[dict_property::kLinkedPath] =
        (definition.options & kLinkStaticPath) != 0
            ? path
            : std::filesystem::path(path).lexically_relative(dictionary_.directory()).string();
    link.properties[dict_property::kLinkOptions] = std::to_string(definition.options);
    if ((definition.options & kLinkAsActiveUser) == 0) {
        if (trim_blanks(definition.user).empty()) {
            fail(VE_INVALID_ARGUMENT, "a link needs the user it logs in as");
        }
        DictLogin login =
            log_in_linked(*linked, definition.name, definition.user, definition.password);
        std::string key = dictionary_.database_property(dict_property::kLinkKey);
        if (key.empty()) {
            key = new_seal_key();
            dictionary_.set_database_property(dict_property::kLinkKey, key);
        }
        link.properties[dict_property::kLinkUser] = login.user;
        link.properties[dict_property::kLinkPassword] =
            seal_secret(key, definition.password, to_upper_ascii(link.name));
    }
    dictionary_.put(link);
}

void DictionaryAdmin::drop_link(std::string_view name, bool drop_global) {
    DictObject link = require(DictObjectType::Link, name);
    if ((link_options(link) & kLinkGlobal) != 0 && !drop_global) {
        fail(VE_INVALID_ARGUMENT,
             quoted_link(link.name) +
                 " is global: dropping it for every user needs the global flag");
    }
    dictionary_.remove(DictObjectType::Link, link.name);
}

std::shared_ptr<const ActiveLink> ActiveLinks::open(const DictionarySession& owner,
                                                    std::string_view name) {
    const Dictionary& dictionary = *owner.dictionary;
    std::optional<DictObject> link = dictionary.find(DictObjectType::Link, name);
    if (!link) {
        close(name);
        fail(VE_DICTIONARY_ONLY, quoted_link(name));
    }
    const std::uint32_t options = link_options(*link);
    if ((options & kLinkGlobal) == 0 && !owner.login.administrator) {
        fail(VE_PERMISSION_DENIED, quoted_link(link->name) + " is the administrator's only");
    }
    const std::string definition = definition_of(*link);
    std::lock_guard guard(mutex_);
    auto open = std::find_if(links_.begin(), links_.end(),
                             [&](const auto& active) { return iequals(active->name, name); });
    if (open != links_.end() && (*open)->definition == definition) {
        return *open;
    }

    auto session = std::make_shared<DictionarySession>();
    session->dictionary = open_linked(link->name, linked_dictionary_path(dictionary, *link));
    if ((options & kLinkAsActiveUser) != 0) {
        if (!owner.password) {
            fail(VE_LOGIN_FAILED, quoted_link(link->name) + " logs in as the connection's user, " +
                                      "whose password this connection does not hold");
        }
        session->login = log_in_linked(*session->dictionary, link->name, owner.login.user,
                                       owner.password->view());
    } else {
        const std::string user = link->property(dict_property::kLinkUser);
        SecretText password =
            open_secret(dictionary.database_property(dict_property::kLinkKey),
                        link->property(dict_property::kLinkPassword), to_upper_ascii(link->name));
        session->login = log_in_linked(*session->dictionary, link->name, user, password.view());
    }
    auto active = std::make_shared<ActiveLink>();
    active->name = link->name;
    active->session = std::move(session);
    active->definition = definition;
    if (open != links_.end()) {
        *open = active;  // the link changed: its new log-in replaces the old in its place
    } else {
        links_.push_back(active);
    }
    return active;
}

std::size_t ActiveLinks::count() const {
    std::lock_guard guard(mutex_);
    return links_.size();
}

std::shared_ptr<const ActiveLink> ActiveLinks::at(std::size_t index) const {
    std::lock_guard guard(mutex_);
    return index < links_.size() ? links_[index] : nullptr;
}

void ActiveLinks::close(std::string_view name) {
    std::lock_guard guard(mutex_);
    std::erase_if(links_, [&](const auto& active) { return iequals(active->name, name); });
}

std::optional<std::pair<std::string, std::string>> split_linked_name(
    const DictionarySession& session, std::string_view name) {
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == name.size()) {
        return std::nullopt;
    }
    std::string link(name.substr(0, dot));
    if (!session.dictionary->find(DictObjectType::Link, link)) {
        return std::nullopt;
    }
    return std::make_pair(std::move(link), std::string(name.substr(dot + 1)));
}

std::vector<TableSearch::Found> reachable_tables(const DictionarySession& session,
                                                 bool with_links) {
    std::vector<TableSearch::Found> tables;
    for (const auto& table : session.dictionary->list(DictObjectType::Table)) {
        tables.push_back({std::string(), table.name});
    }
    if (!with_links) {
        return tables;
    }
    for (const auto& link : session.dictionary->list(DictObjectType::Link)) {
        if ((link_options(link) & kLinkGlobal) == 0 && !session.login.administrator) {
            continue;
        }
        std::shared_ptr<const ActiveLink> active;
        try {
            active = session.links->open(session, link.name);
        } catch (const EngineError&) {
            continue;  // unreachable now; using it reports why (see the header)
        }
        for (const auto& table : active->session->dictionary->list(DictObjectType::Table)) {
            tables.push_back({link.name, table.name});
        }
    }
    return tables;
}

std::string describe_link(const ActiveLink& link) {
    return link.name + ";" + link.session->dictionary->path() + ";" + link.session->login.user +
           ";";
}

}  // namespace varelum::engine
