// The process-wide format settings object, created on first use so that static
// initialisers elsewhere may already read it.
#include "rtl/format_settings.h"

namespace varelum::rtl {

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

}  // namespace varelum::rtl
