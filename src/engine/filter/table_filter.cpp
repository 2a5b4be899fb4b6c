// Filters and their resolution through index tags (see table_filter.h).
#include "engine/filter/table_filter.h"

#include <algorithm>

#include "engine/core/error.h"
#include "engine/core/text.h"
#include "engine/index/index_catalog.h"
#include "engine/storage/table_file.h"
#include "engine/table/table_cursor.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

using expr::FilterNode;
using expr::FilterTerm;
using expr::TermOperator;
using RecordSet = std::vector<std::uint32_t>;

constexpr char kValueMarker = 0x01;  // first byte of every key of a value (0x00: null)

// A half-open range of stored key bytes; no `to`: to the end of the values.
struct KeyRange {
    std::string from;
    std::optional<std::string> to;
};

RecordSet intersect(const RecordSet& a, const RecordSet& b) {
    RecordSet out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

RecordSet unite(const RecordSet& a, const RecordSet& b) {
    RecordSet out;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::string successor(const std::string& key) {
    // Keys of values start with 0x01, so a successor always exists.
    return *keys::prefix_successor(key);
}

std::string values_end() {
    return std::string(1, static_cast<char>(kValueMarker + 1));
}

// The ranges of stored keys a term selects among the values (nulls are added by the caller).
std::vector<KeyRange> ranges_for(const IndexTag& tag, const FilterTerm& term) {
    const keys::KeyLayout& layout = tag.layout();
    const keys::KeySegment& segment = layout.segment(0);
    const std::string min(1, kValueMarker);
    std::string low, high;  // the keys equal to the constant lie in [low, high)
    bool longer = false;    // a text constant longer than the key: equal to no key
    if (segment.type == keys::SegmentType::Character) {
        const std::string& text = term.constant.text;
        std::size_t used = text.find_last_not_of(' ');
        used = used == std::string::npos ? 0 : used + 1;
        longer = used > segment.characters;
        std::string cut = text.substr(0, std::min<std::size_t>(text.size(), segment.characters));
        if (term.prefix) {
            if (cut.empty()) {
                return {{min, std::nullopt}};  // an empty constant matches every value
            }
            low = min;
            layout.collation().append_prefix_key(low, cut, segment.case_insensitive);
        } else {
            low = keys::encode_key(layout,
                                   expr::Value::character(cut, term.constant.case_insensitive));
        }
    } else {
        low = keys::encode_key(layout, term.constant);
    }
    high = successor(low);
    switch (term.op) {
        case TermOperator::Equal:
            if (longer) {
                return {};
            }
            return {{low, high}};
        case TermOperator::NotEqual:
            if (longer) {
                return {{min, std::nullopt}};
            }
            return {{min, low}, {high, std::nullopt}};
        case TermOperator::Less:
            return {{min, longer ? high : low}};
        case TermOperator::LessEqual:
            return {{min, high}};
        case TermOperator::Greater:
            return {{high, std::nullopt}};
        case TermOperator::GreaterEqual:
            return {{longer ? high : low, std::nullopt}};
    }
    return {};
}

}  // namespace

TableFilter::TableFilter(TableCursor& table, std::string text, bool optimized,
                         std::uint32_t options, HandleSettings settings)
    : table_(table),
      text_(std::move(text)),
      optimized_(optimized),
      options_(options),
      settings_(std::move(settings)),
      expression_(compile_expression(table, text_, settings_.settings, true)) {
    try {
        tree_ = expr::split_filter(expression_, settings_.settings);
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, false);
    }
    if (optimized_) {
        analyse();
        if (options_ & kAofResolveNow) {
            resolve(table_.read_txn());
        }
    } else {
        residual_.push_back(&tree_);
    }
}

const IndexTag* TableFilter::tag_for(const FilterTerm& term) const {
    for (const auto& tag : tags_) {
        const IndexDefinition& d = tag->definition();
        if (tag->normalized_key() != term.key_text || tag->has_condition() || d.custom() ||
            d.descending() || tag->layout().segment_count() != 1 ||
            !iequals(tag->collation_name(), effective_collation_name(table_))) {
            continue;
        }
        // A key expression that formats dates depends on the date format it was built with.
        if (tag->segment_fields().empty() &&
            tag->settings().date_format != settings_.settings.date_format) {
            continue;
        }
        return tag.get();
    }
    return nullptr;
}

void TableFilter::analyse() {
    tags_ = IndexCatalog::of(table_.file()).tags();
    indexed_.clear();
    residual_.clear();
    // Whether a subtree is answered by indexes alone.
    std::function<bool(const FilterNode&)> answerable = [&](const FilterNode& node) {
        switch (node.kind) {
            case FilterNode::Kind::Term:
                return tag_for(node.term) != nullptr;
            case FilterNode::Kind::And:
            case FilterNode::Kind::Or:
                return std::all_of(node.children.begin(), node.children.end(), answerable);
            case FilterNode::Kind::Residual:
                return false;
        }
        return false;
    };
    if (tree_.kind == FilterNode::Kind::And) {
        for (const FilterNode& child : tree_.children) {
            (answerable(child) ? indexed_ : residual_).push_back(&child);
        }
    } else {
        (answerable(tree_) ? indexed_ : residual_).push_back(&tree_);
    }
    level_ = residual_.empty()  ? OptimizationLevel::Full
             : indexed_.empty() ? OptimizationLevel::None
                                : OptimizationLevel::Partial;
}

std::string TableFilter::residual_text() const {
    std::string text;
    for (const FilterNode* node : residual_) {
        if (!text.empty()) {
            text += " AND ";
        }
        text += expr::filter_node_text(*node);
    }
    return text;
}

std::optional<RecordSet> TableFilter::resolve_term(const Snapshot& txn, const FilterTerm& term) {
    const IndexTag* tag = tag_for(term);
    if (tag == nullptr) {
        return std::nullopt;
    }
    std::vector<KeyRange> ranges = ranges_for(*tag, term);
    if (term.matches_null) {
        ranges.push_back({std::string(1, '\0'), std::string(1, kValueMarker)});
    }
    RecordSet records;
    auto cursor = table_.file().cursor(txn, tag->tree());
    for (const KeyRange& range : ranges) {
        std::string end = range.to ? *range.to : values_end();
        for (bool more = cursor->seek(range.from); more; more = cursor->next()) {
            std::string_view entry = cursor->key();
            if (keys::compare_keys(entry, end) >= 0) {
                break;
            }
            records.push_back(keys::entry_record_number(entry));
        }
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    return records;
}

std::optional<RecordSet> TableFilter::resolve_node(const Snapshot& txn, const FilterNode& node) {
    switch (node.kind) {
        case FilterNode::Kind::Term:
            return resolve_term(txn, node.term);
        case FilterNode::Kind::And:
        case FilterNode::Kind::Or: {
            std::optional<RecordSet> result;
            for (const FilterNode& child : node.children) {
                auto set = resolve_node(txn, child);
                if (!set) {
                    return std::nullopt;
                }
                result = !result                              ? std::move(*set)
                         : node.kind == FilterNode::Kind::And ? intersect(*result, *set)
                                                              : unite(*result, *set);
            }
            return result;
        }
        case FilterNode::Kind::Residual:
            return std::nullopt;
    }
    return std::nullopt;
}

bool TableFilter::evaluate_residual(const Snapshot& txn, const StoredRecord& record) const {
    if (residual_.empty()) {
        return true;
    }
    auto image = std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1, record.bytes.size() - 1);
    StoredRecordAccess access(table_.file(), txn, record.recno, image, settings_.settings);
    try {
        for (const FilterNode* node : residual_) {
            if (!expr::evaluate_filter_node(*node, access)) {
                return false;
            }
        }
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, true);
    }
    return true;
}

bool TableFilter::evaluate_whole(const Snapshot& txn, const StoredRecord& record) const {
    auto image = std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(record.bytes.data()) + 1, record.bytes.size() - 1);
    StoredRecordAccess access(table_.file(), txn, record.recno, image, settings_.settings);
    try {
        return expression_.evaluate_logical(access);
    } catch (const expr::ExpressionError& error) {
        fail_expression(error, true);
    }
}

void TableFilter::resolve(const Snapshot& txn) {
    // A tag deleted since the analysis cannot answer any more. (Tags created since are
    // left for the next filter: their key trees may be newer than this transaction.)
    auto current = IndexCatalog::of(table_.file()).tags();
    for (const auto& tag : tags_) {
        if (std::find(current.begin(), current.end(), tag) == current.end()) {
            analyse();
            break;
        }
    }
    resolved_set_.clear();
    std::optional<RecordSet> candidates;
    for (const FilterNode* node : indexed_) {
        auto set = resolve_node(txn, *node);
        candidates = candidates ? intersect(*candidates, *set) : std::move(*set);
    }
    bool dynamic = (options_ & (kAofKeySet | kAofFixed)) == 0;
    if (dynamic) {
        resolved_set_ = candidates ? std::move(*candidates) : RecordSet{};
        has_set_ = candidates.has_value();
    } else {
        // A key-set or fixed filter is resolved completely now: the candidates (or every
        // record) evaluated once.
        auto keep = [&](const StoredRecord& record) {
            if (evaluate_residual(txn, record)) {
                resolved_set_.push_back(record.recno);
            }
        };
        if (candidates) {
            for (std::uint32_t recno : *candidates) {
                if (auto stored = table_.file().record(txn, recno)) {
                    keep(StoredRecord{recno, *stored});
                }
            }
        } else {
            auto records = table_.file().record_cursor(txn);
            for (StoredRecord record = records->first(); record.recno != 0;
                 record = records->next()) {
                keep(record);
            }
        }
        has_set_ = true;
    }
    resolved_txnid_ = txn.id();
    resolved_ = true;
    apply_customizations();
}

void TableFilter::apply_customizations() {
    members_ = resolved_set_;
    if (!added_.empty()) {
        members_ = unite(members_, RecordSet(added_.begin(), added_.end()));
    }
    if (!removed_.empty()) {
        RecordSet kept;
        std::set_difference(members_.begin(), members_.end(), removed_.begin(), removed_.end(),
                            std::back_inserter(kept));
        members_ = std::move(kept);
    }
}

const std::vector<std::uint32_t>* TableFilter::members(const Snapshot& txn) {
    if (!optimized_) {
        return nullptr;
    }
    bool dynamic = (options_ & (kAofKeySet | kAofFixed)) == 0;
    if (!resolved_ || (dynamic && resolved_txnid_ != txn.id())) {
        resolve(txn);
    }
    return has_set_ ? &members_ : nullptr;
}

bool TableFilter::accepts(const Snapshot& txn, const StoredRecord& record) {
    if (removed_.count(record.recno) != 0) {
        return false;
    }
    if (added_.count(record.recno) != 0) {
        return true;
    }
    if (!optimized_) {
        return evaluate_residual(txn, record);
    }
    const RecordSet* set = members(txn);
    if (set != nullptr && !std::binary_search(set->begin(), set->end(), record.recno)) {
        return false;
    }
    if (options_ & kAofFixed) {
        return true;
    }
    if (options_ & kAofKeySet) {
        return evaluate_whole(txn, record);
    }
    return evaluate_residual(txn, record);
}

void TableFilter::refresh(const Snapshot& txn) {
    if (optimized_) {
        resolve(txn);
    }
}

void TableFilter::customize(const Snapshot& txn, const std::vector<std::uint32_t>& records,
                            std::uint16_t option) {
    if (option < 1 || option > 3) {
        fail(VE_INVALID_ARGUMENT, "customize option " + std::to_string(option));
    }
    for (std::uint32_t recno : records) {
        bool add = option == 1;
        if (option == 3) {
            bool passes = false;
            if (auto stored = table_.file().record(txn, recno)) {
                passes = accepts(txn, StoredRecord{recno, *stored});
            }
            add = !passes;
        }
        if (add) {
            removed_.erase(recno);
            added_.insert(recno);
        } else {
            added_.erase(recno);
            removed_.insert(recno);
        }
    }
    if (resolved_) {
        apply_customizations();
    }
}

StoredRecord RecordSetOrder::fetch(const Snapshot& txn, const std::vector<std::uint32_t>& members,
                                   std::ptrdiff_t index, int step) {
    for (; index >= 0 && index < static_cast<std::ptrdiff_t>(members.size()); index += step) {
        std::uint32_t recno = members[static_cast<std::size_t>(index)];
        auto stored = file_.record(txn, recno);
        if (!stored) {
            continue;  // a member of a fixed set that is gone
        }
        return StoredRecord{recno, *stored};
    }
    return {};
}

StoredRecord RecordSetOrder::first(const Snapshot& txn) {
    const auto* members = filter_.members(txn);
    return members ? fetch(txn, *members, 0, 1) : natural_.first(txn);
}

StoredRecord RecordSetOrder::last(const Snapshot& txn) {
    const auto* members = filter_.members(txn);
    return members ? fetch(txn, *members, static_cast<std::ptrdiff_t>(members->size()) - 1, -1)
                   : natural_.last(txn);
}

StoredRecord RecordSetOrder::after(const Snapshot& txn, std::uint32_t recno,
                                   const std::uint8_t* image) {
    const auto* members = filter_.members(txn);
    if (members == nullptr) {
        return natural_.after(txn, recno, image);
    }
    auto next = std::upper_bound(members->begin(), members->end(), recno);
    return fetch(txn, *members, next - members->begin(), 1);
}

StoredRecord RecordSetOrder::before(const Snapshot& txn, std::uint32_t recno,
                                    const std::uint8_t* image) {
    const auto* members = filter_.members(txn);
    if (members == nullptr) {
        return natural_.before(txn, recno, image);
    }
    auto at = std::lower_bound(members->begin(), members->end(), recno);
    return fetch(txn, *members, (at - members->begin()) - 1, -1);
}

}  // namespace varelum::engine
