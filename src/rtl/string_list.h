// TStringList: an ordered list of text lines that tells its owner about every change. A
// query's SQL text is one: the query reacts to each change of its lines, and a caller that
// replaces many lines at once brackets them in BeginUpdate/EndUpdate so that the owner hears
// of the change once.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/exception.h"

namespace varelum::rtl {

// An index outside the list.
class EStringListError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EStringListError"; }
};

using TStringListEvent = std::function<void()>;

class TStringList {
  public:
    TStringList() = default;
    // Copies the lines, not the handlers (they belong to the list's owner).
    TStringList(const TStringList& other) : FLines(other.FLines) {}
    TStringList& operator=(const TStringList& other);

    // Run before and after each change while no update is in progress. BeginUpdate runs
    // OnChanging and the matching EndUpdate runs OnChange, once each, whatever happened in
    // between (also nothing). A handler may read the list; an exception from OnChanging
    // prevents the change.
    TStringListEvent OnChanging;
    TStringListEvent OnChange;

    int Count() const noexcept { return static_cast<int>(FLines.size()); }
    bool Empty() const noexcept { return FLines.empty(); }

    // REQUIRES: 0 <= index < Count(); otherwise EStringListError "List index out of bounds
    // (<index>)", for these and for Insert (0..Count()) and Delete.
    const std::string& operator[](int index) const;
    const std::string& Strings(int index) const { return (*this)[index]; }
    void SetStrings(int index, std::string line);

    // Appends; returns the new line's index.
    int Add(std::string line);
    void Insert(int index, std::string line);
    void Delete(int index);
    // Changes (and notifies) only when there are lines.
    void Clear();

    // Index of the first line equal to the text (ASCII case folded unless CaseSensitive), or -1.
    int IndexOf(std::string_view line) const noexcept;
    bool CaseSensitive = false;

    // Every line followed by CR LF.
    std::string Text() const;
    // Replaces the lines by those of the text, split at CR LF, LF or CR; a final line break
    // does not start another line. One change notice.
    void SetText(std::string_view text);

    // Replaces the lines by another list's (one change notice); appends another list's lines.
    void Assign(const TStringList& source);
    void AddStrings(const TStringList& source);

    // Same lines in the same order (case-sensitive).
    bool Equals(const TStringList& other) const noexcept { return FLines == other.FLines; }

    void BeginUpdate();
    // REQUIRES: a matching BeginUpdate.
    void EndUpdate();
    int UpdateCount() const noexcept { return FUpdateCount; }

    const std::vector<std::string>& Lines() const noexcept { return FLines; }
    auto begin() const noexcept { return FLines.begin(); }
    auto end() const noexcept { return FLines.end(); }

  private:
    // Runs OnChanging, then the change, then OnChange.
    template <typename Change>
    void Changing(Change&& change);
    template <typename Body>
    void InUpdate(Body&& body);
    void CheckIndex(int index, int limit) const;
    void NotifyChanging() const;
    void NotifyChanged() const;

    std::vector<std::string> FLines;
    int FUpdateCount = 0;
};

}  // namespace varelum::rtl
