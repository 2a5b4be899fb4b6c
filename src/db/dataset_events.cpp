// TDataSet, events: firing the Before/After events, sending notices to the attached data
// sources, disabling and enabling controls, and passing exceptions of controls on.
#include <algorithm>

#include "db/data_source.h"
#include "db/dataset.h"

namespace varelum::db {

void TDataSet::Fire(const TDataSetNotifyEvent& event, TDataSet& dataSet) {
    if (event) {
        event(dataSet);
    }
}

void TDataSet::DoBeforeScroll() {
    Fire(BeforeScroll, *this);
}
void TDataSet::DoAfterScroll() {
    Fire(AfterScroll, *this);
}

void TDataSet::DataEvent(TDataEvent event, TField* field, int distance) {
    if (event == deFieldChange && field != nullptr) {
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
            FModified = true;
            // Calculated fields follow the data they are computed from.
            if ((FState == dsEdit || FState == dsInsert) && FCalcFieldCount > 0) {
                GetCalcFields(ActiveBuffer());
            }
        }
        field->Change();
    }
    if (FDisableCount > 0) {
        FEventsSwallowed = true;
        return;
    }
    // A handler may attach or detach sources while we walk: walk a copy.
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) {
        source->DataEvent(event, field, distance);
    }
}

void TDataSet::DisableControls() {
    if (FDisableCount++ == 0) {
        FDisableState = FState;
        FEventsSwallowed = false;
    }
}

void TDataSet::EnableControls() {
    if (FDisableCount == 0 || --FDisableCount > 0) {
        return;
    }
    if (FDisableState != FState) {
        DataEvent(deUpdateState);
    }
    if (FEventsSwallowed && Active()) {
        DataEvent(deDataSetChange);
    }
    FEventsSwallowed = false;
}

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
    // Follows the chain of masters from the source: a dataset that reaches itself is linked.
    int guard = 0;
    while (source != nullptr && guard++ < 64) {
        const TDataSet* dataSet = source->DataSet();
        if (dataSet == nullptr) {
            return false;
        }
        if (dataSet == this) {
            return true;
        }
        source = dataSet->MasterDataSource();
    }
    return false;
}

bool TDataSet::ReportException(std::exception_ptr error) {
    const TExceptionHandler& handler = ApplicationExceptionHandler();
    if (!handler) {
        return false;
    }
    handler(error);
    return true;
}

void TDataSet::AttachDataSource(TDataSource* source) {
    FDataSources.push_back(source);
}

void TDataSet::DetachDataSource(TDataSource* source) {
    FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), source),
                       FDataSources.end());
}

}  // namespace varelum::db
