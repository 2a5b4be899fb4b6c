// Statement parameters: values held as Variants, typed setters that record the type, and the
// list with lookup by name.
#include "db/params.h"

#include "db/db_messages.h"
#include "rtl/text.h"

namespace varelum::db {

void TParam::Assign(const rtl::Variant& value, TFieldType type) {
    FValue = value;
    FBound = true;
    if (FDataType == ftUnknown) {
        FDataType = type;
    }
}

void TParam::SetValue(const rtl::Variant& value) {
    TFieldType type = ftUnknown;
    switch (value.VarType()) {
        case rtl::varBoolean:
            type = ftBoolean;
            break;
        case rtl::varSmallint:
            type = ftSmallint;
            break;
        case rtl::varInteger:
            type = ftInteger;
            break;
        case rtl::varInt64:
            type = ftFMTBcd;
            break;
        case rtl::varDouble:
            type = ftFloat;
            break;
        case rtl::varCurrency:
            type = ftCurrency;
            break;
        case rtl::varBcd:
            type = ftFMTBcd;
            break;
        case rtl::varDate:
            type = ftDateTime;
            break;
        case rtl::varString:
            type = ftString;
            break;
        case rtl::varUString:
            type = ftWideString;
            break;
        case rtl::varBytes:
            type = ftBlob;
            break;
        default:
            break;
    }
    Assign(value, type);
}

void TParam::Clear() {
    FValue = rtl::Variant::Null();
    FBound = false;
}

// A text value always makes the parameter a wide string, whatever type it had: the engine
// then receives it as UTF-16 text, so no character is lost on the way.
void TParam::SetAsString(std::string_view value) {
    Assign(rtl::Variant(value), ftWideString);
    FDataType = ftWideString;
}
void TParam::SetAsInteger(std::int32_t value) {
    Assign(rtl::Variant(value), ftInteger);
}
void TParam::SetAsFloat(double value) {
    Assign(rtl::Variant(value), ftFloat);
}
void TParam::SetAsBoolean(bool value) {
    Assign(rtl::Variant(value), ftBoolean);
}
void TParam::SetAsDateTime(rtl::TDateTime value) {
    Assign(rtl::Variant::FromDateTime(value), ftDateTime);
}
void TParam::SetAsDate(rtl::TDateTime value) {
    Assign(rtl::Variant::FromDateTime(value), ftDate);
}
void TParam::SetAsCurrency(rtl::Currency value) {
    Assign(rtl::Variant(value), ftCurrency);
}
void TParam::SetAsBCD(const rtl::TBcd& value) {
    Assign(rtl::Variant(value), ftBCD);
}

TParams::TParams(const TParams& other) {
    *this = other;
}

TParams& TParams::operator=(const TParams& other) {
    if (this != &other) {
        FItems.clear();
        for (const auto& param : other.FItems) {
            FItems.push_back(std::make_unique<TParam>(*param));
        }
    }
    return *this;
}

TParam& TParams::CreateParam(TFieldType dataType, std::string name, TParamType paramType) {
    FItems.push_back(std::make_unique<TParam>(std::move(name), dataType, paramType));
    return *FItems.back();
}

TParam* TParams::FindParam(std::string_view name) const {
    for (const auto& param : FItems) {
        if (rtl::SameText(param->Name(), name)) {
            return param.get();
        }
    }
    return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) const {
    TParam* param = FindParam(name);
    if (param == nullptr) {
        DatabaseErrorFmt(msg::SParameterNotFound, {name});
    }
    return *param;
}

void TParams::AssignValues(const TParams& other) {
    for (const auto& param : FItems) {
        if (const TParam* source = other.FindParam(param->Name()); source != nullptr) {
            *param = *source;
        }
    }
}

bool TParams::AllBound() const {
    for (const auto& param : FItems) {
        if (!param->Bound()) {
            return false;
        }
    }
    return true;
}

}  // namespace varelum::db
