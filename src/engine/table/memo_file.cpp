// Memo values to and from files (see memo_file.h).
#include "engine/table/memo_file.h"

#include <fcntl.h>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/table/table_cursor.h"

namespace varelum::engine {

void write_memo_to_file(TableCursor& table, const FieldDescriptor& field, const std::string& path) {
    const std::string value = table.memo(field).value_or(std::string());
    if (int error = replace_file(path, path + ".partial", value)) {
        fail_errno("write", path, error);
    }
}

void read_memo_from_file(TableCursor& table, const FieldDescriptor& field,
                         const std::string& path) {
    int fd = env().open_file(path, O_RDONLY);
    if (fd < 0) {
        fail_errno("open", path, -fd);
    }
    std::string value;
    char chunk[1 << 16];
    int error = 0;
    while (true) {
        ssize_t got = env().read_at(fd, chunk, sizeof chunk, static_cast<off_t>(value.size()));
        if (got < 0) {
            error = static_cast<int>(-got);
            break;
        }
        if (got == 0) {
            break;
        }
        value.append(chunk, static_cast<std::size_t>(got));
    }
    env().close_file(fd);
    if (error != 0) {
        fail_errno("read", path, error);
    }
    table.set_memo(field, std::move(value));
}

}  // namespace varelum::engine
