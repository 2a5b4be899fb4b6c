// The framework's field classes, one per field type: each reads and writes its native value
// (field.h lists the formats) and converts it to and from the typed accessors.
//
// Texts are UTF-8 at the accessors. A string field holds single-byte Windows-1252 text, so a
// character outside that code page is stored as "?"; a text longer than the field's Size is
// cut to Size characters. Setting an empty text clears a numeric, date or Boolean field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/field.h"

namespace varelum::db {

class TStringField : public TField {
  public:
    explicit TStringField(rtl::TComponent* owner = nullptr) : TField(owner, ftString, 20) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int32_t AsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    std::int64_t AsLargeInt() const override;
    void SetAsLargeInt(std::int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    rtl::TBcd AsBCD() const override;
    void SetAsBCD(const rtl::TBcd& value) override;
    double AsDateTime() const override;
    void SetAsDateTime(double value) override;
    bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TStringField(rtl::TComponent* owner, TFieldType type, int size) : TField(owner, type, size) {}
};

// UTF-16 text; Size counts UTF-16 code units.
class TWideStringField : public TStringField {
  public:
    explicit TWideStringField(rtl::TComponent* owner = nullptr)
        : TStringField(owner, ftWideString, 20) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    rtl::Variant AsVariant() const override;
};

// Signed 32-bit; MinValue/MaxValue (both 0: no limit beyond the type's) bound writes.
class TIntegerField : public TField {
  public:
    explicit TIntegerField(rtl::TComponent* owner = nullptr) : TIntegerField(owner, ftInteger) {}
    std::int64_t MinValue() const { return FMinValue; }
    std::int64_t MaxValue() const { return FMaxValue; }
    void SetMinValue(std::int64_t value) { FMinValue = value; }
    void SetMaxValue(std::int64_t value) { FMaxValue = value; }

    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int32_t AsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    void SetAsLargeInt(std::int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    rtl::TBcd AsBCD() const override;
    void SetAsBCD(const rtl::TBcd& value) override;
    bool AsBoolean() const override { return AsInteger() != 0; }
    void SetAsBoolean(bool value) override { SetAsInteger(value ? 1 : 0); }
    rtl::Variant AsVariant() const override;

  protected:
    TIntegerField(rtl::TComponent* owner, TFieldType type);
    // The type's own bounds.
    virtual std::int64_t TypeMin() const { return INT32_MIN; }
    virtual std::int64_t TypeMax() const { return INT32_MAX; }
    virtual void WriteNative(std::int32_t value);
    virtual bool ReadNative(std::int32_t& value) const;

  private:
    std::int64_t FMinValue = 0;
    std::int64_t FMaxValue = 0;
};

// Signed 16-bit.
class TSmallintField : public TIntegerField {
  public:
    explicit TSmallintField(rtl::TComponent* owner = nullptr) : TIntegerField(owner, ftSmallint) {}

  protected:
    std::int64_t TypeMin() const override { return INT16_MIN; }
    std::int64_t TypeMax() const override { return INT16_MAX; }
    void WriteNative(std::int32_t value) override;
    bool ReadNative(std::int32_t& value) const override;
};

// A value the source assigns (an autoincrement column).
class TAutoIncField : public TIntegerField {
  public:
    explicit TAutoIncField(rtl::TComponent* owner = nullptr) : TIntegerField(owner, ftAutoInc) {}
};

// 64-bit floating point. Precision: significant digits of AsString (15).
class TFloatField : public TField {
  public:
    explicit TFloatField(rtl::TComponent* owner = nullptr) : TFloatField(owner, ftFloat) {}
    bool Currency() const { return FCurrency; }
    void SetCurrency(bool value) { FCurrency = value; }

    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int32_t AsInteger() const override;
    void SetAsInteger(std::int32_t value) override { SetAsFloat(value); }
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    rtl::TBcd AsBCD() const override;
    void SetAsBCD(const rtl::TBcd& value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TFloatField(rtl::TComponent* owner, TFieldType type);

  private:
    bool FCurrency = false;
};

class TCurrencyField : public TFloatField {
  public:
    explicit TCurrencyField(rtl::TComponent* owner = nullptr) : TFloatField(owner, ftCurrency) {
        SetCurrency(true);
    }
    rtl::Variant AsVariant() const override;
};

// The framework's exact decimal. Size: decimals (scale, 4 by default); Precision: total
// digits (0: as many as the value has, at most 64). Writes round to the scale and raise
// "BCD overflow" when the integer part does not fit.
class TBCDField : public TField {
  public:
    explicit TBCDField(rtl::TComponent* owner = nullptr) : TBCDField(owner, ftBCD, 4) {}
    bool Currency() const { return FCurrency; }
    void SetCurrency(bool value) { FCurrency = value; }

    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    std::int32_t AsInteger() const override;
    void SetAsInteger(std::int32_t value) override;
    std::int64_t AsLargeInt() const override;
    void SetAsLargeInt(std::int64_t value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    rtl::Currency AsCurrency() const override;
    void SetAsCurrency(rtl::Currency value) override;
    rtl::TBcd AsBCD() const override;
    void SetAsBCD(const rtl::TBcd& value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TBCDField(rtl::TComponent* owner, TFieldType type, int size) : TField(owner, type, size) {}

  private:
    bool FCurrency = false;
};

class TFMTBCDField : public TBCDField {
  public:
    explicit TFMTBCDField(rtl::TComponent* owner = nullptr) : TBCDField(owner, ftFMTBcd, 8) {}
};

// True or false; AsString gives "True" or "False".
class TBooleanField : public TField {
  public:
    explicit TBooleanField(rtl::TComponent* owner = nullptr) : TField(owner, ftBoolean) {}
    std::string AsString() const override;
    // "True", "T", "Yes", "Y", "1" and "False", "F", "No", "N", "0", in any case.
    void SetAsString(std::string_view value) override;
    bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    rtl::Variant AsVariant() const override;
};

// A date and time of day. AsString and SetAsString use the process's FormatSettings.
class TDateTimeField : public TField {
  public:
    explicit TDateTimeField(rtl::TComponent* owner = nullptr) : TDateTimeField(owner, ftDateTime) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    double AsFloat() const override { return AsDateTime(); }
    void SetAsFloat(double value) override { SetAsDateTime(value); }
    double AsDateTime() const override;
    void SetAsDateTime(double value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TDateTimeField(rtl::TComponent* owner, TFieldType type) : TField(owner, type) {}
    // Between the framework's date-time and the native value.
    virtual bool ReadDateTime(double& value) const;
    virtual void WriteDateTime(double value);
    virtual std::string Text(double value) const;
    virtual double ParseText(std::string_view text) const;
};

// A date without time (the time of a written value is dropped).
class TDateField : public TDateTimeField {
  public:
    explicit TDateField(rtl::TComponent* owner = nullptr) : TDateTimeField(owner, ftDate) {}

  protected:
    bool ReadDateTime(double& value) const override;
    void WriteDateTime(double value) override;
    std::string Text(double value) const override;
    double ParseText(std::string_view text) const override;
};

// A time of day without date (the date of a written value is dropped).
class TTimeField : public TDateTimeField {
  public:
    explicit TTimeField(rtl::TComponent* owner = nullptr) : TDateTimeField(owner, ftTime) {}

  protected:
    bool ReadDateTime(double& value) const override;
    void WriteDateTime(double value) override;
    std::string Text(double value) const override;
    double ParseText(std::string_view text) const override;
};

// Size raw bytes; AsString gives and takes them as a byte string (shorter values are padded
// with zero bytes, longer ones cut).
class TBytesField : public TField {
  public:
    explicit TBytesField(rtl::TComponent* owner = nullptr) : TBytesField(owner, ftBytes, 16) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TBytesField(rtl::TComponent* owner, TFieldType type, int size) : TField(owner, type, size) {}
};

// Up to Size raw bytes with their length.
class TVarBytesField : public TBytesField {
  public:
    explicit TVarBytesField(rtl::TComponent* owner = nullptr)
        : TBytesField(owner, ftVarBytes, 16) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
};

// A binary value of any length, read and written through the dataset's blob streams.
class TBlobField : public TField {
  public:
    explicit TBlobField(rtl::TComponent* owner = nullptr) : TBlobField(owner, ftBlob) {}
    // The value's bytes.
    std::string AsBytes() const;
    void SetAsBytes(std::string_view bytes);
    std::int64_t BlobSize() const;

    std::string AsString() const override { return AsBytes(); }
    void SetAsString(std::string_view value) override { SetAsBytes(value); }
    rtl::Variant AsVariant() const override;

  protected:
    TBlobField(rtl::TComponent* owner, TFieldType type) : TField(owner, type, 0) {}
};

// Text of any length, held as Windows-1252 bytes.
class TMemoField : public TBlobField {
  public:
    explicit TMemoField(rtl::TComponent* owner = nullptr) : TBlobField(owner, ftMemo) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    rtl::Variant AsVariant() const override;

  protected:
    TMemoField(rtl::TComponent* owner, TFieldType type) : TBlobField(owner, type) {}
};

// Text of any length, held as UTF-16.
class TWideMemoField : public TMemoField {
  public:
    explicit TWideMemoField(rtl::TComponent* owner = nullptr) : TMemoField(owner, ftWideMemo) {}
    std::string AsString() const override;
    void SetAsString(std::string_view value) override;
};

}  // namespace varelum::db
