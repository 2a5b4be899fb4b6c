// Structural validation of a table file's pages before LMDB is allowed to walk them.
//
// LMDB trusts its pages: a page of the wrong kind, a node pointing past its page or a child
// number beyond the file makes it assert (and abort the process) or read outside its map.
// So the first open of a file in a process (and the open of a file that was replaced) reads
// every page reachable from the meta page of one snapshot with plain reads, and checks that
// each has the kind, bounds and links its place in the tree requires, that keys are in order,
// that no page is used twice and that the counts in the tree headers agree. Damage inside a
// value (a record image, a memo value) is the checksums' business, not this walk's.
#pragma once

#include <cstdint>
#include <string>

namespace varelum::engine {

enum class PageCheck {
    sound,         // every reachable page is as its place requires
    meta_replaced  // the snapshot's meta page was overwritten by later commits: check anew
};

// Checks the file at path as of the committed transaction txnid (which the caller keeps
// readable, so that its pages are not reused while they are read). Throws VE_TABLE_CORRUPT
// naming the file and the first fault found, VE_FILE_ERROR when the file cannot be read.
PageCheck check_page_structure(const std::string& path, std::uint64_t txnid);

}  // namespace varelum::engine
