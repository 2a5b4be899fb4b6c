// The access-password dialog's logic: blank on every showing, closed only by its button, and the
// upper-case entry that both the password field and the main window's code field apply.
#include "count/senha_acesso.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace varelum::count {

void TSenhaAcessoForm1::FormShow() {
    FView.SetEdit1Text("");
    FView.FocusEdit1();
}

void TSenhaAcessoForm1::BitBtn1Click() {
    FView.CloseModal();
}

std::string UpperCaseAsTyped(std::string_view typed) {
    std::string upper;
    upper.reserve(typed.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(typed.data());
    const auto length = static_cast<std::int32_t>(typed.size());
    std::int32_t offset = 0;
    while (offset < length) {
        const std::int32_t start = offset;
        UChar32 character = 0;
        U8_NEXT(bytes, offset, length, character);
        if (character < 0) {
            upper.append(typed.substr(start, offset - start));
            continue;
        }
        // Simple (one-to-one) case mapping: what a field does key by key.
        const UChar32 mapped = u_toupper(character);
        std::uint8_t encoded[U8_MAX_LENGTH];
        std::int32_t encodedLength = 0;
        // A valid code point always fits the U8_MAX_LENGTH buffer.
        U8_APPEND_UNSAFE(encoded, encodedLength, mapped);
        upper.append(reinterpret_cast<const char*>(encoded), encodedLength);
    }
    return upper;
}

}  // namespace varelum::count
