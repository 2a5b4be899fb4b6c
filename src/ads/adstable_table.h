// TAdsTable: one table of an engine database, opened by name and presented as a dataset.
//
// The class chain is TAdsDataSet → TAdsExtendedDataSet → TAdsExtendedTable → TAdsTable. The
// two middle classes hold no state; they add the direct engine operations (adsfunc.h). TAdsTable
// supplies the step that opens the table file (OpenEngineCursor) and the table's own
// properties and operations; walking, buffering and field access are TAdsDataSet's.
//
// The table open passes the engine: the connection of the dataset's database, the database
// path + "\" + TableName exactly as written (the extension, if any, is part of TableName; none
// is added), the engine table type that TableType gives (3 for ADT), the character type
// (AdsCharType + 1), the lock type (1 Proprietary, 0 Compatible), the rights check (1 or 2),
// the open options (1 exclusive, 2 read-only, 256 reindex and 512 ignore on a collation
// mismatch, 0x20000000 and 0x40000000 for read and write caching) and the effective
// collation. A failure raises and leaves nothing open.
#pragma once

#include <string>
#include <vector>

#include "ads/adsfunc.h"

namespace varelum::ads {

enum TIndexCollationMismatchOptions {
    icmError,
    icmIgnore,
    icmReindex,
};

class TAdsTable : public TAdsExtendedTable {
  public:
    explicit TAdsTable(rtl::TComponent* owner = nullptr);
    ~TAdsTable() override;

    // Refused while open ("Cannot perform this operation on an open dataset", 5121). A new
    // name empties IndexFiles (except while a stored form is read).
    void SetTableName(const std::string& Value);
    // The framework's inactive check first (the generic open-dataset error).
    void SetExclusive(bool value);
    void SetReadOnly(bool value);
    TIndexCollationMismatchOptions IndexCollationMismatch() const {
        return meIndexCollationMismatch;
    }
    // Refused while open.
    void SetIndexCollationMismatch(TIndexCollationMismatchOptions value);
    const std::string& EncryptionPassword() const { return FstrEncryptionPassword; }
    void SetEncryptionPassword(std::string value) { FstrEncryptionPassword = std::move(value); }
    bool StoreDefs() const { return FStoreDefs; }
    void SetStoreDefs(bool value) { FStoreDefs = value; }
    const std::string& InfoExpression() const { return FInfoExpression; }
    void SetInfoExpression(std::string value) { FInfoExpression = std::move(value); }

    // True while open; otherwise whether the file TableFilePath() exists (never the engine);
    // false without a TableName.
    bool Exists();
    // The table file: the database path, "/" and TableName, with ".adt" (ttAdsADT) or ".dbf"
    // (other types) added when TableName has no extension.
    std::string TableFilePath();
    // The AutoInc value of the last record this table appended (range error from 2^31 on).
    std::int32_t LastAutoincVal() override;

    // AdsRestructureTable90 with the three field texts unchanged. Refused while open, without
    // TableName or without a database path.
    void Restructure(const std::string& strAddFields, const std::string& strDeleteFields,
                     const std::string& strChangeFields);
    // Only on a dictionary connection; otherwise "The method RenameTable in TAdsDataSet is
    // not supported on free tables.".
    void RenameTable(const std::string& NewTableName) override;
    // The master fields named by MasterFields and this table's fields of the index that
    // IndexName (or IndexFieldNames) selects.
    void GetDetailLinkFields(std::vector<db::TField*>& MasterFields,
                             std::vector<db::TField*>& DetailFields);
    // TableName without its extension when the fourth character from the end is ".".
    std::string ProviderTableName() const;

  protected:
    ADSHANDLE OpenEngineCursor() override;

  private:
    // The table name the engine gets: TableName on a dictionary connection, else the path
    // + "\" + TableName.
    std::string EngineTableName(const std::string& path) const;

    TIndexCollationMismatchOptions meIndexCollationMismatch = icmError;
    std::string FstrEncryptionPassword;
    bool FStoreDefs = false;
    std::string FInfoExpression;
};

}  // namespace varelum::ads
