// TAdsDataSet: the key buffers and key search on the active index (SetKey, EditKey, GotoKey,
// GotoNearest, FindKey, FindNearest and their properties), GotoCurrent, and the Post and
// Cancel overrides that end a key edit (see adsdata_keysearch.h and adsdata_cursor.h).
//
// A key edit (dsSetKey) writes field values into a key buffer's record image instead of a
// record; a search then turns the buffer into a raw key of the active index, segment by
// segment in the index's order, and seeks it. The buffer being edited is saved when the edit
// begins, so that Cancel can put the key back as it was.
#include <algorithm>
#include <array>
#include <cstring>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_locate.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

// Raw keys of exact seeks are built in buffers of this size; the soft seek of GotoNearest
// takes one byte more.
constexpr UNSIGNED16 kRawKeyCapacity = 4082;
constexpr UNSIGNED16 kNearestKeyCapacity = 4083;

}  // namespace

// --- Key buffers
// ----------------------------------------------------------------------------------

TAdsKeyBuffer& TAdsDataSet::KeyBuffer(int index) {
    if (!mapKeyBuffers[static_cast<std::size_t>(index)]) {
        CheckActive();
    }
    TAdsKeyBuffer& buffer = *mapKeyBuffers[static_cast<std::size_t>(index)];
    // The buffers are made before the fields are described; each is reset at its first use.
    if (buffer.KeyLengths.size() != static_cast<std::size_t>(FACEFieldDefs.Count())) {
        ResetKeyBuffer(buffer);
    }
    return buffer;
}

void TAdsDataSet::ResetKeyBuffer(TAdsKeyBuffer& buffer) {
    buffer.Modified = false;
    buffer.Exclusive = false;
    buffer.FieldCount = 0;
    buffer.KeyLengths.assign(static_cast<std::size_t>(FACEFieldDefs.Count()), kAdsKeyFieldNotSet);
    buffer.Data.assign(musRecordSize, 0);
    UNSIGNED32 length = musRecordSize;
    Check(ace::AdsGetNullRecord(mlHandle, buffer.Data.data(), &length));
}

void TAdsDataSet::BeginKeyEdit(int index, bool clear) {
    if (mlActiveHandle == mlHandle) {
        RaiseError("Index is not set.");
    }
    CheckBrowseMode();
    TAdsKeyBuffer& buffer = KeyBuffer(index);
    mpstKeyBuffer = &buffer;
    *mapKeyBuffers[kAdsSavedKey] = buffer;
    if (clear) {
        ResetKeyBuffer(buffer);
    }
    SetState(db::dsSetKey);
    buffer.Modified = true;
    SetModified(true);
    DataEvent(db::deDataSetChange);
}

void TAdsDataSet::EndKeyEdit(bool keep) {
    DataEvent(db::deCheckBrowseMode);
    if (keep) {
        mpstKeyBuffer->Modified = Modified();
    } else {
        *mpstKeyBuffer = *mapKeyBuffers[kAdsSavedKey];
    }
    SetState(db::dsBrowse);
    DataEvent(db::deDataSetChange);
}

void TAdsDataSet::RequireKeyEditState() const {
    if (State() != db::dsSetKey) {
        db::DatabaseError(db::msg::SNotEditing, this);
    }
}

void TAdsDataSet::LoadKeyValues(int index, const std::vector<rtl::Variant>& values) {
    UpdateIndexDefs();
    const std::vector<std::string> names = FieldListItems(ActiveIndexFieldNames());
    if (names.empty()) {
        RaiseError(
            "An index must be active to perform this operation. Set the IndexName property.");
    }
    if (values.size() > names.size()) {
        RaiseError("Too many values given for current index");
    }
    TAdsKeyBuffer& buffer = KeyBuffer(index);
    const db::TDataSetState previous = SetTempState(db::dsSetKey);
    try {
        ResetKeyBuffer(buffer);
        mpstKeyBuffer = &buffer;
        for (std::size_t i = values.size(); i-- > 0;) {
            FieldByName(names[i]).SetAsVariant(values[i]);
        }
        buffer.FieldCount = static_cast<int>(values.size());
        buffer.Modified = Modified();
    } catch (...) {
        RestoreState(previous);
        throw;
    }
    RestoreState(previous);
}

void TAdsDataSet::BuildKeyFromBuffer(int index, bool partial, std::uint8_t* key,
                                     std::uint16_t& length) {
    const TAdsKeyBuffer& buffer = KeyBuffer(index);
    const bool preserveSpaces = mpoAdsTableOptions->AdsPreserveSpaces();
    const bool leaveOutUnset = mpoAdsTableOptions->AdsAutoKeyFieldCount() || buffer.FieldCount != 0;
    bool anyWide = false;
    Check(ace::AdsInitRawKey(mlActiveHandle));
    for (UNSIGNED16 segment = 0;; ++segment) {
        UNSIGNED8 name[kSegmentNameCapacity + 1] = {};
        UNSIGNED16 nameLength = kSegmentNameCapacity + 1;
        // The first segment number the index does not have ends the key.
        if (ace::AdsGetSegmentFieldname(mlActiveHandle, segment, name, &nameLength) != VE_SUCCESS) {
            break;
        }
        const int position = FACEFieldDefs.IndexOf(rtl::AnsiToUtf8(std::string_view(
            reinterpret_cast<const char*>(name), std::min(nameLength, kSegmentNameCapacity))));
        if (position < 0) {
            break;
        }
        const TACEFieldDef& def = FACEFieldDefs[position];
        const std::uint16_t given = buffer.KeyLengths[def.FieldNumber() - std::size_t{1}];
        if (given == kAdsKeyFieldNotSet) {
            if (!leaveOutUnset) {
                Check(ace::AdsSetEmpty(mlActiveHandle, name));
            }
            continue;
        }
        const std::uint8_t* bytes = buffer.Data.data() + def.Offset();
        const std::uint32_t fieldLength = def.Length();
        if (IsNarrowStringType(def.FieldType())) {
            std::uint32_t used = fieldLength;
            if (partial) {
                // The text as given; an empty one stands for the whole (blank) field.
                used = (given == 0 && !preserveSpaces)
                           ? fieldLength
                           : std::min<std::uint32_t>(given, fieldLength);
            }
            Check(ace::AdsSetField(mlActiveHandle, name, bytes, used));
        } else if (IsWideStringType(def.FieldType())) {
            // Copied out: the record image gives no alignment for UTF-16 units.
            std::u16string text(fieldLength / 2, u'\0');
            std::memcpy(text.data(), bytes, text.size() * sizeof(char16_t));
            Check(ace::AdsSetFieldW(mlActiveHandle, name, text.data(),
                                    static_cast<UNSIGNED32>(text.size())));
            anyWide = true;
        } else {
            Check(ace::AdsSetFieldRaw(mlActiveHandle, name, bytes, fieldLength));
        }
    }
    if (!partial) {
        Check(ace::AdsBuildRawKey100(mlActiveHandle, key, &length, VE_KEY_WHOLE));
    } else if (anyWide) {
        Check(ace::AdsBuildRawKey100(mlActiveHandle, key, &length, VE_KEY_WIDE_PARTIAL));
    } else {
        Check(ace::AdsBuildRawKey(mlActiveHandle, key, &length));
    }
}

// --- Key edits
// ------------------------------------------------------------------------------------

void TAdsDataSet::SetKey() {
    BeginKeyEdit(kAdsLookupKey, true);
}

void TAdsDataSet::EditKey() {
    BeginKeyEdit(kAdsLookupKey, false);
}

bool TAdsDataSet::KeyExclusive() const {
    RequireKeyEditState();
    return mpstKeyBuffer->Exclusive;
}

void TAdsDataSet::SetKeyExclusive(bool value) {
    RequireKeyEditState();
    mpstKeyBuffer->Exclusive = value;
}

std::int16_t TAdsDataSet::KeyFieldCount() const {
    RequireKeyEditState();
    return static_cast<std::int16_t>(mpstKeyBuffer->FieldCount);
}

void TAdsDataSet::SetKeyFieldCount(std::int16_t value) {
    RequireKeyEditState();
    mpstKeyBuffer->FieldCount = value;
}

void TAdsDataSet::Post() {
    db::TDataSet::Post();
    if (State() == db::dsSetKey) {
        EndKeyEdit(true);
    }
}

void TAdsDataSet::Cancel() {
    db::TDataSet::Cancel();
    if (State() == db::dsSetKey) {
        EndKeyEdit(false);
    }
}

// --- Seeks
// ----------------------------------------------------------------------------------------

bool TAdsDataSet::GotoKey() {
    CheckBrowseMode();
    DoBeforeScroll();
    CursorPosChanged();
    const UNSIGNED32 shown = IsEmpty() ? 0 : BufferBookmarkRecord(ActiveBuffer());
    std::array<UNSIGNED8, kRawKeyCapacity> key{};
    std::uint16_t length = kRawKeyCapacity;
    BuildKeyFromBuffer(kAdsLookupKey, false, key.data(), length);
    bool found = false;
    if (OnFilterRecord() && Filtered()) {
        found = SeekWithFilterEvent(key.data(), length, VE_RAWKEY);
    } else {
        UNSIGNED16 foundFlag = 0;
        Check(ace::AdsSeek(mlActiveHandle, key.data(), length, VE_RAWKEY, VE_HARDSEEK, &foundFlag));
        found = foundFlag != 0;
    }
    SetFound(found);
    if (found) {
        Resync(db::rmExact | db::rmCenter);
        DoAfterScroll();
    } else if (Eof()) {
        Last();
    } else if (Bof()) {
        First();
    } else {
        // The window still shows the record it showed; the engine goes back to it.
        const UNSIGNED32 result = ace::AdsGotoRecord(mlHandle, shown);
        if (result == VE_RECORD_NOT_FOUND) {
            Last();
        } else {
            Check(result);
        }
    }
    return found;
}

void TAdsDataSet::GotoNearest() {
    CheckBrowseMode();
    DoBeforeScroll();
    CursorPosChanged();
    std::array<UNSIGNED8, kNearestKeyCapacity> key{};
    std::uint16_t length = kNearestKeyCapacity;
    BuildKeyFromBuffer(kAdsLookupKey, true, key.data(), length);
    UNSIGNED16 found = 0;
    Check(ace::AdsSeek(mlActiveHandle, key.data(), length, VE_RAWKEY, VE_SOFTSEEK, &found));
    SetFound(found != 0);
    Resync(db::rmCenter);
    DoAfterScroll();
}

bool TAdsDataSet::FindKey(const std::vector<rtl::Variant>& values) {
    CheckBrowseMode();
    LoadKeyValues(kAdsLookupKey, values);
    return GotoKey();
}

void TAdsDataSet::FindNearest(const std::vector<rtl::Variant>& values) {
    CheckBrowseMode();
    LoadKeyValues(kAdsLookupKey, values);
    GotoNearest();
}

std::uint16_t TAdsDataSet::KeySize() const {
    if (mlActiveHandle == mlHandle) {
        return 0;
    }
    UNSIGNED16 length = 0;
    Check(ace::AdsGetKeyLength(mlActiveHandle, &length));
    return length;
}

int TAdsDataSet::IndexFieldCount() const {
    if (mlActiveHandle == mlHandle) {
        return 0;
    }
    UNSIGNED16 segments = 0;
    Check(ace::AdsGetNumSegments(mlActiveHandle, &segments));
    return segments;
}

// --- GotoCurrent
// ----------------------------------------------------------------------------------

void TAdsDataSet::GotoCurrent(TAdsDataSet& other) {
    CheckBrowseMode();
    other.CheckBrowseMode();
    auto location = [](const TAdsDataSet& dataSet) {
        return dataSet.mpoAdsConnection != nullptr ? dataSet.mpoAdsConnection->GetConnectionPath()
                                                   : dataSet.DatabaseName();
    };
    if (!rtl::SameText(location(*this), location(other)) ||
        !rtl::SameText(TableName(), other.TableName())) {
        db::DatabaseError(db::msg::STablesNotSame, this);
    }
    other.UpdateCursorPos();
    UNSIGNED32 record = 0;
    Check(ace::AdsGetRecordNum(other.mlHandle, VE_IGNORE_FILTERS, &record));
    const UNSIGNED32 result = ace::AdsGotoRecord(mlHandle, record);
    if (result == VE_RECORD_NOT_FOUND) {
        Last();
        return;
    }
    Check(result);
    DoBeforeScroll();
    Resync(db::rmExact | db::rmCenter);
    DoAfterScroll();
}

}  // namespace varelum::ads
