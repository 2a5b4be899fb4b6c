// Field values between record images and native values (see adsdata_field_conversion.h).
//
// The record image is little-endian, as the engine writes it; COMPACTDATE alone is packed
// big-endian. Each function handles one field: `image` points at the start of the record and
// the field's offset is applied here.
#include "ads/adsdata_field_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ads/ace.h"
#include "ads/adsdata_errors.h"
#include "rtl/bcd.h"
#include "rtl/exception.h"
#include "rtl/number_text.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

constexpr std::int32_t kJulianOffset = 1721425;
constexpr double kMillisecondsPerDay = 86400000.0;
constexpr std::uint32_t kNullInteger = 0x80000000u;
constexpr std::uint16_t kNullShort = 0x8000u;
constexpr std::uint32_t kNullUnsigned = 0xFFFFFFFFu;
constexpr std::uint32_t kNullDoubleLow = 0x00000020u;
constexpr std::uint16_t kNullVarLength = 0xFFFFu;
constexpr char16_t kWideBlank = u' ';

constexpr const char* kNumericOutOfRange = "Numeric out of range.";
constexpr const char* kDateFunctionsWrong = "Something's wrong with ADS date functions";

template <typename T>
T Load(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <typename T>
void Store(std::uint8_t* bytes, T value) {
    std::memcpy(bytes, &value, sizeof value);
}

bool AllBytesAre(const std::uint8_t* bytes, std::size_t count, std::uint8_t value) {
    return std::all_of(bytes, bytes + count, [value](std::uint8_t b) { return b == value; });
}

bool AllZeroOrBlank(const std::uint8_t* bytes, std::size_t count) {
    return std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0 || b == ' '; });
}

void FillWideBlanks(std::uint8_t* bytes, std::size_t characters) {
    for (std::size_t i = 0; i < characters; ++i) {
        Store<char16_t>(bytes + i * 2, kWideBlank);
    }
}

// Text bytes up to the first zero, without trailing blanks.
std::size_t TrimmedTextLength(const std::uint8_t* bytes, std::size_t count) {
    std::size_t length = 0;
    while (length < count && bytes[length] != 0) {
        ++length;
    }
    while (length > 0 && bytes[length - 1] == ' ') {
        --length;
    }
    return length;
}

// `characters` UTF-16 characters as native text: zero-terminated, trailing U+0020 removed.
void WideToNative(const std::uint8_t* bytes, std::size_t characters, void* out) {
    std::vector<char16_t> text(characters);
    std::memcpy(text.data(), bytes, characters * 2);
    std::size_t length = 0;
    while (length < characters && text[length] != 0) {
        ++length;
    }
    while (length > 0 && text[length - 1] == kWideBlank) {
        --length;
    }
    auto* target = static_cast<std::uint8_t*>(out);
    std::memcpy(target, text.data(), length * 2);
    Store<char16_t>(target + length * 2, 0);
}

std::size_t NativeWideLength(const void* value) {
    const auto* bytes = static_cast<const std::uint8_t*>(value);
    std::size_t length = 0;
    while (Load<char16_t>(bytes + length * 2) != 0) {
        ++length;
    }
    return length;
}

// The empty-text rule of text fields: an empty text becomes null (zero bytes) in an ADT
// dataset that does not preserve spaces.
bool EmptyTextIsNull(const TFieldConversionContext& context) {
    return !context.PreserveSpaces && context.DataSetIsAdt;
}

TRecordImageEngine& EngineOf(const TFieldConversionContext& context) {
    if (context.Engine == nullptr) {
        throw rtl::EInvalidOperation("record image conversion needs the engine");
    }
    return *context.Engine;
}

void ReplaceFirst(std::string& text, char from, char to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) {
        text[at] = to;
    }
}

// The used length of a VARCHAR_FOX or VARBINARY_FOX value.
std::size_t FoxUsedLength(const TACEFieldDef& field, const std::uint8_t* image,
                          const TFieldConversionContext& context) {
    const std::uint8_t* bytes = image + field.Offset();
    const std::size_t length = field.Length();
    std::size_t used = length;
    if (context.AceTableType == kAceTableADT) {
        used = Load<std::uint16_t>(bytes + length);
    } else if (context.AceTableType == kAceTableVFP) {
        const std::uint32_t full =
            EngineOf(context).VfpSystemField(field, const_cast<std::uint8_t*>(image), 4, 0);
        used = full != 0 ? length : (length > 0 ? bytes[length - 1] : 0);
    }
    return std::min(used, length);
}

// Records the used length of a Fox variable-length value.
void StoreFoxUsedLength(const TACEFieldDef& field, std::uint8_t* image, std::size_t count,
                        const TFieldConversionContext& context) {
    std::uint8_t* bytes = image + field.Offset();
    const std::size_t length = field.Length();
    if (context.AceTableType == kAceTableADT) {
        Store<std::uint16_t>(bytes + length, static_cast<std::uint16_t>(count));
    } else if (context.AceTableType == kAceTableVFP) {
        if (count < length) {
            bytes[length - 1] = static_cast<std::uint8_t>(count);
            EngineOf(context).VfpSystemField(field, image, 3, 0);
        } else {
            EngineOf(context).VfpSystemField(field, image, 3, kNullUnsigned);
        }
    }
}

bool IsAdtNull(const TACEFieldDef& field, const std::uint8_t* bytes) {
    const std::size_t length = field.Length();
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
            return bytes[0] == ' ';
        case VE_FIELD_NUMERIC:
        case VE_FIELD_DATE:
        case VE_FIELD_STRING:
        case VE_FIELD_COMPACTDATE:
        case VE_FIELD_RAW:
        case VE_FIELD_CISTRING:
        case VE_FIELD_NCHAR:
            return AllBytesAre(bytes, length, 0);
        case VE_FIELD_MEMO:
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_VARCHAR:
        case VE_FIELD_NMEMO:
            return Load<std::uint32_t>(bytes) == 0;
        case VE_FIELD_DOUBLE:
        case VE_FIELD_CURDOUBLE:
            return Load<std::uint32_t>(bytes) == kNullDoubleLow &&
                   Load<std::uint32_t>(bytes + 4) == kNullInteger;
        case VE_FIELD_MONEY:
        case VE_FIELD_ROWVERSION:
            return Load<std::uint32_t>(bytes) == 0 &&
                   Load<std::uint32_t>(bytes + 4) == kNullInteger;
        case VE_FIELD_INTEGER:
            return Load<std::uint32_t>(bytes) == kNullInteger;
        case VE_FIELD_SHORTINT:
            return Load<std::uint16_t>(bytes) == kNullShort;
        case VE_FIELD_TIME:
        case VE_FIELD_AUTOINC:
            return Load<std::uint32_t>(bytes) == kNullUnsigned;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME:
            return Load<std::uint32_t>(bytes) == 0;
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_VARBINARY_FOX:
        case VE_FIELD_NVARCHAR:
            return Load<std::uint16_t>(bytes + length) == kNullVarLength;
        default:
            return true;
    }
}

// The VFP test on the bytes alone; the engine's null flag decides the rest.
bool IsVfpNullByBytes(const TACEFieldDef& field, const std::uint8_t* bytes) {
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
        case VE_FIELD_NUMERIC:
        case VE_FIELD_DATE:
            return AllBytesAre(bytes, field.Length(), ' ');
        case VE_FIELD_MEMO:
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_NMEMO:
            return Load<std::uint32_t>(bytes) == 0;
        case VE_FIELD_TIMESTAMP:
            return Load<std::uint32_t>(bytes) == 0;
        case VE_FIELD_NVARCHAR:
            return Load<std::uint16_t>(bytes + field.Length()) == kNullVarLength;
        default:
            return false;
    }
}

bool IsDbfNull(const TACEFieldDef& field, const std::uint8_t* bytes) {
    const std::size_t length = field.Length();
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
        case VE_FIELD_NUMERIC:
        case VE_FIELD_STRING:
            return AllZeroOrBlank(bytes, length);
        case VE_FIELD_DATE:
            return length == 4 ? Load<std::uint32_t>(bytes) == 0 : AllZeroOrBlank(bytes, length);
        case VE_FIELD_MEMO:
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_VARCHAR:
        case VE_FIELD_NMEMO:
            return Load<std::uint32_t>(bytes) == 0;
        case VE_FIELD_COMPACTDATE:
            return AllBytesAre(bytes, length, 0);
        case VE_FIELD_NCHAR:
            return AllZeroOrBlank(bytes, length / 2);
        case VE_FIELD_NVARCHAR:
            return Load<std::uint16_t>(bytes + length) == kNullVarLength;
        case VE_FIELD_DOUBLE:
        case VE_FIELD_INTEGER:
        case VE_FIELD_SHORTINT:
        case VE_FIELD_CURDOUBLE:
            return false;
        default:
            return true;
    }
}

void ConvertNumericToNative(const std::uint8_t* bytes, std::size_t length, db::TFieldType dataType,
                            void* out, const rtl::TFormatSettings& settings) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    text.resize(std::strlen(text.c_str()));
    try {
        if (dataType == db::ftSmallint) {
            Store<std::int16_t>(static_cast<std::uint8_t*>(out),
                                static_cast<std::int16_t>(rtl::StrToInt(rtl::Trim(text))));
        } else if (dataType == db::ftBCD || dataType == db::ftFMTBcd) {
            text = rtl::TrimLeft(text);
            ReplaceFirst(text, '.', settings.DecimalSeparator);
            const rtl::TBcd value = rtl::StrToBcd(text, settings);
            std::memcpy(out, &value, sizeof value);
        } else {
            ReplaceFirst(text, '.', settings.DecimalSeparator);
            Store<double>(static_cast<std::uint8_t*>(out), rtl::StrToFloat(text, settings));
        }
    } catch (const rtl::Exception&) {
        // A NUMERIC field whose text is no number keeps whatever the reader's buffer held:
        // reading a damaged value must not stop a walk over the table.
    }
}

std::int32_t CompactDateToDay(const std::uint8_t* bytes, TRecordImageEngine& engine) {
    const std::uint32_t packed =
        (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | std::uint32_t{bytes[2]};
    const unsigned year = (packed >> 9) & 0x7FFF;
    const unsigned month = (packed >> 5) & 0x0F;
    const unsigned day = packed & 0x1F;
    char text[16];
    std::snprintf(text, sizeof text, "%04u%02u%02u", year % 10000, month, day);
    const double julian = engine.StringToJulian(reinterpret_cast<const std::uint8_t*>(text), 8);
    return static_cast<std::int32_t>(julian) - kJulianOffset;
}

}  // namespace

// --- Engine services ----------------------------------------------------------------------------

double TAceRecordImageEngine::StringToJulian(const std::uint8_t* text, std::uint16_t length) {
    double julian = 0;
    CheckAceResult(nullptr, ace::AdsConvertStringToJulian(text, length, &julian));
    return julian;
}

std::string TAceRecordImageEngine::JulianToString(double julian) {
    UNSIGNED8 text[13] = {};
    UNSIGNED16 length = sizeof text;
    CheckAceResult(nullptr, ace::AdsConvertJulianToString(julian, text, &length));
    return std::string(reinterpret_cast<const char*>(text), std::min<std::size_t>(length, 12));
}

std::uint32_t TAceRecordImageEngine::VfpSystemField(const TACEFieldDef& field, std::uint8_t* image,
                                                    std::uint16_t option, std::uint32_t flag) {
    UNSIGNED32 value = flag;
    CheckAceResult(nullptr, ace::AdsAccessVfpSystemField(FHandle, ADSFIELD(field.FieldNumber()),
                                                         image, option, &value));
    return value;
}

const rtl::TFormatSettings& TFieldConversionContext::Settings() const {
    return Format != nullptr ? *Format : rtl::FormatSettings();
}

// --- Null tests ------------------------------------------------------------------------------

bool IsRawValueNull(const TACEFieldDef& field, const std::uint8_t* image,
                    const TFieldConversionContext& context) {
    const std::uint8_t* bytes = image + field.Offset();
    switch (context.AceTableType) {
        case kAceTableADT:
            return IsAdtNull(field, bytes);
        case kAceTableVFP:
            if (IsVfpNullByBytes(field, bytes)) {
                return true;
            }
            return field.Nullable() && EngineOf(context).VfpSystemField(
                                           field, const_cast<std::uint8_t*>(image), 1, 0) != 0;
        default:
            return IsDbfNull(field, bytes);
    }
}

// --- Image to native -------------------------------------------------------------------------

void ConvertFieldToNative(const TACEFieldDef& field, const std::uint8_t* image,
                          db::TFieldType dataType, void* out,
                          const TFieldConversionContext& context) {
    const std::uint8_t* bytes = image + field.Offset();
    const std::size_t length = field.Length();
    auto* target = static_cast<std::uint8_t*>(out);
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL: {
            const char c = static_cast<char>(bytes[0]);
            const bool value = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
            Store<std::int16_t>(target, value ? -1 : 0);
            break;
        }
        case VE_FIELD_NUMERIC:
            ConvertNumericToNative(bytes, length, dataType, out, context.Settings());
            break;
        case VE_FIELD_DATE: {
            std::int32_t day = 0;
            if (length == 4) {
                day = Load<std::int32_t>(bytes) - kJulianOffset;
            } else {
                const double julian =
                    EngineOf(context).StringToJulian(bytes, static_cast<std::uint16_t>(length));
                day = static_cast<std::int32_t>(julian - kJulianOffset);
            }
            Store<std::int32_t>(target, day);
            break;
        }
        case VE_FIELD_STRING:
        case VE_FIELD_CISTRING: {
            const std::size_t used = TrimmedTextLength(bytes, length);
            std::memcpy(target, bytes, used);
            target[used] = 0;
            break;
        }
        case VE_FIELD_COMPACTDATE:
            Store<std::int32_t>(target, CompactDateToDay(bytes, EngineOf(context)));
            break;
        case VE_FIELD_DOUBLE:
        case VE_FIELD_CURDOUBLE:
            std::memcpy(target, bytes, 8);
            break;
        case VE_FIELD_INTEGER:
        case VE_FIELD_AUTOINC:
        case VE_FIELD_TIME:
            std::memcpy(target, bytes, 4);
            break;
        case VE_FIELD_SHORTINT:
            std::memcpy(target, bytes, 2);
            break;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME: {
            const std::int32_t julian = Load<std::int32_t>(bytes);
            double milliseconds = Load<std::int32_t>(bytes + 4);
            if (context.AceTableType == kAceTableVFP) {
                milliseconds = std::round(milliseconds / 1000.0) * 1000.0;
            }
            double value = double(julian - kJulianOffset) * kMillisecondsPerDay + milliseconds;
            Store<double>(target, value < 0 ? 0.0 : value);
            break;
        }
        case VE_FIELD_RAW:
            std::memcpy(target, bytes, length);
            break;
        case VE_FIELD_MONEY: {
            const rtl::TBcd value =
                rtl::CurrencyToBcd(rtl::Currency::FromScaled(Load<std::int64_t>(bytes)), 20, 4);
            std::memcpy(target, &value, sizeof value);
            break;
        }
        case VE_FIELD_ROWVERSION: {
            const rtl::TBcd value = rtl::StrToBcd(rtl::IntToStr(Load<std::int64_t>(bytes)));
            std::memcpy(target, &value, sizeof value);
            break;
        }
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_VARBINARY_FOX: {
            const std::size_t used = FoxUsedLength(field, image, context);
            if (dataType == db::ftVarBytes) {
                std::memset(target, 0, length + 2);
                Store<std::uint16_t>(target, static_cast<std::uint16_t>(used));
                std::memcpy(target + 2, bytes, used);
            } else {
                std::memset(target, 0, length + 1);
                const std::size_t text = TrimmedTextLength(bytes, used);
                std::memcpy(target, bytes, text);
            }
            break;
        }
        case VE_FIELD_NCHAR:
            WideToNative(bytes, length / 2, target);
            break;
        case VE_FIELD_NVARCHAR: {
            std::memset(target, 0, length + 2);
            const std::size_t characters =
                std::min<std::size_t>(Load<std::uint16_t>(bytes + length), length / 2);
            WideToNative(bytes, characters, target);
            break;
        }
        default:
            // Memo types are read through blob streams; unknown types have no native value.
            break;
    }
}

// --- Native to image -------------------------------------------------------------------------

std::string NumericFieldText(const TACEFieldDef& field, db::TFieldType dataType, const void* value,
                             const rtl::TFormatSettings& settings) {
    const int length = static_cast<int>(field.Length());
    const int decimals = field.Decimals();
    std::string text;
    if (dataType == db::ftSmallint) {
        text = rtl::IntToStr(Load<std::int16_t>(static_cast<const std::uint8_t*>(value)));
    } else if (dataType == db::ftBCD || dataType == db::ftFMTBcd) {
        rtl::TBcd bcd;
        std::memcpy(&bcd, value, sizeof bcd);
        text = decimals > 0 ? rtl::BcdToStrF(bcd, rtl::ffFixed, length - 2, decimals, settings)
                            : rtl::BcdToStrF(bcd, rtl::ffFixed, length - 1, 0, settings);
        ReplaceFirst(text, settings.DecimalSeparator, '.');
        // A positive value needs a place for the sign it could have.
        if (text.empty() || (static_cast<int>(text.size()) == length && text.front() != '-')) {
            RaiseAdsComponentError(nullptr, kNumericOutOfRange);
        }
    } else {
        const double number = Load<double>(static_cast<const std::uint8_t*>(value));
        text = decimals > 0 ? rtl::FloatToStrF(number, rtl::ffFixed, length - 1, decimals, settings)
                            : rtl::FloatToStrF(number, rtl::ffFixed, length, 0, settings);
        ReplaceFirst(text, settings.DecimalSeparator, '.');
    }
    if (static_cast<int>(text.size()) > length || text.find('E') != std::string::npos) {
        RaiseAdsComponentError(nullptr, kNumericOutOfRange);
    }
    return text;
}

namespace {

void WriteNullAdt(const TACEFieldDef& field, std::uint8_t* bytes) {
    const std::size_t length = field.Length();
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
            bytes[0] = ' ';
            break;
        case VE_FIELD_DOUBLE:
        case VE_FIELD_CURDOUBLE:
            Store<std::uint32_t>(bytes, kNullDoubleLow);
            Store<std::uint32_t>(bytes + 4, kNullInteger);
            break;
        case VE_FIELD_INTEGER:
            Store<std::uint32_t>(bytes, kNullInteger);
            break;
        case VE_FIELD_SHORTINT:
            Store<std::uint16_t>(bytes, kNullShort);
            break;
        case VE_FIELD_TIME:
        case VE_FIELD_AUTOINC:
            Store<std::uint32_t>(bytes, kNullUnsigned);
            break;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME:
            Store<std::uint32_t>(bytes, 0);
            Store<std::uint32_t>(bytes + 4, kNullUnsigned);
            break;
        case VE_FIELD_MONEY:
        case VE_FIELD_ROWVERSION:
            Store<std::uint32_t>(bytes, 0);
            Store<std::uint32_t>(bytes + 4, kNullInteger);
            break;
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_VARBINARY_FOX:
        case VE_FIELD_NVARCHAR:
            Store<std::uint16_t>(bytes + length, kNullVarLength);
            break;
        case 0:
        case kAdsFieldReserved1:
        case kAdsFieldSystem:
            break;
        default:
            std::memset(bytes, 0, length);
            break;
    }
}

void WriteNullVfp(const TACEFieldDef& field, std::uint8_t* image,
                  const TFieldConversionContext& context) {
    std::uint8_t* bytes = image + field.Offset();
    const std::size_t length = field.Length();
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
        case VE_FIELD_NUMERIC:
        case VE_FIELD_DATE:
        case VE_FIELD_STRING:
        case VE_FIELD_VARCHAR_FOX:
        case VE_FIELD_VARBINARY_FOX:
            std::memset(bytes, ' ', length);
            break;
        case VE_FIELD_MEMO:
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_DOUBLE:
        case VE_FIELD_INTEGER:
        case VE_FIELD_SHORTINT:
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_AUTOINC:
        case VE_FIELD_CURDOUBLE:
        case VE_FIELD_MONEY:
        case VE_FIELD_NMEMO:
        case kAdsFieldBlob51:
        case kAdsFieldBlob52:
            std::memset(bytes, 0, length);
            break;
        case VE_FIELD_NCHAR:
            FillWideBlanks(bytes, length / 2);
            break;
        case VE_FIELD_NVARCHAR:
            FillWideBlanks(bytes, length / 2);
            Store<std::uint16_t>(bytes + length, kNullVarLength);
            break;
        default:
            break;
    }
    if (field.Nullable()) {
        EngineOf(context).VfpSystemField(field, image, 2, kNullUnsigned);
    }
}

void WriteNullDbf(const TACEFieldDef& field, std::uint8_t* bytes) {
    const std::size_t length = field.Length();
    switch (field.FieldType()) {
        case VE_FIELD_MEMO:
        case VE_FIELD_BINARY:
        case VE_FIELD_IMAGE:
        case VE_FIELD_VARCHAR:
        case VE_FIELD_NMEMO:
        case VE_FIELD_COMPACTDATE:
        case VE_FIELD_DOUBLE:
        case VE_FIELD_INTEGER:
        case VE_FIELD_SHORTINT:
        case VE_FIELD_CURDOUBLE:
            std::memset(bytes, 0, length);
            break;
        case VE_FIELD_NCHAR:
            FillWideBlanks(bytes, length / 2);
            break;
        case VE_FIELD_NVARCHAR:
            FillWideBlanks(bytes, length / 2);
            Store<std::uint16_t>(bytes + length, kNullVarLength);
            break;
        default:
            std::memset(bytes, ' ', length);
            break;
    }
}

// Writes a text field: zero bytes for an empty text under the empty-text rule, else blanks,
// then the text cut to the field.
void WriteText(std::uint8_t* bytes, std::size_t length, const char* text,
               const TFieldConversionContext& context) {
    const std::size_t used = std::min(std::strlen(text), length);
    std::memset(bytes, (used == 0 && EmptyTextIsNull(context)) ? 0 : ' ', length);
    std::memcpy(bytes, text, used);
}

void WriteValue(const TACEFieldDef& field, db::TFieldType dataType, const void* value,
                std::uint8_t* image, const TFieldConversionContext& context) {
    std::uint8_t* bytes = image + field.Offset();
    const std::size_t length = field.Length();
    const auto* source = static_cast<const std::uint8_t*>(value);
    switch (field.FieldType()) {
        case VE_FIELD_LOGICAL:
            bytes[0] = Load<std::int16_t>(source) != 0 ? 'T' : 'F';
            break;
        case VE_FIELD_NUMERIC: {
            const std::string text = NumericFieldText(field, dataType, value, context.Settings());
            std::memset(bytes, ' ', length);
            std::memcpy(bytes + (length - text.size()), text.data(), text.size());
            break;
        }
        case VE_FIELD_DATE: {
            const std::int32_t julian = Load<std::int32_t>(source) + kJulianOffset;
            if (length == 4) {
                Store<std::int32_t>(bytes, julian);
                break;
            }
            const std::string text = EngineOf(context).JulianToString(double(julian));
            if (text.size() > length) {
                RaiseAdsComponentError(nullptr, kDateFunctionsWrong);
            }
            std::memcpy(bytes, text.data(), text.size());
            break;
        }
        case VE_FIELD_STRING:
        case VE_FIELD_CISTRING:
            WriteText(bytes, length, reinterpret_cast<const char*>(source), context);
            break;
        case VE_FIELD_COMPACTDATE: {
            const std::int32_t julian = Load<std::int32_t>(source) + kJulianOffset;
            const std::string text = EngineOf(context).JulianToString(double(julian));
            const int year = rtl::StrToIntDef(text.substr(0, 4), 0);
            const int month = rtl::StrToIntDef(text.size() >= 6 ? text.substr(4, 2) : "", 0);
            const int day = rtl::StrToIntDef(text.size() >= 8 ? text.substr(6, 2) : "", 0);
            const unsigned high = static_cast<unsigned>(year * 2 + (month >> 3));
            bytes[0] = static_cast<std::uint8_t>(high >> 8);
            bytes[1] = static_cast<std::uint8_t>(high);
            bytes[2] = static_cast<std::uint8_t>(month * 32 + day);
            break;
        }
        case VE_FIELD_DOUBLE:
        case VE_FIELD_CURDOUBLE:
            std::memcpy(bytes, source, 8);
            break;
        case VE_FIELD_INTEGER:
        case VE_FIELD_AUTOINC:
        case VE_FIELD_TIME:
            std::memcpy(bytes, source, 4);
            break;
        case VE_FIELD_SHORTINT:
            std::memcpy(bytes, source, 2);
            break;
        case VE_FIELD_TIMESTAMP:
        case VE_FIELD_MODTIME: {
            const double milliseconds = Load<double>(source);
            const double day = std::trunc(milliseconds / kMillisecondsPerDay);
            Store<std::int32_t>(bytes, static_cast<std::int32_t>(day) + kJulianOffset);
            Store<std::int32_t>(
                bytes + 4,
                static_cast<std::int32_t>(std::round(milliseconds - day * kMillisecondsPerDay)));
            break;
        }
        case VE_FIELD_RAW:
            std::memcpy(bytes, source, length);
            break;
        case VE_FIELD_MONEY: {
            rtl::TBcd bcd;
            std::memcpy(&bcd, source, sizeof bcd);
            Store<std::int64_t>(bytes, rtl::BcdToCurrency(bcd).Scaled);
            break;
        }
        case VE_FIELD_ROWVERSION: {
            rtl::TBcd bcd;
            std::memcpy(&bcd, source, sizeof bcd);
            Store<std::int64_t>(bytes, rtl::StrToInt64(rtl::BcdToStr(bcd)));
            break;
        }
        case VE_FIELD_VARCHAR_FOX: {
            const std::size_t used =
                std::min(std::strlen(reinterpret_cast<const char*>(source)), length);
            std::memset(bytes, ' ', length);
            std::memcpy(bytes, source, used);
            StoreFoxUsedLength(field, image, used, context);
            break;
        }
        case VE_FIELD_VARBINARY_FOX: {
            const std::size_t used = std::min<std::size_t>(Load<std::uint16_t>(source), length);
            std::memset(bytes, ' ', length);
            std::memcpy(bytes, source + 2, used);
            StoreFoxUsedLength(field, image, used, context);
            break;
        }
        case VE_FIELD_NCHAR:
        case VE_FIELD_NVARCHAR: {
            const std::size_t characters = NativeWideLength(value);
            if (characters == 0 && EmptyTextIsNull(context)) {
                std::memset(bytes, 0, length);
            } else {
                FillWideBlanks(bytes, length / 2);
            }
            const std::size_t used = std::min(characters * 2, length);
            std::memcpy(bytes, source, used);
            if (field.FieldType() == VE_FIELD_NVARCHAR) {
                Store<std::uint16_t>(bytes + length, static_cast<std::uint16_t>(std::min(
                                                         characters, std::size_t{length / 2})));
            }
            break;
        }
        default:
            // Memo types go through the blob cache; unknown types have no image form.
            return;
    }
    if (context.AceTableType == kAceTableVFP && field.Nullable()) {
        EngineOf(context).VfpSystemField(field, image, 2, 0);
    }
}

}  // namespace

void ConvertNativeToField(const TACEFieldDef& field, db::TFieldType dataType, const void* value,
                          std::uint8_t* image, const TFieldConversionContext& context) {
    if (value != nullptr) {
        WriteValue(field, dataType, value, image, context);
        return;
    }
    switch (context.AceTableType) {
        case kAceTableADT:
            WriteNullAdt(field, image + field.Offset());
            break;
        case kAceTableVFP:
            WriteNullVfp(field, image, context);
            break;
        default:
            WriteNullDbf(field, image + field.Offset());
            break;
    }
}

}  // namespace varelum::ads
