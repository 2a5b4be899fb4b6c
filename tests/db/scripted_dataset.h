// A small dataset for the base's tests: rows of (ID integer, NAME string(10)) in a scripted
// backing store, with every hook call and every event written to one log in order, and
// hooks that can be told to fail a number of times.
//
// Its record buffers are laid out as the engine datasets' are: record image, calculated
// area, record information (row key and bookmark flag), so the tests see the base use only
// the hooks and the calculated area.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "db/data_source.h"
#include "db/dataset.h"
#include "db/db_messages.h"
#include "db/field_types.h"

namespace varelum::db::testing {

struct StoreRow {
    std::int32_t Key;  // the row's identity (its bookmark)
    std::int32_t Id;
    std::string Name;
};

class TScriptedDataSet : public TDataSet {
  public:
    // Image: [has ID][ID int32][has NAME][NAME 11 bytes]
    static constexpr std::size_t IdOffset = 0;
    static constexpr std::size_t NameOffset = 5;
    static constexpr std::size_t ImageSize = 5 + 12;

    explicit TScriptedDataSet(std::vector<std::string>& log) : FLog(log) {
        auto record = [this](const char* name) {
            return [this, name](TDataSet&) { FLog.push_back(name); };
        };
        BeforeOpen = record("BeforeOpen");
        AfterOpen = record("AfterOpen");
        BeforeClose = record("BeforeClose");
        AfterClose = record("AfterClose");
        BeforeInsert = record("BeforeInsert");
        AfterInsert = record("AfterInsert");
        BeforeEdit = record("BeforeEdit");
        AfterEdit = record("AfterEdit");
        BeforePost = record("BeforePost");
        AfterPost = record("AfterPost");
        BeforeCancel = record("BeforeCancel");
        AfterCancel = record("AfterCancel");
        BeforeDelete = record("BeforeDelete");
        AfterDelete = record("AfterDelete");
        BeforeScroll = record("BeforeScroll");
        AfterScroll = record("AfterScroll");
        BeforeRefresh = record("BeforeRefresh");
        AfterRefresh = record("AfterRefresh");
        OnNewRecord = record("OnNewRecord");
    }
    ~TScriptedDataSet() override {
        try {
            Close();
        } catch (...) {
            // A test that leaves a failing hook behind still gets its dataset destroyed.
        }
    }

    // The store: rows in cursor order.
    std::vector<StoreRow> Rows;
    // Hook name -> how many more calls fail with EDatabaseError "<hook> failed".
    std::map<std::string, int> Failures;
    // Log FetchRecord calls (they are many; most tests look at the other hooks).
    bool LogFetches = false;
    bool ReadOnly = false;
    int Cursor = -1;
    int LiveBuffers = 0;
    int NextKey = 1000;

    void AddRows(int count) {
        for (int i = 1; i <= count; ++i) {
            Rows.push_back({i, i, "row" + std::to_string(i)});
        }
    }
    bool CanModify() const override { return !ReadOnly; }
    int RecordCount() const override { return static_cast<int>(Rows.size()); }

    // What a dataset does when its buffer layout changes while open (a new order).
    void Relayout() {
        ReleaseBufferWindow();
        Log("relayout");
        AllocateBufferWindow();
        Resync();
    }

    // The protected window, for assertions.
    int Window() const { return BufferCount(); }
    int Filled() const { return FilledBufferCount(); }
    int Active_() const { return ActiveRecord(); }
    // The ID of the row in window position i.
    std::int32_t IdAt(int i) const {
        std::int32_t id = 0;
        std::memcpy(&id, Buffer(i) + IdOffset + 1, 4);
        return id;
    }

  protected:
    void Log(const std::string& entry) { FLog.push_back(entry); }
    void MaybeFail(const std::string& hook) {
        auto found = Failures.find(hook);
        if (found != Failures.end() && found->second > 0) {
            --found->second;
            throw rtl::EDatabaseError(hook + " failed");
        }
    }
    std::int32_t KeyOf(TRecordBuffer buffer) const {
        std::int32_t key = 0;
        std::memcpy(&key, buffer + InfoOffset(), 4);
        return key;
    }
    int IndexOfKey(std::int32_t key) const {
        for (std::size_t i = 0; i < Rows.size(); ++i) {
            if (Rows[i].Key == key) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    std::size_t InfoOffset() const { return ImageSize + CalcFieldsSize(); }

    void ActivateCursor() override {
        Log("ActivateCursor");
        MaybeFail("ActivateCursor");
        UpdateFieldDefs();
        if (DefaultFields()) {
            CreateFields();
        }
        BindFields(true);
        SetBookmarkSize(4);
        FOpen = true;
        Cursor = -1;
    }
    bool CursorIsOpen() const override { return FOpen; }
    void DescribeFields() override {
        FieldDefs().Clear();
        FieldDefs().Add("ID", ftInteger, 0, false);
        FieldDefs().Add("NAME", ftString, 10, false);
    }
    void CloseEngineCursor() override {
        Log("CloseEngineCursor");
        FOpen = false;
        BindFields(false);
        DestroyFields();
    }
    TRecordBuffer AllocateRecordBuffer() override {
        Log("AllocateRecordBuffer");
        ++LiveBuffers;
        return new std::uint8_t[InfoOffset() + 5]();
    }
    void ReleaseRecordBuffer(TRecordBuffer& buffer) override {
        Log("ReleaseRecordBuffer");
        --LiveBuffers;
        delete[] buffer;
        buffer = nullptr;
    }
    TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode, bool) override {
        static const char* names[] = {"current", "next", "prior"};
        if (LogFetches) {
            Log(std::string("FetchRecord(") + names[mode] + ")");
        }
        MaybeFail("FetchRecord");
        const int n = static_cast<int>(Rows.size());
        if (mode == gmNext && Cursor < n) {
            ++Cursor;
        } else if (mode == gmPrior && Cursor >= 0) {
            --Cursor;
        }
        if (Cursor >= n) {
            Cursor = n;
            return grEOF;
        }
        if (Cursor < 0) {
            Cursor = -1;
            return grBOF;
        }
        const StoreRow& row = Rows[static_cast<std::size_t>(Cursor)];
        std::memset(buffer, 0, ImageSize);
        buffer[IdOffset] = 1;
        std::memcpy(buffer + IdOffset + 1, &row.Id, 4);
        buffer[NameOffset] = 1;
        std::memcpy(buffer + NameOffset + 1, row.Name.data(),
                    std::min<std::size_t>(row.Name.size(), 10));
        std::memcpy(buffer + InfoOffset(), &row.Key, 4);
        buffer[InfoOffset() + 4] = bfCurrent;
        GetCalcFields(buffer);
        return grOK;
    }
    void MoveToFirst() override {
        Log("MoveToFirst");
        Cursor = -1;
    }
    void MoveToLast() override {
        Log("MoveToLast");
        Cursor = static_cast<int>(Rows.size());
    }
    void MoveToBuffer(TRecordBuffer buffer) override {
        Log("MoveToBuffer");
        int index = IndexOfKey(KeyOf(buffer));
        Cursor = index >= 0 ? index : static_cast<int>(Rows.size());
    }
    void MoveToBookmark(const std::uint8_t* bookmark) override {
        Log("MoveToBookmark");
        std::int32_t key = 0;
        std::memcpy(&key, bookmark, 4);
        int index = IndexOfKey(key);
        Cursor = index >= 0 ? index : static_cast<int>(Rows.size());
    }
    void ReadBookmarkData(TRecordBuffer buffer, std::uint8_t* bookmark) const override {
        std::memcpy(bookmark, buffer + InfoOffset(), 4);
    }
    void WriteBookmarkData(TRecordBuffer buffer, const std::uint8_t* bookmark) override {
        std::memcpy(buffer + InfoOffset(), bookmark, 4);
    }
    TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) const override {
        return static_cast<TBookmarkFlag>(buffer[InfoOffset() + 4]);
    }
    void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override {
        buffer[InfoOffset() + 4] = flag;
    }
    void PrepareRecordBuffer(TRecordBuffer buffer) override {
        Log("PrepareRecordBuffer");
        TDataSet::PrepareRecordBuffer(buffer);
    }
    void InitRecordImage(TRecordBuffer buffer) override {
        Log("InitRecordImage");
        std::memset(buffer, 0, ImageSize);
    }
    std::size_t RecordImageSize() const override { return ImageSize; }
    void BeginEditRecord() override {
        Log("BeginEditRecord");
        MaybeFail("BeginEditRecord");
    }
    void BeginInsertRecord() override {
        Log("BeginInsertRecord");
        MaybeFail("BeginInsertRecord");
    }
    void PostCurrentRecord() override {
        Log("PostCurrentRecord");
        MaybeFail("PostCurrentRecord");
        CheckRequiredFields();
        TRecordBuffer buffer = ActiveBuffer();
        StoreRow row{0, 0, ""};
        std::memcpy(&row.Id, buffer + IdOffset + 1, 4);
        row.Name = reinterpret_cast<const char*>(buffer + NameOffset + 1);
        if (State() == dsEdit) {
            int index = IndexOfKey(KeyOf(buffer));
            row.Key = KeyOf(buffer);
            Rows[static_cast<std::size_t>(index)] = row;
            Cursor = index;
            return;
        }
        // A new row goes before the row the insert began on, or at the end.
        row.Key = NextKey++;
        int index = static_cast<int>(Rows.size());
        TBookmarkFlag flag = ReadBookmarkFlag(buffer);
        if (flag == bfBOF) {
            index = 0;
        } else if (flag != bfEOF && IndexOfKey(KeyOf(buffer)) >= 0) {
            index = IndexOfKey(KeyOf(buffer));
        }
        Rows.insert(Rows.begin() + index, row);
        Cursor = index;
    }
    void CancelCurrentRecord() override {
        Log("CancelCurrentRecord");
        MaybeFail("CancelCurrentRecord");
    }
    void DeleteCurrentRecord() override {
        Log("DeleteCurrentRecord");
        MaybeFail("DeleteCurrentRecord");
        int index = IndexOfKey(KeyOf(ActiveBuffer()));
        Rows.erase(Rows.begin() + index);
        Cursor = index;
    }
    void RereadCurrentRecord() override { Log("RereadCurrentRecord"); }
    void AddRecordDirect(TRecordBuffer, bool append) override {
        Log(append ? "AddRecordDirect(append)" : "AddRecordDirect(insert)");
        MaybeFail("AddRecordDirect");
        // Same as a post of an insert: before the cursor's row, or at the end.
        TRecordBuffer buffer = ActiveBuffer();
        StoreRow row{NextKey++, 0, ""};
        std::memcpy(&row.Id, buffer + IdOffset + 1, 4);
        row.Name = reinterpret_cast<const char*>(buffer + NameOffset + 1);
        int index = append ? static_cast<int>(Rows.size())
                           : std::clamp(Cursor, 0, static_cast<int>(Rows.size()));
        Rows.insert(Rows.begin() + index, row);
        Cursor = index;
    }
    bool GetFieldData(const TField& field, void* out) const override {
        TRecordBuffer buffer = StateRecordBuffer();
        if (buffer == nullptr) {
            return false;
        }
        if (field.FieldNo() <= 0) {
            return GetCalcFieldData(field, buffer, out);
        }
        std::size_t offset = field.FieldNo() == 1 ? IdOffset : NameOffset;
        std::size_t size = field.FieldNo() == 1 ? 4 : 11;
        if (buffer[offset] == 0) {
            return false;
        }
        if (out != nullptr) {
            std::memcpy(out, buffer + offset + 1, size);
        }
        return true;
    }
    void WriteFieldValue(TField& field, const void* value) override {
        CheckFieldWrite(field, value);
        TRecordBuffer buffer = StateRecordBuffer();
        if (field.FieldNo() <= 0) {
            SetCalcFieldData(field, buffer, value);
        } else {
            std::size_t offset = field.FieldNo() == 1 ? IdOffset : NameOffset;
            std::size_t size = field.FieldNo() == 1 ? 4 : 11;
            std::memset(buffer + offset, 0, size + 1);
            if (value != nullptr) {
                buffer[offset] = 1;
                std::memcpy(buffer + offset + 1, value, size);
            }
        }
        if (State() != dsCalcFields && State() != dsFilter) {
            DataEvent(deFieldChange, &field);
        }
    }

  private:
    std::vector<std::string>& FLog;
    bool FOpen = false;
};

// A data link that writes each notice it gets to a log.
class TRecordingLink : public TDataLink {
  public:
    explicit TRecordingLink(std::vector<std::string>& log, int bufferCount = 1) : FLog(log) {
        SetBufferCount(bufferCount);
    }
    ~TRecordingLink() override { SetDataSource(nullptr); }

  protected:
    void ActiveChanged() override { FLog.push_back(Active() ? "link:Active" : "link:Inactive"); }
    void DataSetChanged() override { FLog.push_back("link:DataSetChanged"); }
    void RecordChanged(TField* field) override {
        FLog.push_back("link:RecordChanged(" + (field ? field->FieldName() : std::string()) + ")");
    }
    void DataSetScrolled(int distance) override {
        FLog.push_back("link:Scrolled(" + std::to_string(distance) + ")");
    }
    void EditingChanged() override {
        FLog.push_back(Editing() ? "link:Editing" : "link:NotEditing");
    }
    void CheckBrowseMode() override { FLog.push_back("link:CheckBrowseMode"); }
    void UpdateData() override { FLog.push_back("link:UpdateData"); }

  private:
    std::vector<std::string>& FLog;
};

}  // namespace varelum::db::testing
