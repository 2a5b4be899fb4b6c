// The one place that decides which store serves a connection path (see table_store.h).
#include "engine/storage/table_store.h"

#include "engine/core/error.h"
#include "engine/storage/lmdb/folder_store.h"
#include "varelum_engine.h"

namespace varelum::engine {

std::unique_ptr<TableStore> make_table_store(const std::string& connection_path,
                                             std::uint16_t server_types) {
    if ((server_types & VE_SERVER_LOCAL) == 0) {
        fail(VE_SERVER_NOT_AVAILABLE, connection_path);
    }
    return std::make_unique<FolderStore>(connection_path);
}

}  // namespace varelum::engine
