// The lookup list's window of rows: reading runs of rows around a record with the dataset's
// controls disabled, and sliding the window by inserting and removing rows.
#include "ui/lookup_list_model.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "db/dataset.h"
#include "db/field.h"

namespace varelum::ui {

namespace {

// Runs `read` with the dataset's controls disabled and puts the dataset back on the record it
// was on (unless the read already did). On an error the dataset stays where the error left it
// and the error goes on, as for any failed move.
template <typename Read>
void ReadAndReturn(db::TDataSet& dataSet, Read read) {
    const db::TBookmark start = dataSet.GetBookmark();
    dataSet.DisableControls();
    try {
        read();
        if (!start.empty() && dataSet.CompareBookmarks(dataSet.GetBookmark(), start) != 0) {
            dataSet.GotoBookmark(start);
        }
    } catch (...) {
        dataSet.EnableControls();
        throw;
    }
    dataSet.EnableControls();
}

}  // namespace

int TLookupListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TLookupListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(FRows.size()) ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return Text(index.row());
}

void TLookupListModel::Clear() {
    Replace({}, true, true);
}

std::vector<TLookupListModel::TRow> TLookupListModel::ReadRun(db::TDataSet& dataSet, int count,
                                                              int direction, bool& reachedEnd) {
    std::vector<TRow> rows;
    reachedEnd = false;
    if (dataSet.IsEmpty()) {
        reachedEnd = true;
        return rows;
    }
    const db::TField* field = dataSet.FindField(FListField);
    auto readRow = [&] {
        rows.push_back({field != nullptr ? QString::fromStdString(field->DisplayText()) : QString(),
                        dataSet.GetBookmark()});
    };
    readRow();
    while (static_cast<int>(rows.size()) < count) {
        if (dataSet.MoveBy(direction) == 0) {
            reachedEnd = true;
            break;
        }
        readRow();
    }
    return rows;
}

int TLookupListModel::LoadAround(db::TDataSet& dataSet, const db::TBookmark& centre, int before) {
    before = std::clamp(before, 0, WindowRows - 1);
    std::vector<TRow> rows;
    bool atStart = true;
    bool atEnd = true;
    int centreRow = -1;
    ReadAndReturn(dataSet, [&] {
        if (!centre.empty()) {
            dataSet.GotoBookmark(centre);
        }
        rows = ReadRun(dataSet, before + 1, -1, atStart);
        if (rows.empty()) {
            return;
        }
        std::reverse(rows.begin(), rows.end());
        centreRow = static_cast<int>(rows.size()) - 1;
        // Back to the centre by steps, which costs no search for the record.
        dataSet.MoveBy(centreRow);
        std::vector<TRow> after =
            ReadRun(dataSet, WindowRows - static_cast<int>(rows.size()) + 1, 1, atEnd);
        const int stepsBack = static_cast<int>(after.size()) - 1;
        rows.insert(rows.end(), std::make_move_iterator(std::next(after.begin())),
                    std::make_move_iterator(after.end()));
        if (centre.empty()) {
            dataSet.MoveBy(-stepsBack);
        }
    });
    Replace(std::move(rows), atStart, atEnd);
    return centreRow;
}

void TLookupListModel::LoadAtStart(db::TDataSet& dataSet) {
    std::vector<TRow> rows;
    bool atEnd = true;
    ReadAndReturn(dataSet, [&] {
        dataSet.First();
        rows = ReadRun(dataSet, WindowRows, 1, atEnd);
    });
    Replace(std::move(rows), true, atEnd);
}

void TLookupListModel::LoadAtEnd(db::TDataSet& dataSet) {
    std::vector<TRow> rows;
    bool atStart = true;
    ReadAndReturn(dataSet, [&] {
        dataSet.Last();
        rows = ReadRun(dataSet, WindowRows, -1, atStart);
    });
    std::reverse(rows.begin(), rows.end());
    Replace(std::move(rows), atStart, true);
}

int TLookupListModel::SlideDown(db::TDataSet& dataSet, int& removedAtTop) {
    removedAtTop = 0;
    if (FRows.empty() || FAtEnd) {
        return 0;
    }
    std::vector<TRow> added;
    bool atEnd = false;
    ReadAndReturn(dataSet, [&] {
        dataSet.GotoBookmark(FRows.back().Bookmark);
        if (dataSet.MoveBy(1) == 0) {
            atEnd = true;
            return;
        }
        added = ReadRun(dataSet, SlideRows, 1, atEnd);
    });
    FAtEnd = atEnd;
    if (added.empty()) {
        return 0;
    }
    const int first = static_cast<int>(FRows.size());
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    FRows.insert(FRows.end(), std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    endInsertRows();
    removedAtTop = std::max(0, static_cast<int>(FRows.size()) - WindowRows);
    if (removedAtTop > 0) {
        beginRemoveRows({}, 0, removedAtTop - 1);
        FRows.erase(FRows.begin(), FRows.begin() + removedAtTop);
        endRemoveRows();
        FAtStart = false;
    }
    return static_cast<int>(added.size());
}

int TLookupListModel::SlideUp(db::TDataSet& dataSet) {
    if (FRows.empty() || FAtStart) {
        return 0;
    }
    std::vector<TRow> added;
    bool atStart = false;
    ReadAndReturn(dataSet, [&] {
        dataSet.GotoBookmark(FRows.front().Bookmark);
        if (dataSet.MoveBy(-1) == 0) {
            atStart = true;
            return;
        }
        added = ReadRun(dataSet, SlideRows, -1, atStart);
    });
    FAtStart = atStart;
    if (added.empty()) {
        return 0;
    }
    std::reverse(added.begin(), added.end());
    beginInsertRows({}, 0, static_cast<int>(added.size()) - 1);
    FRows.insert(FRows.begin(), std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    endInsertRows();
    const int excess = static_cast<int>(FRows.size()) - WindowRows;
    if (excess > 0) {
        const int first = static_cast<int>(FRows.size()) - excess;
        beginRemoveRows({}, first, static_cast<int>(FRows.size()) - 1);
        FRows.erase(FRows.begin() + first, FRows.end());
        endRemoveRows();
        FAtEnd = false;
    }
    return static_cast<int>(added.size());
}

int TLookupListModel::RowOf(db::TDataSet& dataSet, const db::TBookmark& bookmark) const {
    if (bookmark.empty()) {
        return -1;
    }
    for (std::size_t row = 0; row < FRows.size(); ++row) {
        if (dataSet.CompareBookmarks(FRows[row].Bookmark, bookmark) == 0) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void TLookupListModel::Replace(std::vector<TRow> rows, bool atStart, bool atEnd) {
    beginResetModel();
    FRows = std::move(rows);
    FAtStart = atStart;
    FAtEnd = atEnd;
    endResetModel();
}

}  // namespace varelum::ui
