// The numeric and Boolean field classes: integer, smallint and autoinc fields (with range
// checks), float and currency fields, BCD and FMTBCD fields (exact decimals, rounded to their
// scale), and Boolean fields (16-bit, -1 true).
#include <cmath>
#include <cstring>

#include "db/db_messages.h"
#include "db/field_types.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::db {

// --- TIntegerField and its kin
// ----------------------------------------------------------------------

TIntegerField::TIntegerField(rtl::TComponent* owner, TFieldType type) : TField(owner, type) {}

bool TIntegerField::ReadNative(std::int32_t& value) const {
    return GetData(&value);
}

void TIntegerField::WriteNative(std::int32_t value) {
    SetData(&value);
}

bool TSmallintField::ReadNative(std::int32_t& value) const {
    std::int16_t native = 0;
    bool hasValue = GetData(&native);
    value = native;
    return hasValue;
}

void TSmallintField::WriteNative(std::int32_t value) {
    auto native = static_cast<std::int16_t>(value);
    SetData(&native);
}

std::int32_t TIntegerField::AsInteger() const {
    std::int32_t value = 0;
    return ReadNative(value) ? value : 0;
}

void TIntegerField::SetAsLargeInt(std::int64_t value) {
    std::int64_t low = TypeMin();
    std::int64_t high = TypeMax();
    if (FMinValue != 0 || FMaxValue != 0) {
        low = std::max(low, FMinValue);
        high = std::min(high, FMaxValue);
    }
    if (value < low || value > high) {
        RangeError(rtl::IntToStr(value), rtl::IntToStr(low), rtl::IntToStr(high));
    }
    WriteNative(static_cast<std::int32_t>(value));
}

void TIntegerField::SetAsInteger(std::int32_t value) {
    SetAsLargeInt(value);
}

std::string TIntegerField::AsString() const {
    std::int32_t value = 0;
    return ReadNative(value) ? rtl::IntToStr(value) : std::string();
}

void TIntegerField::SetAsString(std::string_view value) {
    std::string text = rtl::Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    std::int64_t number = 0;
    if (!rtl::TryStrToInt64(text, number)) {
        ConversionError(msg::SNotInteger, text);
    }
    SetAsLargeInt(number);
}

double TIntegerField::AsFloat() const {
    return AsInteger();
}

void TIntegerField::SetAsFloat(double value) {
    if (!std::isfinite(value) || value < -9.2e18 || value > 9.2e18) {
        RangeError(rtl::FloatToStr(value), rtl::IntToStr(TypeMin()), rtl::IntToStr(TypeMax()));
    }
    SetAsLargeInt(std::llround(value));
}

rtl::TBcd TIntegerField::AsBCD() const {
    return rtl::IntegerToBcd(AsInteger());
}

void TIntegerField::SetAsBCD(const rtl::TBcd& value) {
    SetAsLargeInt(rtl::BcdToInt64(value));
}

// --- TFloatField
// --------------------------------------------------------------------------------------

TFloatField::TFloatField(rtl::TComponent* owner, TFieldType type) : TField(owner, type) {
    SetPrecision(15);
}

double TFloatField::AsFloat() const {
    double value = 0;
    return GetData(&value) ? value : 0.0;
}

void TFloatField::SetAsFloat(double value) {
    if (!std::isfinite(value)) {
        ConversionError(msg::SNotFloat, rtl::FloatToStr(value));
    }
    SetData(&value);
}

std::string TFloatField::AsString() const {
    double value = 0;
    if (!GetData(&value)) {
        return {};
    }
    int precision = Precision() > 0 ? Precision() : 15;
    return rtl::FloatToStrF(value, rtl::ffGeneral, precision, 0);
}

void TFloatField::SetAsString(std::string_view value) {
    std::string text = rtl::Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    double number = 0;
    if (!rtl::TryStrToFloat(text, number)) {
        ConversionError(msg::SNotFloat, text);
    }
    SetAsFloat(number);
}

std::int32_t TFloatField::AsInteger() const {
    double value = std::round(AsFloat());
    if (value < INT32_MIN || value > INT32_MAX) {
        RangeError(rtl::FloatToStr(value), rtl::IntToStr(INT32_MIN), rtl::IntToStr(INT32_MAX));
    }
    return static_cast<std::int32_t>(value);
}

rtl::TBcd TFloatField::AsBCD() const {
    return rtl::DoubleToBcd(AsFloat());
}

void TFloatField::SetAsBCD(const rtl::TBcd& value) {
    SetAsFloat(rtl::BcdToDouble(value));
}

// --- TBCDField
// -------------------------------------------------------------------------------------------

rtl::TBcd TBCDField::AsBCD() const {
    rtl::TBcd value;
    return GetData(&value) ? value : rtl::TBcd();
}

void TBCDField::SetAsBCD(const rtl::TBcd& value) {
    // The stored value has the field's scale: more decimals are rounded away, and with a
    // precision given, an integer part too long for it is refused ("BCD overflow").
    int scale = Size();
    int integerDigits = std::max(value.Precision() - value.Scale(), 1);
    int precision = Precision() > 0 ? Precision() : std::min(integerDigits + scale, 64);
    scale = std::min(scale, precision);
    rtl::TBcd stored = rtl::NormalizeBcd(value, precision, scale);
    SetData(&stored);
}

std::string TBCDField::AsString() const {
    rtl::TBcd value;
    return GetData(&value) ? rtl::BcdToStr(value) : std::string();
}

void TBCDField::SetAsString(std::string_view value) {
    std::string text = rtl::Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    rtl::TBcd number;
    if (!rtl::TryStrToBcd(text, number)) {
        ConversionError(msg::SNotFloat, text);
    }
    SetAsBCD(number);
}

std::int32_t TBCDField::AsInteger() const {
    std::int64_t value = AsLargeInt();
    if (value < INT32_MIN || value > INT32_MAX) {
        RangeError(rtl::IntToStr(value), rtl::IntToStr(INT32_MIN), rtl::IntToStr(INT32_MAX));
    }
    return static_cast<std::int32_t>(value);
}

void TBCDField::SetAsInteger(std::int32_t value) {
    SetAsBCD(rtl::IntegerToBcd(value));
}

std::int64_t TBCDField::AsLargeInt() const {
    return rtl::BcdToInt64(AsBCD());
}

void TBCDField::SetAsLargeInt(std::int64_t value) {
    SetAsBCD(rtl::IntegerToBcd(value));
}

double TBCDField::AsFloat() const {
    return rtl::BcdToDouble(AsBCD());
}

void TBCDField::SetAsFloat(double value) {
    if (!std::isfinite(value)) {
        ConversionError(msg::SNotFloat, rtl::FloatToStr(value));
    }
    SetAsBCD(rtl::DoubleToBcd(value));
}

rtl::Currency TBCDField::AsCurrency() const {
    return rtl::BcdToCurrency(AsBCD());
}

void TBCDField::SetAsCurrency(rtl::Currency value) {
    SetAsBCD(rtl::CurrencyToBcd(value));
}

// --- TBooleanField
// ---------------------------------------------------------------------------------------

bool TBooleanField::AsBoolean() const {
    std::int16_t value = 0;
    return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
    std::int16_t native = value ? -1 : 0;
    SetData(&native);
}

std::string TBooleanField::AsString() const {
    std::int16_t value = 0;
    if (!GetData(&value)) {
        return {};
    }
    return value != 0 ? "True" : "False";
}

void TBooleanField::SetAsString(std::string_view value) {
    std::string text = rtl::UpperCase(rtl::Trim(value));
    if (text.empty()) {
        Clear();
    } else if (text == "TRUE" || text == "T" || text == "YES" || text == "Y" || text == "1") {
        SetAsBoolean(true);
    } else if (text == "FALSE" || text == "F" || text == "NO" || text == "N" || text == "0") {
        SetAsBoolean(false);
    } else {
        ConversionError(msg::SNotBoolean, value);
    }
}

}  // namespace varelum::db
