// Data sources, data links and the master link: passing a dataset's notices on to the
// controls and detail datasets that follow it, and keeping each link's rows around the
// active record.
#include "db/data_source.h"

#include <algorithm>

#include "db/dataset.h"

namespace varelum::db {

// --- TDataLink ---------------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (FDataSource != nullptr) {
        FDataSource->RemoveDataLink(this);
        TDataSet* dataSet = FDataSource->DataSet();
        FDataSource = nullptr;
        if (dataSet != nullptr) {
            dataSet->UpdateBufferCount();
        }
    }
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == FDataSource) {
        return;
    }
    TDataSet* oldDataSet = DataSet();
    if (FDataSource != nullptr) {
        FDataSource->RemoveDataLink(this);
    }
    FDataSource = source;
    if (FDataSource != nullptr) {
        FDataSource->AddDataLink(this);
    }
    if (oldDataSet != nullptr) {
        oldDataSet->UpdateBufferCount();
    }
    if (TDataSet* dataSet = DataSet(); dataSet != nullptr && dataSet != oldDataSet) {
        dataSet->UpdateBufferCount();
    }
    UpdateState();
}

TDataSet* TDataLink::DataSet() const {
    return FDataSource != nullptr ? FDataSource->DataSet() : nullptr;
}

void TDataLink::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == FBufferCount) {
        return;
    }
    FBufferCount = count;
    if (TDataSet* dataSet = DataSet(); dataSet != nullptr) {
        dataSet->UpdateBufferCount();
    }
    UpdateRange();
}

int TDataLink::ActiveRecord() const {
    TDataSet* dataSet = DataSet();
    if (!FActive || dataSet == nullptr) {
        return 0;
    }
    return dataSet->ActiveRecord() - FFirstRecord;
}

void TDataLink::SetActiveRecord(int row) {
    TDataSet* dataSet = DataSet();
    if (!FActive || dataSet == nullptr) {
        return;
    }
    dataSet->MoveBy(row - ActiveRecord());
}

int TDataLink::RecordCount() const {
    TDataSet* dataSet = DataSet();
    if (!FActive || dataSet == nullptr) {
        return 0;
    }
    return std::clamp(dataSet->FilledBufferCount() - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Edit() {
    if (FDataSource != nullptr && !FEditing) {
        FDataSource->Edit();
    }
    return FEditing;
}

void TDataLink::UpdateRecord() {
    FUpdating = true;
    try {
        UpdateData();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
}

void TDataLink::UpdateState() {
    TDataSet* dataSet = DataSet();
    bool active =
        FDataSource != nullptr && FDataSource->Enabled() && dataSet != nullptr && dataSet->Active();
    if (active != FActive) {
        FActive = active;
        FFirstRecord = 0;
        if (active) {
            UpdateRange();
        }
        ActiveChanged();
    }
    TDataSetState state = FDataSource != nullptr ? FDataSource->State() : dsInactive;
    bool editing = active && (state == dsEdit || state == dsInsert || state == dsSetKey);
    if (editing != FEditing) {
        FEditing = editing;
        EditingChanged();
    }
}

void TDataLink::UpdateRange() {
    TDataSet* dataSet = DataSet();
    if (!FActive || dataSet == nullptr) {
        return;
    }
    int active = dataSet->ActiveRecord();
    int last = std::max(dataSet->FilledBufferCount() - FBufferCount, 0);
    FFirstRecord = std::clamp(FFirstRecord, 0, last);
    if (active < FFirstRecord) {
        FFirstRecord = active;
    } else if (active >= FFirstRecord + FBufferCount) {
        FFirstRecord = active - FBufferCount + 1;
    }
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int distance) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!FActive) {
        return;
    }
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!FUpdating) {
                RecordChanged(field);
            }
            break;
        case deDataSetChange:
            UpdateRange();
            DataSetChanged();
            break;
        case deLayoutChange:
            UpdateRange();
            LayoutChanged();
            break;
        case deDataSetScroll: {
            // The window moved by distance rows; this link's rows follow as far as they must
            // to keep the active record in view.
            int before = FFirstRecord;
            FFirstRecord -= distance;
            UpdateRange();
            int moved = FFirstRecord - before + distance;
            DataSetScrolled(moved);
            break;
        }
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case deFocusControl:
            FocusControl(field);
            break;
        default:
            break;
    }
}

// --- TDataSource ---------------------------------------------------------------------------------

TDataSource::TDataSource(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
    while (!FDataLinks.empty()) {
        FDataLinks.back()->SetDataSource(nullptr);
    }
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == FDataSet) {
        return;
    }
    if (FDataSet != nullptr) {
        TDataSet* old = FDataSet;
        old->DetachDataSource(this);
        FDataSet = nullptr;
        old->UpdateBufferCount();
    }
    FDataSet = dataSet;
    if (FDataSet != nullptr) {
        FDataSet->AttachDataSource(this);
        FDataSet->UpdateBufferCount();
    }
    NotifyState();
}

void TDataSource::SetEnabled(bool value) {
    if (value != FEnabled) {
        FEnabled = value;
        NotifyState();
    }
}

void TDataSource::Edit() {
    if (FAutoEdit && FDataSet != nullptr && FState == dsBrowse) {
        FDataSet->Edit();
    }
}

void TDataSource::NotifyState() {
    TDataSetState state = dsInactive;
    if (FEnabled && FDataSet != nullptr) {
        state = FDataSet->State();
        if (state == dsOpening) {
            state = dsInactive;
        }
    }
    bool changed = state != FState;
    FState = state;
    // Links compare Active and Editing themselves, so every link hears of every change.
    for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) {
        link->UpdateState();
    }
    if (changed && OnStateChange) {
        OnStateChange(*this);
    }
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int distance) {
    if (event == deUpdateState) {
        NotifyState();
        return;
    }
    if (FState == dsInactive) {
        return;
    }
    for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) {
        link->DataEvent(event, field, distance);
    }
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (OnDataChange) {
                OnDataChange(*this, field);
            }
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) {
                OnDataChange(*this, nullptr);
            }
            break;
        case deUpdateRecord:
            if (OnUpdateData) {
                OnUpdateData(*this);
            }
            break;
        default:
            break;
    }
}

void TDataSource::AddDataLink(TDataLink* link) {
    FDataLinks.push_back(link);
}

void TDataSource::RemoveDataLink(TDataLink* link) {
    FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), link), FDataLinks.end());
}

// --- TMasterDataLink -----------------------------------------------------------------------------

void TMasterDataLink::SetFieldNames(std::string names) {
    if (names != FFieldNames) {
        FFieldNames = std::move(names);
        ActiveChanged();
    }
}

void TMasterDataLink::ActiveChanged() {
    FFields.clear();
    if (Active() && DataSet() != nullptr) {
        FFields = DataSet()->GetFieldList(FFieldNames);
    }
    if (FDetail == nullptr || !FDetail->Active()) {
        return;
    }
    if (Active() && !FFields.empty()) {
        if (OnMasterChange) {
            OnMasterChange();
        }
    } else if (OnMasterDisable) {
        OnMasterDisable();
    }
}

void TMasterDataLink::RecordChanged(TField* field) {
    if (DataSource() == nullptr || DataSource()->State() == dsSetKey || FDetail == nullptr ||
        !FDetail->Active() || FFields.empty()) {
        return;
    }
    if (field == nullptr || std::find(FFields.begin(), FFields.end(), field) != FFields.end()) {
        if (OnMasterChange) {
            OnMasterChange();
        }
    }
}

void TMasterDataLink::CheckBrowseMode() {
    // A detail being edited is posted before its master moves away from the record.
    if (FDetail != nullptr && FDetail->Active()) {
        FDetail->CheckBrowseMode();
    }
}

}  // namespace varelum::db
