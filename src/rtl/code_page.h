// Text encodings at the program's edges. Inside Varelum text is UTF-8 in std::string; the
// engine's 8-bit text is Windows-1252 (ANSI tables) or code page 850 (OEM tables), and its
// wide entry points take UTF-16. Every conversion between these goes through this header,
// backed by ICU converters that are opened once per thread and kept.
#pragma once

#include <string>
#include <string_view>

namespace varelum::rtl {

// The two 8-bit code pages the store's tables use.
enum class TCodePage {
    Ansi,  // Windows-1252
    Oem,   // code page 850
};

// UTF-8 → 8-bit text in the code page. A character the code page cannot represent becomes
// "?"; malformed UTF-8 is treated the same way. The result has at most as many bytes as the
// input.
std::string Utf8ToCodePage(std::string_view utf8, TCodePage codePage);

// 8-bit text in the code page → UTF-8. Every byte maps to a character, so this never fails
// and a conversion back with Utf8ToCodePage gives the original bytes. (The five bytes that
// Windows-1252 leaves undefined map to the C1 control characters of the same value.)
std::string CodePageToUtf8(std::string_view bytes, TCodePage codePage);

inline std::string Utf8ToAnsi(std::string_view utf8) {
    return Utf8ToCodePage(utf8, TCodePage::Ansi);
}
inline std::string AnsiToUtf8(std::string_view ansi) {
    return CodePageToUtf8(ansi, TCodePage::Ansi);
}
inline std::string Utf8ToOem(std::string_view utf8) {
    return Utf8ToCodePage(utf8, TCodePage::Oem);
}
inline std::string OemToUtf8(std::string_view oem) {
    return CodePageToUtf8(oem, TCodePage::Oem);
}

// UTF-8 ↔ UTF-16. Malformed UTF-8 and unpaired surrogates become U+FFFD; characters outside
// the Basic Multilingual Plane become (or come from) surrogate pairs.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace varelum::rtl
