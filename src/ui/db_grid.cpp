// The grid's model (the texts it shows, taken from a snapshot of the dataset), its data link and
// the view settings that make it a read-only grid with titles and a row indicator.
#include "ui/db_grid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <utility>

#include "db/data_source.h"
#include "db/dataset.h"
#include "db/field.h"
#include "ui/event_guard.h"

namespace varelum::ui {

namespace {

// Height of a row and width of the row indicator, in pixels, for the windows' 11-pixel font.
constexpr int RowHeight = 17;
constexpr int IndicatorWidth = 12;
// The mark of the active record in the row indicator.
const QString ActiveRowMark = QStringLiteral("\u25B6");
// Characters the default column width makes room for when the field does not say.
constexpr int DefaultColumnCharacters = 10;
constexpr int MaxDefaultColumnCharacters = 40;

bool SameRow(const TDataSetRow& a, const TDataSetRow& b) {
    return a.Texts == b.Texts && a.Bookmark == b.Bookmark;
}

// Whether `next` holds every row of `previous`, unchanged and in the same places.
bool ExtendsRows(const std::vector<TDataSetRow>& previous, const std::vector<TDataSetRow>& next) {
    return next.size() >= previous.size() &&
           std::equal(previous.begin(), previous.end(), next.begin(), SameRow);
}

}  // namespace

class TDBGrid::Model final : public QAbstractTableModel {
  public:
    explicit Model(QObject* parent) : QAbstractTableModel(parent) {}

    const TDataSetSnapshot& Snapshot() const { return FSnapshot; }
    const std::vector<TDBGridColumn>& Columns() const { return FColumns; }
    const QFont* CellFont() const { return FHasCellFont ? &FCellFont : nullptr; }

    void SetColumns(std::vector<TDBGridColumn> columns) {
        beginResetModel();
        FColumns = std::move(columns);
        endResetModel();
    }

    void SetCellFont(const QFont& font) {
        FCellFont = font;
        FHasCellFont = true;
        NotifyAllCells();
    }
    void SetCellColour(const QColor& colour) {
        FCellColour = colour;
        NotifyAllCells();
    }

    // Takes the new rows; appended rows are inserted so that the view keeps its place.
    void SetSnapshot(TDataSetSnapshot next) {
        const int previousCount = static_cast<int>(FSnapshot.Rows.size());
        const int nextCount = static_cast<int>(next.Rows.size());
        if (ExtendsRows(FSnapshot.Rows, next.Rows)) {
            if (nextCount > previousCount) {
                beginInsertRows(QModelIndex(), previousCount, nextCount - 1);
                FSnapshot.Rows = std::move(next.Rows);
                endInsertRows();
            }
        } else {
            beginResetModel();
            FSnapshot.Rows = std::move(next.Rows);
            endResetModel();
        }
        SetCurrent(next.Current);
    }

    void SetCurrent(int row) {
        const int previous = FSnapshot.Current;
        FSnapshot.Current = row;
        if (previous != row) {
            for (const int changed : {previous, row}) {
                if (changed >= 0 && changed < rowCount()) {
                    emit headerDataChanged(Qt::Vertical, changed, changed);
                }
            }
        }
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(FSnapshot.Rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
            return {};
        }
        switch (role) {
            case Qt::DisplayRole:
                return QString::fromStdString(FSnapshot.Rows[static_cast<std::size_t>(index.row())]
                                                  .Texts[static_cast<std::size_t>(index.column())]);
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(
                    FColumns[static_cast<std::size_t>(index.column())].Alignment);
            case Qt::FontRole:
                return FHasCellFont ? QVariant(FCellFont) : QVariant();
            case Qt::ForegroundRole:
                return FCellColour.isValid() ? QVariant(FCellColour) : QVariant();
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal) {
            if (section < 0 || section >= columnCount()) {
                return {};
            }
            const TDBGridColumn& column = FColumns[static_cast<std::size_t>(section)];
            if (role == Qt::DisplayRole) {
                return column.Title;
            }
            if (role == Qt::TextAlignmentRole) {
                return QVariant::fromValue(column.Alignment);
            }
            return {};
        }
        if (role == Qt::DisplayRole) {
            return section == FSnapshot.Current ? ActiveRowMark : QString();
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::AlignCenter);
        }
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

  private:
    void NotifyAllCells() {
        if (rowCount() > 0 && columnCount() > 0) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
    }

    std::vector<TDBGridColumn> FColumns;
    TDataSetSnapshot FSnapshot;
    QFont FCellFont;
    bool FHasCellFont = false;
    QColor FCellColour;
};

class TDBGrid::Link final : public db::TDataLink {
  public:
    explicit Link(TDBGrid& grid) : FGrid(grid) {}

  protected:
    void ActiveChanged() override {
        FGrid.FWidthsPending = true;
        FGrid.DataChanged();
    }
    void DataSetChanged() override { FGrid.DataChanged(); }
    void RecordChanged(db::TField*) override { FGrid.DataChanged(); }
    void LayoutChanged() override { FGrid.DataChanged(); }
    void DataSetScrolled(int) override { FGrid.ActiveRecordMoved(); }

  private:
    TDBGrid& FGrid;
};

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent), FLink(std::make_unique<Link>(*this)), FModel(new Model(this)) {
    setModel(FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The indicator marks the active record; a selection would hide the cells' own colour.
    setSelectionMode(QAbstractItemView::NoSelection);
    // Tab leaves the grid for the next control, as it does between the window's other controls.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    QHeaderView* titles = horizontalHeader();
    titles->setSectionsClickable(true);
    titles->setHighlightSections(false);
    titles->setSectionsMovable(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);

    QHeaderView* indicator = verticalHeader();
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setMinimumSectionSize(RowHeight);
    indicator->setDefaultSectionSize(RowHeight);
    indicator->setFixedWidth(IndicatorWidth);
    indicator->setSectionsClickable(false);
    QFont markFont = indicator->font();
    markFont.setPixelSize(8);
    indicator->setFont(markFont);

    FRefreshTimer.setSingleShot(true);
    FRefreshTimer.setInterval(0);
    connect(&FRefreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { UserMovedTo(current); });
}

// The link leaves its data source before the widgets go.
TDBGrid::~TDBGrid() {
    FLink->SetDataSource(nullptr);
}

db::TDataSource* TDBGrid::DataSource() const {
    return FLink->DataSource();
}

void TDBGrid::SetDataSource(db::TDataSource* source) {
    FLink->SetDataSource(source);
    DataChanged();
}

void TDBGrid::SetColumns(std::vector<TDBGridColumn> columns) {
    FModel->SetColumns(std::move(columns));
    const std::vector<TDBGridColumn>& set = FModel->Columns();
    for (std::size_t column = 0; column < set.size(); ++column) {
        if (set[column].Width > 0) {
            setColumnWidth(static_cast<int>(column), set[column].Width);
        }
    }
    ApplyDefaultWidths();
    FWidthsPending = true;
    DataChanged();
}

const std::vector<TDBGridColumn>& TDBGrid::Columns() const {
    return FModel->Columns();
}

void TDBGrid::SetCellFont(const QFont& font) {
    FModel->SetCellFont(font);
}

void TDBGrid::SetCellColour(const QColor& colour) {
    FModel->SetCellColour(colour);
}

int TDBGrid::RowCount() const {
    return FModel->rowCount();
}

QString TDBGrid::CellText(int row, int column) const {
    return FModel->data(FModel->index(row, column), Qt::DisplayRole).toString();
}

int TDBGrid::ActiveRow() const {
    return FModel->Snapshot().Current;
}

void TDBGrid::RefreshNow() {
    FRefreshTimer.stop();
    Refresh();
}

void TDBGrid::DataChanged() {
    if (FReading) {
        return;
    }
    FRowsChanged = true;
    FRefreshTimer.start();
}

void TDBGrid::ActiveRecordMoved() {
    if (FReading) {
        return;
    }
    FRefreshTimer.start();
}

void TDBGrid::Refresh() {
    RunEventHandler([this] {
        db::TDataSet* dataSet = FLink->Active() ? FLink->DataSet() : nullptr;
        if (dataSet == nullptr) {
            FModel->SetSnapshot({});
            FRowsChanged = false;
            return;
        }
        // While a row is being edited the grid waits: its post or cancel reports again.
        if (dataSet->State() != db::dsBrowse) {
            return;
        }
        FReading = true;
        struct TReadingReset {
            bool& Flag;
            ~TReadingReset() { Flag = false; }
        } reset{FReading};
        if (FRowsChanged) {
            std::vector<std::string> names;
            for (const TDBGridColumn& column : FModel->Columns()) {
                names.push_back(column.FieldName);
            }
            FModel->SetSnapshot(ReadAllRows(*dataSet, names));
            FRowsChanged = false;
            if (FWidthsPending) {
                ApplyDefaultWidths();
                FWidthsPending = false;
            }
        } else {
            FModel->SetCurrent(RowOfActiveRecord(*dataSet, FModel->Snapshot()));
        }
        ShowActiveRow(FModel->Snapshot().Current);
    });
}

void TDBGrid::ShowActiveRow(int row) {
    if (row < 0 || row >= FModel->rowCount() || FModel->columnCount() == 0) {
        return;
    }
    const int column = std::max(currentIndex().column(), 0);
    const QModelIndex target = FModel->index(row, column);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    scrollTo(target);
}

void TDBGrid::ApplyDefaultWidths() {
    const db::TDataSet* dataSet = FLink->Active() ? FLink->DataSet() : nullptr;
    const QFontMetrics titleMetrics(horizontalHeader()->font());
    const QFont* cellFont = FModel->CellFont();
    const QFontMetrics cellMetrics(cellFont != nullptr ? *cellFont : font());
    const std::vector<TDBGridColumn>& columns = FModel->Columns();
    for (std::size_t column = 0; column < columns.size(); ++column) {
        if (columns[column].Width > 0) {
            continue;
        }
        int characters = DefaultColumnCharacters;
        if (const db::TField* field =
                dataSet != nullptr ? dataSet->FindField(columns[column].FieldName) : nullptr;
            field != nullptr && field->Size() > 0) {
            characters = std::min(field->Size(), MaxDefaultColumnCharacters);
        }
        const int width = std::max(titleMetrics.horizontalAdvance(columns[column].Title) + 12,
                                   characters * cellMetrics.averageCharWidth() + 6);
        setColumnWidth(static_cast<int>(column), width);
    }
}

void TDBGrid::UserMovedTo(const QModelIndex& current) {
    if (FReading || !current.isValid()) {
        return;
    }
    const TDataSetSnapshot& snapshot = FModel->Snapshot();
    if (current.row() == snapshot.Current || current.row() >= FModel->rowCount()) {
        return;
    }
    RunEventHandler([&] {
        db::TDataSet* dataSet = FLink->Active() ? FLink->DataSet() : nullptr;
        if (dataSet == nullptr || dataSet->State() != db::dsBrowse) {
            return;
        }
        dataSet->GotoBookmark(snapshot.Rows[static_cast<std::size_t>(current.row())].Bookmark);
    });
}

}  // namespace varelum::ui
