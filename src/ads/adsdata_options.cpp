// TAdsTableOptions and the engine values of the option enumerations (see adsdata_options.h).
#include "ads/adsdata_options.h"

#include "ads/ace.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "db/db_messages.h"
#include "rtl/text.h"

namespace varelum::ads {
namespace {

// The character types in order; the engine's character type is the position + 1.
constexpr std::array<std::string_view, kAdsCharTypeCount> kCharTypeNames = {
    "ANSI",
    "OEM",
    "CZECH_VFP_CI_AS_1250",
    "GENERAL_VFP_CI_AS_1250",
    "HUNGARY_VFP_CI_AS_1250",
    "MACHINE_VFP_BIN_1250",
    "POLISH_VFP_CI_AS_1250",
    "SLOVAK_VFP_CI_AS_1250",
    "MACHINE_VFP_BIN_1251",
    "RUSSIAN_VFP_CI_AS_1251",
    "DUTCH_VFP_CI_AS_1252",
    "GENERAL_VFP_CI_AS_1252",
    "GERMAN_VFP_CI_AS_1252",
    "ICELAND_VFP_CI_AS_1252",
    "MACHINE_VFP_BIN_1252",
    "NORDAN_VFP_CI_AS_1252",
    "SPANISH_VFP_CI_AS_1252",
    "SWEFIN_VFP_CI_AS_1252",
    "UNIQWT_VFP_CS_AS_1252",
    "GREEK_VFP_CI_AS_1253",
    "MACHINE_VFP_BIN_1253",
    "GENERAL_VFP_CI_AS_1254",
    "MACHINE_VFP_BIN_1254",
    "TURKISH_VFP_CI_AS_1254",
    "DUTCH_VFP_CI_AS_437",
    "GENERAL_VFP_CI_AS_437",
    "GERMAN_VFP_CI_AS_437",
    "ICELAND_VFP_CI_AS_437",
    "MACHINE_VFP_BIN_437",
    "NORDAN_VFP_CI_AS_437",
    "SPANISH_VFP_CI_AS_437",
    "SWEFIN_VFP_CI_AS_437",
    "UNIQWT_VFP_CS_AS_437",
    "GENERAL_VFP_CI_AS_620",
    "MACHINE_VFP_BIN_620",
    "POLISH_VFP_CI_AS_620",
    "GREEK_VFP_CI_AS_737",
    "MACHINE_VFP_BIN_737",
    "DUTCH_VFP_CI_AS_850",
    "GENERAL_VFP_CI_AS_850",
    "ICELAND_VFP_CI_AS_850",
    "MACHINE_VFP_BIN_850",
    "NORDAN_VFP_CI_AS_850",
    "SPANISH_VFP_CI_AS_850",
    "SWEFIN_VFP_CI_AS_850",
    "UNIQWT_VFP_CS_AS_850",
    "CZECH_VFP_CI_AS_852",
    "GENERAL_VFP_CI_AS_852",
    "HUNGARY_VFP_CI_AS_852",
    "MACHINE_VFP_BIN_852",
    "POLISH_VFP_CI_AS_852",
    "SLOVAK_VFP_CI_AS_852",
    "GENERAL_VFP_CI_AS_857",
    "MACHINE_VFP_BIN_857",
    "TURKISH_VFP_CI_AS_857",
    "GENERAL_VFP_CI_AS_861",
    "ICELAND_VFP_CI_AS_861",
    "MACHINE_VFP_BIN_861",
    "GENERAL_VFP_CI_AS_865",
    "MACHINE_VFP_BIN_865",
    "NORDAN_VFP_CI_AS_865",
    "SWEFIN_VFP_CI_AS_865",
    "MACHINE_VFP_BIN_866",
    "RUSSIAN_VFP_CI_AS_866",
    "CZECH_VFP_CI_AS_895",
    "GENERAL_VFP_CI_AS_895",
    "MACHINE_VFP_BIN_895",
    "SLOVAK_VFP_CI_AS_895",
    "DANISH_ADS_CS_AS_1252",
    "DUTCH_ADS_CS_AS_1252",
    "ENGL_AMER_ADS_CS_AS_1252",
    "ENGL_CAN_ADS_CS_AS_1252",
    "ENGL_UK_ADS_CS_AS_1252",
    "FINNISH_ADS_CS_AS_1252",
    "FRENCH_ADS_CS_AS_1252",
    "FRENCH_CAN_ADS_CS_AS_1252",
    "GERMAN_ADS_CS_AS_1252",
    "ICELANDIC_ADS_CS_AS_1252",
    "ITALIAN_ADS_CS_AS_1252",
    "NORWEGIAN_ADS_CS_AS_1252",
    "PORTUGUESE_ADS_CS_AS_1252",
    "SPANISH_ADS_CS_AS_1252",
    "SPAN_MOD_ADS_CS_AS_1252",
    "SWEDISH_ADS_CS_AS_1252",
    "RUSSIAN_ADS_CS_AS_1251",
    "ASCII_ADS_CS_AS_1252",
    "TURKISH_ADS_CS_AS_1254",
    "POLISH_ADS_CS_AS_1250",
    "BALTIC_ADS_CS_AS_1257",
    "UKRAINIAN_ADS_CS_AS_1251",
    "DUDEN_DE_ADS_CS_AS_1252",
    "USA_ADS_CS_AS_437",
    "DANISH_ADS_CS_AS_865",
    "DUTCH_ADS_CS_AS_850",
    "FINNISH_ADS_CS_AS_865",
    "FRENCH_ADS_CS_AS_863",
    "GERMAN_ADS_CS_AS_850",
    "GREEK437_ADS_CS_AS_437",
    "GREEK851_ADS_CS_AS_851",
    "ICELD850_ADS_CS_AS_850",
    "ICELD861_ADS_CS_AS_861",
    "ITALIAN_ADS_CS_AS_850",
    "NORWEGN_ADS_CS_AS_865",
    "PORTUGUE_ADS_CS_AS_860",
    "SPANISH_ADS_CS_AS_852",
    "SWEDISH_ADS_CS_AS_865",
    "MAZOVIA_ADS_CS_AS_852",
    "PC_LATIN_ADS_CS_AS_852",
    "ISOLATIN_ADS_CS_AS_850",
    "RUSSIAN_ADS_CS_AS_866",
    "NTXCZ852_ADS_CS_AS_852",
    "NTXCZ895_ADS_CS_AS_895",
    "NTXSL852_ADS_CS_AS_852",
    "NTXSL895_ADS_CS_AS_895",
    "NTXHU852_ADS_CS_AS_852",
    "NTXPL852_ADS_CS_AS_852",
    "TURKISH_ADS_CS_AS_857",
    "BOSNIAN_ADS_CS_AS_775",
};

constexpr const char* kTableActive = "Table must not be Active.";

}  // namespace

std::string_view AdsCharTypeName(TAdsCharTypes value) {
    if (value < 0 || value >= kAdsCharTypeCount) {
        return {};
    }
    return kCharTypeNames[static_cast<std::size_t>(value)];
}

TAdsCharTypes AdsCharTypeByName(std::string_view name) {
    for (std::size_t i = 0; i < kCharTypeNames.size(); ++i) {
        if (rtl::SameText(kCharTypeNames[i], name)) {
            return static_cast<TAdsCharTypes>(i);
        }
    }
    return -1;
}

UNSIGNED16 AceLockType(TAdsLockTypes value) {
    return value == Proprietary ? VE_LOCK_PROPRIETARY : VE_LOCK_COMPATIBLE;
}

UNSIGNED16 AceRightsCheck(bool rightsCheck) {
    return rightsCheck ? VE_RIGHTS_CHECK : VE_RIGHTS_IGNORE;
}

UNSIGNED32 AceCachingOpenOption(TAdsTableCachingOption value) {
    switch (value) {
        case tcReads:
            return VE_OPEN_CACHE_READS;
        case tcWrites:
            return VE_OPEN_CACHE_WRITES;
        default:
            return 0;
    }
}

UNSIGNED16 AceCachedRecords(TAdsRecordCache value) {
    switch (value) {
        case rcNone:
            return 0;
        case rcAggressive:
            return 100;
        default:
            return 10;
    }
}

void TAdsTableOptions::CheckNotActive() const {
    if (mpoAdsTable != nullptr && mpoAdsTable->Active()) {
        mpoAdsTable->RaiseError(kTableActive);
    }
}

void TAdsTableOptions::SetAdsLockType(TAdsLockTypes value) {
    CheckNotActive();
    meAdsLockType = value;
}

void TAdsTableOptions::SetAdsCharType(TAdsCharTypes value) {
    CheckNotActive();
    auto refuse = [this](const char* text) {
        if (mpoAdsTable != nullptr) {
            mpoAdsTable->RaiseError(text);
        }
        RaiseAdsComponentError(nullptr, text);
    };
    if (value < 0 || value >= kAdsCharTypeCount) {
        refuse("Invalid or unknown character type.");
    }
    if (mpoAdsTable != nullptr &&
        (mpoAdsTable->TableType() == ttAdsCDX || mpoAdsTable->TableType() == ttAdsNTX) &&
        value != ANSI && value != OEM) {
        refuse("ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM.");
    }
    meAdsCharType = value;
}

void TAdsTableOptions::SetAdsRightsCheck(bool value) {
    CheckNotActive();
    mbAdsRightsCheck = value;
}

void TAdsTableOptions::SetAdsCachingOption(TAdsTableCachingOption value) {
    CheckNotActive();
    meAdsCachingOption = value;
}

void TAdsTableOptions::SetAdsRecordCache(TAdsRecordCache value) {
    meAdsRecordCache = value;
    if (mpoAdsTable != nullptr && mpoAdsTable->Active()) {
        mpoAdsTable->Check(ace::AdsCacheRecords(mpoAdsTable->Handle(), AceCachedRecords(value)));
    }
}

void TAdsTableOptions::SetAdsOptimizedFilters(bool value) {
    if (value == mbAdsOptimizedFilters) {
        return;
    }
    TAdsDataSet* table = mpoAdsTable;
    if (table == nullptr || !table->Active() || table->ComponentState().Contains(rtl::csLoading) ||
        !table->Filtered()) {
        mbAdsOptimizedFilters = value;
        return;
    }
    const bool old = mbAdsOptimizedFilters;
    try {
        // The filter of the old form goes, then the same filter comes in the new one.
        table->ClearEngineFilter();
        mbAdsOptimizedFilters = value;
        table->ApplyFilterToEngine();
        table->First();
    } catch (...) {
        mbAdsOptimizedFilters = old;
        throw;
    }
}

}  // namespace varelum::ads
