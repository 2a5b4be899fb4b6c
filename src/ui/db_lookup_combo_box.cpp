// The lookup drop-down on QComboBox: the items are a window of the list field's texts (with
// each row's bookmark, lookup_list_model.h), the key value is looked up with Locate, and the
// user's picks arrive as QComboBox::activated (mouse, arrows, wheel) or from the incremental
// search, which this control runs on the dataset instead of on the items.
#include "ui/db_lookup_combo_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListView>
#include <QScrollBar>

#include <utility>

#include "db/data_source.h"
#include "db/dataset.h"
#include "db/field.h"
#include "ui/event_guard.h"

namespace varelum::ui {

namespace {

// Sets a flag for one scope.
class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag), FPrevious(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = FPrevious; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
    bool FPrevious;
};

bool IsNullKey(const rtl::Variant& value) {
    return value.IsNull() || value.IsEmpty();
}

// Rows kept on each side of the current row, so that the arrows and a page of the dropped-down
// list (ten rows) never reach the window's end before the dataset's.
constexpr int EdgeRows = 16;
// How near one end of the window the dropped-down list may scroll before the window slides.
constexpr int EdgeScrollRows = 2;

// Restarts a clock when the scope ends, also by an exception: the keyboard interval counts
// from the end of a key's whole handling (its search, the pick, the rows read), however long
// that took.
class TRestartOnExit {
  public:
    explicit TRestartOnExit(QElapsedTimer& clock) : FClock(clock) {}
    ~TRestartOnExit() { FClock.start(); }
    TRestartOnExit(const TRestartOnExit&) = delete;
    TRestartOnExit& operator=(const TRestartOnExit&) = delete;

  private:
    QElapsedTimer& FClock;
};

// A typed key that searches: printable text without Ctrl, Alt or Meta. A space drops the list
// down instead, as in any drop-down.
bool IsSearchKey(const QKeyEvent& event) {
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).isPrint() && text != QStringLiteral(" ") &&
           (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
}

}  // namespace

class TDBLookupComboBox::Link final : public db::TDataLink {
  public:
    explicit Link(TDBLookupComboBox& control) : FControl(control) {}

  protected:
    void ActiveChanged() override { FControl.ListActiveChanged(); }
    void DataSetChanged() override { FControl.ListDataChanged(); }
    void LayoutChanged() override { FControl.ListDataChanged(); }
    // Moving through the dataset changes neither the list nor the key value.
    void DataSetScrolled(int) override {}
    void RecordChanged(db::TField* field) override {
        if (field == nullptr) {
            FControl.ListDataChanged();
        }
    }

  private:
    TDBLookupComboBox& FControl;
};

// The dropped-down list: uniform rows (one is measured, not each), Home and End at the dataset's
// ends, and the incremental search through the control.
class TDBLookupComboBox::ListView final : public QListView {
  public:
    explicit ListView(TDBLookupComboBox& control) : FControl(control) {
        setUniformItemSizes(true);
        setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    }

    void keyboardSearch(const QString& search) override { FControl.PopupSearch(search, FTypedAt); }

  protected:
    // The search is reached from here; the key's time stamp goes with it.
    void keyPressEvent(QKeyEvent* event) override {
        FTypedAt = event->timestamp();
        QListView::keyPressEvent(event);
        FTypedAt = 0;
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        if (action == MoveHome || action == MoveEnd) {
            const QModelIndex edge = FControl.LoadEdge(action == MoveEnd);
            if (edge.isValid()) {
                return edge;
            }
        }
        return QListView::moveCursor(action, modifiers);
    }

  private:
    TDBLookupComboBox& FControl;
    std::uint64_t FTypedAt = 0;
};

TDBLookupComboBox::TDBLookupComboBox(QWidget* parent)
    : QComboBox(parent), FLink(std::make_unique<Link>(*this)) {
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    // The view first: setting the model connects the view's current row to `highlighted`.
    FView = new ListView(*this);
    setView(FView);
    FModel = new TLookupListModel(this);
    setModel(FModel);
    setCurrentIndex(-1);
    FRefreshTimer.setSingleShot(true);
    FRefreshTimer.setInterval(0);
    connect(&FRefreshTimer, &QTimer::timeout, this, [this] { RefreshList(); });
    connect(this, &QComboBox::activated, this, [this](int row) { Pick(row); });
    connect(this, &QComboBox::highlighted, this, [this](int row) { FollowHighlight(row); });
    connect(FView->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { ListScrolled(value); });
}

TDBLookupComboBox::~TDBLookupComboBox() {
    FLink->SetDataSource(nullptr);
}

db::TDataSource* TDBLookupComboBox::ListSource() const {
    return FLink->DataSource();
}

void TDBLookupComboBox::SetListSource(db::TDataSource* source) {
    FLink->SetDataSource(source);
    ListActiveChanged();
}

void TDBLookupComboBox::SetKeyField(std::string name) {
    FKeyField = std::move(name);
    KeyValueChanged();
}

void TDBLookupComboBox::SetListField(std::string name) {
    FListField = std::move(name);
    FModel->SetListField(FListField);
    ListDataChanged();
    KeyValueChanged();
}

void TDBLookupComboBox::SetKeyValue(const rtl::Variant& value) {
    FKeyValue = value;
    KeyValueChanged();
}

void TDBLookupComboBox::RefreshNow() {
    FRefreshTimer.stop();
    RefreshList();
}

db::TDataSet* TDBLookupComboBox::BrowsingDataSet() const {
    db::TDataSet* dataSet = FLink->Active() ? FLink->DataSet() : nullptr;
    return dataSet != nullptr && dataSet->State() == db::dsBrowse ? dataSet : nullptr;
}

void TDBLookupComboBox::ListActiveChanged() {
    if (FReading) {
        return;
    }
    // A list opened or closed anew starts a new search.
    FSearchTime.invalidate();
    if (!FLink->Active()) {
        FRefreshTimer.stop();
        FModel->Clear();
        FText.clear();
        FKeyBookmark.clear();
        return;
    }
    KeyValueChanged();
    FRefreshTimer.start();
}

void TDBLookupComboBox::ListDataChanged() {
    if (FReading) {
        return;
    }
    FRefreshTimer.start();
}

void TDBLookupComboBox::RefreshList() {
    RunEventHandler([this] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr) {
            // Closed: an empty list. Editing: the post or cancel reports again.
            if (!FLink->Active()) {
                FModel->Clear();
            }
            return;
        }
        // A key row that is no longer there (the dataset was refreshed) is looked up anew.
        if (!FKeyBookmark.empty() && !dataSet->BookmarkValid(FKeyBookmark)) {
            KeyValueChanged();
        }
        {
            const TFlagScope reading(FReading);
            FModel->LoadAround(*dataSet, FKeyBookmark, TLookupListModel::WindowRows / 2);
        }
        ShowKeyRow();
    });
}

void TDBLookupComboBox::KeyValueChanged() {
    FText.clear();
    FKeyBookmark.clear();
    db::TDataSet* dataSet = BrowsingDataSet();
    if (dataSet != nullptr && !IsNullKey(FKeyValue) && !FKeyField.empty()) {
        const TFlagScope reading(FReading);
        if (dataSet->Locate(FKeyField, FKeyValue, 0)) {
            FKeyBookmark = dataSet->GetBookmark();
            if (const db::TField* field = dataSet->FindField(FListField)) {
                FText = field->DisplayText();
            }
        }
    }
    ShowKeyRow();
}

void TDBLookupComboBox::ShowKeyRow() {
    db::TDataSet* dataSet = FLink->Active() ? FLink->DataSet() : nullptr;
    int row = -1;
    if (dataSet != nullptr && !FKeyBookmark.empty() && !FText.empty()) {
        row = FModel->RowOf(*dataSet, FKeyBookmark);
        if (row < 0 && BrowsingDataSet() != nullptr) {
            const TFlagScope reading(FReading);
            row = FModel->LoadAround(*dataSet, FKeyBookmark, TLookupListModel::WindowRows / 2);
        }
        row = KeepAwayFromEdges(row);
    }
    setCurrentIndex(row);
}

int TDBLookupComboBox::KeepAwayFromEdges(int row) {
    db::TDataSet* dataSet = BrowsingDataSet();
    if (dataSet == nullptr || row < 0) {
        return row;
    }
    const bool shown = FPopupOpen && FView->isVisible();
    const int top = shown ? FView->indexAt(QPoint(0, 0)).row() : -1;
    int shift = 0;
    {
        const TFlagScope reading(FReading);
        const TFlagScope sliding(FSliding);
        while (row < EdgeRows && !FModel->AtStart()) {
            const int added = FModel->SlideUp(*dataSet);
            if (added == 0) {
                break;
            }
            row += added;
            shift += added;
        }
        while (row > FModel->rowCount() - 1 - EdgeRows && !FModel->AtEnd()) {
            int removed = 0;
            if (FModel->SlideDown(*dataSet, removed) == 0) {
                break;
            }
            row -= removed;
            shift -= removed;
        }
        // The rows in sight stay where they were on the screen.
        if (shown && top >= 0 && shift != 0) {
            FView->scrollTo(FModel->index(std::max(0, top + shift)),
                            QAbstractItemView::PositionAtTop);
        }
    }
    return row;
}

void TDBLookupComboBox::ListScrolled(int value) {
    if (FSliding) {
        return;
    }
    RunEventHandler([this, value] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr) {
            return;
        }
        const QScrollBar* bar = FView->verticalScrollBar();
        const TFlagScope reading(FReading);
        const TFlagScope sliding(FSliding);
        int top = value;
        if (value <= bar->minimum() + EdgeScrollRows && !FModel->AtStart()) {
            top += FModel->SlideUp(*dataSet);
        } else if (value >= bar->maximum() - EdgeScrollRows && !FModel->AtEnd()) {
            int removed = 0;
            FModel->SlideDown(*dataSet, removed);
            top -= removed;
        } else {
            return;
        }
        if (top != value && top >= 0 && top < FModel->rowCount()) {
            FView->scrollTo(FModel->index(top), QAbstractItemView::PositionAtTop);
        }
    });
}

QModelIndex TDBLookupComboBox::LoadEdge(bool atEnd) {
    QModelIndex edge;
    RunEventHandler([this, atEnd, &edge] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr) {
            return;
        }
        {
            const TFlagScope reading(FReading);
            if (atEnd) {
                FModel->LoadAtEnd(*dataSet);
            } else {
                FModel->LoadAtStart(*dataSet);
            }
        }
        // The reload dropped the current item; the key value's row is it again where the window
        // holds it.
        setCurrentIndex(FText.empty() ? -1 : FModel->RowOf(*dataSet, FKeyBookmark));
        if (FModel->rowCount() > 0) {
            edge = FModel->index(atEnd ? FModel->rowCount() - 1 : 0);
        }
    });
    return edge;
}

std::optional<db::TBookmark> TDBLookupComboBox::SearchTyped(const QString& text, int fromRow,
                                                            std::uint64_t typedAt) {
    db::TDataSet* dataSet = BrowsingDataSet();
    if (dataSet == nullptr || FListField.empty()) {
        return std::nullopt;
    }
    const auto interval = static_cast<std::uint64_t>(QApplication::keyboardInputInterval());
    const bool typedSoon =
        FSearchTypedAt != 0 && typedAt >= FSearchTypedAt && typedAt - FSearchTypedAt <= interval;
    const bool continuing =
        FSearchTime.isValid() &&
        (typedSoon || static_cast<std::uint64_t>(FSearchTime.elapsed()) <= interval);
    FSearchText = continuing ? FSearchText + text : text;
    FSearchTypedAt = typedAt;

    // The same character again steps through the rows that start with it.
    const bool sameKey =
        FSearchText.size() > 1 && FSearchText.count(FSearchText.back()) == FSearchText.size();
    const QString searched = sameKey ? FSearchText.left(1) : FSearchText;
    const bool fromNextRow = !continuing || sameKey;
    auto startsWithSearched = [&](int row) {
        return row >= 0 && row < FModel->rowCount() &&
               FModel->Text(row).startsWith(searched, Qt::CaseInsensitive);
    };
    if (!fromNextRow && startsWithSearched(fromRow)) {
        return FModel->Bookmark(fromRow);
    }
    if (fromNextRow && fromRow >= 0 && startsWithSearched(fromRow + 1)) {
        return FModel->Bookmark(fromRow + 1);
    }
    // Otherwise the first row that starts with the text. Letters are searched without regard
    // to case; a text without letters searches exactly, which an index on the field answers.
    db::TLocateOptions options = db::loPartialKey;
    if (searched.toUpper() != searched.toLower()) {
        options |= db::loCaseInsensitive;
    }
    const TFlagScope reading(FReading);
    if (dataSet->Locate(FListField, rtl::Variant(searched.toStdString()), options)) {
        return dataSet->GetBookmark();
    }
    return std::nullopt;
}

void TDBLookupComboBox::PopupSearch(const QString& text, std::uint64_t typedAt) {
    const TRestartOnExit restart(FSearchTime);
    RunEventHandler([this, &text, typedAt] {
        const std::optional<db::TBookmark> found =
            SearchTyped(text, FView->currentIndex().row(), typedAt);
        db::TDataSet* dataSet = BrowsingDataSet();
        if (!found || dataSet == nullptr) {
            return;
        }
        int row = FModel->RowOf(*dataSet, *found);
        if (row < 0) {
            const TFlagScope reading(FReading);
            row = FModel->LoadAround(*dataSet, *found, TLookupListModel::WindowRows / 2);
            setCurrentIndex(FText.empty() ? -1 : FModel->RowOf(*dataSet, FKeyBookmark));
        }
        row = KeepAwayFromEdges(row);
        if (row >= 0) {
            FView->setCurrentIndex(FModel->index(row));
            FView->scrollTo(FModel->index(row));
        }
    });
}

void TDBLookupComboBox::keyPressEvent(QKeyEvent* event) {
    if (!FPopupOpen && IsSearchKey(*event)) {
        event->accept();
        const TRestartOnExit restart(FSearchTime);
        RunEventHandler([this, event] {
            db::TDataSet* dataSet = BrowsingDataSet();
            const std::optional<db::TBookmark> found =
                SearchTyped(event->text(), currentIndex(), event->timestamp());
            // Found where the key value's row is: nothing to pick.
            if (found && dataSet != nullptr &&
                (FKeyBookmark.empty() || dataSet->CompareBookmarks(*found, FKeyBookmark) != 0)) {
                PickRecord(*found);
            }
        });
        return;
    }
    if (!FPopupOpen && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) &&
        event->modifiers() == Qt::NoModifier) {
        LoadEdge(event->key() == Qt::Key_End);
    }
    QComboBox::keyPressEvent(event);
}

void TDBLookupComboBox::Pick(int row) {
    FReturnPending = false;
    if (row < 0 || row >= FModel->rowCount()) {
        return;
    }
    PickRecord(FModel->Bookmark(row));
}

void TDBLookupComboBox::PickRecord(const db::TBookmark& bookmark) {
    FReturnPending = false;
    RunEventHandler([this, bookmark] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr) {
            return;
        }
        {
            const TFlagScope reading(FReading);
            dataSet->GotoBookmark(bookmark);
        }
        const db::TField* keyField = dataSet->FindField(FKeyField);
        const db::TField* listField = dataSet->FindField(FListField);
        FKeyValue = keyField != nullptr ? keyField->AsVariant() : rtl::Variant::Null();
        FText = listField != nullptr ? listField->DisplayText() : std::string();
        FKeyBookmark = dataSet->GetBookmark();
        ShowKeyRow();
        if (OnClick) {
            OnClick();
        }
    });
}

void TDBLookupComboBox::FollowHighlight(int row) {
    if (!FPopupOpen || FSliding) {
        return;
    }
    RunEventHandler([this, row] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr || row < 0 || row >= FModel->rowCount()) {
            return;
        }
        {
            const TFlagScope reading(FReading);
            dataSet->GotoBookmark(FModel->Bookmark(row));
        }
        KeepAwayFromEdges(row);
    });
}

void TDBLookupComboBox::ReturnToKeyRow() {
    RunEventHandler([this] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr || IsNullKey(FKeyValue) || FKeyField.empty()) {
            return;
        }
        const TFlagScope reading(FReading);
        dataSet->Locate(FKeyField, FKeyValue, 0);
    });
}

void TDBLookupComboBox::showPopup() {
    FPopupOpen = true;
    QComboBox::showPopup();
    // An empty list does not drop down.
    FPopupOpen = view()->window()->isVisible();
}

// A pick is reported (activated) after the list has closed; the return to the key value's row
// waits one turn of the loop so that a pick cancels it.
void TDBLookupComboBox::hidePopup() {
    QComboBox::hidePopup();
    if (!FPopupOpen) {
        return;
    }
    FPopupOpen = false;
    FReturnPending = true;
    QTimer::singleShot(0, this, [this] {
        if (FReturnPending) {
            FReturnPending = false;
            ReturnToKeyRow();
        }
    });
}

}  // namespace varelum::ui
