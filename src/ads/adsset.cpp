// TAdsSettings (see adsset.h for the contract).
//
// The instance counter is changed only under the module lock, so instances created on
// different threads are counted correctly; the settings themselves are process-wide in the
// engine and in rtl::FormatSettings(), and are not locked here.
#include "ads/adsset.h"

#include <cstring>
#include <limits>
#include <mutex>

#include "ads/ace.h"
#include "rtl/format_settings.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

std::mutex gInstanceLock;
int gInstanceCount = 0;

// The engine takes date formats of at most this many characters.
constexpr std::size_t kEngineDateFormatLength = 11;

constexpr const char* kOnlyOneInstance =
    "Only one AdsSettings component is allowed per application";
constexpr const char* kNoServerType = "At least one server type must be selected.";

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDateFormatLetter(char c) {
    const char upper = UpperAscii(c);
    return upper == 'C' || upper == 'Y' || upper == 'M' || upper == 'D';
}

void CheckSettingsResult(UNSIGNED32 result) {
    if (result != VE_SUCCESS) {
        throw adsset::AdsError(result);
    }
}

UNSIGNED32 SendDateFormat(const std::string& format) {
    const std::string text = rtl::Utf8ToAnsi(format);
    return ace::AdsSetDateFormat(reinterpret_cast<const UNSIGNED8*>(text.c_str()));
}

}  // namespace

UNSIGNED16 AdsServerTypeMask(TAdsServerTypes types) noexcept {
    UNSIGNED16 mask = 0;
    if (types.Contains(stADS_LOCAL)) {
        mask |= VE_SERVER_LOCAL;
    }
    if (types.Contains(stADS_REMOTE)) {
        mask |= VE_SERVER_REMOTE;
    }
    if (types.Contains(stADS_AIS)) {
        mask |= VE_SERVER_INTERNET;
    }
    return mask;
}

// --- Instance count ------------------------------------------------------------------------------

TAdsSettings::TInstanceCount::TInstanceCount(const rtl::TComponent& settings) {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    ++gInstanceCount;
    if (gInstanceCount > 1 && !settings.ComponentState().Contains(rtl::csDesigning)) {
        // This member is not constructed, so its destructor will not take the count back.
        --gInstanceCount;
        throw rtl::Exception(kOnlyOneInstance);
    }
}

TAdsSettings::TInstanceCount::~TInstanceCount() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    --gInstanceCount;
}

int TAdsSettings::InstanceCount() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    return gInstanceCount;
}

// --- Construction ------------------------------------------------------------------------------

TAdsSettings::TAdsSettings(rtl::TComponent* owner)
    : rtl::TComponent(owner), FInstanceCount(static_cast<const rtl::TComponent&>(*this)) {
    FSetNativeDate = true;
    SetNumCachedTables(kDefaultNumCachedTables);
    SetNumCachedCursors(kDefaultNumCachedCursors);

    // The engine starts with the program's own date format; the program's is left alone.
    const std::string native = rtl::FormatSettings().ShortDateFormat;
    if (SendDateFormat(native) == VE_SUCCESS) {
        FDateFormat = native;
    } else {
        CheckSettingsResult(SendDateFormat(kFallbackDateFormat));
        FDateFormat = kFallbackDateFormat;
    }

    UNSIGNED16 decimals = 0;
    CheckSettingsResult(ace::AdsGetDecimals(&decimals));
    FNumDecimals = static_cast<std::int8_t>(decimals);

    UNSIGNED16 showDeleted = 0;
    CheckSettingsResult(ace::AdsGetDeleted(&showDeleted));
    FShowDeleted = showDeleted != 0;

    SetAdsServerTypes(kDefaultAdsServerTypes);
}

TAdsSettings::~TAdsSettings() = default;

// --- Properties ------------------------------------------------------------------------------

std::string TAdsSettings::DateFormat() const {
    return FDateFormat;
}

void TAdsSettings::SetDateFormat(const std::string& Value) {
    const std::string format = Value.empty() ? std::string(kFallbackDateFormat) : Value;
    char buffer[kEngineDateFormatLength + 1] = {};
    const std::string text = rtl::Utf8ToAnsi(format);
    std::strncpy(buffer, text.c_str(), kEngineDateFormatLength);
    CheckSettingsResult(ace::AdsSetDateFormat(reinterpret_cast<const UNSIGNED8*>(buffer)));
    FDateFormat = format;
    if (!FSetNativeDate) {
        return;
    }
    std::string native = format;
    for (char& c : native) {
        const char upper = UpperAscii(c);
        if (upper == 'C' || upper == 'Y') {
            c = 'y';
        }
    }
    rtl::TFormatSettings& settings = rtl::FormatSettings();
    FSavedNativeDateFormat = settings.ShortDateFormat;
    FSavedNativeDateSeparator = settings.DateSeparator;
    settings.ShortDateFormat = native;
    for (const char c : native) {
        if (!IsDateFormatLetter(c)) {
            // The separator is one byte; a character outside ASCII cannot be one.
            if (static_cast<unsigned char>(c) < 0x80) {
                settings.DateSeparator = c;
            }
            break;
        }
    }
}

void TAdsSettings::SetNumDecimals(std::int8_t Value) {
    if (Value < 0) {
        throw rtl::ERangeError("Range check error: NumDecimals " + std::to_string(Value) +
                               " is negative");
    }
    CheckSettingsResult(ace::AdsSetDecimals(static_cast<UNSIGNED16>(Value)));
    FNumDecimals = Value;
}

void TAdsSettings::SetShowDeleted(bool Value) {
    CheckSettingsResult(ace::AdsShowDeleted(Value ? 1 : 0));
    FShowDeleted = Value;
}

std::int32_t TAdsSettings::LastError() const {
    UNSIGNED32 code = 0;
    UNSIGNED16 length = 0;
    // Asked for the code only; the call's own result says nothing about the code.
    (void)ace::AdsGetLastError(&code, nullptr, &length);
    if (code > static_cast<UNSIGNED32>(std::numeric_limits<std::int32_t>::max())) {
        throw rtl::ERangeError("Range check error: engine error code " + std::to_string(code));
    }
    return static_cast<std::int32_t>(code);
}

std::int16_t TAdsSettings::NumOpenTables() const {
    UNSIGNED16 count = 0;
    CheckSettingsResult(ace::AdsGetNumOpenTables(&count));
    if (count > static_cast<UNSIGNED16>(std::numeric_limits<std::int16_t>::max())) {
        throw rtl::ERangeError("Range check error: " + std::to_string(count) + " open tables");
    }
    return static_cast<std::int16_t>(count);
}

void TAdsSettings::SetAdsServerTypes(TAdsServerTypes Value) {
    if (Value == FAdsServerTypes) {
        return;
    }
    const TAdsServerTypes old = FAdsServerTypes;
    FAdsServerTypes = Value;
    const auto restoreOld = [this, old] {
        FAdsServerTypes = old.Empty() ? TAdsServerTypes{stADS_REMOTE} : old;
    };
    const UNSIGNED16 mask = AdsServerTypeMask(Value);
    if (mask == 0) {
        restoreOld();
        throw adsset::AdsSettingsError(kNoServerType);
    }
    const UNSIGNED32 result = ace::AdsSetServerType(mask);
    if (result != VE_SUCCESS) {
        restoreOld();
        throw adsset::AdsError(result);
    }
}

void TAdsSettings::SetNumCachedTables(std::uint16_t Value) {
    if (Value == FNumCachedTables) {
        return;
    }
    FNumCachedTables = Value;
    CheckSettingsResult(ace::AdsCacheOpenTables(Value));
}

void TAdsSettings::SetNumCachedCursors(std::uint16_t Value) {
    if (Value == FNumCachedCursors) {
        return;
    }
    FNumCachedCursors = Value;
    CheckSettingsResult(ace::AdsCacheOpenCursors(Value));
}

void TAdsSettings::SetSetNativeDate(bool Value) {
    // Only a non-empty saved format is restored: without a DateFormat applied first there is
    // nothing to undo, and an empty short date format would break every date the program shows.
    if (!Value && ComponentState().Contains(rtl::csReading) && !FSavedNativeDateFormat.empty()) {
        rtl::TFormatSettings& settings = rtl::FormatSettings();
        settings.ShortDateFormat = FSavedNativeDateFormat;
        settings.DateSeparator = FSavedNativeDateSeparator;
    }
    FSetNativeDate = Value;
}

}  // namespace varelum::ads
