// TAdsDataSet: record editing. Beginning an edit (with the record lock of the locking mode),
// starting a new record, posting (appending a new record in the engine, sending only the
// fields that changed, flushing changed blob values, writing), cancelling, deleting, and the
// table locks (see adsdata_cursor.h).
//
// Every change stays in the record buffer until post. The locking modes:
//   exclusive table    no record locks at all;
//   lmPessimistic      the record is locked when the edit begins and unlocked after the write
//                      (or by cancel), so another user cannot change it meanwhile;
//   lmOptimistic       no lock during the edit; its checksum is taken when the edit begins,
//                      and post locks the record, compares the checksum ("Record was changed
//                      by another user." when it differs), writes and unlocks.
// A new record takes no lock; the engine appends it at the first post attempt, and a later
// attempt after a failure does not append it again.
#include <algorithm>
#include <cstring>
#include <string>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"

namespace varelum::ads {
namespace {

constexpr const char* kNoUpdateRight = "Update permission not granted on this table.";
constexpr const char* kNoInsertRight = "Insert permission not granted on this table.";
constexpr const char* kStaticView =
    "This table is based on a static VIEW. Static VIEWs can not be updated.";
constexpr const char* kRecordChanged = "Record was changed by another user.";
// Options of AdsAccessVfpSystemField: read the null flag, read the varchar flag.
constexpr UNSIGNED16 kVfpReadNullFlag = 1;
constexpr UNSIGNED16 kVfpReadVarcharFlag = 4;
// The 16-bit used length that marks a null variable-length field.
constexpr std::uint16_t kNullLength = 0xFFFF;

// Routes one of the layer's rights errors through the engine's last error, so that it comes
// out of CheckAceResult with code 5054 and its sentence.
void RaisePermissionError(TAdsDataSet& dataSet, const char* sentence) {
    CheckAceResult(&dataSet, ace::AdsSetLastError(VE_PERMISSION_DENIED,
                                                  reinterpret_cast<const UNSIGNED8*>(sentence)));
}

std::uint16_t WordAfter(const std::uint8_t* bytes, std::uint32_t length) {
    std::uint16_t word = 0;
    std::memcpy(&word, bytes + length, sizeof word);
    return word;
}

bool AllBlanks(const std::uint8_t* bytes, std::uint32_t length) {
    return std::all_of(bytes, bytes + length, [](std::uint8_t b) { return b == ' '; });
}

bool AllBlanks(const std::u16string& text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c == u' '; });
}

}  // namespace

bool TAdsDataSet::IsPessimisticLocking() const {
    return !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmPessimistic;
}

bool TAdsDataSet::IsOptimisticLocking() const {
    return !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmOptimistic;
}

// --- Edit and insert
// ------------------------------------------------------------------------------

void TAdsDataSet::BeginEditRecord() {
    if ((mulTableOptions & VE_TABLE_RIGHT_UPDATE) == 0) {
        RaisePermissionError(*this, kNoUpdateRight);
    }
    db::TRecordBuffer buffer = ActiveBuffer();
    const UNSIGNED32 record = BufferBookmarkRecord(buffer);
    const bool lockTaken = IsPessimisticLocking();
    if (lockTaken) {
        const UNSIGNED32 result = ace::AdsLockRecord(mlHandle, record);
        if (result == VE_STATIC_VIEW) {
            throw EADSDatabaseError(this, VE_STATIC_VIEW, kStaticView);
        }
        Check(result);
    }
    try {
        // The edit starts from the record as the engine holds it now.
        ReadRecordImage(buffer, musRecordSize, true);
        if (IsOptimisticLocking()) {
            Check(ace::AdsGetRecordCRC(mlHandle, &mulSavedCRC, 0));
        }
    } catch (...) {
        // No edit begins, so nothing would ever release the lock taken for it.
        if (lockTaken) {
            ace::AdsUnlockRecord(mlHandle, record);
        }
        throw;
    }
    FOldRecordBuffer.resize(std::size_t{musRecordSize} + 1);
    std::memcpy(FOldRecordBuffer.data(), buffer, musRecordSize);
    for (TACEFieldDef& def : FACEFieldDefs) {
        def.SetModified(false);
    }
}

void TAdsDataSet::BeginInsertRecord() {
    std::memset(ActiveBuffer() + musBookmarkOfs, 0, std::min<std::size_t>(4, BookmarkSize()));
    FOldRecordBuffer.clear();
    FOldRecordBuffer.shrink_to_fit();
}

void TAdsDataSet::NewRecord() {
    if (State() == db::dsInsert && (mulTableOptions & VE_TABLE_RIGHT_INSERT) == 0) {
        RaisePermissionError(*this, kNoInsertRight);
    }
    if (mpoMasterLink->Active() && !mpoMasterLink->Fields().empty()) {
        const std::vector<db::TField*>& masterFields = mpoMasterLink->Fields();
        for (std::size_t i = 0; i < masterFields.size(); ++i) {
            FieldForSegment(static_cast<int>(i)).SetAsVariant(masterFields[i]->AsVariant());
        }
    }
    db::TDataSet::NewRecord();
}

// --- Post -------------------------------------------------------------------------------------

void TAdsDataSet::PostCurrentRecord() {
    const db::TDataSetState state = State();
    if (state != db::dsEdit && state != db::dsInsert) {
        return;
    }
    CheckRequiredFields();
    bool locked = false;
    db::TRecordBuffer buffer = ActiveBuffer();
    const UNSIGNED32 record = BufferBookmarkRecord(buffer);
    try {
        if (state == db::dsEdit) {
            Check(ace::AdsGotoRecord(mlHandle, record));
            if (IsOptimisticLocking()) {
                Check(ace::AdsLockRecord(mlHandle, 0));
                locked = true;
                UNSIGNED32 crc = 0;
                Check(ace::AdsGetRecordCRC(mlHandle, &crc, 0));
                if (crc != mulSavedCRC) {
                    throw EADSDatabaseError(this, VE_RECORD_CHANGED, kRecordChanged);
                }
            }
        } else if (ReadBookmarkFlag(buffer) != db::bfInserted) {
            Check(ace::AdsAppendRecord(mlHandle));
            WriteBookmarkFlag(buffer, db::bfInserted);
            UNSIGNED32 appended = 0;
            Check(ace::AdsGetRecordNum(mlHandle, VE_IGNORE_FILTERS, &appended));
            std::memcpy(buffer + musBookmarkOfs, &appended, sizeof appended);
        }
        WriteModifiedFields(buffer);
        FlushBlobCaches(buffer);
        Check(ace::AdsWriteRecord(mlHandle));
        if (state == db::dsEdit && !mbExclusive) {
            Check(ace::AdsUnlockRecord(mlHandle, record));
        }
    } catch (...) {
        // Only the lock this post took is released; a pessimistic edit keeps its lock until
        // it is posted or cancelled.
        if (locked) {
            ace::AdsUnlockRecord(mlHandle, record);
        }
        throw;
    }
}

void TAdsDataSet::WriteModifiedFields(db::TRecordBuffer buffer) {
    const bool vfp = musAceTableType == kAceTableVFP;
    const bool preserveSpaces = mpoAdsTableOptions->AdsPreserveSpaces();
    for (int i = FACEFieldDefs.Count() - 1; i >= 0; --i) {
        const TACEFieldDef& def = FACEFieldDefs[i];
        if (!def.Modified()) {
            continue;
        }
        const UNSIGNED8* field = ADSFIELD(def.FieldNumber());
        const UNSIGNED16 type = def.FieldType();
        const std::uint8_t* bytes = buffer + def.Offset();
        const std::uint32_t length = def.Length();
        if (vfp) {
            UNSIGNED32 nullFlag = 0;
            Check(
                ace::AdsAccessVfpSystemField(mlHandle, field, buffer, kVfpReadNullFlag, &nullFlag));
            if (nullFlag != 0) {
                UNSIGNED16 nullable = 0;
                Check(ace::AdsIsNullable(mlHandle, field, &nullable));
                Check(nullable != 0 && !preserveSpaces ? ace::AdsSetNull(mlHandle, field)
                                                       : ace::AdsSetEmpty(mlHandle, field));
                continue;
            }
        }
        // Memo values go by the blob caches; the engine assigns autoincrement values itself.
        if (IsAdsMemoType(type) || type == VE_FIELD_AUTOINC) {
            continue;
        }
        std::uint32_t used = length;
        if (type == VE_FIELD_VARCHAR_FOX || type == VE_FIELD_VARBINARY_FOX) {
            if (vfp) {
                UNSIGNED32 varcharFlag = 0;
                Check(ace::AdsAccessVfpSystemField(mlHandle, field, buffer, kVfpReadVarcharFlag,
                                                   &varcharFlag));
                used = varcharFlag != 0 ? length : bytes[length - 1];
            } else if (musAceTableType == kAceTableADT) {
                used = WordAfter(bytes, length);
            }
        }
        switch (type) {
            case VE_FIELD_STRING:
            case VE_FIELD_CISTRING:
            case VE_FIELD_VARCHAR_FOX:
                // A null variable-length text has no bytes to send (its length word is the
                // null marker, not a length).
                if (type == VE_FIELD_VARCHAR_FOX && used == kNullLength) {
                    Check(ace::AdsSetEmpty(mlHandle, field));
                } else if (!preserveSpaces && AllBlanks(bytes, length)) {
                    Check(ace::AdsSetEmpty(mlHandle, field));
                } else {
                    Check(ace::AdsSetField(mlHandle, field, bytes, std::min(used, length)));
                }
                break;
            case VE_FIELD_NCHAR:
            case VE_FIELD_NVARCHAR: {
                std::size_t characters = length / 2;
                if (type == VE_FIELD_NVARCHAR) {
                    const std::uint16_t count = WordAfter(bytes, length);
                    if (count == kNullLength) {
                        Check(ace::AdsSetEmpty(mlHandle, field));
                        break;
                    }
                    characters = std::min<std::size_t>(count, characters);
                }
                // Copied out: the record image gives no alignment for UTF-16 units.
                std::u16string text(characters, u'\0');
                std::memcpy(text.data(), bytes, characters * sizeof(char16_t));
                if (!preserveSpaces && AllBlanks(text)) {
                    Check(ace::AdsSetEmpty(mlHandle, field));
                } else {
                    Check(ace::AdsSetFieldW(mlHandle, field, text.data(),
                                            static_cast<UNSIGNED32>(text.size())));
                }
                break;
            }
            default:
                // The record-image bytes unchanged, null markers included.
                Check(ace::AdsSetFieldRaw(mlHandle, field, bytes, used));
                break;
        }
    }
}

void TAdsDataSet::FlushBlobCaches(db::TRecordBuffer buffer) {
    for (db::TField* field : Fields()) {
        const TACEFieldDef* def = EngineFieldOf(*field);
        if (def == nullptr || field->BlobIndex() < 0) {
            continue;
        }
        TAdsBlobCache* cache = BlobCache(buffer, field->BlobIndex());
        if (!cache->IsCacheModified()) {
            continue;
        }
        const std::uint32_t marker = cache->Size() != 0 ? 0xFFFFFFFFu : 0u;
        std::memcpy(buffer + def->Offset(), &marker, sizeof marker);
        cache->Flush(this);
    }
}

// --- Cancel, delete, add
// --------------------------------------------------------------------------

void TAdsDataSet::CancelCurrentRecord() {
    const UNSIGNED32 result = ace::AdsCancelUpdate(mlHandle);
    if (result != VE_SUCCESS && result != VE_NO_CURRENT_RECORD && result != VE_NOTHING_TO_CANCEL) {
        Check(result);
    }
    const db::TDataSetState state = State();
    db::TRecordBuffer buffer = ActiveBuffer();
    if (state == db::dsInsert) {
        if (Eof()) {
            MoveToLast();
            return;
        }
        // The buffer below the new one holds the record that was active when the insert began.
        Check(ace::AdsGotoBookmark(mlHandle, BufferBookmarkRecord(Buffer(ActiveRecord() + 1))));
    }
    const UNSIGNED32 record = BufferBookmarkRecord(buffer);
    FetchVisibleRecord(buffer, db::gmCurrent);
    if (state == db::dsEdit && IsPessimisticLocking()) {
        Check(ace::AdsUnlockRecord(mlHandle, record));
    }
}

void TAdsDataSet::DeleteCurrentRecord() {
    try {
        Check(ace::AdsDeleteRecord(mlHandle));
        Check(ace::AdsWriteRecord(mlHandle));
    } catch (...) {
        // The first failure is the one to report.
        ace::AdsCancelUpdate(mlHandle);
        throw;
    }
    UNSIGNED16 deletedShown = 0;
    Check(ace::AdsGetDeleted(&deletedShown));
    if (deletedShown == 0) {
        // The deleted record is hidden now: the window resynchronises on the one after it.
        Check(ace::AdsSkip(mlActiveHandle, 1));
    }
}

void TAdsDataSet::AddRecordDirect(db::TRecordBuffer buffer, bool /*append*/) {
    if (buffer != ActiveBuffer()) {
        RaiseError("Unexpected error in InternalAddRecord.");
    }
    PostCurrentRecord();
}

// --- Table locks --------------------------------------------------------------------------------

void TAdsDataSet::LockTable() {
    if (Active() && !mbExclusive) {
        Check(ace::AdsLockTable(mlHandle));
    }
}

void TAdsDataSet::UnlockTable() {
    if (Active() && !mbExclusive) {
        const UNSIGNED32 result = ace::AdsUnlockTable(mlHandle);
        if (result != VE_TABLE_NOT_LOCKED) {
            Check(result);
        }
    }
}

}  // namespace varelum::ads
