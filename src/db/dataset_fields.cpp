// TDataSet, fields binding: creating default fields from the definitions, binding fields to
// definitions and to the calculated-field area, calculated and lookup fields, field lookup by
// name, the checks of field writes and the required-field check of a post.
#include <cstring>

#include "db/dataset.h"
#include "db/db_messages.h"
#include "rtl/text.h"

namespace varelum::db {

// --- Field definitions -------------------------------------------------------------------------

void TDataSet::UpdateFieldDefs() {
    if (CursorIsOpen()) {
        DescribeFields();
    } else {
        InitFieldDefs();
    }
    FFieldDefs.SetUpdated(true);
}

void TDataSet::InitFieldDefs() {
    DescribeFields();
}

// --- Field objects -----------------------------------------------------------------------------

std::unique_ptr<TField> TDataSet::CreateFieldOfType(TFieldType type) const {
    return CreateFieldOfClass(type);
}

void TDataSet::CreateFields() {
    for (const auto& def : FFieldDefs) {
        def->CreateField(*this);
    }
}

void TDataSet::DestroyFields() {
    if (FDefaultFields) {
        FFields.Clear();
        FDefaultFields = false;
    }
}

void TDataSet::BindFields(bool binding) {
    FCalcFieldsSize = 0;
    FCalcFieldCount = 0;
    FBlobFieldCount = 0;
    int calcPosition = 0;
    for (TField* field : FFields) {
        field->FFieldNo = 0;
        field->FOffset = 0;
        field->FBlobIndex = -1;
        if (!binding) {
            continue;
        }
        if (field->Calculated()) {
            field->FFieldNo = -(++calcPosition);
            field->FOffset = FCalcFieldsSize;
            FCalcFieldsSize += field->DataSize() + 1;
            ++FCalcFieldCount;
            continue;
        }
        const TFieldDef* def = FFieldDefs.FindDef(field->FieldName());
        if (def == nullptr) {
            DatabaseErrorFmt(msg::SFieldNotFound, {field->DisplayName()}, this);
        }
        if (def->DataType() != field->DataType() &&
            !(IsBlobType(def->DataType()) && IsBlobType(field->DataType()))) {
            DatabaseErrorFmt(msg::SFieldTypeMismatch,
                             {field->DisplayName(), FieldTypeName(field->DataType()),
                              FieldTypeName(def->DataType())},
                             this);
        }
        field->FFieldNo = def->FieldNo();
        if (field->IsBlob()) {
            field->FBlobIndex = FBlobFieldCount++;
        }
    }
    DataEvent(deLayoutChange);
}

TField& TDataSet::FieldByName(std::string_view name) const {
    TField* field = FFields.FindField(name);
    if (field == nullptr) {
        DatabaseErrorFmt(msg::SFieldNotFound, {name}, this);
    }
    return *field;
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view names) const {
    std::vector<TField*> list;
    std::size_t start = 0;
    while (start <= names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string_view::npos) {
            end = names.size();
        }
        std::string name = rtl::Trim(names.substr(start, end - start));
        if (!name.empty()) {
            list.push_back(&FieldByName(name));
        }
        start = end + 1;
    }
    return list;
}

rtl::Variant TDataSet::FieldValues(std::string_view names) const {
    std::vector<TField*> fields = GetFieldList(names);
    if (fields.size() == 1) {
        return fields.front()->AsVariant();
    }
    std::vector<rtl::Variant> values;
    values.reserve(fields.size());
    for (TField* field : fields) {
        values.push_back(field->AsVariant());
    }
    return rtl::Variant(std::move(values));
}

void TDataSet::SetFieldValues(std::string_view names, const rtl::Variant& value) {
    std::vector<TField*> fields = GetFieldList(names);
    if (fields.size() == 1) {
        fields.front()->SetAsVariant(value);
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fields[i]->SetAsVariant(value.AsArray().at(i));
    }
}

// --- Buffers of the state ---------------------------------------------------------------------

TRecordBuffer TDataSet::StateRecordBuffer() const {
    switch (FState) {
        case dsBrowse:
        case dsBlockRead:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            return ActiveBuffer();
        case dsCalcFields:
        case dsInternalCalc:
            return FCalcBuffer;
        case dsFilter:
            return FFilterBuffer;
        default:
            return nullptr;
    }
}

void TDataSet::PrepareRecordBuffer(TRecordBuffer buffer) {
    InitRecordImage(buffer);
    ClearCalcArea(buffer);
    WriteBookmarkFlag(buffer, bfInserted);
}

// --- Calculated and lookup fields ---------------------------------------------------------------

void TDataSet::ClearCalcArea(TRecordBuffer buffer) {
    if (FCalcFieldsSize > 0) {
        std::memset(buffer + RecordImageSize(), 0, FCalcFieldsSize);
    }
}

bool TDataSet::GetCalcFieldData(const TField& field, TRecordBuffer buffer, void* out) const {
    if (buffer == nullptr) {
        return false;
    }
    const std::uint8_t* slot = buffer + RecordImageSize() + field.Offset();
    bool hasValue = slot[0] != 0;
    if (hasValue && out != nullptr) {
        std::memcpy(out, slot + 1, field.DataSize());
    }
    return hasValue;
}

void TDataSet::SetCalcFieldData(const TField& field, TRecordBuffer buffer, const void* value) {
    std::uint8_t* slot = buffer + RecordImageSize() + field.Offset();
    slot[0] = value != nullptr ? 1 : 0;
    if (value != nullptr) {
        std::memcpy(slot + 1, value, field.DataSize());
    } else {
        std::memset(slot + 1, 0, field.DataSize());
    }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    if (FCalcFieldCount == 0 || buffer == nullptr) {
        return;
    }
    TRecordBuffer previousBuffer = FCalcBuffer;
    FCalcBuffer = buffer;
    TTempState calcState(*this, dsCalcFields);
    try {
        ClearCalcArea(buffer);
        CalculateLookupFields();
        Fire(OnCalcFields, *this);
    } catch (...) {
        FCalcBuffer = previousBuffer;
        throw;
    }
    FCalcBuffer = previousBuffer;
}

void TDataSet::CalculateLookupFields() {
    for (TField* field : FFields) {
        if (!field->Lookup()) {
            continue;
        }
        TDataSet* source = field->LookupDataSet();
        if (source == nullptr || field->KeyFields().empty() || field->LookupKeyFields().empty() ||
            field->LookupResultField().empty()) {
            DatabaseErrorFmt(msg::SLookupInfoError, {field->DisplayName()}, this);
        }
        if (!source->Active()) {
            continue;
        }
        rtl::Variant keys = FieldValues(field->KeyFields());
        rtl::Variant value =
            source->Lookup(field->LookupKeyFields(), keys, field->LookupResultField());
        field->SetAsVariant(value);
    }
}

// --- Checks of field writes and posts -----------------------------------------------------------

void TDataSet::CheckFieldWrite(TField& field, const void* value) {
    switch (FState) {
        case dsEdit:
        case dsInsert:
        case dsSetKey:
        case dsCalcFields:
        case dsFilter:
        case dsNewValue:
        case dsInternalCalc:
            break;
        default:
            DatabaseError(msg::SNotEditing, this);
    }
    // Calculated and lookup values are the dataset's to compute, in dsCalcFields only.
    bool calculating = FState == dsCalcFields || FState == dsInternalCalc;
    if ((field.ReadOnly() && FState != dsSetKey && FState != dsFilter && !calculating) ||
        (field.Calculated() && !calculating)) {
        DatabaseErrorFmt(msg::SFieldReadOnly, {field.DisplayName()}, this);
    }
    if (FState == dsEdit || FState == dsInsert) {
        field.Validate(value);
    }
}

void TDataSet::CheckRequiredFields() {
    for (TField* field : FFields) {
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
            field->IsNull()) {
            field->FocusControl();
            DatabaseErrorFmt(msg::SFieldRequired, {field->DisplayName()}, this);
        }
    }
}

bool TDataSet::RecordPassesFilterEvent(TRecordBuffer buffer) {
    if (!FOnFilterRecord) {
        return true;
    }
    TRecordBuffer previous = FFilterBuffer;
    FFilterBuffer = buffer;
    bool accept = true;
    try {
        TTempState filterState(*this, dsFilter);
        FOnFilterRecord(*this, accept);
    } catch (...) {
        FFilterBuffer = previous;
        throw;
    }
    FFilterBuffer = previous;
    return accept;
}

// --- Filters -----------------------------------------------------------------------------------

void TDataSet::SetFilter(const std::string& text) {
    FFilterText = text;
}

void TDataSet::SetFiltered(bool value) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    FFiltered = value;
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    FOnFilterRecord = std::move(handler);
}

}  // namespace varelum::db
