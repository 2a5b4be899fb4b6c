// Format: parses the specifiers one at a time and renders each argument by its type letter.
// Floating-point output is FloatToStrF's, so that Format and the number conversions agree.
#include "rtl/format.h"

#include "rtl/exception.h"
#include "rtl/format_settings.h"
#include "rtl/number_text.h"

namespace varelum::rtl {

TFormatArg& TFormatArg::operator=(const TFormatArg& other) {
    FKind = other.FKind;
    FSigned = other.FSigned;
    FUnsigned = other.FUnsigned;
    FBits = other.FBits;
    FFloat = other.FFloat;
    FPointer = other.FPointer;
    FChar = other.FChar;
    // A single character is viewed in place, so the view must follow the copy.
    FText = other.FText.data() == &other.FChar ? std::string_view(&FChar, 1) : other.FText;
    return *this;
}

namespace {

// Characters, not bytes: UTF-8 continuation bytes do not count.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}

class Formatter {
  public:
    Formatter(std::string_view format, std::span<const TFormatArg> args,
              const TFormatSettings& settings)
        : FFormat(format), FArgs(args), FSettings(settings) {}

    std::string Run() {
        std::string out;
        std::size_t i = 0;
        while (i < FFormat.size()) {
            char c = FFormat[i++];
            if (c != '%') {
                out += c;
                continue;
            }
            if (i < FFormat.size() && FFormat[i] == '%') {
                out += '%';
                ++i;
                continue;
            }
            i = Specifier(i, out);
        }
        return out;
    }

  private:
    [[noreturn]] void Invalid() const {
        throw EConvertError("Format '" + std::string(FFormat) +
                            "' invalid or incompatible with argument");
    }

    const TFormatArg& NextArg() {
        if (FNext >= FArgs.size()) {
            throw EConvertError("No argument for format '" + std::string(FFormat) + "'");
        }
        return FArgs[FNext++];
    }

    // A run of digits or "*"; -1 when absent.
    int Number(std::size_t& i) {
        if (i < FFormat.size() && FFormat[i] == '*') {
            ++i;
            const TFormatArg& arg = NextArg();
            if (arg.GetKind() != TFormatArg::Kind::Signed &&
                arg.GetKind() != TFormatArg::Kind::Unsigned) {
                Invalid();
            }
            return static_cast<int>(arg.Signed() + static_cast<std::int64_t>(arg.Unsigned()));
        }
        int value = -1;
        while (i < FFormat.size() && FFormat[i] >= '0' && FFormat[i] <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (FFormat[i] - '0');
            if (value > 100000) {
                Invalid();
            }
            ++i;
        }
        return value;
    }

    std::size_t Specifier(std::size_t i, std::string& out) {
        // "%1:s": an argument index; otherwise the digits are a width.
        std::size_t end = i;
        while (end < FFormat.size() && FFormat[end] >= '0' && FFormat[end] <= '9') {
            ++end;
        }
        if (end > i && end < FFormat.size() && FFormat[end] == ':') {
            FNext = static_cast<std::size_t>(Number(i));
            ++i;
        }
        bool left = false;
        if (i < FFormat.size() && FFormat[i] == '-') {
            left = true;
            ++i;
        }
        int width = Number(i);
        if (width < 0) {
            // "*" gave a negative width: left-align, as printf does.
            left = left || width < -1;
            width = width < -1 ? -width : 0;
        }
        int precision = -1;
        if (i < FFormat.size() && FFormat[i] == '.') {
            ++i;
            precision = Number(i);
            if (precision < 0) {
                precision = 0;
            }
        }
        if (i >= FFormat.size()) {
            Invalid();
        }
        char type = FFormat[i++];
        std::string text = Render(type, precision);
        std::size_t length = CharacterCount(text);
        if (static_cast<std::size_t>(width) > length) {
            std::string padding(static_cast<std::size_t>(width) - length, ' ');
            text = left ? text + padding : padding + text;
        }
        out += text;
        return i;
    }

    std::string Render(char type, int precision) {
        const TFormatArg& arg = NextArg();
        using Kind = TFormatArg::Kind;
        bool integral = arg.GetKind() == Kind::Signed || arg.GetKind() == Kind::Unsigned;
        switch (type | 0x20) {  // type letters are case-insensitive
            case 'd':
            case 'u': {
                if (!integral) {
                    Invalid();
                }
                bool negative = false;
                std::uint64_t magnitude = arg.Unsigned();
                if (arg.GetKind() == Kind::Signed) {
                    if ((type | 0x20) == 'u') {
                        magnitude = Truncated(static_cast<std::uint64_t>(arg.Signed()), arg.Bits());
                    } else {
                        negative = arg.Signed() < 0;
                        magnitude = negative ? 0 - static_cast<std::uint64_t>(arg.Signed())
                                             : static_cast<std::uint64_t>(arg.Signed());
                    }
                }
                std::string digits = std::to_string(magnitude);
                return (negative ? "-" : "") + Padded(digits, precision);
            }
            case 'x': {
                if (!integral) {
                    Invalid();
                }
                std::uint64_t bits =
                    arg.GetKind() == Kind::Signed
                        ? Truncated(static_cast<std::uint64_t>(arg.Signed()), arg.Bits())
                        : arg.Unsigned();
                return Padded(IntToHex(static_cast<std::int64_t>(bits), 0), precision);
            }
            case 'p':
                if (arg.GetKind() != Kind::Pointer) {
                    Invalid();
                }
                return IntToHex(
                    static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(arg.Pointer())), 16);
            case 's':
                if (arg.GetKind() != Kind::Text) {
                    Invalid();
                }
                return std::string(
                    precision >= 0
                        ? FirstCharacters(arg.Text(), static_cast<std::size_t>(precision))
                        : arg.Text());
            case 'e':
            case 'f':
            case 'g':
            case 'n': {
                double value = 0;
                if (arg.GetKind() == Kind::Float) {
                    value = arg.Float();
                } else if (arg.GetKind() == Kind::Signed) {
                    value = static_cast<double>(arg.Signed());
                } else if (arg.GetKind() == Kind::Unsigned) {
                    value = static_cast<double>(arg.Unsigned());
                } else {
                    Invalid();
                }
                switch (type | 0x20) {
                    case 'e':
                        return FloatToStrF(value, ffExponent, precision < 0 ? 15 : precision, 3,
                                           FSettings);
                    case 'f':
                        return FloatToStrF(value, ffFixed, 17, precision < 0 ? 2 : precision,
                                           FSettings);
                    case 'g':
                        return FloatToStrF(value, ffGeneral, precision < 0 ? 15 : precision, 3,
                                           FSettings);
                    default:
                        return FloatToStrF(value, ffNumber, 17, precision < 0 ? 2 : precision,
                                           FSettings);
                }
            }
            default:
                Invalid();
        }
    }

    static std::uint64_t Truncated(std::uint64_t bits, int width) {
        return width >= 64 ? bits : bits & ((std::uint64_t{1} << width) - 1);
    }

    static std::string Padded(std::string digits, int precision) {
        if (precision > 0 && digits.size() < static_cast<std::size_t>(precision)) {
            digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
        }
        return digits;
    }

    std::string_view FFormat;
    std::span<const TFormatArg> FArgs;
    const TFormatSettings& FSettings;
    std::size_t FNext = 0;
};

}  // namespace

std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args) {
    return FormatArgs(format, args, FormatSettings());
}

std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args,
                       const TFormatSettings& settings) {
    return Formatter(format, args, settings).Run();
}

}  // namespace varelum::rtl
