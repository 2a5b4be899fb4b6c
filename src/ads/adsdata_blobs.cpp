// Blob caches and blob streams (see adsdata_blobs.h).
#include "ads/adsdata_blobs.h"

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/field.h"

namespace varelum::ads {
namespace {

constexpr const char* kReadOnlyBlob = "Error modifying read only blob.";
constexpr const char* kBlobNotWritable = "Cannot write to blob in current state.";
constexpr const char* kNotABlob = "Invalid blob open on non-blob field.";

bool IsBlobStreamState(db::TDataSetState state) {
    return state == db::dsBrowse || state == db::dsEdit || state == db::dsInsert ||
           state == db::dsCalcFields || state == db::dsNewValue;
}

}  // namespace

// --- TAdsBlobCache -----------------------------------------------------------------------------

void TAdsBlobCache::ClearCache() {
    Clear();
    mhAdsTable = kNoAdsHandle;
    mulRecNum = 0;
    mulFieldNo = 0;
    mbBlobModified = false;
    mbCleared = false;
}

void TAdsBlobCache::ClearValue(ADSHANDLE hAdsTable, UNSIGNED32 ulFieldNo, UNSIGNED32 ulRecNo) {
    Clear();
    mhAdsTable = hAdsTable;
    mulRecNum = ulRecNo;
    mulFieldNo = ulFieldNo;
    mbBlobModified = true;
    mbCleared = true;
}

void TAdsBlobCache::Forget() {
    Clear();
    mulRecNum = 0;
}

void TAdsBlobCache::RefreshCache(ADSHANDLE hAdsTable, UNSIGNED32 ulFieldNo, UNSIGNED32 ulRecNo,
                                 bool bForceReread, TAdsDataSet* dataSet) {
    if (!bForceReread && hAdsTable == mhAdsTable && ulRecNo == mulRecNum &&
        ulFieldNo == mulFieldNo) {
        Seek(0, db::soBeginning);
        return;
    }
    Clear();
    mhAdsTable = hAdsTable;
    mulRecNum = ulRecNo;
    mulFieldNo = ulFieldNo;
    mbBlobModified = false;
    mbCleared = false;
    if (ulRecNo == 0) {
        return;
    }
    const UNSIGNED8* field = ADSFIELD(ulFieldNo);
    try {
        UNSIGNED32 current = 0;
        CheckAceResult(dataSet, ace::AdsGetRecordNum(hAdsTable, VE_IGNORE_FILTERS, &current));
        if (current != ulRecNo) {
            CheckAceResult(dataSet, ace::AdsGotoRecord(hAdsTable, ulRecNo));
        }
        UNSIGNED16 type = 0;
        CheckAceResult(dataSet, ace::AdsGetFieldType(hAdsTable, field, &type));
        bool binary = type == VE_FIELD_BINARY || type == VE_FIELD_IMAGE;
        if (type == VE_FIELD_MEMO) {
            UNSIGNED16 memoType = 0;
            CheckAceResult(dataSet, ace::AdsGetMemoDataType(hAdsTable, field, &memoType));
            binary = memoType != VE_MEMO_TEXT;
        }
        UNSIGNED32 length = 0;
        const UNSIGNED32 lengthResult =
            binary ? ace::AdsGetBinaryLength(hAdsTable, field, &length)
                   : ace::AdsGetDataLength(hAdsTable, field, VE_TRIM_NONE, &length);
        if (lengthResult == kAdsNoCurrentRecord) {
            Forget();
            return;
        }
        CheckAceResult(dataSet, lengthResult);
        if (!binary) {
            length += 1;  // the terminating zero of the text
        }
        if (type == VE_FIELD_NMEMO) {
            length *= 2;
        }
        Bytes().resize(length);
        auto* memory = reinterpret_cast<UNSIGNED8*>(Bytes().data());
        UNSIGNED32 got = length;
        if (binary) {
            CheckAceResult(dataSet, ace::AdsGetBinary(hAdsTable, field, 0, memory, &got));
        } else if (type == VE_FIELD_NMEMO) {
            got = length / 2;
            CheckAceResult(
                dataSet, ace::AdsGetFieldW(hAdsTable, field, reinterpret_cast<WCHAR*>(memory), &got,
                                           VE_TRIM_NONE));
            got *= 2;
        } else {
            CheckAceResult(dataSet, ace::AdsGetField(hAdsTable, field, memory, &got, VE_TRIM_NONE));
        }
        Bytes().resize(std::min<std::size_t>(got, Bytes().size()));
        Seek(0, db::soBeginning);
    } catch (const EADSDatabaseError& error) {
        Forget();
        if (error.ACEErrorCode() != kAdsNoCurrentRecord &&
            error.ACEErrorCode() != VE_RECORD_NOT_FOUND) {
            throw;
        }
    }
}

void TAdsBlobCache::Flush(TAdsDataSet* dataSet) {
    if (!mbBlobModified) {
        return;
    }
    const UNSIGNED8* field = ADSFIELD(mulFieldNo);
    if (mbCleared) {
        CheckAceResult(dataSet, ace::AdsSetEmpty(mhAdsTable, field));
        mbBlobModified = false;
        mbCleared = false;
        return;
    }
    UNSIGNED16 type = 0;
    CheckAceResult(dataSet, ace::AdsGetFieldType(mhAdsTable, field, &type));
    if (type == VE_FIELD_NMEMO) {
        CheckAceResult(dataSet, ace::AdsSetFieldW(mhAdsTable, field,
                                                  reinterpret_cast<const WCHAR*>(Bytes().data()),
                                                  static_cast<UNSIGNED32>(Bytes().size() / 2)));
    } else {
        CheckAceResult(dataSet, ace::AdsSetField(mhAdsTable, field,
                                                 reinterpret_cast<const UNSIGNED8*>(Bytes().data()),
                                                 static_cast<UNSIGNED32>(Bytes().size())));
    }
    mbBlobModified = false;
}

std::size_t TAdsBlobCache::Write(const void* buffer, std::size_t count) {
    mbBlobModified = true;
    mbCleared = false;
    return TMemoryStream::Write(buffer, count);
}

void TAdsBlobCache::Truncate() {
    mbBlobModified = true;
    mbCleared = false;
    TMemoryStream::Truncate();
}

// --- TAdsBlobStream -----------------------------------------------------------------------------

TAdsBlobStream::TAdsBlobStream(TAdsDataSet& dataSet, db::TField& Field, db::TBlobStreamMode Mode)
    : FDataSet(dataSet), moField(Field), moMode(Mode) {
    const db::TDataSetState state = dataSet.State();
    db::TRecordBuffer buffer =
        IsBlobStreamState(state) ? dataSet.StateRecordBuffer() : db::TRecordBuffer{};
    UNSIGNED16 type = 0;
    dataSet.Check(ace::AdsGetFieldType(dataSet.mlHandle, ADSFIELD(Field.FieldNo()), &type));
    if (!IsAdsBlobType(type)) {
        dataSet.RaiseError(kNotABlob);
    }
    if (buffer == nullptr || Field.BlobIndex() < 0) {
        return;
    }
    moAdsBlobCach = dataSet.BlobCache(buffer, Field.BlobIndex());
    const bool force = (state == db::dsEdit || state == db::dsInsert) && Mode == db::bmReadWrite &&
                       !moAdsBlobCach->IsCacheModified();
    moAdsBlobCach->RefreshCache(dataSet.mlHandle, static_cast<UNSIGNED32>(Field.FieldNo()),
                                dataSet.BufferBookmarkRecord(buffer), force, &dataSet);
    // The refresh may have moved the engine to another record.
    dataSet.CursorPosChanged();
    if (Mode == db::bmWrite) {
        moAdsBlobCach->Truncate();
        mbModified = true;
    }
}

TAdsBlobStream::~TAdsBlobStream() {
    if (!mbModified) {
        return;
    }
    const int number = moField.FieldNo();
    if (number > 0 && number <= FDataSet.FACEFieldDefs.Count()) {
        FDataSet.FACEFieldDefs[number - 1].SetModified(true);
    }
    try {
        FDataSet.DataEvent(db::deFieldChange, &moField);
    } catch (...) {
        // A destructor must not throw; a control that fails to show the change shows it at
        // its next refresh.
    }
}

void TAdsBlobStream::CheckWritable() const {
    if (moMode == db::bmRead) {
        RaiseAdsComponentError(nullptr, kReadOnlyBlob);
    }
    if (moAdsBlobCach == nullptr) {
        RaiseAdsComponentError(nullptr, kBlobNotWritable);
    }
}

std::size_t TAdsBlobStream::Read(void* buffer, std::size_t count) {
    return moAdsBlobCach == nullptr ? 0 : moAdsBlobCach->Read(buffer, count);
}

std::size_t TAdsBlobStream::Write(const void* buffer, std::size_t count) {
    CheckWritable();
    mbModified = true;
    return moAdsBlobCach->Write(buffer, count);
}

std::int64_t TAdsBlobStream::Seek(std::int64_t offset, db::TSeekOrigin origin) {
    return moAdsBlobCach == nullptr ? 0 : moAdsBlobCach->Seek(offset, origin);
}

std::int64_t TAdsBlobStream::Size() const {
    return moAdsBlobCach == nullptr ? 0 : moAdsBlobCach->Size();
}

void TAdsBlobStream::Truncate() {
    CheckWritable();
    mbModified = true;
    moAdsBlobCach->Truncate();
}

}  // namespace varelum::ads
