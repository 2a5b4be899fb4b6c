// The engine's description of a table's fields, and how engine field types become the
// dataset framework's field types.
//
// TACEFieldDefs holds one TACEFieldDef per engine field, in field order: where the field lies
// in the record image, its engine type, decimals, rights and nullability. The dataset rebuilds
// it together with its FieldDefs on each open; the value conversions find a field's item by
// its field number minus one. TAdsStringField and TAdsBCDField are the field classes an
// engine dataset creates for string and BCD fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"
#include "db/field_types.h"
#include "rtl/component.h"
#include "varelum_engine.h"

namespace varelum::ads {

// The engine's field types; the engine code of each is its ordinal plus one.
enum TAdsFieldTypes {
    AdsfldLOGICAL,
    AdsfldNUMERIC,
    AdsfldDATE,
    AdsfldSTRING,
    AdsfldMEMO,
    AdsfldBINARY,
    AdsfldIMAGE,
    AdsfldVARCHAR,
    AdsfldCOMPACTDATE,
    AdsfldDOUBLE,
    AdsfldINTEGER,
    AdsfldSHORTINT,
    AdsfldTIME,
    AdsfldTIMESTAMP,
    AdsfldAUTOINC,
    AdsfldRAW,
    AdsfldCURDOUBLE,
    AdsfldMONEY,
    AdsfldRESERVED1,
    AdsfldCISTRING,
    AdsfldROWVERSION,
    AdsfldMODTIME,
    AdsfldVARCHAR_FOX,
    AdsfldVARBINARY_FOX,
    AdsfldSYSTEM,
    AdsfldNCHAR,
    AdsfldNVARCHAR,
    AdsfldNMEMO,
};

constexpr UNSIGNED16 AdsFieldTypeCode(TAdsFieldTypes type) noexcept {
    return static_cast<UNSIGNED16>(type + 1);
}

// Two further blob codes an engine may report.
inline constexpr UNSIGNED16 kAdsFieldBlob51 = 51;
inline constexpr UNSIGNED16 kAdsFieldBlob52 = 52;
inline constexpr UNSIGNED16 kAdsFieldReserved1 = 19;
inline constexpr UNSIGNED16 kAdsFieldSystem = 25;

// Memo types: MEMO, BINARY, IMAGE, VARCHAR and NMEMO, whose values live outside the image.
constexpr bool IsAdsMemoType(UNSIGNED16 code) noexcept {
    return (code >= VE_FIELD_MEMO && code <= VE_FIELD_VARCHAR) || code == VE_FIELD_NMEMO;
}
// Memo types and the two further blob codes.
constexpr bool IsAdsBlobType(UNSIGNED16 code) noexcept {
    return IsAdsMemoType(code) || code == kAdsFieldBlob51 || code == kAdsFieldBlob52;
}

// Engine table types as the engine reports them for an open handle.
inline constexpr UNSIGNED16 kAceTableNTX = VE_TABLE_TYPE_NTX;
inline constexpr UNSIGNED16 kAceTableCDX = VE_TABLE_TYPE_CDX;
inline constexpr UNSIGNED16 kAceTableADT = VE_TABLE_TYPE_ADT;
inline constexpr UNSIGNED16 kAceTableVFP = VE_TABLE_TYPE_VFP;

// Column rights (TACEFieldDef::Permissions).
// The longest field name the engine keeps, in bytes of 8-bit text. An index segment names one of
// the fields, so a buffer for a segment's field name holds this many bytes and a zero.
inline constexpr UNSIGNED16 kSegmentNameCapacity = 128;

inline constexpr std::uint8_t kAdsPermissionUpdate = VE_COLUMN_UPDATE;
inline constexpr std::uint8_t kAdsPermissionInsert = VE_COLUMN_INSERT;

// One engine field.
class TACEFieldDef {
  public:
    TACEFieldDef() = default;
    TACEFieldDef(std::string name, UNSIGNED16 number, std::uint32_t offset, std::uint32_t length,
                 UNSIGNED16 type, UNSIGNED16 decimals, std::uint8_t permissions, bool nullable)
        : FName(std::move(name)),
          FNumber(number),
          FOffset(offset),
          FLength(length),
          FType(type),
          FDecimals(decimals),
          FPermissions(permissions),
          FNullable(nullable) {}

    const std::string& FieldName() const { return FName; }
    // 1-based.
    UNSIGNED16 FieldNumber() const { return FNumber; }
    // Position in the record image.
    std::uint32_t Offset() const { return FOffset; }
    void SetOffset(std::uint32_t offset) { FOffset = offset; }
    // Bytes in the record image (NCHAR and NVARCHAR: twice their characters).
    std::uint32_t Length() const { return FLength; }
    UNSIGNED16 FieldType() const { return FType; }
    // NUMERIC only; 0 otherwise.
    UNSIGNED16 Decimals() const { return FDecimals; }
    // The image bytes of the field changed since the edit or insert began.
    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }
    // kAdsPermissionUpdate, kAdsPermissionInsert bits.
    std::uint8_t Permissions() const { return FPermissions; }
    void SetPermissions(std::uint8_t value) { FPermissions = value; }
    bool Nullable() const { return FNullable; }

  private:
    std::string FName;
    UNSIGNED16 FNumber = 0;
    std::uint32_t FOffset = 0;
    std::uint32_t FLength = 0;
    UNSIGNED16 FType = 0;
    UNSIGNED16 FDecimals = 0;
    bool FModified = false;
    std::uint8_t FPermissions = 0;
    bool FNullable = false;
};

class TACEFieldDefs {
  public:
    explicit TACEFieldDefs(void* owner = nullptr) : FOwner(owner) {}

    TACEFieldDef& Add(TACEFieldDef def);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TACEFieldDef& operator[](int index) { return FItems.at(static_cast<std::size_t>(index)); }
    const TACEFieldDef& operator[](int index) const {
        return FItems.at(static_cast<std::size_t>(index));
    }
    // Position of the first item whose name matches (case-insensitive), or -1.
    int IndexOf(std::string_view fieldName) const;
    void* Owner() const { return FOwner; }

    auto begin() { return FItems.begin(); }
    auto end() { return FItems.end(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

  private:
    void* FOwner;
    std::vector<TACEFieldDef> FItems;
};

// The dataset type and size that an engine field becomes.
struct TAdsFieldMapping {
    db::TFieldType DataType = db::ftUnknown;
    int Size = 0;
    // BCD precision to set (0: none).
    int Precision = 0;
};

// Maps an engine field; false for a code no dataset type exists for (0, 19, 25, 29 to 50,
// above 52). numericsAsBcd: the handle is an ADT handle and AdsNumericsAsFloats is off.
bool MapAdsFieldType(UNSIGNED16 code, std::uint32_t length, UNSIGNED16 decimals, bool numericsAsBcd,
                     TAdsFieldMapping& mapping);

// A string field that knows whether its engine field compares without regard to case.
class TAdsStringField : public db::TStringField {
  public:
    explicit TAdsStringField(rtl::TComponent* owner = nullptr) : db::TStringField(owner) {}
    // True for engine CISTRING fields; set by the dataset on open.
    bool CaseInsensitive() const { return FCaseInsensitive; }
    void SetCaseInsensitive(bool value) { FCaseInsensitive = value; }

  private:
    bool FCaseInsensitive = false;
};

// A BCD field that shows a currency value unless told otherwise (NUMERIC and ROWVERSION fields
// get Currency false on open). Currency starts true unless the owner is being read from a
// stored form, which sets it itself.
class TAdsBCDField : public db::TBCDField {
  public:
    explicit TAdsBCDField(rtl::TComponent* owner = nullptr) : db::TBCDField(owner) {
        SetCurrency(owner == nullptr || !owner->ComponentState().Contains(rtl::csLoading));
    }
};

}  // namespace varelum::ads
