// The page walk of a table file (see page_check.h). The layouts below are LMDB's on-disk
// format (data version 1): a 16-byte page header, then 16-bit offsets of the nodes; a node is
// an 8-byte header, its key and its data. They are read with plain reads into buffers, never
// through LMDB's map, so a damaged file costs an error, not the process.
#include "engine/storage/lmdb/page_check.h"

#include <fcntl.h>

#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/error.h"
#include "engine/env/env.h"
#include "engine/storage/lmdb/page_layout.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

using namespace page_layout;

// LMDB's default key order: bytes, then length; the free tree compares 64-bit integers.
int compare_keys(std::string_view a, std::string_view b, bool integer_keys) {
    if (integer_keys) {
        auto x = load<std::uint64_t>(reinterpret_cast<const std::uint8_t*>(a.data()));
        auto y = load<std::uint64_t>(reinterpret_cast<const std::uint8_t*>(b.data()));
        return x < y ? -1 : x > y ? 1 : 0;
    }
    return a.compare(b);
}

class PageWalker {
  public:
    PageWalker(const std::string& path, FileReader& file, std::uint32_t page_size,
               std::uint64_t pages)
        : path_(path), file_(file), page_size_(page_size), used_(pages, false) {}

    // Walks one tree; subtrees of the main tree are collected for walking afterwards.
    void walk_tree(const std::string& name, const TreeHeader& header, bool is_main,
                   bool integer_keys) {
        tree_name_ = name;
        is_main_ = is_main;
        integer_keys_ = integer_keys;
        counted_ = TreeHeader{};
        if (header.root == kNoPage) {
            if (header.depth != 0 || header.entries != 0 || header.leaf_pages != 0 ||
                header.branch_pages != 0 || header.overflow_pages != 0) {
                fault("its header counts entries but it has no root page");
            }
            return;
        }
        if (header.depth == 0 || header.depth > kMaxDepth) {
            fault("its header gives an impossible depth " + std::to_string(header.depth));
        }
        walk_page(header.root, header.depth, std::nullopt, std::nullopt);
        if (counted_.entries != header.entries || counted_.leaf_pages != header.leaf_pages ||
            counted_.branch_pages != header.branch_pages ||
            counted_.overflow_pages != header.overflow_pages) {
            fault("its header's counts disagree with its pages");
        }
    }

    const std::vector<std::pair<std::string, TreeHeader>>& subtrees() const { return subtrees_; }
    const std::vector<std::uint64_t>& free_pages() const { return free_pages_; }
    bool used(std::uint64_t page) const { return used_[page]; }

    [[noreturn]] void fault(const std::string& what, std::uint64_t page = kNoPage) const {
        std::string text = path_ + ": ";
        if (page != kNoPage) {
            text += "page " + std::to_string(page) + " of ";
        }
        text += "tree '" + tree_name_ + "': " + what;
        fail(VE_TABLE_CORRUPT, text);
    }

  private:
    // Marks pages [first, first + count) as used, refusing pages out of range or used twice.
    void claim(std::uint64_t first, std::uint64_t count) {
        if (first < 2 || first >= used_.size() || count > used_.size() - first) {
            fault("lies outside the file", first);
        }
        for (std::uint64_t page = first; page < first + count; ++page) {
            if (used_[page]) {
                fault("is reached twice", page);
            }
            used_[page] = true;
        }
    }

    std::vector<std::uint8_t> read_pages(std::uint64_t first, std::uint64_t count) {
        std::vector<std::uint8_t> bytes;
        if (!file_.read(bytes, static_cast<std::size_t>(count * page_size_), first * page_size_)) {
            fault("lies beyond the end of the file", first);
        }
        if (load<std::uint64_t>(bytes.data()) != first) {
            fault("holds another page's number (a misplaced page)", first);
        }
        return bytes;
    }

    void walk_page(std::uint64_t number, unsigned depth, std::optional<std::string_view> lower,
                   std::optional<std::string_view> upper) {
        claim(number, 1);
        std::vector<std::uint8_t> page = read_pages(number, 1);
        const bool branch = depth > 1;
        if (page_kind(page.data()) != (branch ? kBranchPage : kLeafPage)) {
            fault(branch ? "is not a branch page" : "is not a leaf page", number);
        }
        const PageBounds bounds = page_bounds(page.data());
        if (!bounds.sound(page_size_)) {
            fault("has impossible free-space bounds", number);
        }
        const std::size_t count = bounds.nodes();
        if (count == 0) {
            fault("holds no entries", number);
        }
        (branch ? counted_.branch_pages : counted_.leaf_pages) += 1;
        std::optional<std::string_view> previous;
        std::vector<std::pair<std::uint64_t, std::string_view>> children;
        for (std::size_t i = 0; i < count; ++i) {
            Node node;
            switch (read_node(page.data(), page_size_, bounds, i, node)) {
                case NodeFault::outside_bounds:
                    fault("has an entry outside its bounds", number);
                case NodeFault::key_past_end:
                    fault("has a key running past its end", number);
                case NodeFault::none:
                    break;
            }
            const std::string_view key = node.key;
            if (integer_keys_ && key.size() != 8 && !(branch && i == 0)) {
                fault("has a key of the wrong size", number);
            }
            // The first key of a branch page stands for everything below the second.
            if (!(branch && i == 0)) {
                if ((lower && compare_keys(key, *lower, integer_keys_) < 0) ||
                    (upper && compare_keys(key, *upper, integer_keys_) >= 0) ||
                    (previous && compare_keys(key, *previous, integer_keys_) <= 0)) {
                    fault("has keys out of order", number);
                }
                previous = key;
            }
            if (branch) {
                children.emplace_back(node.child, key);
                continue;
            }
            check_leaf_entry(number, node.flags, key, page.data() + node.data_offset,
                             node.data_size, node.data_offset);
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            std::optional<std::string_view> child_lower = i == 0 ? lower : children[i].second;
            std::optional<std::string_view> child_upper =
                i + 1 < children.size() ? std::optional(children[i + 1].second) : upper;
            walk_page(children[i].first, depth - 1, child_lower, child_upper);
        }
    }

    void check_leaf_entry(std::uint64_t number, std::uint16_t node_flags, std::string_view key,
                          const std::uint8_t* data, std::uint32_t data_size,
                          std::size_t data_offset) {
        counted_.entries += 1;
        if ((node_flags & kDupData) != 0 || (node_flags & ~(kBigData | kSubData)) != 0) {
            fault("has an entry of a kind this file never holds", number);
        }
        const bool big = (node_flags & kBigData) != 0;
        if (data_offset + (big ? 8 : data_size) > page_size_) {
            fault("has a value running past its end", number);
        }
        if (is_main_ != ((node_flags & kSubData) != 0) ||
            (is_main_ && (big || data_size != kTreeHeaderSize))) {
            fault("has an entry that does not name a tree where one must", number);
        }
        if (is_main_) {
            TreeHeader sub = decode_tree(data);
            if ((sub.flags & kKeyFlags) != 0) {
                fault("names a tree of a kind this file never holds", number);
            }
            subtrees_.emplace_back(std::string(key), sub);
            return;
        }
        std::vector<std::uint8_t> overflow;
        if (big) {
            auto first = load<std::uint64_t>(data);
            claim(first, 1);
            std::vector<std::uint8_t> head = read_pages(first, 1);
            if (page_kind(head.data()) != kOverflowPage) {
                fault("is not a value page", first);
            }
            auto pages = load<std::uint32_t>(head.data() + 12);
            std::uint64_t needed = (kPageHeader - 1 + data_size) / page_size_ + 1;
            if (pages < needed) {
                fault("is too short for its value", first);
            }
            if (pages > 1) {
                claim(first + 1, pages - 1);
            }
            counted_.overflow_pages += pages;
            if (integer_keys_) {  // the free list's value is needed; others are checksummed
                overflow = read_pages(first, pages);
                data = overflow.data() + kPageHeader;
            }
        }
        if (integer_keys_) {
            read_free_list(number, data, data_size);
        }
    }

    // A free-list entry: a count, then that many page numbers.
    void read_free_list(std::uint64_t number, const std::uint8_t* data, std::uint32_t size) {
        if (size < 8 || size % 8 != 0 || load<std::uint64_t>(data) != size / 8 - 1) {
            fault("has a damaged list of free pages", number);
        }
        for (std::uint64_t i = 1; i < size / 8; ++i) {
            auto page = load<std::uint64_t>(data + 8 * i);
            if (page < 2 || page >= used_.size()) {
                fault("lists a free page outside the file", number);
            }
            free_pages_.push_back(page);
        }
    }

    const std::string& path_;
    FileReader& file_;
    std::uint32_t page_size_;
    std::vector<bool> used_;
    std::string tree_name_;
    bool is_main_ = false;
    bool integer_keys_ = false;
    TreeHeader counted_;
    std::vector<std::pair<std::string, TreeHeader>> subtrees_;
    std::vector<std::uint64_t> free_pages_;
};

}  // namespace

PageCheck check_page_structure(const std::string& path, std::uint64_t txnid) {
    FileReader file(path);
    auto corrupt = [&path](const std::string& what) { fail(VE_TABLE_CORRUPT, path + ": " + what); };
    std::vector<std::uint8_t> first;
    constexpr std::size_t kMetaBytes = 160;
    if (!file.read(first, kMetaBytes, 0)) {
        corrupt("too short to be a table");
    }
    Meta metas[2];
    metas[0] = decode_meta(first.data());
    std::uint32_t page_size = metas[0].page_size;
    if (page_size < 512 || page_size > 65536 || (page_size & (page_size - 1)) != 0) {
        corrupt("the first header page gives an impossible page size");
    }
    std::vector<std::uint8_t> second;
    if (!file.read(second, kMetaBytes, page_size)) {
        corrupt("too short to be a table");
    }
    metas[1] = decode_meta(second.data());
    for (unsigned i = 0; i < 2; ++i) {
        const Meta& meta = metas[i];
        if (meta.magic != kLmdbMagic || meta.version != kLmdbDataVersion ||
            (meta.page_flags & kPageKinds) != kMetaPage || meta.page_number != i) {
            corrupt("header page " + std::to_string(i) + " is damaged");
        }
    }
    // Each commit writes the meta page numbered by its transaction id's parity, so the two
    // hold consecutive ids; anything else is a damaged header page.
    int current = metas[0].txnid == txnid ? 0 : metas[1].txnid == txnid ? 1 : -1;
    if (current < 0) {
        return PageCheck::meta_replaced;
    }
    const Meta& meta = metas[current];
    const Meta& other = metas[1 - current];
    bool paired = txnid == 0 ? other.txnid == 0
                             : (txnid % 2 == static_cast<std::uint64_t>(current) &&
                                (other.txnid + 1 == txnid || other.txnid == txnid + 1));
    if (!paired) {
        corrupt("the header pages disagree on the last commit");
    }
    if (other.page_size != page_size || meta.page_size != page_size) {
        corrupt("the header pages disagree on the page size");
    }
    std::vector<std::uint8_t> probe;
    if (meta.last_page < 1 || meta.last_page > (std::uint64_t{1} << 40) ||
        !file.read(probe, page_size, meta.last_page * page_size)) {
        corrupt("the file is shorter than its header says (truncated)");
    }
    if ((meta.free_tree.flags & kKeyFlags) != kIntegerKeys ||
        (meta.main_tree.flags & kKeyFlags) != 0) {
        corrupt("the header page describes trees of a kind this file never holds");
    }
    PageWalker walker(path, file, page_size, meta.last_page + 1);
    walker.walk_tree("free pages", meta.free_tree, false, true);
    walker.walk_tree("tree list", meta.main_tree, true, false);
    auto subtrees = walker.subtrees();
    for (const auto& [name, header] : subtrees) {
        walker.walk_tree(name, header, false, false);
    }
    std::vector<bool> listed(meta.last_page + 1, false);
    for (std::uint64_t page : walker.free_pages()) {
        if (walker.used(page) || listed[page]) {
            corrupt("page " + std::to_string(page) + " is listed as free but is in use");
        }
        listed[page] = true;
    }
    return PageCheck::sound;
}

}  // namespace varelum::engine
