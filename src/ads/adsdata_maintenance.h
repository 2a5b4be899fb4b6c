// Index and table maintenance: the pieces TAdsDataSet's maintenance members share with code
// that holds only an engine table handle (the index definitions of a new table, the field text
// of AdsCreateTable90). The dataset members themselves are declared in adsdata_cursor.h and
// live in adsdata_maintenance.cpp.
#pragma once

#include <string>

#include "db/db_types.h"
#include "db/field_defs.h"
#include "db/index_defs.h"
#include "varelum_engine.h"

namespace varelum::ads {

// How CreateTable registers the new table.
enum TAdsCreateTableOption : unsigned {
    ctFreeTable = 1,
    ctDictionaryTable = 2,
};
using TAdsCreateTableOptions = unsigned;

// The engine's creation options of a table.
inline constexpr UNSIGNED32 kAceCreateFreeTable = 0x1000;
inline constexpr UNSIGNED32 kAceCreateDictionaryTable = 0x4000;

// The piece of AdsCreateTable90's field text for one definition on engine table type
// tableType (3 ADT): "Char,30;", "Integer;", ... without the name. Throws EADSDatabaseError
// (no dataset, 5121) "<type> is not a supported field type." for a type the table cannot hold.
std::string FieldTypeText(const db::TFieldDef& def, UNSIGNED16 tableType);

// "name,type;..." for every definition in order; nothing is created when one is refused.
std::string FieldDefsText(const db::TFieldDefs& defs, UNSIGNED16 tableType);

// The ";"-separated field list with every plain string field of the table (STRING, VARCHAR_FOX,
// NCHAR, NVARCHAR) wrapped in UPPER(...); the list ends at its first empty entry. A name the
// table does not know keeps the type read for the entry before it.
std::string CaseInsensitiveIndexExpression(ADSHANDLE hTable, const std::string& fields);

// The field list with every ";" turned into "+": the key expression of a field-list index on
// tables other than ADT, whose engine does not take ";" lists.
std::string PlusJoinedFields(std::string fields);

// The engine index options for the framework's options on engine table type tableType:
// ixUnique 1 (candidate 2048 on VFP), ixDescending +8, compound +2 when compound is set.
UNSIGNED32 AceIndexOptions(db::TIndexOptions options, UNSIGNED16 tableType, bool compound);

// Creates the index of definition `def` on hTable (a new table's handle). "ixCaseInsensitive
// is not supported with ixExpression indexes" (5121, no dataset) for that pair of options;
// engine failures as EADSDatabaseError without a dataset.
void CreateIndexFromDef(ADSHANDLE hTable, UNSIGNED16 tableType, const db::TIndexDef& def,
                        const std::string& collation, UNSIGNED32 pageSize);

}  // namespace varelum::ads
