// TAdsDataSet: the record-buffer layout, allocating and releasing buffers with their blob
// caches, the bookmark and flag hooks, and the buffer each state reads and writes (see the
// layout in adsdata_cursor.h).
#include <algorithm>
#include <cstring>

#include "ads/adsdata_cursor.h"

namespace varelum::ads {
namespace {

// The record information: a 32-bit record number, then the bookmark flag.
constexpr std::uint32_t kRecordInfoSize = sizeof(std::int32_t) + 1;
constexpr std::uint32_t kFlagOffset = sizeof(std::int32_t);

}  // namespace

void TAdsDataSet::ComputeBufferLayout() {
    musBlobCacheOfs = musRecordSize + static_cast<std::uint32_t>(CalcFieldsSize());
    musRecInfoOfs =
        musBlobCacheOfs + static_cast<std::uint32_t>(BlobFieldCount()) * sizeof(TAdsBlobCache*);
    musBookmarkOfs = musRecInfoOfs + kRecordInfoSize;
    const std::uint32_t bookmarkSize = BookmarkLengthOfOrder();
    SetBookmarkSize(bookmarkSize);
    musRecBufSize = musBookmarkOfs + bookmarkSize;
}

db::TRecordBuffer TAdsDataSet::AllocateRecordBuffer() {
    auto* buffer = new std::uint8_t[musRecBufSize]();
    for (int i = 0; i < BlobFieldCount(); ++i) {
        TAdsBlobCache* cache = new TAdsBlobCache();
        std::memcpy(buffer + musBlobCacheOfs + i * sizeof cache, &cache, sizeof cache);
    }
    return buffer;
}

void TAdsDataSet::ReleaseRecordBuffer(db::TRecordBuffer& buffer) {
    if (buffer == nullptr) {
        return;
    }
    for (int i = 0; i < BlobFieldCount(); ++i) {
        delete BlobCache(buffer, i);
    }
    delete[] buffer;
    buffer = nullptr;
}

TAdsBlobCache* TAdsDataSet::BlobCache(db::TRecordBuffer buffer, int blobIndex) const {
    TAdsBlobCache* cache = nullptr;
    std::memcpy(&cache, buffer + musBlobCacheOfs + blobIndex * sizeof cache, sizeof cache);
    return cache;
}

void TAdsDataSet::ClearBlobCaches(db::TRecordBuffer buffer) {
    for (int i = 0; i < BlobFieldCount(); ++i) {
        BlobCache(buffer, i)->ClearCache();
    }
}

std::int32_t TAdsDataSet::BufferRecordNumber(db::TRecordBuffer buffer) const {
    std::int32_t number = 0;
    std::memcpy(&number, buffer + musRecInfoOfs, sizeof number);
    return number;
}

std::uint32_t TAdsDataSet::BufferBookmarkRecord(db::TRecordBuffer buffer) const {
    std::uint32_t record = 0;
    std::memcpy(&record, buffer + musBookmarkOfs, sizeof record);
    return record;
}

void TAdsDataSet::ReadBookmarkData(db::TRecordBuffer buffer, std::uint8_t* bookmark) const {
    std::memcpy(bookmark, buffer + musBookmarkOfs, BookmarkSize());
}

void TAdsDataSet::WriteBookmarkData(db::TRecordBuffer buffer, const std::uint8_t* bookmark) {
    std::memcpy(buffer + musBookmarkOfs, bookmark, BookmarkSize());
}

db::TBookmarkFlag TAdsDataSet::ReadBookmarkFlag(db::TRecordBuffer buffer) const {
    return static_cast<db::TBookmarkFlag>(buffer[musRecInfoOfs + kFlagOffset]);
}

void TAdsDataSet::WriteBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) {
    buffer[musRecInfoOfs + kFlagOffset] = flag;
}

void TAdsDataSet::PrepareRecordBuffer(db::TRecordBuffer buffer) {
    db::TDataSet::PrepareRecordBuffer(buffer);
    const std::int32_t newRecord = -1;
    std::memcpy(buffer + musRecInfoOfs, &newRecord, sizeof newRecord);
    // A new buffer carries the flag current until it is appended.
    buffer[musRecInfoOfs + kFlagOffset] = db::bfCurrent;
    std::memset(buffer + musBookmarkOfs, 0, std::min<std::size_t>(4, BookmarkSize()));
}

db::TRecordBuffer TAdsDataSet::StateRecordBuffer() const {
    switch (State()) {
        case db::dsSetKey:
            return mpstKeyBuffer != nullptr ? mpstKeyBuffer->Data.data() : nullptr;
        case db::dsOldValue:
            return FOldRecordBuffer.empty() ? nullptr
                                            : const_cast<std::uint8_t*>(FOldRecordBuffer.data());
        default:
            return db::TDataSet::StateRecordBuffer();
    }
}

}  // namespace varelum::ads
