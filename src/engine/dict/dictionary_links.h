// Links from one data dictionary to others. The administrator stores a link under an alias
// with the linked dictionary's path and how to log in there: a user and password of the
// linked dictionary (the password sealed, see secret.h), or the connection's own user and
// password. A statement naming "alias.table" opens the link for its connection: the linked
// dictionary is logged in to once, and its tables are reached with the rights that log-in
// has there, so a link never grants more than its user has on the linked side.
//
// A link made global may be used by every user of the dictionary; any other link by the
// administrator only.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/dict/dictionary.h"
#include "engine/table/table_search.h"

namespace varelum::engine {

// Link options: the bits of the C interface's AdsDDCreateLink.
constexpr std::uint32_t kLinkGlobal = 1;        // every user may use it
constexpr std::uint32_t kLinkAsActiveUser = 2;  // logs in as the connection's own user
constexpr std::uint32_t kLinkStaticPath = 4;    // the path is kept absolute
constexpr std::uint32_t kLinkOptionBits = kLinkGlobal | kLinkAsActiveUser | kLinkStaticPath;

// What the administrator gives to make a link.
struct LinkDefinition {
    std::string name;
    std::string linked_path;  // UTF-8; relative paths are taken from the dictionary's folder
    std::string user;         // ignored with kLinkAsActiveUser
    std::string_view password;
    std::uint32_t options = 0;
};

// The absolute path of a link's dictionary.
std::string linked_dictionary_path(const Dictionary& dictionary, const DictObject& link);
std::uint32_t link_options(const DictObject& link);

// A link a connection has opened: the linked dictionary and the log-in made there.
struct ActiveLink {
    std::string name;  // as stored
    std::shared_ptr<DictionarySession> session;
    std::string definition;  // the stored link as it was opened; a changed link is opened anew
};

// The links one dictionary connection has opened, in the order it opened them.
class ActiveLinks {
  public:
    // The open link `name` of the owner's dictionary, opening it first when needed. Throws
    // VE_DICTIONARY_ONLY (no such link), VE_PERMISSION_DENIED (a link that is not global,
    // for a user other than the administrator), VE_PATH_NOT_FOUND and VE_NOT_A_DICTIONARY
    // (the linked dictionary is missing), VE_LOGIN_FAILED (the linked dictionary refuses the
    // log-in).
    std::shared_ptr<const ActiveLink> open(const DictionarySession& owner, std::string_view name);
    std::size_t count() const;
    // The link opened index-th (from 0); nullptr past the end.
    std::shared_ptr<const ActiveLink> at(std::size_t index) const;
    void close(std::string_view name);

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<const ActiveLink>> links_;
};

// "alias.table" naming a table through a link of the session's dictionary: the alias and the
// table's name; nullopt when the part before the first "." is no link's alias.
std::optional<std::pair<std::string, std::string>> split_linked_name(
    const DictionarySession& session, std::string_view name);

// The tables a dictionary connection reaches, each with the alias of the link it is reached
// through (empty for the dictionary's own): the dictionary's tables, then (with_links) those of
// each link its user may use, opening those links; each dictionary's in name order. A link that
// cannot be opened adds no names: the listing shows what can be reached, and a statement through
// the link says why not.
std::vector<TableSearch::Found> reachable_tables(const DictionarySession& session, bool with_links);

// A description of an open link, its pieces each ended by ";": the alias, the linked
// dictionary's path and the user logged in there. Never a password.
std::string describe_link(const ActiveLink& link);

}  // namespace varelum::engine
