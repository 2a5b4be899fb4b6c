// The snapshot walks the dataset from its first to its last record with its controls disabled
// and returns to the record it started on by bookmark.
#include "ui/dataset_snapshot.h"

#include "db/dataset.h"
#include "db/field.h"

namespace varelum::ui {

namespace {

TDataSetRow ReadRow(const db::TDataSet& dataSet, const std::vector<db::TField*>& fields) {
    TDataSetRow row;
    row.Texts.reserve(fields.size());
    for (const db::TField* field : fields) {
        row.Texts.push_back(field != nullptr ? field->DisplayText() : std::string());
    }
    row.Bookmark = dataSet.GetBookmark();
    return row;
}

}  // namespace

TDataSetSnapshot ReadAllRows(db::TDataSet& dataSet, const std::vector<std::string>& fieldNames) {
    std::vector<db::TField*> fields;
    fields.reserve(fieldNames.size());
    for (const std::string& name : fieldNames) {
        fields.push_back(dataSet.FindField(name));
    }

    TDataSetSnapshot snapshot;
    const db::TBookmark start = dataSet.GetBookmark();
    dataSet.DisableControls();
    try {
        for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
            snapshot.Rows.push_back(ReadRow(dataSet, fields));
            if (!start.empty() &&
                dataSet.CompareBookmarks(snapshot.Rows.back().Bookmark, start) == 0) {
                snapshot.Current = static_cast<int>(snapshot.Rows.size()) - 1;
            }
        }
        if (!start.empty()) {
            dataSet.GotoBookmark(start);
        } else {
            dataSet.First();
        }
    } catch (...) {
        dataSet.EnableControls();
        throw;
    }
    dataSet.EnableControls();
    return snapshot;
}

int RowOfActiveRecord(db::TDataSet& dataSet, const TDataSetSnapshot& snapshot) {
    const db::TBookmark active = dataSet.GetBookmark();
    if (active.empty()) {
        return -1;
    }
    for (std::size_t row = 0; row < snapshot.Rows.size(); ++row) {
        if (dataSet.CompareBookmarks(snapshot.Rows[row].Bookmark, active) == 0) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

}  // namespace varelum::ui
