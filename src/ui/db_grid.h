// TDBGrid: a read-only data grid on a data source. It shows every row of the data source's
// dataset in the dataset's order, one column per configured field, with column titles, a row
// indicator (a mark at the active record) and grid lines. It follows the dataset by itself: a
// new row appears when it is appended and the grid scrolls to it; a closed dataset shows no
// rows. Clicking a row makes it the dataset's active record; no cell can be edited, and
// clicking or hovering over a title changes nothing in the data.
//
// The grid reads the dataset through a data link (Link, in the source) and keeps the texts it
// shows in its model; it reads them anew after the dataset reports a change, once the event
// that caused the change has been handled (so it never moves a dataset in the middle of the
// dataset's own operation).
#pragma once

#include <QColor>
#include <QFont>
#include <QTableView>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "ui/dataset_snapshot.h"

namespace varelum::db {
class TDataSource;
}

namespace varelum::ui {

struct TDBGridColumn {
    std::string FieldName;
    QString Title;
    // Pixels; 0 takes the default, wide enough for the field's characters and the title.
    int Width = 0;
    // Of the cells and of the title.
    Qt::Alignment Alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

class TDBGrid final : public QTableView {
  public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    // The data source whose dataset the grid shows; none shows nothing. The source must
    // outlive the grid or be unset first (a source that goes away unsets itself).
    db::TDataSource* DataSource() const;
    void SetDataSource(db::TDataSource* source);

    void SetColumns(std::vector<TDBGridColumn> columns);
    const std::vector<TDBGridColumn>& Columns() const;

    // Font and colour of the cell texts (the titles keep the grid's own).
    void SetCellFont(const QFont& font);
    void SetCellColour(const QColor& colour);

    // What the grid shows now: rows, the text of a cell, the row of the active record (-1 when
    // there is none).
    int RowCount() const;
    QString CellText(int row, int column) const;
    int ActiveRow() const;

    // Reads the dataset again at once instead of after the current event (for callers that
    // need the shown rows right now).
    void RefreshNow();

  private:
    class Model;
    class Link;
    friend class Link;

    // The dataset's rows, or only its active record, changed.
    void DataChanged();
    void ActiveRecordMoved();
    void Refresh();
    void ShowActiveRow(int row);
    void ApplyDefaultWidths();
    void UserMovedTo(const QModelIndex& current);

    std::unique_ptr<Link> FLink;
    Model* FModel;
    QTimer FRefreshTimer;
    bool FRowsChanged = false;
    // Default column widths wait for the dataset's fields (their sizes) after each opening.
    bool FWidthsPending = true;
    // Set while the grid itself moves the dataset, so that it ignores the notices it causes.
    bool FReading = false;
};

}  // namespace varelum::ui
