// The validated date format (see dates.h).
#include "engine/core/dates.h"

#include "engine/core/error.h"
#include "varelum_engine.h"

namespace varelum::engine {

DateFormat::DateFormat() : pattern_(format::kDefaultDateFormat) {}

DateFormat::DateFormat(std::string_view pattern) {
    std::optional<std::string> normalized = format::normalized_date_format(pattern);
    if (!normalized) {
        fail(VE_INVALID_DATE_FORMAT, std::string(pattern));
    }
    pattern_ = std::move(*normalized);
}

std::optional<std::int32_t> DateFormat::parse(std::string_view text) const {
    std::optional<std::int32_t> julian = format::parse_date(text, pattern_);
    if (julian == 0) {
        return std::nullopt;
    }
    return julian;
}

}  // namespace varelum::engine
