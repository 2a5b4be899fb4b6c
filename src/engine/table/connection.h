// An engine connection: the table store it reaches its tables through (which also keeps its
// locks on each table, shared by the connection's handles on that table, so that locks belong
// to the connection as the components expect), its own date format and server types, and the
// table handles opened through it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/dates.h"
#include "engine/core/handles.h"
#include "engine/storage/table_store.h"

namespace varelum::engine {

class TableFile;
class TableCursor;
class Transaction;
struct DictionarySession;  // engine/dict/dictionary.h

struct ConnectionOptions {
    std::optional<std::uint16_t> server_types;  // from the connection string
    std::optional<DateFormat> date_format;
    std::uint16_t default_table_type = 3;
    std::uint32_t sql_timeout_seconds = 0;  // for the connection's new statements; 0: none
    // The user of a data dictionary's log-in; a free connection's password as given, which
    // guards nothing there (a dictionary's password never comes here: it is checked and
    // wiped, dict/secret.h).
    std::string user_id;
    std::string password;
    // A remote transport's settings as the connection string gave them (8-bit text); kept so
    // that the connection can tell them (AdsGetConnectionProperty), with no local effect.
    std::string encryption_type;
    std::string tls_certificate;
    std::string tls_ciphers;
    std::string tls_common_name;
    bool fips = false;
    std::uint32_t comm_type = 0;
};

class Connection : public HandleObject {
  public:
    static constexpr HandleKind kKind = HandleKind::Connection;
    // path: the connection's directory, served by the store make_table_store chooses.
    // Throws VE_PATH_NOT_FOUND, VE_SERVER_NOT_AVAILABLE.
    // A dictionary connection is made on the dictionary's directory and then given the
    // session of its log-in (set_dictionary).
    Connection(const std::string& path, ConnectionOptions options, bool implicit);
    ~Connection() override;  // rolls back a transaction left open
    HandleKind kind() const override { return kKind; }

    const std::string& path() const { return path_; }  // UTF-8, absolute, "/" separated
    // A copy: the date format and timeout may change while it is read.
    ConnectionOptions options() const;
    bool implicit() const { return implicit_; }  // made for a table opened without one
    DateFormat date_format() const;
    void set_date_format(const DateFormat& format);
    std::uint16_t default_table_type() const { return options_.default_table_type; }
    // The SQL timeout the connection's new statements start with (seconds; 0: none).
    std::uint32_t sql_timeout() const;
    void set_sql_timeout(std::uint32_t seconds);

    // The path of a table name: relative names are taken from the connection's directory.
    std::string resolve(const std::string& name_utf8) const;

    // The dictionary the connection logged in to; nullptr for a free-table connection.
    const std::shared_ptr<DictionarySession>& dictionary() const { return dictionary_; }
    void set_dictionary(std::shared_ptr<DictionarySession> session) {
        dictionary_ = std::move(session);
    }

    // Where the connection's tables live: every table is found, opened, made, removed and
    // locked through it.
    TableStore& store() const { return *store_; }
    void add_table(const std::shared_ptr<TableCursor>& table);
    void remove_table(const TableCursor* table);
    std::vector<std::shared_ptr<TableCursor>> tables() const;

    // The open transaction (every write of the connection joins it), nullptr outside one.
    Transaction* transaction() const { return transaction_.get(); }
    void begin_transaction();     // throws VE_IN_TRANSACTION inside one
    void commit_transaction();    // throws VE_NO_TRANSACTION outside one
    void rollback_transaction();  // throws VE_NO_TRANSACTION outside one
    // Whole-table work (zap, pack, index changes) cannot be undone: VE_IN_TRANSACTION.
    void require_no_transaction(const std::string& what) const;

  private:
    std::string path_;
    ConnectionOptions options_;
    bool implicit_;
    std::unique_ptr<TableStore> store_;
    std::shared_ptr<DictionarySession> dictionary_;
    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<TableCursor>> tables_;
    std::unique_ptr<Transaction> transaction_;
};

}  // namespace varelum::engine
