// TField: one field object of a dataset, and TFields, the dataset's list of them.
//
// A field reads and writes its value through its dataset (GetFieldData / WriteFieldValue),
// which converts between the state's record buffer and the field's native value format. The
// typed accessors (AsString, AsInteger, ...) convert between the native value and the asked
// type; the field classes for each type (field_types.h) implement them. A field that cannot
// give or take a type raises "Cannot access field '%s' as type %s".
//
// Native value formats, by type (DataSize bytes):
//   ftString: single-byte (Windows-1252) text, zero-terminated: Size + 1
//   ftWideString: UTF-16 text, zero-terminated: (Size + 1) * 2
//   ftBoolean: 16-bit, -1 true, 0 false          ftSmallint: signed 16-bit
//   ftInteger, ftAutoInc: signed 32-bit          ftFloat, ftCurrency: 64-bit double
//   ftBCD, ftFMTBcd: the framework's TBcd record
//   ftDate: signed 32-bit day number (day 1 = 0001-01-01; framework date + 693594)
//   ftTime: signed 32-bit milliseconds since midnight
//   ftDateTime: double, day number * 86400000 + milliseconds of the day
//   ftBytes: Size bytes                          ftVarBytes: 16-bit length, then Size bytes
//   ftBlob, ftMemo, ftWideMemo: none (values go through CreateBlobStream)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"
#include "rtl/bcd.h"
#include "rtl/component.h"
#include "rtl/variant.h"

namespace varelum::db {

class TDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField&)>;

class TField : public rtl::TComponent {
  public:
    ~TField() override;

    // --- Identity -------------------------------------------------------------------------------

    TDataSet* DataSet() const { return FDataSet; }
    // Joins the dataset's fields (leaving those of the dataset it was in), not owned by it;
    // none leaves. Neither dataset may be open.
    void SetDataSet(TDataSet* dataSet);
    const std::string& FieldName() const { return FFieldName; }
    void SetFieldName(std::string name);
    const std::string& DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(std::string label) { FDisplayLabel = std::move(label); }
    // DisplayLabel when set, else FieldName: the name messages and controls show.
    const std::string& DisplayName() const;
    TFieldType DataType() const { return FDataType; }
    TFieldKind FieldKind() const { return FFieldKind; }
    void SetFieldKind(TFieldKind kind);
    bool Calculated() const { return FFieldKind == fkCalculated || FFieldKind == fkLookup; }
    bool Lookup() const { return FFieldKind == fkLookup; }
    bool IsBlob() const { return IsBlobType(FDataType); }
    // Position in the dataset's fields (0-based), -1 when not in a dataset.
    int Index() const;

    // --- Binding (set by the dataset when it binds its fields) -------------------------------

    // The 1-based number of the field definition a data field is bound to; 0 when unbound;
    // calculated and lookup fields get -(their position + 1).
    int FieldNo() const { return FFieldNo; }
    // Offset of a calculated or lookup field's slot in the calculated-field area.
    std::size_t Offset() const { return FOffset; }
    // Position among the dataset's blob fields (0-based), -1 for other fields.
    int BlobIndex() const { return FBlobIndex; }
    // Bytes of the native value (see the table above).
    virtual std::size_t DataSize() const;

    // --- Properties
    // -------------------------------------------------------------------------------

    // Characters of a string, bytes of a bytes field, decimals of a BCD field.
    int Size() const { return FSize; }
    virtual void SetSize(int size);
    // Total digits of a BCD value (0: not given).
    int Precision() const { return FPrecision; }
    void SetPrecision(int precision) { FPrecision = precision; }
    bool Required() const { return FRequired; }
    void SetRequired(bool value) { FRequired = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { FVisible = value; }
    // A value text the dataset gives the field in a new record (the dataset's rules).
    const std::string& DefaultExpression() const { return FDefaultExpression; }
    void SetDefaultExpression(std::string text) { FDefaultExpression = std::move(text); }
    // Whether the field can be written now: not read-only, not calculated outside
    // OnCalcFields, and its dataset can modify.
    bool CanModify() const;

    // Lookup fields: the value of LookupResultField in the LookupDataSet record whose
    // LookupKeyFields equal this dataset's KeyFields.
    TDataSet* LookupDataSet() const { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet* dataSet) { FLookupDataSet = dataSet; }
    const std::string& KeyFields() const { return FKeyFields; }
    void SetKeyFields(std::string names) { FKeyFields = std::move(names); }
    const std::string& LookupKeyFields() const { return FLookupKeyFields; }
    void SetLookupKeyFields(std::string names) { FLookupKeyFields = std::move(names); }
    const std::string& LookupResultField() const { return FLookupResultField; }
    void SetLookupResultField(std::string name) { FLookupResultField = std::move(name); }

    // --- Values
    // -----------------------------------------------------------------------------------

    bool IsNull() const;
    // Sets the field to null.
    void Clear();

    virtual std::string AsString() const;
    virtual void SetAsString(std::string_view value);
    virtual std::int32_t AsInteger() const;
    virtual void SetAsInteger(std::int32_t value);
    virtual std::int64_t AsLargeInt() const;
    virtual void SetAsLargeInt(std::int64_t value);
    virtual double AsFloat() const;
    virtual void SetAsFloat(double value);
    virtual rtl::Currency AsCurrency() const;
    virtual void SetAsCurrency(rtl::Currency value);
    virtual rtl::TBcd AsBCD() const;
    virtual void SetAsBCD(const rtl::TBcd& value);
    // The framework's date-time: days since 1899-12-30, time of day as the fraction.
    virtual double AsDateTime() const;
    virtual void SetAsDateTime(double value);
    virtual bool AsBoolean() const;
    virtual void SetAsBoolean(bool value);
    // Null for a null field. Setting a Null (or Empty) value clears the field.
    virtual rtl::Variant AsVariant() const;
    virtual void SetAsVariant(const rtl::Variant& value);
    // The text controls show (AsString unless a class formats otherwise).
    virtual std::string DisplayText() const { return AsString(); }

    // --- Native values and notices (for datasets and field classes) ----------------------------

    // Reads the native value into buffer (DataSize bytes; none: only the null test); true
    // when the field has a value. While OnValidate runs, the value being validated.
    bool GetData(void* buffer) const;
    // Writes the native value (null for none) through the dataset.
    void SetData(const void* buffer);
    // Runs OnValidate with value as the field's value (a dataset calls it before writing).
    void Validate(const void* value);
    // The value changed: fires OnChange.
    void Change();
    // Asks the controls showing the field to take the focus.
    void FocusControl();

    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

  protected:
    TField(rtl::TComponent* owner, TFieldType dataType, int size = 0);

    // "Cannot access field '%s' as type %s".
    [[noreturn]] void AccessError(const char* typeName) const;
    // "Field '%s' has no dataset" without a dataset.
    TDataSet& RequireDataSet() const;
    // Raised by a value outside the field's range.
    [[noreturn]] void RangeError(std::string_view value, std::string_view min,
                                 std::string_view max) const;
    // The text of a value for an invalid-value message, e.g. "'abc' is not a valid integer..."
    [[noreturn]] void ConversionError(const char* pattern, std::string_view value) const;

  private:
    friend class TDataSet;
    friend class TFields;

    TDataSet* FDataSet = nullptr;
    TFieldType FDataType;
    TFieldKind FFieldKind = fkData;
    std::string FFieldName;
    std::string FDisplayLabel;
    std::string FDefaultExpression;
    int FSize;
    int FPrecision = 0;
    int FFieldNo = 0;
    std::size_t FOffset = 0;
    int FBlobIndex = -1;
    bool FRequired = false;
    bool FReadOnly = false;
    bool FVisible = true;
    TDataSet* FLookupDataSet = nullptr;
    std::string FKeyFields;
    std::string FLookupKeyFields;
    std::string FLookupResultField;
    // While OnValidate runs: the value being validated (null for a null value).
    bool FValidatingActive = false;
    const void* FValidating = nullptr;
};

// The dataset's field objects, in order. It owns the fields handed to it (and those the
// dataset creates from its definitions); fields with an owner of their own are only listed.
class TFields {
  public:
    explicit TFields(TDataSet* dataSet) : FDataSet(dataSet) {}
    ~TFields();
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    // Adds an owner-less field object, which the list then owns ("Duplicate field name '%s'"
    // when a field of that name exists; "Cannot perform this operation on an open dataset"
    // while open). Returns the field.
    TField& Add(std::unique_ptr<TField> field);
    // Creates a field of class F, named and sized, and adds it.
    template <class F>
    F& Add(std::string fieldName, int size = 0) {
        auto field = std::make_unique<F>();
        field->SetFieldName(std::move(fieldName));
        if (size > 0) {
            field->SetSize(size);
        }
        F& added = *field;
        Add(std::move(field));
        return added;
    }
    // Takes the field out of the list; destroys it when the list owns it.
    void Remove(TField& field);
    // Removes every field (destroying the owned ones).
    void Clear();

    int Count() const { return static_cast<int>(FItems.size()); }
    // "Field index out of range" for a bad index.
    TField& operator[](int index) const;
    int IndexOf(const TField* field) const;
    TField* FindField(std::string_view fieldName) const;

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

  private:
    friend class TField;
    // Lists a field (checks as for Add); owned or not.
    void Insert(TField* field);
    // Takes a field out of the list without destroying it.
    void Extract(TField* field);

    TDataSet* FDataSet;
    std::vector<TField*> FItems;
    std::vector<std::unique_ptr<TField>> FOwned;
};

// A field object of the framework's class for the type.
std::unique_ptr<TField> CreateFieldOfClass(TFieldType type);

// Bytes of the native value of a field of the type and size (0 for blob types).
std::size_t NativeDataSize(TFieldType type, int size);

}  // namespace varelum::db
