// Engine connections (see connection.h).
#include "engine/table/connection.h"

#include "engine/core/error.h"
#include "engine/core/settings.h"
#include "engine/core/text.h"
#include "engine/storage/table_file.h"
#include "engine/txn/transaction.h"
#include "varelum_engine.h"

namespace varelum::engine {

Connection::Connection(const std::string& path, ConnectionOptions options, bool implicit)
    : path_(normalize_path(path)), options_(std::move(options)), implicit_(implicit) {
    store_ = make_table_store(
        path_, options_.server_types.value_or(EngineSettings::instance().server_types()));
}

ConnectionOptions Connection::options() const {
    std::lock_guard guard(mutex_);
    return options_;
}

Connection::~Connection() = default;

void Connection::begin_transaction() {
    if (transaction_) {
        fail(VE_IN_TRANSACTION);
    }
    transaction_ = std::make_unique<Transaction>();
}

void Connection::commit_transaction() {
    if (!transaction_) {
        fail(VE_NO_TRANSACTION);
    }
    std::unique_ptr<Transaction> ending = std::move(transaction_);
    ending->commit();
}

void Connection::rollback_transaction() {
    if (!transaction_) {
        fail(VE_NO_TRANSACTION);
    }
    std::unique_ptr<Transaction> ending = std::move(transaction_);
    ending->rollback();
}

void Connection::require_no_transaction(const std::string& what) const {
    if (transaction_) {
        fail(VE_IN_TRANSACTION, what + " cannot be part of a transaction");
    }
}

DateFormat Connection::date_format() const {
    std::lock_guard guard(mutex_);
    return options_.date_format.value_or(EngineSettings::instance().date_format());
}

void Connection::set_date_format(const DateFormat& format) {
    std::lock_guard guard(mutex_);
    options_.date_format = format;
}

std::uint32_t Connection::sql_timeout() const {
    std::lock_guard guard(mutex_);
    return options_.sql_timeout_seconds;
}

void Connection::set_sql_timeout(std::uint32_t seconds) {
    std::lock_guard guard(mutex_);
    options_.sql_timeout_seconds = seconds;
}

std::string Connection::resolve(const std::string& name_utf8) const {
    std::string spelled;
    for (char c : name_utf8) {
        spelled.push_back(c == '\\' ? '/' : c);
    }
    if (!spelled.empty() && spelled.front() == '/') {
        return normalize_path(spelled);
    }
    return normalize_path(path_ + "/" + spelled);
}

void Connection::add_table(const std::shared_ptr<TableCursor>& table) {
    std::lock_guard guard(mutex_);
    tables_.push_back(table);
}

void Connection::remove_table(const TableCursor* table) {
    std::lock_guard guard(mutex_);
    std::erase_if(tables_, [table](const std::weak_ptr<TableCursor>& entry) {
        auto locked = entry.lock();
        return !locked || locked.get() == table;
    });
}

std::vector<std::shared_ptr<TableCursor>> Connection::tables() const {
    std::lock_guard guard(mutex_);
    std::vector<std::shared_ptr<TableCursor>> result;
    for (const auto& entry : tables_) {
        if (auto table = entry.lock()) {
            result.push_back(table);
        }
    }
    return result;
}

}  // namespace varelum::engine
