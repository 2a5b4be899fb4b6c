// Code-page conversions through ICU. A UConverter holds conversion state and must not be
// shared between threads, so each thread opens its own on first use and keeps it until the
// thread ends; the single-byte conversions then cost one ICU call each way.
#include "rtl/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <climits>
#include <memory>

#include "rtl/exception.h"

namespace varelum::rtl {

namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) {
        throw Exception(std::string("Cannot open the text converter ") + name + ": " +
                        u_errorName(status));
    }
    // "?" as Windows' own conversions write for a character the code page lacks; ICU's
    // default would be the control character SUB.
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(converter.get(), "?", 1, &status);
    return converter;
}

UConverter* Converter(TCodePage codePage) {
    thread_local ConverterPtr ansi;
    thread_local ConverterPtr oem;
    ConverterPtr& slot = codePage == TCodePage::Ansi ? ansi : oem;
    if (!slot) {
        slot = OpenConverter(codePage == TCodePage::Ansi ? "windows-1252" : "ibm-850");
    }
    return slot.get();
}

int32_t CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT32_MAX) / 2) {
        throw ERangeError("Text too long to convert");
    }
    return static_cast<int32_t>(size);
}

void CheckIcu(UErrorCode status, const char* what) {
    if (U_FAILURE(status)) {
        throw EConvertError(std::string(what) + ": " + u_errorName(status));
    }
}

// ICU's table for code page 850 follows the IBM PC convention of swapping some control
// characters (0x1A, 0x1C, 0x7F); the store's OEM text keeps ASCII as ASCII, as Windows does,
// so the ASCII half is mapped directly and only the upper half goes through ICU.
std::u16string SingleByteToUtf16(std::string_view bytes, TCodePage codePage) {
    std::u16string units(bytes.size(), u'\0');
    if (bytes.empty()) {
        return units;
    }
    UConverter* converter = Converter(codePage);
    ucnv_resetToUnicode(converter);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter, units.data(), CheckedLength(units.size()),
                                   bytes.data(), CheckedLength(bytes.size()), &status);
    CheckIcu(status, "Cannot convert 8-bit text");
    units.resize(static_cast<std::size_t>(length));
    if (codePage == TCodePage::Oem && units.size() == bytes.size()) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            auto byte = static_cast<unsigned char>(bytes[i]);
            if (byte < 0x80) {
                units[i] = byte;
            }
        }
    }
    return units;
}

std::string Utf16ToSingleByte(std::u16string_view units, TCodePage codePage) {
    std::string bytes(units.size(), '\0');
    if (units.empty()) {
        return bytes;
    }
    UConverter* converter = Converter(codePage);
    ucnv_resetFromUnicode(converter);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_fromUChars(converter, bytes.data(), CheckedLength(bytes.size()),
                                     units.data(), CheckedLength(units.size()), &status);
    CheckIcu(status, "Cannot convert text to 8-bit text");
    bytes.resize(static_cast<std::size_t>(length));
    if (codePage == TCodePage::Oem) {
        // Same ASCII rule as above; a non-ASCII character that ICU maps into the ASCII half
        // would not come back as itself, so it counts as missing from the code page.
        std::size_t out = 0;
        for (std::size_t i = 0; i < units.size() && out < bytes.size(); ++i) {
            char16_t unit = units[i];
            if (U16_IS_LEAD(unit) && i + 1 < units.size() && U16_IS_TRAIL(units[i + 1])) {
                ++i;  // one byte for the whole pair
            }
            if (unit < 0x80) {
                bytes[out] = static_cast<char>(unit);
            } else if (static_cast<unsigned char>(bytes[out]) < 0x80) {
                bytes[out] = '?';
            }
            ++out;
        }
    }
    return bytes;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), CheckedLength(utf8.size()), 0xFFFD,
                         nullptr, &status);
    std::u16string units(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units.data(), length, &length, utf8.data(), CheckedLength(utf8.size()),
                         0xFFFD, nullptr, &status);
    if (status == U_STRING_NOT_TERMINATED_WARNING) {
        status = U_ZERO_ERROR;
    }
    CheckIcu(status, "Cannot convert UTF-8 text");
    return units;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    if (utf16.empty()) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(nullptr, 0, &length, utf16.data(), CheckedLength(utf16.size()), 0xFFFD,
                       nullptr, &status);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(bytes.data(), length, &length, utf16.data(), CheckedLength(utf16.size()),
                       0xFFFD, nullptr, &status);
    if (status == U_STRING_NOT_TERMINATED_WARNING) {
        status = U_ZERO_ERROR;
    }
    CheckIcu(status, "Cannot convert UTF-16 text");
    return bytes;
}

std::string Utf8ToCodePage(std::string_view utf8, TCodePage codePage) {
    return Utf16ToSingleByte(Utf8ToUtf16(utf8), codePage);
}

std::string CodePageToUtf8(std::string_view bytes, TCodePage codePage) {
    return Utf16ToUtf8(SingleByteToUtf16(bytes, codePage));
}

bool IsValidUtf8(std::string_view text) {
    int32_t length = CheckedLength(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace varelum::rtl
