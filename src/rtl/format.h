// Format: the framework's printf-like formatting, type-checked at run time.
//
// A specifier is "%" [index ":"] ["-"] [width] ["." precision] type, where width and
// precision may be "*" (taken from the next argument) and index picks an argument by its
// 0-based position (later specifiers continue after it). Types:
//   d  decimal integer (precision: minimum digits)      u  unsigned decimal
//   x  upper-case hexadecimal (precision: min digits)    p  pointer, 16 hex digits
//   e  scientific, precision significant digits (15)     f  fixed, precision decimals (2)
//   g  general, precision significant digits (15)        n  as f with thousand separators
//   s  text (precision: at most that many characters)    %% a literal "%"
// "-" left-aligns within the width; width and precision count characters, not bytes.
// Floating-point types use the decimal and thousand separators of FormatSettings().
// A specifier whose type does not suit its argument, or an unknown type, raises
// EConvertError "Format '<format>' invalid or incompatible with argument"; a missing
// argument raises EConvertError "No argument for format '<format>'".
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace varelum::rtl {

struct TFormatSettings;

// One argument of Format. Text arguments are viewed, not copied: a TFormatArg lives only
// for the duration of the Format call.
class TFormatArg {
  public:
    enum class Kind { Signed, Unsigned, Float, Text, Pointer };

    template <std::signed_integral Int>
    requires(!std::same_as<Int, char> && !std::same_as<Int, bool>) TFormatArg(Int value)
        : FKind(Kind::Signed), FSigned(value), FBits(sizeof(Int) * 8) {}
    template <std::unsigned_integral Int>
    requires(!std::same_as<Int, bool>) TFormatArg(Int value)
        : FKind(Kind::Unsigned), FUnsigned(value), FBits(sizeof(Int) * 8) {}
    TFormatArg(bool) = delete;  // ambiguous: say IntToStr(b) or b ? "True" : "False"
    TFormatArg(double value) : FKind(Kind::Float), FFloat(value) {}
    TFormatArg(float value) : FKind(Kind::Float), FFloat(value) {}
    TFormatArg(char value) : FKind(Kind::Text), FText(&FChar, 1), FChar(value) {}
    TFormatArg(std::string_view value) : FKind(Kind::Text), FText(value) {}
    TFormatArg(const std::string& value) : FKind(Kind::Text), FText(value) {}
    TFormatArg(const char* value) : FKind(Kind::Text), FText(value != nullptr ? value : "") {}
    TFormatArg(const void* value) : FKind(Kind::Pointer), FPointer(value) {}

    TFormatArg(const TFormatArg& other) { *this = other; }
    TFormatArg& operator=(const TFormatArg& other);

    Kind GetKind() const noexcept { return FKind; }
    std::int64_t Signed() const noexcept { return FSigned; }
    std::uint64_t Unsigned() const noexcept { return FUnsigned; }
    int Bits() const noexcept { return FBits; }
    double Float() const noexcept { return FFloat; }
    std::string_view Text() const noexcept { return FText; }
    const void* Pointer() const noexcept { return FPointer; }

  private:
    Kind FKind = Kind::Signed;
    std::int64_t FSigned = 0;
    std::uint64_t FUnsigned = 0;
    int FBits = 64;
    double FFloat = 0;
    std::string_view FText;
    const void* FPointer = nullptr;
    char FChar = '\0';
};

// Formats with the arguments given as a list (for callers that build the list themselves).
std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args);
std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args,
                       const TFormatSettings& settings);

template <typename... Args>
std::string Format(std::string_view format, const Args&... args) {
    const std::array<TFormatArg, sizeof...(Args)> list{TFormatArg(args)...};
    return FormatArgs(format, std::span<const TFormatArg>(list.data(), list.size()));
}

}  // namespace varelum::rtl
