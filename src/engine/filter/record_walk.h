// Counting and numbering records by walking a handle's order: record counts that respect
// filters or scopes, key numbers and going to the n-th key. These walk every record in
// the order (an optimised filter's order visits only its record set), so they cost time in
// proportion to what they count.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/index/index_handle.h"
#include "engine/table/record_order.h"

namespace varelum::engine {

class TableCursor;

// Whether a stored record shows through the handle: not deleted (while deleted records are
// hidden) and, `with_filters`, accepted by the handle's filters.
bool record_passes(TableCursor& table, const StoredRecord& record, bool with_filters);

// AdsGetRecordCount and AdsGetKeyCount: usOption VE_IGNORE_FILTERS (every record; every key of
// an index), VE_RESPECT_SCOPES (the keys in the index's scope) or VE_RESPECT_FILTERS (what
// navigation shows), optionally plus VE_REFRESH_COUNT. REQUIRES: the handle's order is set.
std::uint32_t count_records(TableCursor& table, IndexHandle* index, std::uint16_t option);
// Calls visit(record) for each record the handle shows under usOption (as count_records
// counts them), in the handle's order, until visit answers false. REQUIRES: the order is set.
void visit_records(TableCursor& table, IndexHandle* index, std::uint16_t option,
                   const std::function<bool(const StoredRecord&)>& visit);
// The numbers of the records visit_records visits, in that order.
std::vector<std::uint32_t> shown_records(TableCursor& table, IndexHandle* index,
                                         std::uint16_t option);
// The 1-based position of the current record among the keys in scope (with filters for
// VE_RESPECT_FILTERS); 0 on a crack or when the record has no key in scope.
std::uint32_t key_number(TableCursor& table, IndexHandle& index, std::uint16_t option);
// Goes to the k-th key in scope (EOF when there are fewer).
void goto_key_number(TableCursor& table, IndexHandle& index, std::uint32_t k);

}  // namespace varelum::engine
