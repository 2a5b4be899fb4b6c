// TAdsTableOptions: the per-dataset engine options (locking, character type and collation,
// rights checking, counting with filters and scopes, filters, record caching, locking mode,
// spaces, locate behaviour), and the enumerations they are made of.
//
// TAdsTable and TAdsQuery publish the object as AdsTableOptions. Options that the engine takes
// at open (lock type, character type, rights check, caching) are refused while the dataset is
// open; the record cache is applied at once; the others are plain values read when needed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "varelum_engine.h"

namespace varelum::ads {

class TAdsDataSet;

enum TAdsLockTypes {
    Proprietary,
    Compatible,
};

// The character types: ANSI, OEM, then 116 named collations; the engine's character type is
// the position + 1, and the name of each value is the collation text that goes with it.
using TAdsCharTypes = int;
inline constexpr TAdsCharTypes ANSI = 0;
inline constexpr TAdsCharTypes OEM = 1;
inline constexpr int kAdsCharTypeCount = 118;
// The name of a character type ("ANSI", "OEM", "CZECH_VFP_CI_AS_1250", ...); empty for a
// value out of range.
std::string_view AdsCharTypeName(TAdsCharTypes value);
// The position of a name (case-insensitive), or -1.
TAdsCharTypes AdsCharTypeByName(std::string_view name);

enum TAdsFilterOptions {
    IGNORE_WHEN_COUNTING,
    RESPECT_WHEN_COUNTING,
};

enum TAdsScopeOptions {
    IGNORE_SCOPES_WHEN_COUNTING,
    RESPECT_SCOPES_WHEN_COUNTING,
};

enum TAdsRecordCache {
    rcNone,
    rcStandard,
    rcAggressive,
};

enum TAdsAOFTypes {
    atDynamic,
    atKeySet,
    atFixed,
};

enum TAdsRecordLockingMode {
    lmPessimistic,
    lmOptimistic,
};

enum TAdsTableCachingOption {
    tcNone,
    tcReads,
    tcWrites,
};

enum TAdsLocateBehavior {
    lbFastestPossible,
    lbFindFirst,
};

// Engine values of the options.
UNSIGNED16 AceLockType(TAdsLockTypes value);
UNSIGNED16 AceRightsCheck(bool rightsCheck);
UNSIGNED32 AceCachingOpenOption(TAdsTableCachingOption value);
// Records the engine may read ahead for each record-cache setting.
UNSIGNED16 AceCachedRecords(TAdsRecordCache value);

class TAdsTableOptions {
  public:
    explicit TAdsTableOptions(TAdsDataSet* owningDataSet) : mpoAdsTable(owningDataSet) {}

    TAdsDataSet* OwningDataSet() const { return mpoAdsTable; }

    // Refused while the dataset is open: "Table must not be Active." (5121).
    TAdsLockTypes AdsLockType() const { return meAdsLockType; }
    void SetAdsLockType(TAdsLockTypes value);
    // Refused while open; on a closed CDX or NTX dataset only ANSI or OEM ("ttAdsCDX and
    // ttAdsNTX table types only support an AdsCharType of ANSI or OEM."); only values below 118
    // ("Invalid or unknown character type.").
    TAdsCharTypes AdsCharType() const { return meAdsCharType; }
    void SetAdsCharType(TAdsCharTypes value);
    // Stores the character type the engine reports for an open table (no checks).
    void AssignOpenCharType(TAdsCharTypes value) { meAdsCharType = value; }

    TAdsFilterOptions AdsFilterOptions() const { return meAdsRespectFilters; }
    void SetAdsFilterOptions(TAdsFilterOptions value) { meAdsRespectFilters = value; }
    TAdsScopeOptions AdsScopeOptions() const { return meAdsRespectScopes; }
    void SetAdsScopeOptions(TAdsScopeOptions value) { meAdsRespectScopes = value; }

    // Refused while open.
    bool AdsRightsCheck() const { return mbAdsRightsCheck; }
    void SetAdsRightsCheck(bool value);

    // Re-applies the filter of an open, filtered dataset in the new form.
    bool AdsOptimizedFilters() const { return mbAdsOptimizedFilters; }
    void SetAdsOptimizedFilters(bool value);
    bool AdsFreshRecordCount() const { return mbRefreshCount; }
    void SetAdsFreshRecordCount(bool value) { mbRefreshCount = value; }
    bool AdsAOFResolveImmediate() const { return mbAOFResolveImmediate; }
    void SetAdsAOFResolveImmediate(bool value) { mbAOFResolveImmediate = value; }
    // Set on open from the table's first index.
    std::uint32_t AdsIndexPageSize() const { return mulIndexPageSize; }
    void SetAdsIndexPageSize(std::uint32_t value) { mulIndexPageSize = value; }
    // On an open dataset the engine is told at once (AdsCacheRecords 0, 10 or 100).
    TAdsRecordCache AdsRecordCache() const { return meAdsRecordCache; }
    void SetAdsRecordCache(TAdsRecordCache value);
    TAdsAOFTypes AdsAOFType() const { return meAdsAOFType; }
    void SetAdsAOFType(TAdsAOFTypes value) { meAdsAOFType = value; }
    bool AdsAutoKeyFieldCount() const { return mbAutoKeyFieldCount; }
    void SetAdsAutoKeyFieldCount(bool value) { mbAutoKeyFieldCount = value; }
    bool AdsCalcFieldsBeforeFilter() const { return mbCalcFieldsBeforeFilter; }
    void SetAdsCalcFieldsBeforeFilter(bool value) { mbCalcFieldsBeforeFilter = value; }
    TAdsRecordLockingMode AdsRecordLockingMode() const { return meRecordLockingMode; }
    void SetAdsRecordLockingMode(TAdsRecordLockingMode value) { meRecordLockingMode = value; }
    bool AdsPreserveSpaces() const { return mbPreserveSpaces; }
    void SetAdsPreserveSpaces(bool value) { mbPreserveSpaces = value; }
    bool AdsNumericsAsFloats() const { return mbNumericsAsFloats; }
    void SetAdsNumericsAsFloats(bool value) { mbNumericsAsFloats = value; }
    const std::string& AdsCollation() const { return mstrCollation; }
    void SetAdsCollation(std::string value) { mstrCollation = std::move(value); }
    // Refused while open.
    TAdsTableCachingOption AdsCachingOption() const { return meAdsCachingOption; }
    void SetAdsCachingOption(TAdsTableCachingOption value);
    TAdsLocateBehavior AdsLocateBehavior() const { return meAdsLocateBehavior; }
    void SetAdsLocateBehavior(TAdsLocateBehavior value) { meAdsLocateBehavior = value; }

  private:
    void CheckNotActive() const;

    TAdsLockTypes meAdsLockType = Proprietary;
    TAdsCharTypes meAdsCharType = ANSI;
    TAdsFilterOptions meAdsRespectFilters = IGNORE_WHEN_COUNTING;
    TAdsScopeOptions meAdsRespectScopes = IGNORE_SCOPES_WHEN_COUNTING;
    bool mbAdsRightsCheck = true;
    TAdsDataSet* mpoAdsTable;
    bool mbAdsOptimizedFilters = true;
    bool mbRefreshCount = false;
    bool mbAOFResolveImmediate = false;
    std::uint32_t mulIndexPageSize = 0;
    TAdsRecordCache meAdsRecordCache = rcStandard;
    TAdsAOFTypes meAdsAOFType = atDynamic;
    bool mbAutoKeyFieldCount = false;
    bool mbCalcFieldsBeforeFilter = false;
    TAdsRecordLockingMode meRecordLockingMode = lmPessimistic;
    bool mbPreserveSpaces = false;
    bool mbNumericsAsFloats = false;
    std::string mstrCollation;
    TAdsTableCachingOption meAdsCachingOption = tcNone;
    TAdsLocateBehavior meAdsLocateBehavior = lbFastestPossible;
};

}  // namespace varelum::ads
