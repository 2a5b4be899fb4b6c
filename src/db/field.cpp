// TField's common part (identity, properties, native reads and writes through the dataset,
// validation and change notices) and TFields, the dataset's owning list of field objects.
#include "db/field.h"

#include <algorithm>
#include <cstring>

#include "db/dataset.h"
#include "db/db_messages.h"
#include "rtl/text.h"

namespace varelum::db {

const char* FieldTypeName(TFieldType type) {
    switch (type) {
        case ftString:
            return "String";
        case ftSmallint:
            return "Smallint";
        case ftInteger:
            return "Integer";
        case ftBoolean:
            return "Boolean";
        case ftFloat:
            return "Float";
        case ftCurrency:
            return "Currency";
        case ftBCD:
            return "BCD";
        case ftDate:
            return "Date";
        case ftTime:
            return "Time";
        case ftDateTime:
            return "DateTime";
        case ftBytes:
            return "Bytes";
        case ftVarBytes:
            return "VarBytes";
        case ftAutoInc:
            return "AutoInc";
        case ftBlob:
            return "Blob";
        case ftMemo:
            return "Memo";
        case ftWideString:
            return "WideString";
        case ftFMTBcd:
            return "FMTBcd";
        case ftWideMemo:
            return "WideMemo";
        case ftUnknown:
            break;
    }
    return "Unknown";
}

std::size_t NativeDataSize(TFieldType type, int size) {
    auto count = static_cast<std::size_t>(std::max(size, 0));
    switch (type) {
        case ftString:
            return count + 1;
        case ftWideString:
            return (count + 1) * 2;
        case ftBoolean:
        case ftSmallint:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
            return 8;
        case ftBCD:
        case ftFMTBcd:
            return sizeof(rtl::TBcd);
        case ftBytes:
            return count;
        case ftVarBytes:
            return count + 2;
        case ftBlob:
        case ftMemo:
        case ftWideMemo:
        case ftUnknown:
            break;
    }
    return 0;
}

// --- TField
// ---------------------------------------------------------------------------------------

TField::TField(rtl::TComponent* owner, TFieldType dataType, int size)
    : rtl::TComponent(owner), FDataType(dataType), FSize(size) {}

TField::~TField() {
    // A field owned elsewhere that goes first leaves its dataset's list.
    if (FDataSet != nullptr) {
        FDataSet->Fields().Extract(this);
    }
}

void TField::SetDataSet(TDataSet* dataSet) {
    if (dataSet == FDataSet) {
        return;
    }
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
    }
    if (dataSet != nullptr) {
        dataSet->CheckInactive();
        dataSet->Fields().Insert(this);
    }
    if (FDataSet != nullptr) {
        FDataSet->Fields().Extract(this);
    }
    FDataSet = dataSet;
}

void TField::SetFieldName(std::string name) {
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
        if (TField* other = FDataSet->FindField(name); other != nullptr && other != this) {
            DatabaseErrorFmt(msg::SDuplicateFieldName, {name}, FDataSet);
        }
    }
    FFieldName = std::move(name);
}

void TField::SetFieldKind(TFieldKind kind) {
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
    }
    FFieldKind = kind;
}

void TField::SetSize(int size) {
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
    }
    if (size < 0) {
        DatabaseError(msg::SInvalidFieldSize, FDataSet);
    }
    FSize = size;
}

const std::string& TField::DisplayName() const {
    return FDisplayLabel.empty() ? FFieldName : FDisplayLabel;
}

int TField::Index() const {
    return FDataSet != nullptr ? FDataSet->Fields().IndexOf(this) : -1;
}

std::size_t TField::DataSize() const {
    return NativeDataSize(FDataType, FSize);
}

bool TField::CanModify() const {
    if (FReadOnly || FDataSet == nullptr) {
        return false;
    }
    if (Calculated() && FDataSet->State() != dsCalcFields) {
        return false;
    }
    return FDataSet->CanModify();
}

TDataSet& TField::RequireDataSet() const {
    if (FDataSet == nullptr) {
        DatabaseErrorFmt(msg::SNoDataSet, {DisplayName()});
    }
    return *FDataSet;
}

bool TField::GetData(void* buffer) const {
    if (FValidatingActive) {
        if (FValidating != nullptr && buffer != nullptr) {
            std::memcpy(buffer, FValidating, DataSize());
        }
        return FValidating != nullptr;
    }
    if (FDataSet == nullptr) {
        return false;
    }
    return FDataSet->GetFieldData(*this, buffer);
}

void TField::SetData(const void* buffer) {
    RequireDataSet().WriteFieldValue(*this, buffer);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Clear() {
    SetData(nullptr);
}

void TField::Validate(const void* value) {
    if (!OnValidate) {
        return;
    }
    FValidatingActive = true;
    FValidating = value;
    try {
        OnValidate(*this);
    } catch (...) {
        FValidatingActive = false;
        FValidating = nullptr;
        throw;
    }
    FValidatingActive = false;
    FValidating = nullptr;
}

void TField::Change() {
    if (OnChange) {
        OnChange(*this);
    }
}

void TField::FocusControl() {
    if (FDataSet != nullptr) {
        FDataSet->DataEvent(deFocusControl, this);
    }
}

void TField::AccessError(const char* typeName) const {
    DatabaseErrorFmt(msg::SFieldAccessError, {DisplayName(), typeName}, FDataSet);
}

void TField::RangeError(std::string_view value, std::string_view min, std::string_view max) const {
    DatabaseErrorFmt(msg::SFieldRangeError, {value, DisplayName(), min, max}, FDataSet);
}

void TField::ConversionError(const char* pattern, std::string_view value) const {
    std::vector<rtl::TFormatArg> args{rtl::TFormatArg(value), rtl::TFormatArg(DisplayName())};
    throw rtl::EConvertError(rtl::FormatArgs(pattern, args));
}

// The typed accessors a class does not support.
std::string TField::AsString() const {
    AccessError("String");
}
void TField::SetAsString(std::string_view) {
    AccessError("String");
}
std::int32_t TField::AsInteger() const {
    AccessError("Integer");
}
void TField::SetAsInteger(std::int32_t) {
    AccessError("Integer");
}
std::int64_t TField::AsLargeInt() const {
    return AsInteger();
}
void TField::SetAsLargeInt(std::int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) {
        RangeError(rtl::IntToStr(value), rtl::IntToStr(INT32_MIN), rtl::IntToStr(INT32_MAX));
    }
    SetAsInteger(static_cast<std::int32_t>(value));
}
double TField::AsFloat() const {
    AccessError("Float");
}
void TField::SetAsFloat(double) {
    AccessError("Float");
}
rtl::Currency TField::AsCurrency() const {
    return rtl::DoubleToCurrency(AsFloat());
}
void TField::SetAsCurrency(rtl::Currency value) {
    SetAsFloat(rtl::CurrencyToDouble(value));
}
rtl::TBcd TField::AsBCD() const {
    AccessError("BCD");
}
void TField::SetAsBCD(const rtl::TBcd&) {
    AccessError("BCD");
}
double TField::AsDateTime() const {
    AccessError("DateTime");
}
void TField::SetAsDateTime(double) {
    AccessError("DateTime");
}
bool TField::AsBoolean() const {
    AccessError("Boolean");
}
void TField::SetAsBoolean(bool) {
    AccessError("Boolean");
}
rtl::Variant TField::AsVariant() const {
    AccessError("Variant");
}

// --- TFields
// -----------------------------------------------------------------------------------------

TFields::~TFields() {
    Clear();
}

void TFields::Insert(TField* field) {
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
    }
    if (!field->FieldName().empty() && FindField(field->FieldName()) != nullptr) {
        DatabaseErrorFmt(msg::SDuplicateFieldName, {field->FieldName()}, FDataSet);
    }
    FItems.push_back(field);
}

void TFields::Extract(TField* field) {
    FItems.erase(std::remove(FItems.begin(), FItems.end(), field), FItems.end());
    field->FDataSet = nullptr;
}

TField& TFields::Add(std::unique_ptr<TField> field) {
    if (field->Owner() != nullptr) {
        // Its owner destroys it; two owners would destroy it twice.
        throw rtl::EInvalidOperation("A field with an owner joins a dataset through SetDataSet");
    }
    if (field->DataSet() != nullptr) {
        field->DataSet()->Fields().Extract(field.get());
    }
    Insert(field.get());
    field->FDataSet = FDataSet;
    FOwned.push_back(std::move(field));
    return *FOwned.back();
}

void TFields::Remove(TField& field) {
    if (FDataSet != nullptr) {
        FDataSet->CheckInactive();
    }
    Extract(&field);
    auto owned =
        std::find_if(FOwned.begin(), FOwned.end(),
                     [&](const std::unique_ptr<TField>& item) { return item.get() == &field; });
    if (owned != FOwned.end()) {
        FOwned.erase(owned);
    }
}

void TFields::Clear() {
    for (TField* field : FItems) {
        field->FDataSet = nullptr;
    }
    FItems.clear();
    FOwned.clear();
}

TField& TFields::operator[](int index) const {
    if (index < 0 || index >= Count()) {
        DatabaseError(msg::SFieldIndexError, FDataSet);
    }
    return *FItems[static_cast<std::size_t>(index)];
}

int TFields::IndexOf(const TField* field) const {
    auto found = std::find(FItems.begin(), FItems.end(), field);
    return found == FItems.end() ? -1 : static_cast<int>(found - FItems.begin());
}

TField* TFields::FindField(std::string_view fieldName) const {
    for (TField* item : FItems) {
        if (rtl::SameText(item->FieldName(), fieldName)) {
            return item;
        }
    }
    return nullptr;
}

}  // namespace varelum::db
