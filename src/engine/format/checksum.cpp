// CRC-32 (see checksum.h): every record read is verified, and a record is a few dozen bytes.
// Where the processor multiplies without carries (PCLMULQDQ), whole 16-byte blocks are folded
// with it, which is several times faster than tables; the rest, and every byte on processors
// without it, goes through a table-driven step over eight bytes.
#include "engine/format/checksum.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Advances the (inverted) state over the bytes with the tables.
std::uint32_t crc32_tables(const std::uint8_t* at, std::size_t size, std::uint32_t crc) {
    const auto& t = kTables;
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
    return crc;
}

#if defined(__x86_64__)
// Advances the (inverted) state over `size` bytes, at least 32, by folding 128-bit blocks with
// carry-less products and reducing the last one to 32 bits (Barrett). The constants are powers
// of x modulo the reflected polynomial: x^(128+32) and x^(128-32) fold one block onto the next,
// x^64 takes 64 bits to 32, and the polynomial with its quotient x^64 / P reduces.
//
// A length that is not a multiple of 16 is padded with zero bytes in front: leading zeros do
// not change a remainder, so the state is added to the first four bytes of the value itself
// and every byte goes through the folds, none through the slower byte-by-byte tail.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t crc32_folded(const std::uint8_t* at,
                                                                    std::size_t size,
                                                                    std::uint32_t crc) {
    const __m128i fold = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i to_32 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low_32 = _mm_setr_epi32(~0, 0, ~0, 0);

    // The first two blocks: the padding, then the value's first 32 - pad bytes, put together
    // in registers (the state added to the value's first four bytes, which then move up by
    // `pad`); through memory the loads would wait for the stores.
    const std::size_t pad = (16 - size % 16) % 16;
    static constexpr std::uint8_t kShiftUp[32] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                                  0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                                  0,    1,    2,    3,    4,    5,    6,    7,
                                                  8,    9,    10,   11,   12,   13,   14,   15};
    __m128i x1 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                               _mm_cvtsi32_si128(static_cast<int>(crc)));
    x1 = _mm_shuffle_epi8(x1,
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftUp + 16 - pad)));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 - pad));
    if (pad > 12) {  // the state's last bytes moved on into the second block
        second =
            _mm_xor_si128(second, _mm_cvtsi32_si128(static_cast<int>(crc >> (8 * (16 - pad)))));
    }
    at += 32 - pad;
    size -= 32 - pad;

    x1 = _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x1, fold, 0x11), _mm_clmulepi64_si128(x1, fold, 0x00)),
        second);
    for (; size >= 16; at += 16, size -= 16) {
        __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i low = _mm_clmulepi64_si128(x1, fold, 0x00);
        x1 = _mm_clmulepi64_si128(x1, fold, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, low), next);
    }
    // 128 bits to 64.
    __m128i x2 = _mm_clmulepi64_si128(x1, fold, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    // 64 bits to 32.
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, low_32);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, to_32, 0x00), x2);
    // Barrett reduction to the 32-bit remainder.
    x2 = _mm_and_si128(x1, low_32);
    x2 = _mm_clmulepi64_si128(x2, barrett, 0x10);
    x2 = _mm_and_si128(x2, low_32);
    x2 = _mm_clmulepi64_si128(x2, barrett, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

const bool kFolds = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}();
#endif

}  // namespace

std::uint32_t crc32_of(const void* bytes, std::size_t size, std::uint32_t previous) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t crc = ~previous;
#if defined(__x86_64__)
    if (kFolds && size >= 32) {
        return ~crc32_folded(at, size, crc);
    }
#endif
    return ~crc32_tables(at, size, crc);
}

}  // namespace varelum::engine
