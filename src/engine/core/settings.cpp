// Process-wide engine settings (see settings.h).
#include "engine/core/settings.h"

namespace varelum::engine {

EngineSettings& EngineSettings::instance() {
    static EngineSettings* settings = new EngineSettings;
    return *settings;
}

DateFormat EngineSettings::date_format() const {
    std::lock_guard guard(mutex_);
    return date_format_;
}

void EngineSettings::set_date_format(const DateFormat& format) {
    std::lock_guard guard(mutex_);
    date_format_ = format;
}

}  // namespace varelum::engine
