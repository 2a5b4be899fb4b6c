// TDBLookupComboBox: a drop-down list of the rows of a dataset (the list source's), that edits
// nothing: it has a key value, the value of its key field in the chosen row, and shows that
// row's list field.
//
// - Closed, it shows the list field of the row whose key field holds the key value (its text);
//   dropped down, the list field of every row, in the dataset's order.
// - Picking a row (by mouse, arrow keys, typing the start of a text, which searches the list
//   incrementally, or the mouse wheel) sets the key value to that row's, makes it the dataset's
//   active record, updates the text and raises OnClick.
// - While the list is dropped down the dataset follows the highlighted row, and returns to the
//   key value's row when the list closes without a pick.
// - A null key value shows nothing; so does a closed dataset, whose list is empty.
//
// The list's texts are read anew after the dataset reports a change, once the event that
// caused it has been handled; the text of the key value is known at once.
//
// The control is a view over the dataset, for lists of any length: its items are a window of
// a few dozen rows around the key value's row (lookup_list_model.h) that slides as the user
// scrolls or steps towards its ends, and Home and End go to the dataset's first and last rows.
// Typing searches the dataset itself (Locate on the list field, which seeks an index where
// the dataset has one): a typed text that extends the one before within the keyboard interval
// (by the keys' time stamps where the window system gives them, else counted from the end of
// the previous key's search, so that a slow search never splits a code typed in one go)
// continues the search; the same character typed again steps to the next row
// that starts with it.
#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "db/db_types.h"
#include "rtl/variant.h"
#include "ui/lookup_list_model.h"

namespace varelum::db {
class TDataSource;
}

namespace varelum::ui {

class TDBLookupComboBox final : public QComboBox {
  public:
    explicit TDBLookupComboBox(QWidget* parent = nullptr);
    ~TDBLookupComboBox() override;

    // The data source whose dataset is listed; the source must outlive the control or be unset
    // first (a source that goes away unsets itself).
    db::TDataSource* ListSource() const;
    void SetListSource(db::TDataSource* source);
    // The field whose value is the key value, and the field the list shows.
    const std::string& KeyField() const { return FKeyField; }
    void SetKeyField(std::string name);
    const std::string& ListField() const { return FListField; }
    void SetListField(std::string name);

    // Setting the key value looks its row up, which makes that row the dataset's active record,
    // and shows its list field; a null value shows nothing.
    const rtl::Variant& KeyValue() const { return FKeyValue; }
    void SetKeyValue(const rtl::Variant& value);

    // The list field's text of the key value's row, as the dataset presents the field; empty
    // while the key value is null, names no row or the dataset is closed.
    const std::string& Text() const { return FText; }

    // Raised after the user picked a row.
    std::function<void()> OnClick;

    // Reads the list again at once instead of after the current event.
    void RefreshNow();

    void showPopup() override;
    void hidePopup() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Link;
    class ListView;
    friend class Link;
    friend class ListView;

    void ListActiveChanged();
    void ListDataChanged();
    void RefreshList();
    void KeyValueChanged();
    // Shows the key value's row as the current item, reading the window around it when the
    // window does not hold it.
    void ShowKeyRow();
    void Pick(int row);
    // Makes the bookmarked record the key value's row, as a pick does.
    void PickRecord(const db::TBookmark& bookmark);
    void FollowHighlight(int row);
    void ReturnToKeyRow();
    // The incremental search: the record that typing `text` picks; none when no row starts
    // with the text searched. `fromRow` is the row the search starts at (-1: none); `typedAt`
    // the key's time stamp from the window system (0: none).
    std::optional<db::TBookmark> SearchTyped(const QString& text, int fromRow,
                                             std::uint64_t typedAt);
    // The dropped-down list's incremental search: highlights the row found.
    void PopupSearch(const QString& text, std::uint64_t typedAt);
    // Slides the window until `row` has rows on both sides to step to (or the dataset ends);
    // answers the row's new place.
    int KeepAwayFromEdges(int row);
    // Slides the window when the dropped-down list scrolled near one of its ends.
    void ListScrolled(int value);
    // The popup's Home and End: the window at the dataset's first or last row.
    QModelIndex LoadEdge(bool atEnd);
    // The listed dataset while it is open and browsing, else none.
    db::TDataSet* BrowsingDataSet() const;

    std::unique_ptr<Link> FLink;
    std::string FKeyField;
    std::string FListField;
    rtl::Variant FKeyValue = rtl::Variant::Null();
    std::string FText;
    // The key value's row; empty while the key value names none.
    db::TBookmark FKeyBookmark;
    TLookupListModel* FModel = nullptr;
    ListView* FView = nullptr;
    QTimer FRefreshTimer;
    // The text searched so far, when its last key's search ended and that key's time stamp.
    QString FSearchText;
    QElapsedTimer FSearchTime;
    std::uint64_t FSearchTypedAt = 0;
    // Set while the control itself moves the dataset, so that it ignores the notices it causes.
    bool FReading = false;
    bool FPopupOpen = false;
    bool FReturnPending = false;
    bool FSliding = false;
};

}  // namespace varelum::ui
