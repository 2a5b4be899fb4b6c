// The dataset framework's own messages, in English, and the helpers that raise them as
// EDatabaseError. Texts are used exactly as they stand; "%s" marks where a name goes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace varelum::db {

class TDataSet;

namespace msg {
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit mode";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldValueError = "Invalid value for field '%s'";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SNotInteger = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SNotFloat = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SNotBoolean = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SNotDateTime = "'%s' is not a valid date and time for field '%s'";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SCapabilityNotSupported = "Capability not supported";
inline constexpr const char* STablesNotSame = "Tables are not the same";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SNoFieldDefs = "No fields defined. Cannot create dataset";
inline constexpr const char* SFieldDefNotFound = "Field definition '%s' not found";
inline constexpr const char* SDuplicateFieldDef = "Duplicate field definition '%s'";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SBlobNotInEditMode = "Cannot modify a blob field outside edit mode";
inline constexpr const char* SNotABlobField = "Field '%s' is not a blob field";
inline constexpr const char* SFilterTextNotSupported = "Filter expressions are not supported";
}  // namespace msg

// Throws EDatabaseError with the text; when a dataset with a name is given, the message is
// its Name, ": " and the text (so the user sees which dataset failed).
[[noreturn]] void DatabaseError(std::string_view text, const TDataSet* dataSet = nullptr);
// The same with the pattern's "%s" places filled in order (rtl::Format).
[[noreturn]] void DatabaseErrorFmt(std::string_view pattern,
                                   std::initializer_list<std::string_view> args,
                                   const TDataSet* dataSet = nullptr);

}  // namespace varelum::db
