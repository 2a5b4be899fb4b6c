// Procedures run by EXECUTE PROCEDURE name(arguments): the engine's own (sp_setapplicationid,
// sp_getapplicationid, sp_ModifyTableProperty) and those a data dictionary keeps.
//
// A dictionary procedure has named, typed parameters and a body of one or more statements
// (queries, changes of rows, calls of procedures) in which ":name" stands for the argument of
// that parameter. Its body runs on the caller's connection with the caller's rights, as one
// statement: a failure anywhere in it leaves every row as it was. The result cursor is that of
// the body's last query.
#pragma once

#include <string_view>

namespace varelum::engine::sql {

// Checks a dictionary procedure before it is stored: its parameters as field text, and a body
// of queries, changes of rows and procedure calls whose every marker names a parameter.
// Throws VE_INVALID_FIELD_DEFINITION or the SQL error of the body.
void check_procedure(std::string_view parameters, std::string_view body);

// The most procedures that run inside one another (a procedure that calls itself ends here).
inline constexpr int kMaxProcedureDepth = 16;

}  // namespace varelum::engine::sql
