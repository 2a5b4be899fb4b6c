// Reading every row of a dataset for a control that shows them all at once (the grids, the
// lookup drop-down's list). The dataset framework shows a dataset through a window of record
// buffers; a Qt view wants the whole list, so the control takes a snapshot of the texts it shows
// and of each row's bookmark, and takes a new one when the dataset reports a change.
#pragma once

#include <string>
#include <vector>

#include "db/db_types.h"

namespace varelum::db {
class TDataSet;
}

namespace varelum::ui {

struct TDataSetRow {
    // The display text of each asked field, in the order asked; empty for a field the dataset
    // does not have.
    std::vector<std::string> Texts;
    // Where the row is: going there makes it the dataset's active record.
    db::TBookmark Bookmark;
};

struct TDataSetSnapshot {
    std::vector<TDataSetRow> Rows;  // in the dataset's order
    int Current = -1;               // the active record's row; -1 when there is none
};

// Reads every row of `dataSet`, which must be open and browsing (not editing). The dataset
// ends on the record it was on; while the rows are read its controls see nothing, and once
// they are read they get one data-set-changed notice. Errors of the dataset propagate.
TDataSetSnapshot ReadAllRows(db::TDataSet& dataSet, const std::vector<std::string>& fieldNames);

// The row of `snapshot` whose bookmark is the dataset's active record's, or -1.
int RowOfActiveRecord(db::TDataSet& dataSet, const TDataSetSnapshot& snapshot);

}  // namespace varelum::ui
