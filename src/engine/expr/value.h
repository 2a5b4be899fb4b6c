// The typed values the expression language computes with.
//
// Five types: character (Windows-1252 bytes, as in the record image), numeric (double),
// date (Julian day number), logical and timestamp (Julian day and milliseconds of the day;
// a time of day alone, from a Time field or CTOT, has day 0). A value read from a null field
// keeps `is_null` and holds the empty value of its type, so that every operator can treat a
// null as empty while ISNULL and the key encoder still see the null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varelum::engine::expr {

enum class ValueType : std::uint8_t { Character, Numeric, Date, Logical, Timestamp };

// "Character", "Numeric", … for messages.
std::string_view value_type_name(ValueType type);

inline constexpr std::int32_t kMillisecondsPerDay = 86'400'000;

struct Value {
    ValueType type = ValueType::Logical;
    bool is_null = false;
    // Character values from CIChar fields (and texts derived from them) compare without
    // regard to case.
    bool case_insensitive = false;
    std::string text;               // Character
    double number = 0.0;            // Numeric
    std::int32_t julian_day = 0;    // Date, Timestamp; 0 is the empty date
    std::int32_t milliseconds = 0;  // Timestamp: time of day
    bool logical = false;           // Logical

    static Value character(std::string text, bool case_insensitive = false);
    static Value numeric(double number);
    static Value date(std::int32_t julian_day);
    static Value timestamp(std::int32_t julian_day, std::int32_t milliseconds);
    static Value boolean(bool logical);
    // The empty value of `type` marked null.
    static Value null_of(ValueType type);

    // EMPTY(): null, blanks only, 0, the empty date, .F., the empty timestamp.
    bool is_empty() const;
};

}  // namespace varelum::engine::expr
