// Locate and Lookup of engine datasets: finding the first record whose fields hold given
// values, with a seek on an index that fits the key fields or else with an engine filter
// expression built from the values. The members of TAdsDataSet that do it (Locate, Lookup,
// FindMatchingRecord, BuildFilterString, LocateLocally, the index tests and the scans that
// consult OnFilterRecord) live in adsdata_locate.cpp; this header holds the list helpers of
// the index choice, which need no dataset.
//
// Field lists are names separated by ";" (for instance "SENHA;LOJA"); blanks around a name
// are not part of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "varelum_engine.h"

namespace varelum::ads {

// The text classes of engine fields that searches treat alike: narrow (8-bit) strings and
// wide (UTF-16) strings.
constexpr bool IsNarrowStringType(UNSIGNED16 type) noexcept {
    return type == VE_FIELD_STRING || type == VE_FIELD_CISTRING || type == VE_FIELD_VARCHAR_FOX;
}
constexpr bool IsWideStringType(UNSIGNED16 type) noexcept {
    return type == VE_FIELD_NCHAR || type == VE_FIELD_NVARCHAR;
}

// The entries of list, in order (blanks around each removed, empty entries left out).
std::vector<std::string> FieldListItems(std::string_view list);

// The 1-based position of the first entry of list that equals name (ASCII letters compared
// without regard to case); 0 when there is none.
int FieldPositionInList(std::string_view name, std::string_view list);

// The n-th entry of list (counted from 1); empty when the list is shorter.
std::string NthListItem(int n, std::string_view list);

// Whether an index over indexFields can seek keyFields: the key fields must be exactly the
// leading fields of the index, in any order and without a gap (naming one twice does no harm;
// positions past 100 are never covered; no key fields are never covered). When covered,
// lastCovered is the upper-cased index field at the largest position named.
bool IndexCoversKeyFields(std::string_view indexFields, std::string_view keyFields,
                          std::string& lastCovered);

}  // namespace varelum::ads
