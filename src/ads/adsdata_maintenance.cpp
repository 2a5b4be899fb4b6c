// TAdsDataSet: adding and deleting indexes, emptying, packing, deleting and creating the table.
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/ace_text.h"
#include "ads/adsdata_cursor.h"
#include "ads/adsdata_errors.h"
#include "ads/adsdata_maintenance.h"
#include "ads/adsdata_registry.h"
#include "db/db_messages.h"
#include "rtl/code_page.h"

namespace varelum::ads {
namespace {

constexpr const char* kCaseInsensitiveExpression =
    "ixCaseInsensitive is not supported with ixExpression indexes";
constexpr const char* kActiveAndExclusive = "Table must be Active and Exclusive.";
constexpr const char* kActiveIndex = "Cannot delete the active index!";
constexpr const char* kPrimaryKeyStatement =
    "EXECUTE PROCEDURE sp_ModifyTableProperty( %s, %s, %s, %s, %s )";

// An SQL string literal: single quotes, inner single quotes doubled.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

// The statement text with each "%s" replaced by the next argument.
std::string FillStatement(std::string text, const std::vector<std::string>& arguments) {
    std::size_t at = 0;
    for (const std::string& argument : arguments) {
        at = text.find("%s", at);
        text.replace(at, 2, argument);
        at += argument.size();
    }
    return text;
}

// Executes a statement that returns no rows on the connection; the statement handle is closed
// also when the statement fails (that close's answer is beside the point then).
void ExecuteOnConnection(ADSHANDLE connection, const std::string& statement) {
    ADSHANDLE handle = 0;
    CheckAceResult(nullptr, ace::AdsCreateSQLStatement(connection, &handle));
    try {
        ADSHANDLE cursor = 0;
        const std::string text = rtl::Utf8ToAnsi(statement);
        CheckAceResult(nullptr, ace::AdsExecuteSQLDirect(handle, Text8(text), &cursor));
        if (cursor != 0) {
            CheckAceResult(nullptr, ace::AdsCloseTable(cursor));
        }
    } catch (...) {
        (void)ace::AdsCloseSQLStatement(handle);
        throw;
    }
    CheckAceResult(nullptr, ace::AdsCloseSQLStatement(handle));
}

}  // namespace

void TAdsDataSet::WithTableHandle(const std::function<void(ADSHANDLE)>& body) {
    bool temporary = false;
    const ADSHANDLE handle = TemporaryOrOpenHandle(temporary);
    try {
        body(handle);
    } catch (...) {
        if (temporary) {
            Check(ace::AdsCloseTable(handle));
        }
        throw;
    }
    if (temporary) {
        Check(ace::AdsCloseTable(handle));
    }
}

// --- Indexes -----------------------------------------------------------------------------------

void TAdsDataSet::AddIndex(const std::string& strName, const std::string& strFields,
                           db::TIndexOptions poOptions) {
    // Tag-holding types keep the index as a tag of the table's index file; the others give it
    // a file of its own named after the index.
    const bool compound =
        TableType() == ttAdsCDX || TableType() == ttAdsADT || TableType() == ttAdsVFP;
    AddIndexEx(compound ? std::string() : strName, strName, strFields, poOptions);
}

void TAdsDataSet::AddIndexEx(const std::string& strFileName, const std::string& strIndexName,
                             const std::string& strFields, db::TIndexOptions poOptions) {
    const bool compound =
        TableType() == ttAdsCDX || TableType() == ttAdsADT || TableType() == ttAdsVFP;
    const UNSIGNED32 options = AceIndexOptions(poOptions, musOpenTableType, compound);
    WithTableHandle([&](ADSHANDLE handle) {
        std::string fields = strFields;
        if ((poOptions & db::ixCaseInsensitive) != 0) {
            if ((poOptions & db::ixExpression) != 0) {
                RaiseError(kCaseInsensitiveExpression);
            }
            fields = CaseInsensitiveIndexExpression(handle, fields);
        }
        if (TableType() != ttAdsADT) {
            fields = PlusJoinedFields(fields);
        }
        const std::string file = rtl::Utf8ToAnsi(compound ? strFileName : strIndexName);
        const std::string tag = rtl::Utf8ToAnsi(strIndexName);
        const std::string expression = rtl::Utf8ToAnsi(fields);
        const std::string collation = rtl::Utf8ToAnsi(GetEffectiveCollation());
        ADSHANDLE index = 0;
        Check(ace::AdsCreateIndex90(handle, file.empty() ? nullptr : Text8(file),
                                    compound ? Text8(tag) : nullptr, Text8(expression), nullptr,
                                    nullptr, options, AdsTableOptions().AdsIndexPageSize(),
                                    Text8(collation), &index));
    });
    InvalidateIndexDefs();
}

void TAdsDataSet::DeleteIndex(const std::string& strName) {
    if (!Active() || !mbExclusive) {
        RaiseError(kActiveAndExclusive);
    }
    const std::string name = rtl::Utf8ToAnsi(strName);
    ADSHANDLE index = 0;
    Check(ace::AdsGetIndexHandle(mlHandle, Text8(name), &index));
    if (index == mlActiveHandle) {
        RaiseError(kActiveIndex);
    }
    Check(ace::AdsDeleteIndex(index));
    InvalidateIndexDefs();
}

// --- Records -----------------------------------------------------------------------------------

void TAdsDataSet::EmptyTable() {
    if (Active()) {
        CheckBrowseMode();
        Check(ace::AdsZapTable(mlHandle));
        ClearBuffers();
        DataEvent(db::deDataSetChange);
        return;
    }
    WithTableHandle([&](ADSHANDLE handle) { Check(ace::AdsZapTable(handle)); });
}

void TAdsDataSet::PackTable() {
    if (!Active()) {
        return;
    }
    Check(ace::AdsPackTable(mlHandle));
    Resync();
}

void TAdsDataSet::DeleteTable() {
    CheckInactive();
    const ADSHANDLE handle = OpenEngineCursor();
    const UNSIGNED32 result = ace::AdsDeleteTable(handle);
    if (result != VE_SUCCESS) {
        // The engine keeps the handle open when it refuses; its error is read before the
        // close, whose success would clear it.
        try {
            Check(result);
        } catch (...) {
            (void)ace::AdsCloseTable(handle);
            throw;
        }
    }
}

// --- Creating the table -----------------------------------------------------------------------

void TAdsDataSet::InternalCreateTable(unsigned eOptions) {
    CheckInactive();
    UNSIGNED32 creation = AceCachingOpenOption(AdsTableOptions().AdsCachingOption());
    if ((eOptions & ctFreeTable) != 0) {
        creation |= kAceCreateFreeTable;
    }
    if ((eOptions & ctDictionaryTable) != 0) {
        creation |= kAceCreateDictionaryTable;
    }
    const bool dictionary = HasDictionaryConnection();
    const std::string tableName =
        dictionary ? mstrTableName : GetDatabasePath() + "\\" + mstrTableName;

    // Persistent field objects describe the table; the definitions follow them.
    if (Fields().Count() > 0) {
        FieldDefs().Clear();
        for (int i = 0; i < Fields().Count(); ++i) {
            const db::TField& field = Fields()[i];
            if (field.FieldKind() == db::fkData) {
                db::TFieldDef& def = FieldDefs().Add(field.FieldName(), field.DataType(),
                                                     field.Size(), field.Required());
                def.SetPrecision(field.Precision());
            }
        }
    }
    // Every field text is built first, so a refused type creates nothing.
    const std::string fields = rtl::Utf8ToAnsi(FieldDefsText(FieldDefs(), musOpenTableType));

    ADSHANDLE connection = 0;
    if (mpoAdsConnection != nullptr) {
        if (!mpoAdsConnection->IsConnected()) {
            mpoAdsConnection->Connect();
        }
        connection = mpoAdsConnection->ConnectionHandle();
    }
    const TAdsTableOptions& tableOptions = AdsTableOptions();
    const std::string name = rtl::Utf8ToAnsi(tableName);
    const std::string collation = GetEffectiveCollation();
    const std::string engineCollation = rtl::Utf8ToAnsi(collation);
    ADSHANDLE table = 0;
    Check(ace::AdsCreateTable90(connection, Text8(name), nullptr, musOpenTableType,
                                static_cast<UNSIGNED16>(tableOptions.AdsCharType() + 1),
                                AceLockType(tableOptions.AdsLockType()),
                                AceRightsCheck(tableOptions.AdsRightsCheck()), 0, Text8(fields),
                                creation, Text8(engineCollation), &table));
    try {
        const bool primaryKeys =
            dictionary && (eOptions & ctFreeTable) == 0 && musOpenTableType == kAceTableADT;
        for (int i = 0; i < mpoIndexDefs->Count(); ++i) {
            db::TIndexDef& def = (*mpoIndexDefs)[i];
            const bool primary = primaryKeys && (def.Options() & db::ixPrimary) != 0;
            if (primary) {
                def.SetOptions(def.Options() | db::ixUnique);
            }
            CreateIndexFromDef(table, musOpenTableType, def, collation,
                               tableOptions.AdsIndexPageSize());
            if (primary) {
                try {
                    ExecuteOnConnection(
                        connection, FillStatement(kPrimaryKeyStatement,
                                                  {Quoted(tableName), "'TABLE_PRIMARY_KEY'",
                                                   Quoted(def.Name()), "'NO_VALIDATE'", "NULL"}));
                } catch (const EADSDatabaseError& error) {
                    // 5132: the connection cannot keep table properties; the index stands.
                    if (error.ACEErrorCode() != VE_DICTIONARY_ONLY) {
                        throw;
                    }
                }
            }
        }
    } catch (...) {
        Check(ace::AdsCloseTable(table));
        throw;
    }
    Check(ace::AdsCloseTable(table));
}

}  // namespace varelum::ads
