// Fields as Variants: every field class's AsVariant, the common SetAsVariant that hands a
// value to the typed setter of its kind, and the factory of the framework's field classes.
#include "db/field_types.h"
#include "rtl/text.h"

namespace varelum::db {

namespace {
rtl::TBytes ToBytes(const std::string& bytes) {
    return rtl::TBytes(bytes.begin(), bytes.end());
}
}  // namespace

void TField::SetAsVariant(const rtl::Variant& value) {
    switch (value.VarType()) {
        case rtl::varEmpty:
        case rtl::varNull:
            Clear();
            break;
        case rtl::varBoolean:
            SetAsBoolean(value.AsBoolean());
            break;
        case rtl::varSmallint:
        case rtl::varInteger:
            SetAsInteger(value.AsInteger());
            break;
        case rtl::varInt64:
            SetAsLargeInt(value.AsInt64());
            break;
        case rtl::varDouble:
            SetAsFloat(value.AsDouble());
            break;
        case rtl::varCurrency:
            SetAsCurrency(value.AsCurrency());
            break;
        case rtl::varBcd:
            SetAsBCD(value.AsBcd());
            break;
        case rtl::varDate:
            SetAsDateTime(value.AsDateTime());
            break;
        case rtl::varString:
        case rtl::varUString:
            SetAsString(value.AsString());
            break;
        case rtl::varBytes: {
            rtl::TBytes bytes = value.AsBytes();
            SetAsString(std::string(bytes.begin(), bytes.end()));
            break;
        }
        case rtl::varArray:
            AccessError("Array");
    }
}

rtl::Variant TStringField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(AsString());
}

rtl::Variant TWideStringField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(rtl::Utf8ToUtf16(AsString()));
}

rtl::Variant TIntegerField::AsVariant() const {
    std::int32_t value = 0;
    return ReadNative(value) ? rtl::Variant(value) : rtl::Variant::Null();
}

rtl::Variant TFloatField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(AsFloat());
}

rtl::Variant TCurrencyField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(AsCurrency());
}

rtl::Variant TBCDField::AsVariant() const {
    if (IsNull()) {
        return rtl::Variant::Null();
    }
    return FCurrency ? rtl::Variant(AsCurrency()) : rtl::Variant(AsBCD());
}

rtl::Variant TBooleanField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(AsBoolean());
}

rtl::Variant TDateTimeField::AsVariant() const {
    double value = 0;
    return ReadDateTime(value) ? rtl::Variant::FromDateTime(value) : rtl::Variant::Null();
}

rtl::Variant TBytesField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(ToBytes(AsString()));
}

rtl::Variant TBlobField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(ToBytes(AsBytes()));
}

rtl::Variant TMemoField::AsVariant() const {
    return IsNull() ? rtl::Variant::Null() : rtl::Variant(AsString());
}

std::unique_ptr<TField> CreateFieldOfClass(TFieldType type) {
    switch (type) {
        case ftString:
            return std::make_unique<TStringField>();
        case ftWideString:
            return std::make_unique<TWideStringField>();
        case ftSmallint:
            return std::make_unique<TSmallintField>();
        case ftInteger:
            return std::make_unique<TIntegerField>();
        case ftAutoInc:
            return std::make_unique<TAutoIncField>();
        case ftBoolean:
            return std::make_unique<TBooleanField>();
        case ftFloat:
            return std::make_unique<TFloatField>();
        case ftCurrency:
            return std::make_unique<TCurrencyField>();
        case ftBCD:
            return std::make_unique<TBCDField>();
        case ftFMTBcd:
            return std::make_unique<TFMTBCDField>();
        case ftDate:
            return std::make_unique<TDateField>();
        case ftTime:
            return std::make_unique<TTimeField>();
        case ftDateTime:
            return std::make_unique<TDateTimeField>();
        case ftBytes:
            return std::make_unique<TBytesField>();
        case ftVarBytes:
            return std::make_unique<TVarBytesField>();
        case ftBlob:
            return std::make_unique<TBlobField>();
        case ftMemo:
            return std::make_unique<TMemoField>();
        case ftWideMemo:
            return std::make_unique<TWideMemoField>();
        case ftUnknown:
            break;
    }
    return std::make_unique<TStringField>();
}

}  // namespace varelum::db
