// Variant: a value of any of the framework's field and parameter types, with the conversions
// between them. Datasets read and write fields through it (AsVariant), parameters hold their
// values in it, and the stored-layout reader hands property values to setters in it.
//
// Conversions: numbers convert among themselves (rounding half away from zero where an
// integer is asked for), to and from text (by the process's format settings) and to Boolean
// (non-zero is true; true is -1 as a number). Empty converts to 0, false or an empty text.
// Null converts to nothing: asking for any typed value of Null raises EVariantError "Could not
// convert variant of type (Null) into type (<type>)", as does any other impossible pair (an
// array to a number, a Boolean to a date). Text that does not read as the asked type raises
// EConvertError with the text's own message; a value too large for the asked type raises
// ERangeError.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "rtl/bcd.h"
#include "rtl/datetime.h"

namespace varelum::rtl {

using TBytes = std::vector<std::uint8_t>;

enum TVarType {
    varEmpty,
    varNull,
    varBoolean,
    varSmallint,  // 16-bit signed
    varInteger,   // 32-bit signed
    varInt64,
    varDouble,
    varCurrency,
    varBcd,
    varDate,     // TDateTime
    varString,   // UTF-8 text
    varUString,  // UTF-16 text
    varBytes,
    varArray,  // of Variant
};

// "Empty", "Null", "Boolean", "Smallint", "Integer", "Int64", "Double", "Currency", "FMTBcd",
// "Date", "String", "UnicodeString", "Bytes", "Array".
const char* VarTypeName(TVarType type) noexcept;

class Variant {
  public:
    // Empty.
    Variant() = default;
    static Variant Null() { return Variant(NullTag{}); }
    static Variant FromDateTime(TDateTime value) { return Variant(DateTag{value}); }

    Variant(bool value) : FValue(value) {}
    // Integers take the smallest of Smallint, Integer and Int64 that their type fits (an
    // unsigned 32-bit value becomes Int64); an unsigned 64-bit value above the Int64 range
    // raises ERangeError.
    template <std::integral Int>
    requires(!std::same_as<Int, bool> && !std::same_as<Int, char>) Variant(Int value) {
        if constexpr (sizeof(Int) < 4) {
            if (std::is_unsigned_v<Int> && value > 32767) {
                FValue = static_cast<std::int32_t>(value);
            } else {
                FValue = static_cast<std::int16_t>(value);
            }
        } else if constexpr (sizeof(Int) == 4 && std::is_signed_v<Int>) {
            FValue = static_cast<std::int32_t>(value);
        } else {
            if constexpr (sizeof(Int) == 8 && std::is_unsigned_v<Int>) {
                CheckInt64Range(static_cast<std::uint64_t>(value));
            }
            FValue = static_cast<std::int64_t>(value);
        }
    }
    Variant(double value) : FValue(value) {}
    Variant(Currency value) : FValue(value) {}
    Variant(const TBcd& value) : FValue(value) {}
    Variant(std::string value) : FValue(std::move(value)) {}
    Variant(std::string_view value) : FValue(std::string(value)) {}
    Variant(const char* value) : FValue(std::string(value != nullptr ? value : "")) {}
    Variant(std::u16string value) : FValue(std::move(value)) {}
    Variant(const char16_t* value) : FValue(std::u16string(value != nullptr ? value : u"")) {}
    // Any other pointer would silently become a Boolean.
    template <typename T>
    Variant(const T*) = delete;
    Variant(TBytes value) : FValue(std::move(value)) {}
    Variant(std::vector<Variant> elements) : FValue(std::move(elements)) {}

    TVarType VarType() const noexcept { return static_cast<TVarType>(FValue.index()); }
    bool IsNull() const noexcept { return VarType() == varNull; }
    bool IsEmpty() const noexcept { return VarType() == varEmpty; }

    bool AsBoolean() const;
    std::int16_t AsSmallint() const;
    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    TBcd AsBcd() const;
    TDateTime AsDateTime() const;
    // Booleans give "True" and "False"; numbers and dates their text by FormatSettings();
    // bytes are copied as they are.
    std::string AsString() const;
    std::u16string AsWideString() const;
    // Bytes, or the bytes of a text.
    TBytes AsBytes() const;
    // REQUIRES nothing; raises EVariantError unless the value is an array.
    const std::vector<Variant>& AsArray() const;

  private:
    struct NullTag {
        friend bool operator==(NullTag, NullTag) { return true; }
    };
    struct DateTag {
        TDateTime Value;
    };
    explicit Variant(NullTag tag) : FValue(tag) {}
    explicit Variant(DateTag tag) : FValue(tag) {}
    static void CheckInt64Range(std::uint64_t value);
    [[noreturn]] void CannotConvert(TVarType target) const;
    // The value as a 64-bit integer, for the integer conversions; target names the type
    // asked for in errors.
    std::int64_t IntegerValue(TVarType target) const;

    // The order matches TVarType.
    std::variant<std::monostate, NullTag, bool, std::int16_t, std::int32_t, std::int64_t, double,
                 Currency, TBcd, DateTag, std::string, std::u16string, TBytes, std::vector<Variant>>
        FValue;
};

// The text of the value, and an empty text for Null and Empty (where AsString raises).
std::string VarToStr(const Variant& value);

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Compares by value: numbers numerically across their types (1, 1.0 and a BCD 1.00 are
// equal), text by its code points, text against a number or date by converting the text,
// arrays element by element (equal or not equal only). Null equals Null and Empty equals
// Empty; either against anything else, and values that cannot be compared, are vrNotEqual.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);

inline bool operator==(const Variant& a, const Variant& b) {
    return VarCompareValue(a, b) == vrEqual;
}

}  // namespace varelum::rtl
