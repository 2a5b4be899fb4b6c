#include "engine/storage/lmdb/salvage.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string_view>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/format/checksum.h"
#include "engine/format/coding.h"
#include "engine/record/record_image.h"
#include "engine/storage/lmdb/page_layout.h"
#include "engine/storage/lmdb/table_description.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

using namespace page_layout;

using EntryVisitor = std::function<void(std::string_view key, std::string_view value)>;

std::uint32_t checksum(std::string_view bytes) {
    return crc32_of(bytes.data(), bytes.size());
}

// Follows trees of the file, passing over damaged pages and everything below them.
class TolerantWalk {
  public:
    TolerantWalk(FileReader& file, std::uint32_t page_size, std::uint64_t pages)
        : file_(file), page_size_(page_size), pages_(pages) {}

    // Visits the entries of the tree in key order; answers whether every page was sound.
    bool walk(const TreeHeader& tree, const EntryVisitor& visit) {
        sound_ = true;
        if (tree.root != kNoPage) {
            if (tree.depth == 0 || tree.depth > kMaxDepth) {
                return false;
            }
            walk_page(tree.root, tree.depth, std::nullopt, std::nullopt, visit);
        }
        return sound_;
    }

  private:
    // The page's bytes when it is in the file, holds its own number and was not seen before.
    std::optional<std::vector<std::uint8_t>> read_page(std::uint64_t number, std::uint64_t count) {
        if (number < 2 || number >= pages_ || count > pages_ - number) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        if (!file_.read(bytes, static_cast<std::size_t>(count * page_size_), number * page_size_) ||
            load<std::uint64_t>(bytes.data()) != number) {
            return std::nullopt;
        }
        return bytes;
    }

    void walk_page(std::uint64_t number, unsigned depth, std::optional<std::string> lower,
                   std::optional<std::string> upper, const EntryVisitor& visit) {
        std::optional<std::vector<std::uint8_t>> read;
        if (seen_.insert(number).second) {
            read = read_page(number, 1);
        }
        const bool branch = depth > 1;
        if (!read || page_kind(read->data()) != (branch ? kBranchPage : kLeafPage)) {
            sound_ = false;
            return;
        }
        const std::vector<std::uint8_t>& page = *read;
        const PageBounds bounds = page_bounds(page.data());
        if (!bounds.sound(page_size_)) {
            sound_ = false;
            return;
        }
        std::optional<std::string> previous = lower;
        std::vector<std::pair<std::uint64_t, std::string>> children;
        for (std::size_t i = 0; i < bounds.nodes(); ++i) {
            Node node;
            if (read_node(page.data(), page_size_, bounds, i, node) != NodeFault::none) {
                sound_ = false;
                continue;
            }
            std::string key(node.key);
            // Keys out of order, or outside what the parent says is below it, are damage.
            if (!(branch && i == 0)) {
                if ((previous && key <= *previous && !(i == 0 && key == *previous)) ||
                    (upper && key >= *upper)) {
                    sound_ = false;
                    continue;
                }
                previous = key;
            }
            if (branch) {
                children.emplace_back(node.child, key);
                continue;
            }
            const std::uint32_t size = node.data_size;
            const std::uint8_t* data = page.data() + node.data_offset;
            const std::size_t data_offset = node.data_offset;
            if ((node.flags & kBigData) != 0) {
                if (data_offset + 8 > page_size_) {
                    sound_ = false;
                    continue;
                }
                auto first = load<std::uint64_t>(data);
                std::uint64_t count = (kPageHeader - 1 + size) / page_size_ + 1;
                std::optional<std::vector<std::uint8_t>> value;
                if (seen_.insert(first).second) {
                    value = read_page(first, count);
                }
                if (!value || page_kind(value->data()) != kOverflowPage) {
                    sound_ = false;
                    continue;
                }
                visit(key, std::string_view(
                               reinterpret_cast<const char*>(value->data()) + kPageHeader, size));
                continue;
            }
            if (data_offset + size > page_size_) {
                sound_ = false;
                continue;
            }
            visit(key, std::string_view(reinterpret_cast<const char*>(data), size));
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            std::optional<std::string> child_lower = i == 0 ? lower : children[i].second;
            std::optional<std::string> child_upper =
                i + 1 < children.size() ? std::optional(children[i + 1].second) : upper;
            walk_page(children[i].first, depth - 1, child_lower, child_upper, visit);
        }
    }

    FileReader& file_;
    std::uint32_t page_size_;
    std::uint64_t pages_;
    std::set<std::uint64_t> seen_;
    bool sound_ = true;
};

// The header pages that look sound, newest first.
std::vector<Meta> sound_metas(FileReader& file, std::uint32_t& page_size) {
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kMetaBytes = 160;
    std::vector<Meta> metas;
    if (!file.read(bytes, kMetaBytes, 0)) {
        return metas;
    }
    Meta first = decode_meta(bytes.data());
    page_size = first.page_size;
    if (page_size < 512 || page_size > 65536 || (page_size & (page_size - 1)) != 0) {
        page_size = 4096;  // what this engine's files use; the second header page may say
    }
    for (std::uint64_t i = 0; i < 2; ++i) {
        if (!file.read(bytes, kMetaBytes, i * page_size)) {
            continue;
        }
        Meta meta = decode_meta(bytes.data());
        if (meta.magic == kLmdbMagic && meta.version == kLmdbDataVersion &&
            (meta.page_flags & kPageKinds) == kMetaPage && meta.page_number == i &&
            meta.page_size == page_size) {
            metas.push_back(meta);
        }
    }
    std::sort(metas.begin(), metas.end(),
              [](const Meta& a, const Meta& b) { return a.txnid > b.txnid; });
    return metas;
}

}  // namespace

SalvagedTable salvage_lmdb_table_file(const std::string& path) {
    FileStatus info;
    if (env().stat_file(path, info) != 0) {
        fail(VE_TABLE_NOT_FOUND, path);
    }
    FileReader file(path);
    std::uint32_t page_size = 4096;
    const std::vector<Meta> metas = sound_metas(file, page_size);
    const std::uint64_t pages = static_cast<std::uint64_t>(info.size) / page_size;

    std::string failure = path + ": both header pages are damaged";
    for (const Meta& meta : metas) {
        const bool previous_commit = meta.txnid != metas.front().txnid;
        TolerantWalk walk(file, page_size, pages);
        std::map<std::string, TreeHeader> trees;
        walk.walk(meta.main_tree, [&](std::string_view key, std::string_view value) {
            if (value.size() == kTreeHeaderSize) {
                trees.emplace(std::string(key),
                              decode_tree(reinterpret_cast<const std::uint8_t*>(value.data())));
            }
        });
        if (!trees.count("header") || !trees.count("fields") || !trees.count("records")) {
            failure = path + ": the list of its trees is damaged";
            continue;
        }
        std::string header, counters;
        walk.walk(trees["header"], [&](std::string_view key, std::string_view value) {
            if (key == kTableHeaderKey) {
                header = value;
            } else if (key == kTableCountersKey) {
                counters = value;
            }
        });
        std::vector<std::string> field_values;
        const bool fields_sound = walk.walk(
            trees["fields"],
            [&](std::string_view, std::string_view value) { field_values.emplace_back(value); });
        if (header.empty() || !fields_sound) {
            failure = path + ": its field descriptions are damaged";
            continue;
        }
        std::vector<std::string_view> field_views(field_values.begin(), field_values.end());
        TableDescription description = decode_table_description(path, header, field_views);

        SalvagedTable salvaged;
        salvaged.previous_commit = previous_commit;
        salvaged.schema = std::move(description.schema);
        salvaged.options = std::move(description.options);
        const std::size_t length = salvaged.schema.record_length();
        std::set<std::uint32_t> doubtful;  // found twice: neither copy can be trusted
        walk.walk(trees["records"], [&](std::string_view key, std::string_view value) {
            if (key.size() != 4) {
                return;
            }
            const std::uint32_t recno = format::big_endian32(key);
            const bool sound =
                (value.size() == length + 1 + 4 &&
                 format::load_le<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(
                     value.data() + length + 1)) == checksum(value.substr(0, length + 1))) ||
                (description.format_version < kChecksumFormatVersion && value.size() == length + 1);
            if (recno == 0 || !sound) {
                return;
            }
            if (!salvaged.records.emplace(recno, std::string(value.substr(0, length + 1))).second) {
                doubtful.insert(recno);
            }
        });
        if (trees.count("memos")) {
            walk.walk(trees["memos"], [&](std::string_view key, std::string_view value) {
                if (key.size() == 6) {
                    const auto field =
                        static_cast<std::uint16_t>((static_cast<std::uint8_t>(key[4]) << 8) |
                                                   static_cast<std::uint8_t>(key[5]));
                    salvaged.memos.emplace(std::pair(format::big_endian32(key), field),
                                           std::string(value));
                }
            });
        }
        if (trees.count("indexes")) {
            walk.walk(trees["indexes"], [&](std::string_view key, std::string_view value) {
                salvaged.index_list.emplace_back(std::string(key), std::string(value));
            });
        }
        // A record is kept with its memo values only when every one of them verifies.
        for (auto it = salvaged.records.begin(); it != salvaged.records.end();) {
            const auto* image = reinterpret_cast<const std::uint8_t*>(it->second.data()) + 1;
            bool intact = !doubtful.count(it->first);
            for (const FieldDescriptor& field : salvaged.schema.fields()) {
                if (!intact || !is_memo_type(field.type) || !memo_marker(field, image)) {
                    continue;
                }
                auto memo = salvaged.memos.find({it->first, field.number});
                intact = memo != salvaged.memos.end() &&
                         format::load_le<std::uint32_t>(image + field.offset + 4) ==
                             checksum(memo->second);
            }
            it = intact ? std::next(it) : salvaged.records.erase(it);
        }
        std::erase_if(salvaged.memos,
                      [&](const auto& memo) { return !salvaged.records.count(memo.first.first); });

        const std::uint32_t last = salvaged.records.empty() ? 0 : salvaged.records.rbegin()->first;
        salvaged.counters = decode_table_counters(counters).value_or(TableCounters{});
        salvaged.counters.next_record = std::max(salvaged.counters.next_record, last + 1);
        // With damaged counters the stored ones may be behind: never hand out a value again.
        if (const FieldDescriptor* autoinc = salvaged.schema.autoinc_field()) {
            for (const auto& [recno, stored] : salvaged.records) {
                const auto value = format::load_le<std::uint32_t>(
                    reinterpret_cast<const std::uint8_t*>(stored.data()) + 1 + autoinc->offset);
                salvaged.counters.next_autoinc =
                    std::max(salvaged.counters.next_autoinc, value + 1);
            }
        }
        salvaged.counters.deleted_records = 0;
        for (const auto& [recno, stored] : salvaged.records) {
            salvaged.counters.deleted_records += (stored[0] & kRecordDeleted) != 0 ? 1 : 0;
        }
        for (std::uint32_t recno = 1; recno < salvaged.counters.next_record; ++recno) {
            if (!salvaged.records.count(recno)) {
                salvaged.lost.push_back(recno);
            }
        }
        return salvaged;
    }
    fail(VE_TABLE_CORRUPT, failure + "; nothing can be recovered");
}

}  // namespace varelum::engine
