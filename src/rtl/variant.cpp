// Variant's conversions and comparison. Each typed getter is one dispatch over the held
// type; conversions through text use the process's format settings, exactly as the text
// helpers do.
#include "rtl/variant.h"

#include <cmath>
#include <limits>

#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/number_text.h"
#include "rtl/text.h"

namespace varelum::rtl {

const char* VarTypeName(TVarType type) noexcept {
    static constexpr const char* names[] = {
        "Empty",    "Null",   "Boolean", "Smallint", "Integer",       "Int64", "Double",
        "Currency", "FMTBcd", "Date",    "String",   "UnicodeString", "Bytes", "Array"};
    auto index = static_cast<std::size_t>(type);
    return index < std::size(names) ? names[index] : "Unknown";
}

void Variant::CheckInt64Range(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throw ERangeError("Value " + std::to_string(value) + " is out of the Int64 range");
    }
}

void Variant::CannotConvert(TVarType target) const {
    throw EVariantError(std::string("Could not convert variant of type (") +
                        VarTypeName(VarType()) + ") into type (" + VarTypeName(target) + ")");
}

namespace {

[[noreturn]] void OutOfRange(const std::string& value, TVarType target) {
    throw ERangeError("Value " + value + " is out of the range of type (" + VarTypeName(target) +
                      ")");
}

std::int64_t RoundedToInt64(double value, TVarType target) {
    // Half away from zero, as every rounding in the framework.
    double rounded = std::round(value);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
        OutOfRange(FloatToStr(value), target);
    }
    return static_cast<std::int64_t>(rounded);
}

std::int64_t TextToInt64(const std::string& text, TVarType target) {
    std::int64_t value = 0;
    if (TryStrToInt64(text, value)) {
        return value;
    }
    double number = 0;
    if (TryStrToFloat(text, number)) {
        return RoundedToInt64(number, target);
    }
    StrToInt64(text);  // raises the integer message
    return 0;
}

template <typename Int>
Int Narrowed(std::int64_t value, TVarType target) {
    if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max()) {
        OutOfRange(std::to_string(value), target);
    }
    return static_cast<Int>(value);
}

}  // namespace

std::int64_t Variant::IntegerValue(TVarType target) const {
    switch (VarType()) {
        case varEmpty:
            return 0;
        case varBoolean:
            return std::get<bool>(FValue) ? -1 : 0;
        case varSmallint:
            return std::get<std::int16_t>(FValue);
        case varInteger:
            return std::get<std::int32_t>(FValue);
        case varInt64:
            return std::get<std::int64_t>(FValue);
        case varDouble:
            return RoundedToInt64(std::get<double>(FValue), target);
        case varDate:
            return RoundedToInt64(std::get<DateTag>(FValue).Value, target);
        case varCurrency: {
            // Scaled / 10000, rounded half away from zero, without leaving the integers.
            std::int64_t scaled = std::get<Currency>(FValue).Scaled;
            std::int64_t whole = scaled / Currency::ScaleFactor;
            std::int64_t rest = scaled % Currency::ScaleFactor;
            if (rest >= Currency::ScaleFactor / 2) {
                ++whole;
            } else if (rest <= -Currency::ScaleFactor / 2) {
                --whole;
            }
            return whole;
        }
        case varBcd:
            return BcdToInt64(std::get<TBcd>(FValue));
        case varString:
            return TextToInt64(std::get<std::string>(FValue), target);
        case varUString:
            return TextToInt64(Utf16ToUtf8(std::get<std::u16string>(FValue)), target);
        default:
            CannotConvert(target);
    }
}

bool Variant::AsBoolean() const {
    switch (VarType()) {
        case varBoolean:
            return std::get<bool>(FValue);
        case varDouble:
            return std::get<double>(FValue) != 0;
        case varBcd:
            return !std::get<TBcd>(FValue).IsZero();
        case varString:
        case varUString: {
            std::string text = AsString();
            if (SameText(text, "True")) {
                return true;
            }
            if (SameText(text, "False")) {
                return false;
            }
            double number = 0;
            if (TryStrToFloat(text, number)) {
                return number != 0;
            }
            throw EConvertError("''" + text + "'' is not a valid Boolean value");
        }
        case varDate:
        case varBytes:
        case varArray:
        case varNull:
            CannotConvert(varBoolean);
        default:
            return IntegerValue(varBoolean) != 0;
    }
}

std::int16_t Variant::AsSmallint() const {
    return Narrowed<std::int16_t>(IntegerValue(varSmallint), varSmallint);
}

std::int32_t Variant::AsInteger() const {
    return Narrowed<std::int32_t>(IntegerValue(varInteger), varInteger);
}

std::int64_t Variant::AsInt64() const {
    return IntegerValue(varInt64);
}

double Variant::AsDouble() const {
    switch (VarType()) {
        case varDouble:
            return std::get<double>(FValue);
        case varDate:
            return std::get<DateTag>(FValue).Value;
        case varCurrency:
            return CurrencyToDouble(std::get<Currency>(FValue));
        case varBcd:
            return BcdToDouble(std::get<TBcd>(FValue));
        case varString:
        case varUString:
            return StrToFloat(AsString());
        default:
            return static_cast<double>(IntegerValue(varDouble));
    }
}

Currency Variant::AsCurrency() const {
    switch (VarType()) {
        case varCurrency:
            return std::get<Currency>(FValue);
        case varDouble:
        case varDate:
            return DoubleToCurrency(AsDouble());
        case varBcd:
            return BcdToCurrency(std::get<TBcd>(FValue));
        case varString:
        case varUString:
            return StrToCurr(AsString());
        default: {
            std::int64_t value = IntegerValue(varCurrency);
            if (value > std::numeric_limits<std::int64_t>::max() / Currency::ScaleFactor ||
                value < std::numeric_limits<std::int64_t>::min() / Currency::ScaleFactor) {
                OutOfRange(std::to_string(value), varCurrency);
            }
            return Currency::FromScaled(value * Currency::ScaleFactor);
        }
    }
}

TBcd Variant::AsBcd() const {
    switch (VarType()) {
        case varBcd:
            return std::get<TBcd>(FValue);
        case varDouble:
        case varDate:
            return DoubleToBcd(AsDouble());
        case varCurrency:
            return CurrencyToBcd(std::get<Currency>(FValue));
        case varString:
        case varUString:
            return StrToBcd(AsString());
        default:
            return IntegerToBcd(IntegerValue(varBcd));
    }
}

TDateTime Variant::AsDateTime() const {
    switch (VarType()) {
        case varDate:
            return std::get<DateTag>(FValue).Value;
        case varString:
        case varUString:
            return StrToDateTime(AsString());
        case varBoolean:
            CannotConvert(varDate);
        default:
            return AsDouble();
    }
}

std::string Variant::AsString() const {
    switch (VarType()) {
        case varEmpty:
            return {};
        case varBoolean:
            return std::get<bool>(FValue) ? "True" : "False";
        case varSmallint:
        case varInteger:
        case varInt64:
            return IntToStr(IntegerValue(varString));
        case varDouble:
            return FloatToStr(std::get<double>(FValue));
        case varCurrency:
            return CurrToStr(std::get<Currency>(FValue));
        case varBcd:
            return BcdToStr(std::get<TBcd>(FValue));
        case varDate:
            return DateTimeToStr(std::get<DateTag>(FValue).Value);
        case varString:
            return std::get<std::string>(FValue);
        case varUString:
            return Utf16ToUtf8(std::get<std::u16string>(FValue));
        case varBytes: {
            const TBytes& bytes = std::get<TBytes>(FValue);
            return std::string(bytes.begin(), bytes.end());
        }
        default:
            CannotConvert(varString);
    }
}

std::u16string Variant::AsWideString() const {
    if (VarType() == varUString) {
        return std::get<std::u16string>(FValue);
    }
    if (VarType() == varNull || VarType() == varArray) {
        CannotConvert(varUString);
    }
    return Utf8ToUtf16(AsString());
}

TBytes Variant::AsBytes() const {
    switch (VarType()) {
        case varEmpty:
            return {};
        case varBytes:
            return std::get<TBytes>(FValue);
        case varString: {
            const std::string& text = std::get<std::string>(FValue);
            return TBytes(text.begin(), text.end());
        }
        default:
            CannotConvert(varBytes);
    }
}

const std::vector<Variant>& Variant::AsArray() const {
    if (VarType() != varArray) {
        CannotConvert(varArray);
    }
    return std::get<std::vector<Variant>>(FValue);
}

std::string VarToStr(const Variant& value) {
    return value.IsNull() ? std::string() : value.AsString();
}

namespace {

bool IsText(TVarType type) {
    return type == varString || type == varUString;
}

bool IsNumber(TVarType type) {
    return type >= varBoolean && type <= varDate;
}

template <typename T>
TVariantRelationship Relate(const T& a, const T& b) {
    if (a < b) {
        return vrLessThan;
    }
    if (b < a) {
        return vrGreaterThan;
    }
    return a == b ? vrEqual : vrNotEqual;  // NaN
}

// Numbers (and dates and Booleans) by the widest type of the two: a double when either is one
// (or a date), else a BCD when either is a currency or a BCD, else a 64-bit integer.
TVariantRelationship CompareNumbers(const Variant& a, const Variant& b) {
    TVarType x = a.VarType();
    TVarType y = b.VarType();
    if (x == varBoolean && y == varBoolean) {
        return Relate(a.AsBoolean(), b.AsBoolean());
    }
    if (x == varDouble || x == varDate || y == varDouble || y == varDate) {
        return Relate(a.AsDouble(), b.AsDouble());
    }
    if (x == varBcd || x == varCurrency || y == varBcd || y == varCurrency) {
        return Relate(a.AsBcd(), b.AsBcd());
    }
    return Relate(a.AsInt64(), b.AsInt64());
}

}  // namespace

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
    TVarType x = a.VarType();
    TVarType y = b.VarType();
    if (x == varNull || y == varNull || x == varEmpty || y == varEmpty) {
        return x == y ? vrEqual : vrNotEqual;
    }
    if (x == varArray || y == varArray) {
        if (x != y || a.AsArray().size() != b.AsArray().size()) {
            return vrNotEqual;
        }
        for (std::size_t i = 0; i < a.AsArray().size(); ++i) {
            if (VarCompareValue(a.AsArray()[i], b.AsArray()[i]) != vrEqual) {
                return vrNotEqual;
            }
        }
        return vrEqual;
    }
    if (x == varBytes || y == varBytes) {
        if (x == varUString || y == varUString) {
            return vrNotEqual;
        }
        return Relate(a.AsBytes(), b.AsBytes());
    }
    if (IsText(x) && IsText(y)) {
        // UTF-8 byte order is code-point order.
        return Relate(a.AsString(), b.AsString());
    }
    if (IsNumber(x) && IsNumber(y)) {
        return CompareNumbers(a, b);
    }
    // Text against a number or date: the text is read as the other's type.
    try {
        const Variant& number = IsText(x) ? b : a;
        const Variant& text = IsText(x) ? a : b;
        Variant converted;
        switch (number.VarType()) {
            case varDate:
                converted = Variant::FromDateTime(text.AsDateTime());
                break;
            case varBoolean:
                converted = text.AsBoolean();
                break;
            case varCurrency:
            case varBcd:
                converted = text.AsBcd();
                break;
            default:
                converted = text.AsDouble();
                break;
        }
        return IsText(x) ? CompareNumbers(converted, number) : CompareNumbers(number, converted);
    } catch (const EConvertError&) {
        return vrNotEqual;  // text that is no such value cannot be ordered against it
    }
}

}  // namespace varelum::rtl
