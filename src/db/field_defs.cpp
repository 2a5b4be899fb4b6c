// Field and index definitions: the lists a dataset's source describes itself with.
#include "db/field_defs.h"

#include "db/dataset.h"
#include "db/db_messages.h"
#include "db/index_defs.h"
#include "rtl/text.h"

namespace varelum::db {

TFieldDef& TFieldDefs::Add(std::string name, TFieldType dataType, int size, bool required) {
    if (IndexOf(name) >= 0) {
        DatabaseErrorFmt(msg::SDuplicateFieldDef, {name}, FDataSet);
    }
    int fieldNo = Count() + 1;
    FItems.push_back(
        std::make_unique<TFieldDef>(std::move(name), dataType, size, required, fieldNo));
    return *FItems.back();
}

void TFieldDefs::Clear() {
    FItems.clear();
}

int TFieldDefs::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (rtl::SameText(FItems[i]->Name(), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TFieldDef* TFieldDefs::FindDef(std::string_view name) const {
    int index = IndexOf(name);
    return index < 0 ? nullptr : FItems[static_cast<std::size_t>(index)].get();
}

TFieldDef& TFieldDefs::Find(std::string_view name) const {
    TFieldDef* def = FindDef(name);
    if (def == nullptr) {
        DatabaseErrorFmt(msg::SFieldDefNotFound, {name}, FDataSet);
    }
    return *def;
}

void TFieldDefs::Update() {
    if (!FUpdated && FDataSet != nullptr) {
        FDataSet->UpdateFieldDefs();
    }
}

TField& TFieldDef::CreateField(TDataSet& dataSet) const {
    std::unique_ptr<TField> field = dataSet.CreateFieldOfType(FDataType);
    field->SetFieldName(FName);
    field->SetSize(FSize);
    field->SetRequired(FRequired);
    if (FPrecision > 0) {
        field->SetPrecision(FPrecision);
    }
    return dataSet.Fields().Add(std::move(field));
}

TIndexDef& TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
    if (IndexOf(name) >= 0) {
        DatabaseErrorFmt(msg::SDuplicateIndexName, {name});
    }
    FItems.push_back(std::make_unique<TIndexDef>(std::move(name), std::move(fields), options));
    return *FItems.back();
}

int TIndexDefs::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (rtl::SameText(FItems[i]->Name(), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TIndexDef* TIndexDefs::FindIndex(std::string_view name) const {
    int index = IndexOf(name);
    return index < 0 ? nullptr : FItems[static_cast<std::size_t>(index)].get();
}

TIndexDef& TIndexDefs::Find(std::string_view name) const {
    TIndexDef* def = FindIndex(name);
    if (def == nullptr) {
        DatabaseErrorFmt(msg::SIndexNotFound, {name});
    }
    return *def;
}

TIndexDef* TIndexDefs::GetIndexForFields(std::string_view fields, bool caseInsensitive) const {
    auto usable = [&](const TIndexDef& def) {
        return (def.Options() & ixExpression) == 0 &&
               (!caseInsensitive || (def.Options() & ixCaseInsensitive) != 0);
    };
    for (const auto& def : FItems) {
        if (usable(*def) && rtl::SameText(def->Fields(), fields)) {
            return def.get();
        }
    }
    for (const auto& def : FItems) {
        const std::string& keys = def->Fields();
        if (usable(*def) && keys.size() > fields.size() && keys[fields.size()] == ';' &&
            rtl::SameText(std::string_view(keys).substr(0, fields.size()), fields)) {
            return def.get();
        }
    }
    return nullptr;
}

}  // namespace varelum::db
