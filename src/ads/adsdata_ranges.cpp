// TAdsDataSet: ranges, key bounds built from field values and set as raw-key scopes on the
// active index (SetRange and its companions; see adsdata_cursor.h and adsdata_keysearch.h).
//
// Key buffers 1 and 2 hold the start and end being edited, 3 and 4 the bounds as last set on
// the engine; comparing them spares the engine a range that did not change.
#include <array>

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"

namespace varelum::ads {
namespace {

// Raw range keys are built in buffers of this size.
constexpr UNSIGNED16 kRangeKeyCapacity = 4083;

bool SameKey(const TAdsKeyBuffer& a, const TAdsKeyBuffer& b) {
    return a.Modified == b.Modified && a.Exclusive == b.Exclusive && a.FieldCount == b.FieldCount &&
           a.KeyLengths == b.KeyLengths && a.Data == b.Data;
}

}  // namespace

void TAdsDataSet::SetRangeStart() {
    BeginKeyEdit(kAdsRangeStartKey, true);
}

void TAdsDataSet::SetRangeEnd() {
    BeginKeyEdit(kAdsRangeEndKey, true);
}

void TAdsDataSet::EditRangeStart() {
    BeginKeyEdit(kAdsRangeStartKey, false);
}

void TAdsDataSet::EditRangeEnd() {
    BeginKeyEdit(kAdsRangeEndKey, false);
}

void TAdsDataSet::SetRange(const std::vector<rtl::Variant>& startValues,
                           const std::vector<rtl::Variant>& endValues) {
    CheckBrowseMode();
    LoadKeyValues(kAdsRangeStartKey, startValues);
    LoadKeyValues(kAdsRangeEndKey, endValues);
    ApplyRange();
}

void TAdsDataSet::ApplyRange() {
    CheckBrowseMode();
    if (ApplyRangeScopes()) {
        First();
    }
}

void TAdsDataSet::CancelRange() {
    CheckBrowseMode();
    UpdateCursorPos();
    if (ClearRange()) {
        Resync(0);
    }
}

void TAdsDataSet::SetRangeBound(int edited, int applied, UNSIGNED16 bound, SIGNED16 step) {
    TAdsKeyBuffer& buffer = KeyBuffer(edited);
    if (!buffer.Modified) {
        // A range without this bound must not keep the one a previous range set.
        if (KeyBuffer(applied).Modified) {
            const UNSIGNED32 result = ace::AdsClearScope(mlActiveHandle, bound);
            if (result != VE_NO_SCOPE) {
                Check(result);
            }
            KeyBuffer(applied) = buffer;
        }
        return;
    }
    std::array<UNSIGNED8, kRangeKeyCapacity> key{};
    std::uint16_t length = kRangeKeyCapacity;
    BuildKeyFromBuffer(edited, false, key.data(), length);
    if (buffer.Exclusive && musOpenTableType == kAceTableADT) {
        // The neighbouring whole key bounds the range just past (before) the key itself.
        UNSIGNED16 keyLength = 0;
        Check(ace::AdsGetKeyLength(mlActiveHandle, &keyLength));
        length = std::min<std::uint16_t>(keyLength, kRangeKeyCapacity);
        Check(ace::AdsStepIndexKey(mlActiveHandle, key.data(), length, step));
    }
    Check(ace::AdsSetScope(mlActiveHandle, bound, key.data(), length, VE_RAWKEY));
    KeyBuffer(applied) = buffer;
}

bool TAdsDataSet::ApplyRangeScopes() {
    if (mbScoped) {
        RaiseError("Cannot set range on table when there is an active scope.");
    }
    if (SameKey(KeyBuffer(kAdsRangeStartKey), KeyBuffer(kAdsAppliedRangeStartKey)) &&
        SameKey(KeyBuffer(kAdsRangeEndKey), KeyBuffer(kAdsAppliedRangeEndKey))) {
        return false;
    }
    UNSIGNED16 keyLength = 0;
    Check(ace::AdsGetKeyLength(mlActiveHandle, &keyLength));
    SetRangeBound(kAdsRangeStartKey, kAdsAppliedRangeStartKey, VE_TOP, 1);
    SetRangeBound(kAdsRangeEndKey, kAdsAppliedRangeEndKey, VE_BOTTOM, -1);
    SetState(db::dsBrowse);
    return true;
}

bool TAdsDataSet::ClearRange() {
    if (mbScoped) {
        return true;
    }
    if (!KeyBuffer(kAdsAppliedRangeStartKey).Modified &&
        !KeyBuffer(kAdsAppliedRangeEndKey).Modified) {
        return false;
    }
    Check(ace::AdsClearAllScopes(mlHandle));
    UNSIGNED16 atEnd = 0;
    UNSIGNED16 atBeginning = 0;
    Check(ace::AdsAtEOF(mlHandle, &atEnd));
    Check(ace::AdsAtBOF(mlHandle, &atBeginning));
    if (atEnd != 0 && atBeginning != 0) {
        Check(ace::AdsGotoTop(mlActiveHandle));
    }
    ResetKeyBuffer(KeyBuffer(kAdsAppliedRangeStartKey));
    ResetKeyBuffer(KeyBuffer(kAdsAppliedRangeEndKey));
    return true;
}

}  // namespace varelum::ads
