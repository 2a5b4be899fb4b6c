// Fixed-width numbers as bytes, written once for the whole engine. Little-endian in record
// images (the machine's own order, so a field is one copy); big-endian in keys, so that keys
// made of them sort by byte as the numbers sort (record numbers in the table file's trees and
// at the end of every index key). Values stored in files this way never change their layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varelum::engine::format {

template <typename T>
T load_le(const std::uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);  // the engine runs on little-endian machines
    return value;
}

template <typename T>
void store_le(std::uint8_t* bytes, T value) {
    std::memcpy(bytes, &value, sizeof value);
}

// REQUIRES: out has room for 4 bytes.
inline void put_big_endian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

inline void append_big_endian32(std::string& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    put_big_endian32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// REQUIRES: 4 readable bytes at bytes.
inline std::uint32_t big_endian32(const void* bytes) {
    const auto* b = static_cast<const std::uint8_t*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           b[3];
}

// REQUIRES: bytes.size() >= 4; reads the first four.
inline std::uint32_t big_endian32(std::string_view bytes) {
    return big_endian32(static_cast<const void*>(bytes.data()));
}

}  // namespace varelum::engine::format
