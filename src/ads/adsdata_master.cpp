// TAdsDataSet: the master-detail range. A detail keeps a range on its active index whose start
// and end are the master's current values of MasterFields on the index's leading segments;
// the master link re-applies it when the master moves or its key fields change, and drops it
// when the master closes (see adsdata_cursor.h).
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"

namespace varelum::ads {

void TAdsDataSet::SetMasterSource(db::TDataSource* source) {
    if (source != nullptr && (source->DataSet() == this || IsLinkedTo(source))) {
        RaiseError("Circular Data Link");
    }
    mpoMasterLink->SetDataSource(source);
    if (source == nullptr) {
        SetMasterFields("");
    }
}

void TAdsDataSet::SetMasterFields(const std::string& names) {
    mpoMasterLink->SetFieldNames(names);
    mstrMasterField = names;
}

void TAdsDataSet::DoAfterOpen() {
    db::TDataSet::DoAfterOpen();
    db::TDataSource* source = MasterSource();
    if (source != nullptr && source->DataSet() != nullptr && source->DataSet()->Active() &&
        !mpoMasterLink->Fields().empty()) {
        ApplyMasterRange();
    }
}

void TAdsDataSet::ApplyMasterRange() {
    CheckBrowseMode();
    LoadMasterKey(mpoMasterLink->Fields());
    ApplyRange();
}

void TAdsDataSet::LoadMasterKey(const std::vector<db::TField*>& masterFields) {
    TAdsKeyBuffer& start = KeyBuffer(kAdsRangeStartKey);
    {
        db::TTempState setKey(*this, db::dsSetKey);
        ResetKeyBuffer(start);
        mpstKeyBuffer = &start;
        start.Modified = true;
        for (std::size_t i = 0; i < masterFields.size(); ++i) {
            FieldForSegment(static_cast<int>(i)).SetAsVariant(masterFields[i]->AsVariant());
        }
        start.FieldCount = static_cast<int>(masterFields.size());
    }
    KeyBuffer(kAdsRangeEndKey) = start;
}

}  // namespace varelum::ads
