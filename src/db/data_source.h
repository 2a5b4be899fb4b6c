// Data sources and data links: how controls (grids, lookup drop-downs) and detail datasets
// follow a dataset.
//
// A dataset sends its notices (DataEvent) to the TDataSource objects attached to it; each
// data source passes them to its TDataLink objects and raises its own events (OnDataChange,
// OnStateChange, OnUpdateData). A data link sees a part of the dataset's record-buffer
// window: BufferCount() rows starting at its own first row, which it keeps so that the active
// record stays inside; the dataset sizes its window for the largest BufferCount of its links.
// TMasterDataLink keeps a detail dataset on its master's current record.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "db/db_types.h"
#include "rtl/component.h"

namespace varelum::db {

class TDataSet;
class TDataSource;
class TField;

class TDataLink {
  public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    // The data source's dataset, or none.
    TDataSet* DataSet() const;

    // True while the data source is enabled and its dataset open.
    bool Active() const { return FActive; }
    // True while the dataset is in dsEdit, dsInsert or dsSetKey.
    bool Editing() const { return FEditing; }

    // Rows this link shows (at least 1); the dataset's window grows to the largest wish.
    int BufferCount() const { return FBufferCount; }
    void SetBufferCount(int count);
    // The active record's row within this link's rows; setting it moves the dataset.
    int ActiveRecord() const;
    void SetActiveRecord(int row);
    // Filled rows within this link's rows.
    int RecordCount() const;

    // Puts the dataset into edit mode when the data source allows it (AutoEdit); true when
    // the dataset is editing afterwards.
    bool Edit();
    // Asks this link to write its pending edit into the fields (UpdateData).
    void UpdateRecord();

  protected:
    // The dataset opened or closed (or the source changed): read Active().
    virtual void ActiveChanged() {}
    // The window's contents changed; base: RecordChanged(none).
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    // A field's value (field) or the whole record (none) changed.
    virtual void RecordChanged(TField*) {}
    // The window moved by distance rows (for this link); base: DataSetChanged.
    virtual void DataSetScrolled(int) { DataSetChanged(); }
    // The field list or binding changed; base: DataSetChanged.
    virtual void LayoutChanged() { DataSetChanged(); }
    // Editing() changed.
    virtual void EditingChanged() {}
    // Write pending edits into the fields.
    virtual void UpdateData() {}
    // The dataset is about to leave an edit or move: finish what the link was doing.
    virtual void CheckBrowseMode() {}
    // A field asks its controls to take the focus.
    virtual void FocusControl(TField*) {}

  private:
    friend class TDataSource;
    void DataEvent(TDataEvent event, TField* field, int distance);
    void UpdateState();
    void UpdateRange();

    TDataSource* FDataSource = nullptr;
    bool FActive = false;
    bool FEditing = false;
    bool FUpdating = false;
    int FBufferCount = 1;
    int FFirstRecord = 0;  // the dataset buffer index of this link's first row
};

using TDataChangeEvent = std::function<void(TDataSource&, TField*)>;
using TDataSourceNotifyEvent = std::function<void(TDataSource&)>;

class TDataSource : public rtl::TComponent {
  public:
    explicit TDataSource(rtl::TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* dataSet);
    // A disabled data source passes no notices and shows State() dsInactive.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    // Whether a control's edit may put the dataset into dsEdit by itself.
    bool AutoEdit() const { return FAutoEdit; }
    void SetAutoEdit(bool value) { FAutoEdit = value; }
    // The dataset's state as this source passes it on (dsInactive without dataset).
    TDataSetState State() const { return FState; }
    // Puts a browsing dataset into dsEdit when AutoEdit is set.
    void Edit();

    const std::vector<TDataLink*>& DataLinks() const { return FDataLinks; }

    // The current record or the window's contents changed (field: the changed field, or
    // none for the whole record or window).
    TDataChangeEvent OnDataChange;
    TDataSourceNotifyEvent OnStateChange;
    // Controls are asked to write pending edits.
    TDataSourceNotifyEvent OnUpdateData;

  private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, TField* field, int distance);
    void NotifyState();
    void AddDataLink(TDataLink* link);
    void RemoveDataLink(TDataLink* link);

    TDataSet* FDataSet = nullptr;
    bool FEnabled = true;
    bool FAutoEdit = true;
    TDataSetState FState = dsInactive;
    std::vector<TDataLink*> FDataLinks;
};

// The link of a detail dataset to its master: the master fields (named, ";"-separated) are
// resolved while the link is active; a change of the master's record or of one of those
// fields raises OnMasterChange, the master closing (or the fields going) OnMasterDisable.
class TMasterDataLink : public TDataLink {
  public:
    explicit TMasterDataLink(TDataSet* detail) : FDetail(detail) {}

    TDataSet* DetailDataSet() const { return FDetail; }
    const std::string& FieldNames() const { return FFieldNames; }
    void SetFieldNames(std::string names);
    // The master's field objects named by FieldNames; empty while inactive.
    const std::vector<TField*>& Fields() const { return FFields; }

    std::function<void()> OnMasterChange;
    std::function<void()> OnMasterDisable;

  protected:
    void ActiveChanged() override;
    void RecordChanged(TField* field) override;
    void LayoutChanged() override { ActiveChanged(); }
    void CheckBrowseMode() override;

  private:
    TDataSet* FDetail;
    std::string FFieldNames;
    std::vector<TField*> FFields;
};

}  // namespace varelum::db
