// The date and time field classes: date-time (milliseconds since 0001-01-01 minus one day,
// as a double), date (32-bit day number) and time (32-bit milliseconds since midnight), with
// text through the process's FormatSettings.
#include <cmath>

#include "db/db_messages.h"
#include "db/field_types.h"
#include "rtl/datetime.h"
#include "rtl/text.h"

namespace varelum::db {

bool TDateTimeField::ReadDateTime(double& value) const {
    double milliseconds = 0;
    if (!GetData(&milliseconds)) {
        return false;
    }
    value = rtl::MillisecondsToDateTime(milliseconds);
    return true;
}

void TDateTimeField::WriteDateTime(double value) {
    double milliseconds = rtl::DateTimeToMilliseconds(value);
    SetData(&milliseconds);
}

std::string TDateTimeField::Text(double value) const {
    return rtl::DateTimeToStr(value);
}

double TDateTimeField::ParseText(std::string_view text) const {
    double value = 0;
    if (!rtl::TryStrToDateTime(text, value)) {
        ConversionError(msg::SNotDateTime, text);
    }
    return value;
}

double TDateTimeField::AsDateTime() const {
    double value = 0;
    return ReadDateTime(value) ? value : 0.0;
}

void TDateTimeField::SetAsDateTime(double value) {
    if (!std::isfinite(value)) {
        ConversionError(msg::SNotDateTime, rtl::FloatToStr(value));
    }
    WriteDateTime(value);
}

std::string TDateTimeField::AsString() const {
    double value = 0;
    return ReadDateTime(value) ? Text(value) : std::string();
}

void TDateTimeField::SetAsString(std::string_view value) {
    std::string text = rtl::Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    SetAsDateTime(ParseText(text));
}

bool TDateField::ReadDateTime(double& value) const {
    std::int32_t day = 0;
    if (!GetData(&day)) {
        return false;
    }
    value = rtl::DayNumberToDate(day);
    return true;
}

void TDateField::WriteDateTime(double value) {
    std::int32_t day = rtl::DateToDayNumber(value);
    SetData(&day);
}

std::string TDateField::Text(double value) const {
    return rtl::DateToStr(value);
}

double TDateField::ParseText(std::string_view text) const {
    double value = 0;
    if (!rtl::TryStrToDate(text, value)) {
        ConversionError(msg::SNotDateTime, text);
    }
    return value;
}

bool TTimeField::ReadDateTime(double& value) const {
    std::int32_t milliseconds = 0;
    if (!GetData(&milliseconds)) {
        return false;
    }
    value = rtl::MillisecondsToTime(milliseconds);
    return true;
}

void TTimeField::WriteDateTime(double value) {
    std::int32_t milliseconds = rtl::TimeToMilliseconds(value);
    SetData(&milliseconds);
}

std::string TTimeField::Text(double value) const {
    return rtl::TimeToStr(value);
}

double TTimeField::ParseText(std::string_view text) const {
    double value = 0;
    if (!rtl::TryStrToTime(text, value)) {
        ConversionError(msg::SNotDateTime, text);
    }
    return value;
}

}  // namespace varelum::db
