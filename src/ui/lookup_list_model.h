// The rows a lookup drop-down shows: a window of a few dozen consecutive rows of its dataset
// (each row's list-field text and bookmark), never the whole list. A product list may hold a
// million rows; reading them all, or giving a Qt view a million items to lay out, costs seconds
// and hundreds of megabytes, while the user sees ten rows at a time.
//
// The window is read around one record and slides as the user moves towards its ends: rows
// are added at one end and dropped at the other (inserted and removed, so that views keep
// their current and persistent indexes). Every read moves the dataset with its controls
// disabled and puts it back on the record it was on; the dataset's controls then get one
// data-set-changed notice, as for any read that moves a dataset and returns.
#pragma once

#include <QAbstractListModel>
#include <QString>

#include <string>
#include <vector>

#include "db/db_types.h"

namespace varelum::db {
class TDataSet;
}

namespace varelum::ui {

class TLookupListModel final : public QAbstractListModel {
  public:
    // Rows kept at most, and how many are read when the window slides.
    static constexpr int WindowRows = 64;
    static constexpr int SlideRows = 24;

    explicit TLookupListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The list field's display text of each row (empty for a field the dataset lacks).
    void SetListField(std::string name) { FListField = std::move(name); }

    // Empties the window.
    void Clear();

    // Reads the window around `centre` (empty: the dataset's active record): up to
    // `before` rows before it, the rest after. Answers the centre's row, -1 when the dataset
    // has no rows. The dataset must be open and browsing.
    int LoadAround(db::TDataSet& dataSet, const db::TBookmark& centre, int before);
    // Reads the window from the first row, or up to the last row.
    void LoadAtStart(db::TDataSet& dataSet);
    void LoadAtEnd(db::TDataSet& dataSet);

    // Slides the window by reading up to SlideRows rows after its last (before its first) row
    // and dropping as many as the window then holds too many from the other end. Answer how
    // many rows were added; the rows dropped from the top by SlideDown are in `removedAtTop`.
    int SlideDown(db::TDataSet& dataSet, int& removedAtTop);
    int SlideUp(db::TDataSet& dataSet);

    // Whether the window holds the dataset's first (last) row.
    bool AtStart() const { return FAtStart; }
    bool AtEnd() const { return FAtEnd; }

    const QString& Text(int row) const { return FRows[static_cast<std::size_t>(row)].Text; }
    const db::TBookmark& Bookmark(int row) const {
        return FRows[static_cast<std::size_t>(row)].Bookmark;
    }
    // The row holding the bookmarked record, -1 when the window does not hold it.
    int RowOf(db::TDataSet& dataSet, const db::TBookmark& bookmark) const;

  private:
    struct TRow {
        QString Text;
        db::TBookmark Bookmark;
    };

    // Reads the active record and then moves `direction` (1 onwards, -1 back) reading until
    // `count` rows are read or the dataset ends (reachedEnd).
    std::vector<TRow> ReadRun(db::TDataSet& dataSet, int count, int direction, bool& reachedEnd);
    void Replace(std::vector<TRow> rows, bool atStart, bool atEnd);

    std::string FListField;
    std::vector<TRow> FRows;
    bool FAtStart = true;
    bool FAtEnd = true;
};

}  // namespace varelum::ui
