// The lookup drop-down on QComboBox: the items are the list field's texts of a snapshot of the
// dataset (with each row's bookmark), the key value is looked up with Locate, and the user's
// picks arrive as QComboBox::activated (mouse, arrows, incremental search, wheel alike).
#include "ui/db_lookup_combo_box.h"

#include <QAbstractItemView>

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

TDBLookupComboBox::TDBLookupComboBox(QWidget* parent)
    : QComboBox(parent), FLink(std::make_unique<Link>(*this)) {
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    setCurrentIndex(-1);
    FRefreshTimer.setSingleShot(true);
    FRefreshTimer.setInterval(0);
    connect(&FRefreshTimer, &QTimer::timeout, this, [this] { RefreshList(); });
    connect(this, &QComboBox::activated, this, [this](int row) { Pick(row); });
    connect(this, &QComboBox::highlighted, this, [this](int row) { FollowHighlight(row); });
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
    if (!FLink->Active()) {
        FRefreshTimer.stop();
        FList = {};
        clear();
        FText.clear();
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
                FList = {};
                clear();
            }
            return;
        }
        {
            const TFlagScope reading(FReading);
            FList = ReadAllRows(*dataSet, {FListField});
        }
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(FList.Rows.size()));
        for (const TDataSetRow& row : FList.Rows) {
            texts.push_back(QString::fromStdString(row.Texts.front()));
        }
        clear();
        addItems(texts);
        ShowKeyRow();
    });
}

void TDBLookupComboBox::KeyValueChanged() {
    FText.clear();
    db::TDataSet* dataSet = BrowsingDataSet();
    if (dataSet != nullptr && !IsNullKey(FKeyValue) && !FKeyField.empty()) {
        const TFlagScope reading(FReading);
        if (dataSet->Locate(FKeyField, FKeyValue, 0)) {
            if (const db::TField* field = dataSet->FindField(FListField)) {
                FText = field->DisplayText();
            }
        }
    }
    ShowKeyRow();
}

// The shown item is the key value's row: the first item with the key value's text.
void TDBLookupComboBox::ShowKeyRow() {
    const int row = FText.empty() ? -1 : findText(QString::fromStdString(FText), Qt::MatchExactly);
    setCurrentIndex(row);
}

void TDBLookupComboBox::Pick(int row) {
    FReturnPending = false;
    RunEventHandler([this, row] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr || row < 0 || row >= static_cast<int>(FList.Rows.size())) {
            return;
        }
        {
            const TFlagScope reading(FReading);
            dataSet->GotoBookmark(FList.Rows[static_cast<std::size_t>(row)].Bookmark);
        }
        const db::TField* keyField = dataSet->FindField(FKeyField);
        const db::TField* listField = dataSet->FindField(FListField);
        FKeyValue = keyField != nullptr ? keyField->AsVariant() : rtl::Variant::Null();
        FText = listField != nullptr ? listField->DisplayText() : std::string();
        setCurrentIndex(row);
        if (OnClick) {
            OnClick();
        }
    });
}

void TDBLookupComboBox::FollowHighlight(int row) {
    if (!FPopupOpen) {
        return;
    }
    RunEventHandler([this, row] {
        db::TDataSet* dataSet = BrowsingDataSet();
        if (dataSet == nullptr || row < 0 || row >= static_cast<int>(FList.Rows.size())) {
            return;
        }
        const TFlagScope reading(FReading);
        dataSet->GotoBookmark(FList.Rows[static_cast<std::size_t>(row)].Bookmark);
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
