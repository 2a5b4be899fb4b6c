// Binding a statement's parameters by their data types (see adsdata_params.h).
#include "ads/adsdata_params.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_errors.h"
#include "rtl/code_page.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr std::int32_t kJulianOfDateZero = 2415019;
constexpr double kMillisecondsPerDay = 86400000.0;

std::int32_t CheckedInt32(double value) {
    if (!(value >= double(INT32_MIN) && value <= double(INT32_MAX))) {
        throw rtl::ERangeError("Range check error");
    }
    return static_cast<std::int32_t>(value);
}

// A date-time as the engine takes it: the Julian day of its whole days (cut toward zero) and
// the milliseconds of its time of day, rounded half to even. The time is the fraction's size
// whatever the sign, since a date-time before 1899-12-30 counts its time forward from
// midnight too; a time that rounds to 24:00 is midnight of the next day, because the engine
// takes 0 to 86399999 only.
struct TJulianTime {
    std::int32_t Julian;
    std::int32_t Milliseconds;
};

TJulianTime JulianAndMilliseconds(double value) {
    const double whole = std::trunc(value);
    double milliseconds = std::nearbyint(std::fabs(value - whole) * kMillisecondsPerDay);
    double julian = whole + kJulianOfDateZero;
    if (milliseconds >= kMillisecondsPerDay) {
        milliseconds -= kMillisecondsPerDay;
        julian += 1;
    }
    return {CheckedInt32(julian), CheckedInt32(milliseconds)};
}

}  // namespace

void BindStatementParameter(TAdsDatabaseLink* oDataSet, ADSHANDLE statement,
                            const db::TParam& param, UNSIGNED16 number) {
    const auto Check = [oDataSet](UNSIGNED32 result) { CheckAceResult(oDataSet, result); };
    const UNSIGNED8* field = ADSFIELD(number);
    if (param.IsNull()) {
        Check(ace::AdsSetEmpty(statement, field));
        return;
    }
    const rtl::Variant& value = param.Value();
    switch (param.DataType()) {
        case db::ftUnknown:
            RaiseAdsComponentError(oDataSet, "The field named: '" + param.Name() +
                                                 "' has the DataType of ftUnknown, which is "
                                                 "invalid.");
        case db::ftString:
        case db::ftSmallint:
        case db::ftInteger:
        case db::ftBCD:
        case db::ftAutoInc:
        case db::ftMemo: {
            const std::string text = value.AsString();
            const std::string ansi = rtl::Utf8ToAnsi(text);
            const auto length = static_cast<UNSIGNED32>(rtl::Utf8ToUtf16(text).size());
            Check(ace::AdsSetString(statement, field, Text8(ansi), length));
            break;
        }
        case db::ftWideString:
        case db::ftWideMemo: {
            const std::u16string text = value.AsWideString();
            Check(ace::AdsSetStringW(statement, field, reinterpret_cast<const WCHAR*>(text.c_str()),
                                     static_cast<UNSIGNED32>(text.size())));
            break;
        }
        case db::ftBoolean:
            Check(ace::AdsSetLogical(statement, field, value.AsBoolean() ? 1 : 0));
            break;
        case db::ftFloat:
        case db::ftCurrency:
            Check(ace::AdsSetDouble(statement, field, value.AsDouble()));
            break;
        case db::ftDate: {
            const double date = value.AsDateTime();
            Check(ace::AdsSetJulian(statement, field,
                                    CheckedInt32(std::trunc(date) + kJulianOfDateZero)));
            break;
        }
        case db::ftTime:
            Check(ace::AdsSetMilliseconds(statement, field,
                                          JulianAndMilliseconds(value.AsDateTime()).Milliseconds));
            break;
        case db::ftDateTime: {
            const TJulianTime stamp = JulianAndMilliseconds(value.AsDateTime());
            // Day, then milliseconds, in the host's (little-endian) order, as record images.
            const std::int32_t parts[2] = {stamp.Julian, stamp.Milliseconds};
            UNSIGNED8 raw[8];
            std::memcpy(raw, parts, sizeof raw);
            Check(ace::AdsSetTimeStampRaw(statement, field, raw, sizeof raw));
            break;
        }
        case db::ftBytes:
        case db::ftVarBytes:
        case db::ftBlob: {
            const rtl::TBytes bytes = value.AsBytes();
            const auto size = static_cast<UNSIGNED32>(bytes.size());
            Check(
                ace::AdsSetBinary(statement, field, VE_BINARY_BINARY, size, 0, bytes.data(), size));
            break;
        }
        default:
            // The types the engine has no parameter form for are left unbound (null).
            break;
    }
}

void BindStatementParameters(TAdsDatabaseLink* oDataSet, ADSHANDLE statement,
                             const db::TParams& params) {
    for (int i = 0; i < params.Count(); ++i) {
        BindStatementParameter(oDataSet, statement, params[i], static_cast<UNSIGNED16>(i + 1));
    }
}

}  // namespace varelum::ads
