// Field values between the engine's record image and the dataset framework's native values.
//
// Every field read and write of an engine dataset ends here: IsRawValueNull tells whether the
// image bytes of a field stand for null, ConvertFieldToNative turns them into the native value
// of the field's dataset type (db/field.h lists the native formats), ConvertNativeToField
// writes a native value (or null) into the image. The rules differ by the engine table type of
// the handle: ADT tables have null markers per type, VFP tables a null flag kept by the engine,
// DBF tables (NTX, CDX) blanks.
//
// The functions work on bytes only; the few answers that need the engine (the DBF date text
// and the VFP system flags) come through TRecordImageEngine, whose default implementation calls
// the engine through ace. Texts in images are 8-bit (Windows-1252) or UTF-16 as the engine
// stores them; no character translation is made here.
#pragma once

#include <cstdint>
#include <string>

#include "ads/adsdata_fielddefs.h"
#include "db/db_types.h"
#include "rtl/format_settings.h"
#include "varelum_engine.h"

namespace varelum::ads {

// The engine services the conversions need besides the image bytes.
class TRecordImageEngine {
  public:
    virtual ~TRecordImageEngine() = default;
    // Julian day of "YYYYMMDD" text (AdsConvertStringToJulian); blanks or zeros give 0.
    virtual double StringToJulian(const std::uint8_t* text, std::uint16_t length) = 0;
    // "YYYYMMDD" of a Julian day (AdsConvertJulianToString with a 13-byte buffer).
    virtual std::string JulianToString(double julian) = 0;
    // AdsAccessVfpSystemField on the record image: option 1 reads the null flag, 2 writes
    // the null flag, 3 writes the varchar flag, 4 reads the varchar flag.
    virtual std::uint32_t VfpSystemField(const TACEFieldDef& field, std::uint8_t* image,
                                         std::uint16_t option, std::uint32_t flag) = 0;
};

// The engine calls through ace, on table handle `handle` (checked with CheckAceResult).
class TAceRecordImageEngine : public TRecordImageEngine {
  public:
    explicit TAceRecordImageEngine(ADSHANDLE handle = 0) : FHandle(handle) {}
    void SetHandle(ADSHANDLE handle) { FHandle = handle; }

    double StringToJulian(const std::uint8_t* text, std::uint16_t length) override;
    std::string JulianToString(double julian) override;
    std::uint32_t VfpSystemField(const TACEFieldDef& field, std::uint8_t* image,
                                 std::uint16_t option, std::uint32_t flag) override;

  private:
    ADSHANDLE FHandle;
};

// What the conversions need to know about the dataset.
struct TFieldConversionContext {
    // The engine table type of the open handle (musAceTableType): 1 NTX, 2 CDX, 3 ADT, 4 VFP.
    UNSIGNED16 AceTableType = kAceTableADT;
    // The dataset's TableType is ttAdsADT (an empty text then makes a text field null).
    bool DataSetIsAdt = true;
    // AdsPreserveSpaces: an empty text is stored as blanks, not as null.
    bool PreserveSpaces = false;
    TRecordImageEngine* Engine = nullptr;
    const rtl::TFormatSettings* Format = nullptr;

    const rtl::TFormatSettings& Settings() const;
};

// Whether the field's bytes in the record image stand for null.
bool IsRawValueNull(const TACEFieldDef& field, const std::uint8_t* image,
                    const TFieldConversionContext& context);

// Converts the field's image bytes into the native value of dataType at `out` (which holds at
// least the native size). Memo types and codes 0, 19 and 25 convert nothing. A NUMERIC text
// that does not parse leaves `out` as it was.
void ConvertFieldToNative(const TACEFieldDef& field, const std::uint8_t* image,
                          db::TFieldType dataType, void* out,
                          const TFieldConversionContext& context);

// Writes the native value of dataType (null: none, the null form of the table type) into the
// field's image bytes. Throws EADSDatabaseError (5121) "Numeric out of range." or "Something's
// wrong with ADS date functions" before any byte changes. On a VFP handle the engine's null
// flag of a nullable field follows.
void ConvertNativeToField(const TACEFieldDef& field, db::TFieldType dataType, const void* value,
                          std::uint8_t* image, const TFieldConversionContext& context);

// The record-image text of a NUMERIC field for a native value (what ConvertNativeToField
// writes, before padding). Throws "Numeric out of range.".
std::string NumericFieldText(const TACEFieldDef& field, db::TFieldType dataType, const void* value,
                             const rtl::TFormatSettings& settings);

}  // namespace varelum::ads
