// Field definitions: the description of a dataset's fields as its source gives them (name,
// type, size, precision, required, field number), from which default field objects are made
// and against which persistent field objects are bound.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"

namespace varelum::db {

class TDataSet;
class TField;

class TFieldDef {
  public:
    TFieldDef(std::string name, TFieldType dataType, int size, bool required, int fieldNo)
        : FName(std::move(name)),
          FDataType(dataType),
          FSize(size),
          FRequired(required),
          FFieldNo(fieldNo) {}

    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }
    TFieldType DataType() const { return FDataType; }
    void SetDataType(TFieldType type) { FDataType = type; }
    // Characters for strings, bytes for bytes, decimals for BCD; 0 where the type has none.
    int Size() const { return FSize; }
    void SetSize(int size) { FSize = size; }
    // Total digits of a BCD value; 0 when not given.
    int Precision() const { return FPrecision; }
    void SetPrecision(int precision) { FPrecision = precision; }
    bool Required() const { return FRequired; }
    void SetRequired(bool required) { FRequired = required; }
    // 1-based position among the definitions.
    int FieldNo() const { return FFieldNo; }

    // Creates a field object of the framework's class for the type, configured from this
    // definition, and adds it to the dataset's fields (owned by the dataset).
    TField& CreateField(TDataSet& dataSet) const;

  private:
    friend class TFieldDefs;
    std::string FName;
    TFieldType FDataType;
    int FSize;
    int FPrecision = 0;
    bool FRequired;
    int FFieldNo;
};

class TFieldDefs {
  public:
    explicit TFieldDefs(TDataSet* dataSet = nullptr) : FDataSet(dataSet) {}

    // Appends a definition; its field number is its 1-based position. "Duplicate field
    // definition '%s'" when the name (case-insensitive) is taken.
    TFieldDef& Add(std::string name, TFieldType dataType, int size = 0, bool required = false);
    void Clear();
    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    TFieldDef& operator[](int index) { return *FItems.at(static_cast<std::size_t>(index)); }
    const TFieldDef& operator[](int index) const {
        return *FItems.at(static_cast<std::size_t>(index));
    }
    // Position of the definition with the name (case-insensitive), or -1.
    int IndexOf(std::string_view name) const;
    TFieldDef* FindDef(std::string_view name) const;
    // "Field definition '%s' not found" when there is none.
    TFieldDef& Find(std::string_view name) const;

    // Out-of-date definitions are read again from the dataset's source by Update.
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool value) { FUpdated = value; }
    void Update();

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

  private:
    TDataSet* FDataSet;
    std::vector<std::unique_ptr<TFieldDef>> FItems;
    bool FUpdated = false;
};

}  // namespace varelum::db
