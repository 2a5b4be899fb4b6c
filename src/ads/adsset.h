// TAdsSettings: the component that sets the engine's process-wide options — the date format
// of dates in text form, whether deleted records are visible, which server types connections
// may use, the number of decimals, and the sizes of the engine's caches of closed tables and
// cursors.
//
// Every property writes through to the engine in its setter, and the component keeps a copy of
// what it set. Constructing it is the program's first engine call (it loads the engine
// library). One instance is allowed per process outside design. Setting DateFormat also sets
// the program's own short date format and date separator (rtl::FormatSettings()), so that the
// program and the engine read and write dates alike, unless SetNativeDate is false.
//
// Engine refusals raise adsset::AdsError with the engine's text for the code; values the
// component refuses itself raise adsset::AdsSettingsError. The component keeps the values
// listed at each setter when it raises.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "ads/adsdata_errors.h"
#include "rtl/component.h"

namespace varelum::ads {

// The server types a connection may use (values in this order, from 0).
enum TAdsServerType {
    stADS_REMOTE,
    stADS_LOCAL,
    stADS_AIS,
};

// A set of TAdsServerType.
class TAdsServerTypes {
  public:
    constexpr TAdsServerTypes() noexcept = default;
    constexpr TAdsServerTypes(std::initializer_list<TAdsServerType> types) noexcept {
        for (const TAdsServerType type : types) {
            Include(type);
        }
    }

    constexpr bool Contains(TAdsServerType type) const noexcept { return (FBits & Bit(type)) != 0; }
    constexpr bool Empty() const noexcept { return FBits == 0; }
    constexpr void Include(TAdsServerType type) noexcept { FBits |= Bit(type); }
    constexpr void Exclude(TAdsServerType type) noexcept {
        FBits &= static_cast<unsigned>(~Bit(type));
    }
    friend constexpr bool operator==(TAdsServerTypes, TAdsServerTypes) noexcept = default;

  private:
    static constexpr unsigned Bit(TAdsServerType type) noexcept { return 1u << type; }
    unsigned FBits = 0;
};

// The engine's server-type mask of a set: local 1, remote 2, Internet 4.
UNSIGNED16 AdsServerTypeMask(TAdsServerTypes types) noexcept;

class TAdsSettings : public rtl::TComponent {
  public:
    // The stored defaults of the properties (the values that are not stored).
    static constexpr std::int8_t kDefaultNumDecimals = 2;
    static constexpr bool kDefaultSetNativeDate = true;
    static constexpr bool kDefaultShowDeleted = true;
    static constexpr TAdsServerTypes kDefaultAdsServerTypes{stADS_REMOTE, stADS_AIS};
    static constexpr std::uint16_t kDefaultNumCachedTables = 0;
    static constexpr std::uint16_t kDefaultNumCachedCursors = 25;
    // The date format used when none is given or the process's is refused.
    static constexpr const char* kFallbackDateFormat = "MM/dd/ccyy";

    // In order: counts the instance (raising rtl::Exception "Only one AdsSettings component is
    // allowed per application" when another exists, unless the component is in design), lets
    // the engine keep 25 closed cursors (AdsCacheOpenCursors), gives it the process's short
    // date format (or "MM/dd/ccyy" when refused; the process's formats stay as they are),
    // reads its decimals (AdsGetDecimals) and deleted-record visibility (AdsGetDeleted), and
    // sets the server types [stADS_REMOTE, stADS_AIS] (AdsSetServerType(6)). Any engine
    // refusal raises AdsError. A construction that fails does not count.
    explicit TAdsSettings(rtl::TComponent* owner = nullptr);
    // Changes no engine setting.
    ~TAdsSettings() override;

    // DateFormat as last accepted by the engine (whole, also when the engine got it cut).
    virtual std::string DateFormat() const;
    // An empty Value means "MM/dd/ccyy". The engine gets at most its first 11 characters
    // (AdsSetDateFormat); a refusal raises AdsError and changes nothing. Then, when
    // SetNativeDate is true, the process's short date format becomes Value with every C and Y
    // (any case) turned into "y" (the previous one is saved), and the first character that is
    // none of C, Y, M and D (any case) becomes the process's date separator; a format without
    // such a character leaves the separator as it is.
    virtual void SetDateFormat(const std::string& Value);

    std::int8_t NumDecimals() const noexcept { return FNumDecimals; }
    // AdsSetDecimals(Value), also when unchanged; a refusal keeps the old value. A negative
    // value raises rtl::ERangeError without calling the engine.
    virtual void SetNumDecimals(std::int8_t Value);

    bool ShowDeleted() const noexcept { return FShowDeleted; }
    // AdsShowDeleted(1 or 0), also when unchanged; a refusal keeps the old value.
    virtual void SetShowDeleted(bool Value);

    // The engine's last error code of this thread (AdsGetLastError, code only).
    virtual std::int32_t LastError() const;
    // The number of table handles open in the process (AdsGetNumOpenTables).
    virtual std::int16_t NumOpenTables() const;

    TAdsServerTypes AdsServerTypes() const noexcept { return FAdsServerTypes; }
    // Nothing happens when Value is the current set. An empty set raises AdsSettingsError "At
    // least one server type must be selected."; it and an engine refusal
    // (AdsSetServerType) leave the previous set in force ([stADS_REMOTE] when that was empty).
    virtual void SetAdsServerTypes(TAdsServerTypes Value);

    std::uint16_t NumCachedTables() const noexcept { return FNumCachedTables; }
    std::uint16_t NumCachedCursors() const noexcept { return FNumCachedCursors; }
    // Nothing happens when Value is the current one; otherwise it is stored and sent
    // (AdsCacheOpenTables, AdsCacheOpenCursors); a refusal raises AdsError and keeps the new
    // value.
    virtual void SetNumCachedTables(std::uint16_t Value);
    virtual void SetNumCachedCursors(std::uint16_t Value);

    bool SetNativeDate() const noexcept { return FSetNativeDate; }
    // Whether later DateFormat assignments change the process's date formats. Set to false
    // while the component is being read from its stored form (so after the stored DateFormat
    // was applied), it also restores the process's short date format and date separator as
    // they were before DateFormat changed them. The engine is not called.
    virtual void SetSetNativeDate(bool Value);

    // The number of instances that exist (or are being constructed) in the process.
    static int InstanceCount();

  private:
    // Counts an instance for the life of the member: the count is taken back also when a
    // later step of the constructor fails, which runs no destructor of TAdsSettings itself.
    class TInstanceCount {
      public:
        explicit TInstanceCount(const rtl::TComponent& settings);
        ~TInstanceCount();
        TInstanceCount(const TInstanceCount&) = delete;
        TInstanceCount& operator=(const TInstanceCount&) = delete;
    };

    TInstanceCount FInstanceCount;
    std::string FDateFormat;
    std::int8_t FNumDecimals = 0;
    bool FShowDeleted = false;
    TAdsServerTypes FAdsServerTypes;
    std::uint16_t FNumCachedTables = 0;
    std::uint16_t FNumCachedCursors = 0;
    std::string FSavedNativeDateFormat;
    char FSavedNativeDateSeparator = 0;
    bool FSetNativeDate = false;
};

}  // namespace varelum::ads
