// LMDB's on-disk page format (data version 1), as the table file's page walk and its salvage
// read it with plain reads, never through LMDB's map: a 16-byte page header, then 16-bit
// offsets of the nodes; a node is an 8-byte header, its key and its data.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/error.h"
#include "engine/env/env.h"

namespace varelum::engine::page_layout {

constexpr std::size_t kPageHeader = 16;
constexpr std::size_t kNodeHeader = 8;
constexpr std::size_t kTreeHeaderSize = 48;
constexpr std::uint16_t kBranchPage = 0x01, kLeafPage = 0x02, kOverflowPage = 0x04,
                        kMetaPage = 0x08;
constexpr std::uint16_t kPageKinds = 0x01 | 0x02 | 0x04 | 0x08 | 0x20 | 0x40;
constexpr std::uint16_t kBigData = 0x01, kSubData = 0x02, kDupData = 0x04;
constexpr std::uint16_t kIntegerKeys = 0x08;  // the free-page tree's keys are transaction ids
// The tree flags that change how keys and values are read (reverse keys, duplicates, integer
// keys); the other bits are LMDB's bookkeeping.
constexpr std::uint16_t kKeyFlags = 0x7e;
constexpr std::uint32_t kLmdbMagic = 0xBEEFC0DE;
constexpr std::uint32_t kLmdbDataVersion = 1;
constexpr std::uint64_t kNoPage = ~std::uint64_t{0};
constexpr unsigned kMaxDepth = 32;  // LMDB's cursor stack

template <typename T>
T load(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The kind bits of a page (branch, leaf, overflow, meta).
inline std::uint16_t page_kind(const std::uint8_t* page) {
    return static_cast<std::uint16_t>(load<std::uint16_t>(page + 10) & kPageKinds);
}

// Where a branch or leaf page's node offsets end (low) and its nodes begin (high).
struct PageBounds {
    std::uint16_t low = 0, high = 0;
    // Whether they can be those of a page of page_size bytes.
    bool sound(std::size_t page_size) const {
        return low >= kPageHeader && low <= high && high <= page_size && (low & 1) == 0;
    }
    std::size_t nodes() const { return (low - kPageHeader) / 2u; }
};

inline PageBounds page_bounds(const std::uint8_t* page) {
    return PageBounds{load<std::uint16_t>(page + 12), load<std::uint16_t>(page + 14)};
}

// One node of a branch or leaf page: its key, and what its header says of what follows.
struct Node {
    std::uint16_t flags = 0;
    std::string_view key;
    std::uint64_t child = 0;      // a branch node: the page below
    std::uint32_t data_size = 0;  // a leaf node: the size of its data
    std::size_t data_offset = 0;  // a leaf node: where its data starts in the page
};

enum class NodeFault { none, outside_bounds, key_past_end };

// Reads node i of a page whose bounds are sound, checking that the node lies where nodes may
// and that its key ends inside the page (its data is the caller's to check).
inline NodeFault read_node(const std::uint8_t* page, std::size_t page_size,
                           const PageBounds& bounds, std::size_t i, Node& node) {
    const auto offset = load<std::uint16_t>(page + kPageHeader + 2 * i);
    if (offset < bounds.high || (offset & 1) != 0 || offset + kNodeHeader > page_size) {
        return NodeFault::outside_bounds;
    }
    const std::uint8_t* header = page + offset;
    const auto lo = load<std::uint16_t>(header);
    const auto hi = load<std::uint16_t>(header + 2);
    node.flags = load<std::uint16_t>(header + 4);
    const auto key_size = load<std::uint16_t>(header + 6);
    if (offset + kNodeHeader + key_size > page_size) {
        return NodeFault::key_past_end;
    }
    node.key = std::string_view(reinterpret_cast<const char*>(header + kNodeHeader), key_size);
    // A branch node keeps its child's page number in the size and flag words.
    node.child = lo | (std::uint64_t{hi} << 16) | (std::uint64_t{node.flags} << 32);
    node.data_size = lo | (std::uint32_t{hi} << 16);
    node.data_offset = offset + kNodeHeader + key_size;
    return NodeFault::none;
}

struct TreeHeader {
    std::uint16_t flags = 0, depth = 0;
    std::uint64_t branch_pages = 0, leaf_pages = 0, overflow_pages = 0, entries = 0;
    std::uint64_t root = kNoPage;
};

inline TreeHeader decode_tree(const std::uint8_t* bytes) {
    TreeHeader tree;
    tree.flags = load<std::uint16_t>(bytes + 4);
    tree.depth = load<std::uint16_t>(bytes + 6);
    tree.branch_pages = load<std::uint64_t>(bytes + 8);
    tree.leaf_pages = load<std::uint64_t>(bytes + 16);
    tree.overflow_pages = load<std::uint64_t>(bytes + 24);
    tree.entries = load<std::uint64_t>(bytes + 32);
    tree.root = load<std::uint64_t>(bytes + 40);
    return tree;
}

struct Meta {
    std::uint16_t page_flags = 0;
    std::uint64_t page_number = 0;
    std::uint32_t magic = 0, version = 0, page_size = 0;
    TreeHeader free_tree, main_tree;
    std::uint64_t last_page = 0, txnid = 0;
};

inline Meta decode_meta(const std::uint8_t* page) {
    Meta meta;
    meta.page_number = load<std::uint64_t>(page);
    meta.page_flags = load<std::uint16_t>(page + 10);
    meta.magic = load<std::uint32_t>(page + 16);
    meta.version = load<std::uint32_t>(page + 20);
    meta.page_size = load<std::uint32_t>(page + 40);  // kept in the free tree's pad word
    meta.free_tree = decode_tree(page + 40);
    meta.main_tree = decode_tree(page + 88);
    meta.last_page = load<std::uint64_t>(page + 136);
    meta.txnid = load<std::uint64_t>(page + 144);
    return meta;
}

class FileReader {
  public:
    FileReader(const std::string& path)
        : path_(path), fd_(engine::env().open_file(path, O_RDONLY)) {
        if (fd_ < 0) {
            fail_errno("open", path, -fd_);
        }
    }
    ~FileReader() { engine::env().close_file(fd_); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    // False when the file ends before size bytes.
    bool read(std::vector<std::uint8_t>& into, std::size_t size, std::uint64_t offset) {
        into.resize(size);
        std::size_t done = 0;
        while (done < size) {
            ssize_t got = engine::env().read_at(fd_, into.data() + done, size - done,
                                                static_cast<off_t>(offset + done));
            if (got < 0) {
                fail_errno("read", path_, static_cast<int>(-got));
            }
            if (got == 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    const std::string& path_;
    int fd_;
};

}  // namespace varelum::engine::page_layout
