// CRC-32 eight bytes at a time (see checksum.h): every record read is verified, and a record is
// a few dozen bytes, where a table-driven step over eight bytes is several times faster than a
// general-purpose library's set-up and byte loop.
#include "engine/format/checksum.h"

#include <array>

namespace varelum::engine {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// tables[0] steps one byte; tables[n] steps a byte followed by n zero bytes.
constexpr auto kTables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ kPolynomial : crc >> 1;
        }
        tables[0][byte] = crc;
    }
    for (std::size_t n = 1; n < tables.size(); ++n) {
        for (std::uint32_t byte = 0; byte < 256; ++byte) {
            const std::uint32_t before = tables[n - 1][byte];
            tables[n][byte] = (before >> 8) ^ tables[0][before & 0xFFu];
        }
    }
    return tables;
}();

std::uint32_t load_le32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

}  // namespace

std::uint32_t crc32_of(const void* bytes, std::size_t size, std::uint32_t previous) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    const auto& t = kTables;
    std::uint32_t crc = ~previous;
    for (; size >= 8; at += 8, size -= 8) {
        const std::uint32_t low = load_le32(at) ^ crc;
        const std::uint32_t high = load_le32(at + 4);
        crc = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
              t[4][low >> 24] ^ t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^
              t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
    }
    for (; size > 0; ++at, --size) {
        crc = t[0][(crc ^ *at) & 0xFFu] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace varelum::engine
