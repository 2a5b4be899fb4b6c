// The connection component's transactions and savepoints (see adscnnct.h). A transaction
// belongs to the engine connection and covers every table written through it; the component
// adds its events, empties its statement cache at the end of a transaction, and after a
// rollback puts its attached datasets back in step with the tables.
#include <vector>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/dataset.h"
#include "rtl/code_page.h"

namespace varelum::ads {

namespace {

void CheckTransactionCall(UNSIGNED32 result) {
    if (result != VE_SUCCESS) {
        throw adscnnct::AdsError(result);
    }
}

}  // namespace

bool TAdsConnection::TransactionActive() const {
    CheckConnected();
    UNSIGNED16 active = 0;
    CheckAceResult(nullptr, ace::AdsInTransaction(FhConnection, &active));
    return active == 1;
}

std::int32_t TAdsConnection::TransactionCount() const {
    CheckConnected();
    UNSIGNED32 count = 0;
    CheckAceResult(nullptr, ace::AdsGetTransactionCount(FhConnection, &count));
    return static_cast<std::int32_t>(count);
}

void TAdsConnection::BeginTransaction() {
    CheckConnected();
    CheckTransactionCall(ace::AdsBeginTransaction(FhConnection));
}

void TAdsConnection::Commit() {
    CheckConnected();
    DoBeforeCommit();
    CloseCachedStatements();
    CheckTransactionCall(ace::AdsCommitTransaction(FhConnection));
    DoAfterCommit();
}

void TAdsConnection::Rollback() {
    CheckConnected();
    DoBeforeRollback();
    CloseCachedStatements();
    // Copies: a dataset's events may attach or detach datasets.
    if (FCancelOnRollback) {
        const std::vector<TAdsDatabaseLink*> tables = FTablesList;
        for (TAdsDatabaseLink* table : tables) {
            if (auto* dataset = dynamic_cast<TAdsDataSet*>(table)) {
                // Edits not yet posted would otherwise be written after the rollback.
                if (dataset->State() == db::dsEdit || dataset->State() == db::dsInsert) {
                    dataset->Cancel();
                }
            }
        }
    }
    CheckTransactionCall(ace::AdsRollbackTransaction(FhConnection));
    const std::vector<TAdsDatabaseLink*> tables = FTablesList;
    for (TAdsDatabaseLink* table : tables) {
        auto* dataset = dynamic_cast<TAdsDataSet*>(table);
        if (dataset != nullptr && dataset->Active() && dataset->State() == db::dsBrowse) {
            dataset->Refresh();
        }
    }
    DoAfterRollback();
}

void TAdsConnection::Rollback(const std::string& strSavepoint) {
    if (strSavepoint.empty()) {
        Rollback();
        return;
    }
    CheckConnected();
    std::string name = rtl::Utf8ToAnsi(strSavepoint);
    CheckAceResult(nullptr, ace::AdsRollbackTransaction80(
                                FhConnection, reinterpret_cast<UNSIGNED8*>(name.data()), 0));
}

void TAdsConnection::CreateSavepoint(const std::string& strSavepoint) {
    CheckConnected();
    std::string name = rtl::Utf8ToAnsi(strSavepoint);
    CheckAceResult(nullptr, ace::AdsCreateSavepoint(FhConnection,
                                                    reinterpret_cast<UNSIGNED8*>(name.data()), 0));
}

}  // namespace varelum::ads
