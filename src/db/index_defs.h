// Index definitions: the indexes a dataset's source offers (name, key fields, expression,
// options), as the dataset reads them for ordering and searching.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db_types.h"

namespace varelum::db {

class TIndexDef {
  public:
    TIndexDef(std::string name, std::string fields, TIndexOptions options)
        : FName(std::move(name)), FFields(std::move(fields)), FOptions(options) {}

    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }
    // The key fields, ";"-separated.
    const std::string& Fields() const { return FFields; }
    void SetFields(std::string fields) { FFields = std::move(fields); }
    // The key expression of an expression index (ixExpression); empty otherwise.
    const std::string& Expression() const { return FExpression; }
    void SetExpression(std::string expression) { FExpression = std::move(expression); }
    TIndexOptions Options() const { return FOptions; }
    void SetOptions(TIndexOptions options) { FOptions = options; }

  private:
    std::string FName;
    std::string FFields;
    std::string FExpression;
    TIndexOptions FOptions;
};

class TIndexDefs {
  public:
    // Appends a definition; "Duplicate index name '%s'" when the name is taken.
    TIndexDef& Add(std::string name, std::string fields, TIndexOptions options = 0);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TIndexDef& operator[](int index) { return *FItems.at(static_cast<std::size_t>(index)); }
    const TIndexDef& operator[](int index) const {
        return *FItems.at(static_cast<std::size_t>(index));
    }
    int IndexOf(std::string_view name) const;
    TIndexDef* FindIndex(std::string_view name) const;
    // "Index '%s' not found" when there is none.
    TIndexDef& Find(std::string_view name) const;
    // The first index whose key fields equal the names (case-insensitive), else the first
    // whose key fields begin with them; none when no index fits.
    TIndexDef* GetIndexForFields(std::string_view fields, bool caseInsensitive = false) const;

    // Out-of-date definitions are read again by the dataset that owns them.
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool value) { FUpdated = value; }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

  private:
    std::vector<std::unique_ptr<TIndexDef>> FItems;
    bool FUpdated = false;
};

}  // namespace varelum::db
