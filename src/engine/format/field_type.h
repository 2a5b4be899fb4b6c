// Engine field types and the description of one field of a table.
//
// The type codes are part of the engine's C ABI (AdsGetFieldType answers them) and of the
// table file format: never renumber them.
#pragma once

#include <cstdint>
#include <string>

namespace varelum::engine {

enum class FieldType : std::uint16_t {
    Logical = 1,
    Numeric = 2,
    Date = 3,
    String = 4,  // "Char"
    Memo = 5,
    Binary = 6,
    Image = 7,
    VarChar = 8,  // a memo-like variable text
    CompactDate = 9,
    Double = 10,
    Integer = 11,
    ShortInt = 12,
    Time = 13,
    TimeStamp = 14,
    AutoInc = 15,
    Raw = 16,
    CurDouble = 17,
    Money = 18,
    Reserved1 = 19,
    CIString = 20,  // "CIChar": compared without regard to case
    RowVersion = 21,
    ModTime = 22,
    VarCharFox = 23,
    VarBinaryFox = 24,
    System = 25,
    NChar = 26,
    NVarChar = 27,
    NMemo = 28,
};

// One field of a table as the engine stores and describes it. `offset` and `length` locate
// the field in the record image; for NChar and NVarChar `length` is in characters and the
// field takes twice as many bytes. Variable-length fields (VarCharFox, VarBinaryFox,
// NVarChar) are followed in the image by a 16-bit used length (0xFFFF: null).
struct FieldDescriptor {
    std::string name;          // as created; compared without regard to ASCII case
    std::uint16_t number = 0;  // 1-based position in the table
    FieldType type = FieldType::String;
    std::uint32_t offset = 0;    // byte offset in the record image
    std::uint32_t length = 0;    // declared length (characters for NChar/NVarChar)
    std::uint16_t decimals = 0;  // Numeric only
    bool nullable = true;
};

}  // namespace varelum::engine
