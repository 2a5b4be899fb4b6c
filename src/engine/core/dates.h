// The engine's date format as the process settings and each connection hold it: a pattern the
// calendar (engine/format/calendar.h) accepts, refused with VE_INVALID_DATE_FORMAT otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/calendar.h"

namespace varelum::engine {

class DateFormat {
  public:
    DateFormat();  // "MM/DD/CCYY"
    // Throws VE_INVALID_DATE_FORMAT for a pattern that is no date format.
    explicit DateFormat(std::string_view pattern);
    // In upper case, as AdsGetDateFormat gives it.
    const std::string& pattern() const { return pattern_; }
    std::string format(std::int32_t julian) const { return format::format_date(julian, pattern_); }
    // The Julian day of a text in this format; nothing when it is no date. Blank text is no
    // date here: the callers make it a null.
    std::optional<std::int32_t> parse(std::string_view text) const;

  private:
    std::string pattern_;
};

}  // namespace varelum::engine
