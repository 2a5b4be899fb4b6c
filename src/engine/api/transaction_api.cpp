// Transactions and savepoints of a connection (see varelum_engine.h).
#include "engine/api/guard.h"
#include "engine/core/text.h"
#include "engine/txn/transaction.h"

using namespace varelum::engine;

namespace {

Transaction& active_transaction(Connection& connection) {
    Transaction* transaction = connection.transaction();
    if (transaction == nullptr) {
        fail(VE_NO_TRANSACTION);
    }
    return *transaction;
}

std::string savepoint_name(const UNSIGNED8* name, UNSIGNED32 options) {
    if (options != 0) {
        fail(VE_INVALID_ARGUMENT, "savepoint options must be 0");
    }
    std::string text(c_text(name));
    if (text.empty()) {
        fail(VE_INVALID_ARGUMENT, "a savepoint needs a name");
    }
    return text;
}

}  // namespace

extern "C" {

VE_API UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect) {
    return guarded([&] { connection_of(hConnect)->begin_transaction(); });
}

VE_API UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect) {
    return guarded([&] { connection_of(hConnect)->commit_transaction(); });
}

VE_API UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect) {
    return guarded([&] { connection_of(hConnect)->rollback_transaction(); });
}

VE_API UNSIGNED32 AdsRollbackTransaction80(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint,
                                           UNSIGNED32 ulOptions) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        if (pucSavepoint == nullptr || *pucSavepoint == 0) {
            connection->rollback_transaction();
            return;
        }
        std::string name = savepoint_name(pucSavepoint, ulOptions);
        active_transaction(*connection).rollback_to(name);
    });
}

VE_API UNSIGNED32 AdsCreateSavepoint(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint,
                                     UNSIGNED32 ulOptions) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        std::string name = savepoint_name(pucSavepoint, ulOptions);
        active_transaction(*connection).create_savepoint(name);
    });
}

VE_API UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        out(pbInTrans) = connection->transaction() != nullptr ? 1 : 0;
    });
}

VE_API UNSIGNED32 AdsGetTransactionCount(ADSHANDLE hConnect, UNSIGNED32* pulTransactionCount) {
    return guarded([&] {
        auto connection = connection_of(hConnect);
        out(pulTransactionCount) = connection->transaction() != nullptr ? 1 : 0;
    });
}

}  // extern "C"
