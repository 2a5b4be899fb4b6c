// The text and byte field classes: string and wide string fields (fixed width, zero-
// terminated native values), bytes and var-bytes fields, and the blob, memo and wide memo
// fields that go through the dataset's blob streams.
#include <algorithm>
#include <cstring>
#include <vector>

#include "db/dataset.h"
#include "db/db_messages.h"
#include "db/field_types.h"
#include "rtl/datetime.h"
#include "rtl/text.h"

namespace varelum::db {

namespace {

// The native zero-terminated single-byte text of a string field, "" when null.
std::string ReadNarrow(const TField& field) {
    std::vector<char> buffer(field.DataSize() + 1, '\0');
    if (!field.GetData(buffer.data())) {
        return {};
    }
    return std::string(buffer.data());
}

std::u16string ReadWide(const TField& field) {
    std::vector<char16_t> buffer(field.DataSize() / 2 + 1, u'\0');
    if (!field.GetData(buffer.data())) {
        return {};
    }
    return std::u16string(buffer.data());
}

}  // namespace

// --- TStringField
// ------------------------------------------------------------------------------------

std::string TStringField::AsString() const {
    return rtl::AnsiToUtf8(ReadNarrow(*this));
}

void TStringField::SetAsString(std::string_view value) {
    std::string bytes = rtl::Utf8ToAnsi(value);
    std::vector<char> buffer(DataSize(), '\0');
    std::memcpy(buffer.data(), bytes.data(),
                std::min(bytes.size(), static_cast<std::size_t>(Size())));
    SetData(buffer.data());
}

std::int32_t TStringField::AsInteger() const {
    std::string text = rtl::Trim(AsString());
    return text.empty() ? 0 : rtl::StrToInt(text);
}

void TStringField::SetAsInteger(std::int32_t value) {
    SetAsString(rtl::IntToStr(value));
}

std::int64_t TStringField::AsLargeInt() const {
    std::string text = rtl::Trim(AsString());
    return text.empty() ? 0 : rtl::StrToInt64(text);
}

void TStringField::SetAsLargeInt(std::int64_t value) {
    SetAsString(rtl::IntToStr(value));
}

double TStringField::AsFloat() const {
    std::string text = rtl::Trim(AsString());
    return text.empty() ? 0.0 : rtl::StrToFloat(text);
}

void TStringField::SetAsFloat(double value) {
    SetAsString(rtl::FloatToStr(value));
}

rtl::TBcd TStringField::AsBCD() const {
    std::string text = rtl::Trim(AsString());
    return text.empty() ? rtl::TBcd() : rtl::StrToBcd(text);
}

void TStringField::SetAsBCD(const rtl::TBcd& value) {
    SetAsString(rtl::BcdToStr(value));
}

double TStringField::AsDateTime() const {
    std::string text = rtl::Trim(AsString());
    return text.empty() ? 0.0 : rtl::StrToDateTime(text);
}

void TStringField::SetAsDateTime(double value) {
    SetAsString(rtl::DateTimeToStr(value));
}

bool TStringField::AsBoolean() const {
    std::string text = rtl::Trim(AsString());
    if (text.empty()) {
        return false;
    }
    switch (text.front()) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return false;
        default:
            ConversionError(msg::SNotBoolean, text);
    }
}

void TStringField::SetAsBoolean(bool value) {
    SetAsString(value ? "True" : "False");
}

// --- TWideStringField
// ----------------------------------------------------------------------------------

std::string TWideStringField::AsString() const {
    return rtl::Utf16ToUtf8(ReadWide(*this));
}

void TWideStringField::SetAsString(std::string_view value) {
    std::u16string text = rtl::Utf8ToUtf16(value);
    std::vector<char16_t> buffer(DataSize() / 2, u'\0');
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(Size()));
    // A surrogate pair is never split by the cut.
    if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] < 0xDC00) {
        --count;
    }
    std::copy_n(text.begin(), count, buffer.begin());
    SetData(buffer.data());
}

// --- TBytesField, TVarBytesField
// --------------------------------------------------------------------------

std::string TBytesField::AsString() const {
    std::string bytes(DataSize(), '\0');
    if (!GetData(bytes.data())) {
        return {};
    }
    return bytes;
}

void TBytesField::SetAsString(std::string_view value) {
    std::string bytes(DataSize(), '\0');
    std::memcpy(bytes.data(), value.data(), std::min(value.size(), bytes.size()));
    SetData(bytes.data());
}

std::string TVarBytesField::AsString() const {
    std::string buffer(DataSize(), '\0');
    if (!GetData(buffer.data())) {
        return {};
    }
    std::uint16_t length = 0;
    std::memcpy(&length, buffer.data(), sizeof length);
    length = std::min<std::uint16_t>(length, static_cast<std::uint16_t>(Size()));
    return buffer.substr(2, length);
}

void TVarBytesField::SetAsString(std::string_view value) {
    std::string buffer(DataSize(), '\0');
    auto length = static_cast<std::uint16_t>(std::min<std::size_t>(value.size(), Size()));
    std::memcpy(buffer.data(), &length, sizeof length);
    std::memcpy(buffer.data() + 2, value.data(), length);
    SetData(buffer.data());
}

// --- Blob fields
// ------------------------------------------------------------------------------------------

std::string TBlobField::AsBytes() const {
    TDataSet& dataSet = RequireDataSet();
    std::unique_ptr<TStream> stream =
        dataSet.CreateBlobStream(const_cast<TBlobField&>(*this), bmRead);
    return stream->ReadAll();
}

void TBlobField::SetAsBytes(std::string_view bytes) {
    TDataSet& dataSet = RequireDataSet();
    std::unique_ptr<TStream> stream = dataSet.CreateBlobStream(*this, bmWrite);
    stream->WriteAll(bytes);
}

std::int64_t TBlobField::BlobSize() const {
    TDataSet& dataSet = RequireDataSet();
    return dataSet.CreateBlobStream(const_cast<TBlobField&>(*this), bmRead)->Size();
}

std::string TMemoField::AsString() const {
    return rtl::AnsiToUtf8(AsBytes());
}

void TMemoField::SetAsString(std::string_view value) {
    SetAsBytes(rtl::Utf8ToAnsi(value));
}

std::string TWideMemoField::AsString() const {
    std::string bytes = AsBytes();
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return rtl::Utf16ToUtf8(text);
}

void TWideMemoField::SetAsString(std::string_view value) {
    std::u16string text = rtl::Utf8ToUtf16(value);
    SetAsBytes(std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2));
}

}  // namespace varelum::db
