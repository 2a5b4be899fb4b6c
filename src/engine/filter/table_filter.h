// A filter on a table handle: an optimised filter (AOF) or a plain one.
//
// A plain filter is evaluated record by record. An AOF is first split into terms
// (expr::split_filter); each term that compares an indexed expression with a constant is
// resolved through that index tag to the record numbers it lets through, without reading a
// record, and AND and OR combine such sets. What no index answers is evaluated record by
// record on the candidates. The optimisation level says which happened: full (no record is
// evaluated), partial (a residual part is) or none.
//
// Kinds of AOF (option bits of AdsSetAOF100): dynamic (0) always shows what the condition
// selects now, so its record set is resolved again after any change to the file; key-set (4)
// fixes the set of records when resolved and hides members that no longer match; fixed (8)
// fixes the set and shows its members whatever they hold now. Option 1 resolves at once,
// 2 at first use. AdsCustomizeAOF adds and removes records on top of any kind.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/expr/filter_terms.h"
#include "engine/index/index_tag.h"
#include "engine/index/table_expression.h"
#include "engine/table/record_order.h"

namespace varelum::engine {

class TableCursor;

// Values of AdsGetAOFOptLevel100.
enum class OptimizationLevel : std::uint16_t { Full = 1, Partial = 2, None = 3 };

// AOF option bits.
constexpr std::uint32_t kAofResolveNow = 0x0001;
constexpr std::uint32_t kAofResolveLater = 0x0002;
constexpr std::uint32_t kAofKeySet = 0x0004;
constexpr std::uint32_t kAofFixed = 0x0008;
constexpr std::uint32_t kFilterUtf16 = 0x2000;

class TableFilter {
  public:
    // Compiles `text` (8-bit) as a condition of the table. `optimized`: an AOF, analysed
    // against the table's index tags now. Throws VE_INVALID_EXPRESSION.
    TableFilter(TableCursor& table, std::string text, bool optimized, std::uint32_t options,
                HandleSettings settings);
    TableFilter(const TableFilter&) = delete;
    TableFilter& operator=(const TableFilter&) = delete;

    const std::string& text() const { return text_; }
    bool optimized() const { return optimized_; }
    OptimizationLevel level() const { return level_; }
    // The part evaluated record by record ("" when fully optimised).
    std::string residual_text() const;

    // Whether a stored record passes.
    bool accepts(const Snapshot& txn, const StoredRecord& record);
    // The records that pass, ascending, when the filter has a record set (an optimised or
    // resolved AOF); nothing when every record must be evaluated.
    const std::vector<std::uint32_t>* members(const Snapshot& txn);
    // Resolves again now (AdsRefreshAOF).
    void refresh(const Snapshot& txn);
    // AdsCustomizeAOF: 1 adds, 2 removes, 3 toggles the records.
    void customize(const Snapshot& txn, const std::vector<std::uint32_t>& records,
                   std::uint16_t option);

  private:
    void analyse();
    std::optional<std::vector<std::uint32_t>> resolve_node(const Snapshot& txn,
                                                           const expr::FilterNode& node);
    std::optional<std::vector<std::uint32_t>> resolve_term(const Snapshot& txn,
                                                           const expr::FilterTerm& term);
    const IndexTag* tag_for(const expr::FilterTerm& term) const;
    void resolve(const Snapshot& txn);
    bool evaluate_residual(const Snapshot& txn, const StoredRecord& record) const;
    bool evaluate_whole(const Snapshot& txn, const StoredRecord& record) const;
    void apply_customizations();

    TableCursor& table_;
    std::string text_;
    bool optimized_;
    std::uint32_t options_;
    HandleSettings settings_;
    expr::Expression expression_;
    expr::FilterNode tree_;
    std::vector<std::shared_ptr<const IndexTag>> tags_;
    OptimizationLevel level_ = OptimizationLevel::None;
    // Children of a top-level AND (or the root itself) that indexes answer, and the rest.
    std::vector<const expr::FilterNode*> indexed_;
    std::vector<const expr::FilterNode*> residual_;

    bool resolved_ = false;
    bool has_set_ = false;
    std::uint64_t resolved_txnid_ = 0;
    std::vector<std::uint32_t> resolved_set_;  // before customizations
    std::vector<std::uint32_t> members_;       // after them
    std::set<std::uint32_t> added_;
    std::set<std::uint32_t> removed_;
};

// Record-number order restricted to a filter's record set: navigation of a table handle
// with an optimised AOF visits only the records the set holds.
class RecordSetOrder final : public RecordOrder {
  public:
    // `natural` is the table's record-number order, followed when the filter has no set.
    RecordSetOrder(const TableFile& file, TableFilter& filter, RecordOrder& natural)
        : file_(file), filter_(filter), natural_(natural) {}
    StoredRecord first(const Snapshot& txn) override;
    StoredRecord last(const Snapshot& txn) override;
    StoredRecord after(const Snapshot& txn, std::uint32_t recno,
                       const std::uint8_t* image) override;
    StoredRecord before(const Snapshot& txn, std::uint32_t recno,
                        const std::uint8_t* image) override;

  private:
    // The record of members[index], walking on in `step` past numbers without a record.
    StoredRecord fetch(const Snapshot& txn, const std::vector<std::uint32_t>& members,
                       std::ptrdiff_t index, int step);

    const TableFile& file_;
    TableFilter& filter_;
    RecordOrder& natural_;
};

}  // namespace varelum::engine
