// Parameters of a statement: TParam (name, data type, value as a Variant, null, bound) and
// TParams, the list a query keeps in the order its statement names them. Names compare
// without regard to case. Parsing a statement for its parameters is the query's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"
#include "rtl/variant.h"

namespace varelum::db {

enum TParamType {
    ptUnknown,
    ptInput,
    ptOutput,
    ptInputOutput,
    ptResult,
};

class TParam {
  public:
    explicit TParam(std::string name, TFieldType dataType = ftUnknown,
                    TParamType paramType = ptInput)
        : FName(std::move(name)), FDataType(dataType), FParamType(paramType) {}

    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }
    // The declared type; a value set through a typed setter gives it the setter's type when
    // none was declared.
    TFieldType DataType() const { return FDataType; }
    void SetDataType(TFieldType type) { FDataType = type; }
    TParamType ParamType() const { return FParamType; }
    void SetParamType(TParamType type) { FParamType = type; }

    // The value; Null until one is set.
    const rtl::Variant& Value() const { return FValue; }
    // Sets the value and marks the parameter bound.
    void SetValue(const rtl::Variant& value);
    bool IsNull() const { return FValue.IsNull() || FValue.IsEmpty(); }
    // True once a value (Null included) was given.
    bool Bound() const { return FBound; }
    void SetBound(bool value) { FBound = value; }
    // Null again, unbound.
    void Clear();

    std::string AsString() const { return rtl::VarToStr(FValue); }
    void SetAsString(std::string_view value);
    std::int32_t AsInteger() const { return FValue.AsInteger(); }
    void SetAsInteger(std::int32_t value);
    double AsFloat() const { return FValue.AsDouble(); }
    void SetAsFloat(double value);
    bool AsBoolean() const { return FValue.AsBoolean(); }
    void SetAsBoolean(bool value);
    rtl::TDateTime AsDateTime() const { return FValue.AsDateTime(); }
    void SetAsDateTime(rtl::TDateTime value);
    void SetAsDate(rtl::TDateTime value);
    rtl::Currency AsCurrency() const { return FValue.AsCurrency(); }
    void SetAsCurrency(rtl::Currency value);
    rtl::TBcd AsBCD() const { return FValue.AsBcd(); }
    void SetAsBCD(const rtl::TBcd& value);

  private:
    void Assign(const rtl::Variant& value, TFieldType type);

    std::string FName;
    TFieldType FDataType;
    TParamType FParamType;
    rtl::Variant FValue = rtl::Variant::Null();
    bool FBound = false;
};

class TParams {
  public:
    TParams() = default;
    TParams(const TParams& other);
    TParams& operator=(const TParams& other);

    // Appends a parameter (names may repeat: each occurrence in a statement is its own).
    TParam& CreateParam(TFieldType dataType, std::string name, TParamType paramType = ptInput);
    TParam& Add(std::string name) { return CreateParam(ftUnknown, std::move(name)); }
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TParam& operator[](int index) { return *FItems.at(static_cast<std::size_t>(index)); }
    const TParam& operator[](int index) const {
        return *FItems.at(static_cast<std::size_t>(index));
    }
    // The first parameter with the name (case-insensitive), or none.
    TParam* FindParam(std::string_view name) const;
    // "Parameter '%s' not found" when there is none.
    TParam& ParamByName(std::string_view name) const;
    // Values are kept for the parameters whose names (and types) the other list also has.
    void AssignValues(const TParams& other);
    // Whether every parameter has been given a value.
    bool AllBound() const;

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

  private:
    std::vector<std::unique_ptr<TParam>> FItems;
};

}  // namespace varelum::db
