// The byte streams of blob values: TStream's whole-content helpers and TMemoryStream.
#include "db/stream.h"

#include <algorithm>
#include <cstring>

namespace varelum::db {

std::string TStream::ReadAll() {
    Seek(0, soBeginning);
    std::string bytes(static_cast<std::size_t>(Size()), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t got = Read(bytes.data() + done, bytes.size() - done);
        if (got == 0) {
            break;
        }
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

void TStream::WriteAll(std::string_view bytes) {
    Seek(0, soBeginning);
    Write(bytes.data(), bytes.size());
    Truncate();
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (FPosition >= FBytes.size()) {
        return 0;
    }
    std::size_t n = std::min(count, FBytes.size() - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, n);
    FPosition += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    if (FPosition + count > FBytes.size()) {
        FBytes.resize(FPosition + count);
    }
    std::memcpy(FBytes.data() + FPosition, buffer, count);
    FPosition += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == soCurrent) {
        base = static_cast<std::int64_t>(FPosition);
    } else if (origin == soEnd) {
        base = Size();
    }
    FPosition = static_cast<std::size_t>(std::max<std::int64_t>(0, base + offset));
    return static_cast<std::int64_t>(FPosition);
}

}  // namespace varelum::db
