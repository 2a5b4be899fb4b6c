// Binding a statement's parameters: each parameter of a TParams goes to the engine statement by
// number (the first at 1), by its data type. Used by queries and by the connection's Execute.
#pragma once

#include "db/params.h"
#include "varelum_engine.h"

namespace varelum::ads {

class TAdsDatabaseLink;

// Binds param at position number of statement: a null value as empty; otherwise by data
// type (text types as 8-bit text, Wide types as UTF-16, Boolean as logical, Float and Currency
// as double, Date as a Julian day, Time as milliseconds, DateTime as a raw timestamp, the byte
// types as binary). ftUnknown raises EADSDatabaseError (oDataSet, may be null; 5121) "The
// field named: '<name>' has the DataType of ftUnknown, which is invalid."; a type with no
// engine form (ftFMTBcd) is left unbound. An engine refusal raises through CheckAceResult with
// oDataSet; a date beyond the engine's range raises rtl::ERangeError.
void BindStatementParameter(TAdsDatabaseLink* oDataSet, ADSHANDLE statement,
                            const db::TParam& param, UNSIGNED16 number);

// Binds every parameter of params, in order.
void BindStatementParameters(TAdsDatabaseLink* oDataSet, ADSHANDLE statement,
                             const db::TParams& params);

}  // namespace varelum::ads
