// The checksum that vouches for stored records, memo values and journal entries: CRC-32 with
// the reflected polynomial 0xEDB88320, starting and ending with all bits inverted (the common
// CRC-32 of zip and gzip files), so files written before keep verifying.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varelum::engine {

// The checksum of `size` bytes; `previous` continues one computed over the bytes before them.
std::uint32_t crc32_of(const void* bytes, std::size_t size, std::uint32_t previous = 0);

}  // namespace varelum::engine
