// Blob values of engine datasets: TAdsBlobCache, the per-buffer copy of one memo or blob value,
// and TAdsBlobStream, the stream CreateBlobStream hands out over it.
//
// Memo and blob values live outside the record image. Each record buffer owns one cache per
// blob field; the first stream opened on a buffer's field reads the whole value from the engine
// into the cache, later streams on the same record and field only rewind it. Writes collect in
// the cache and reach the engine at post (Flush).
#pragma once

#include <cstdint>
#include <memory>

#include "db/db_types.h"
#include "db/stream.h"
#include "varelum_engine.h"

namespace varelum::db {
class TField;
}

namespace varelum::ads {

class TAdsDataSet;

class TAdsBlobCache : public db::TMemoryStream {
  public:
    TAdsBlobCache() { ClearCache(); }

    // Fills the cache with the value of field ulFieldNo of record ulRecNo through table handle
    // hAdsTable (moving the handle to that record when it is elsewhere). Unless forced, a cache
    // that holds that very value is only rewound. Record 0 leaves it empty. 5068 and 5022 from
    // the engine leave it empty; other failures raise EADSDatabaseError about dataSet.
    void RefreshCache(ADSHANDLE hAdsTable, UNSIGNED32 ulFieldNo, UNSIGNED32 ulRecNo,
                      bool bForceReread, TAdsDataSet* dataSet = nullptr);
    // Empty; no table, record or field.
    void ClearCache();
    // The value of field ulFieldNo of record ulRecNo through hAdsTable cleared in an edit
    // (TField::Clear, a Null variant): empty and modified without reading the old value, and
    // sent as null unless something is written after it.
    void ClearValue(ADSHANDLE hAdsTable, UNSIGNED32 ulFieldNo, UNSIGNED32 ulRecNo);
    // Sends a modified value to the engine's record buffer (AdsSetField, AdsSetFieldW for
    // NMEMO, AdsSetEmpty for a cleared value); then it counts as unmodified.
    void Flush(TAdsDataSet* dataSet = nullptr);
    bool IsCacheModified() const { return mbBlobModified; }

    std::size_t Write(const void* buffer, std::size_t count) override;
    void Truncate() override;

    ADSHANDLE Table() const { return mhAdsTable; }
    UNSIGNED32 RecordNumber() const { return mulRecNum; }
    UNSIGNED32 FieldNumber() const { return mulFieldNo; }

  private:
    void Forget();

    ADSHANDLE mhAdsTable = 0;
    UNSIGNED32 mulRecNum = 0;
    bool mbBlobModified = false;
    UNSIGNED32 mulFieldNo = 0;
    bool mbCleared = false;
};

class TAdsBlobStream : public db::TStream {
  public:
    // See TAdsDataSet::CreateBlobStream: refuses a field that is no memo or blob ("Invalid
    // blob open on non-blob field.") and fills the cache of the state's buffer.
    TAdsBlobStream(TAdsDataSet& dataSet, db::TField& Field, db::TBlobStreamMode Mode);
    // A stream that changed the value marks the field modified and sends a field change.
    ~TAdsBlobStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    // Only for bmWrite and bmReadWrite streams with a cache: "Error modifying read only blob."
    // and "Cannot write to blob in current state." (EADSDatabaseError 5121, no dataset).
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, db::TSeekOrigin origin) override;
    std::int64_t Size() const override;
    void Truncate() override;

  private:
    void CheckWritable() const;

    TAdsDataSet& FDataSet;
    db::TField& moField;
    db::TBlobStreamMode moMode;
    TAdsBlobCache* moAdsBlobCach = nullptr;
    bool mbModified = false;
};

}  // namespace varelum::ads
