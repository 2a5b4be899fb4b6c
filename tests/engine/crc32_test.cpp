// The engine's CRC-32 must give the very values files already carry: the standard check value,
// and zlib's answer for every length around the eight-byte table steps and the 16-byte folded
// blocks (where the processor has them), at every alignment, and when continued over a value
// in pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "engine/format/checksum.h"

namespace varelum::engine {
namespace {

std::uint32_t zlib_crc(const std::uint8_t* bytes, std::size_t size, std::uint32_t previous = 0) {
    return static_cast<std::uint32_t>(
        crc32(previous, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(size)));
}

TEST(Crc32Test, CheckValue) {
    EXPECT_EQ(crc32_of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32_of(nullptr, 0), 0u);
}

TEST(Crc32Test, AgreesWithZlibAtEveryLengthAndAlignment) {
    std::vector<std::uint8_t> bytes(600);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t size = 0; size <= 300; ++size) {
            const std::uint8_t* at = bytes.data() + offset;
            ASSERT_EQ(crc32_of(at, size), zlib_crc(at, size)) << offset << " " << size;
            ASSERT_EQ(crc32_of(at, size, 0xA5A5A5A5u), zlib_crc(at, size, 0xA5A5A5A5u))
                << offset << " " << size;
        }
    }
    EXPECT_EQ(crc32_of(bytes.data(), bytes.size()), zlib_crc(bytes.data(), bytes.size()));
    const std::vector<std::uint8_t> ones(64, 0xFF);
    EXPECT_EQ(crc32_of(ones.data(), ones.size()), zlib_crc(ones.data(), ones.size()));
}

TEST(Crc32Test, ContinuesOverPieces) {
    const char text[] = "a record image, checked in two pieces of uneven length";
    const std::size_t size = sizeof text - 1;
    for (std::size_t split : {std::size_t{0}, std::size_t{3}, std::size_t{8}, std::size_t{21}}) {
        const std::uint32_t first = crc32_of(text, split);
        EXPECT_EQ(crc32_of(text + split, size - split, first), crc32_of(text, size)) << split;
        EXPECT_EQ(crc32_of(text + split, size - split, 0x12345678u),
                  zlib_crc(reinterpret_cast<const std::uint8_t*>(text) + split, size - split,
                           0x12345678u));
    }
}

}  // namespace
}  // namespace varelum::engine
