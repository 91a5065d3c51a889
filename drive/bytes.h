// Reading and writing integers at fixed offsets of byte buffers. Every on-the-wire or
// in-record layout of the tool (command descriptor blocks, the pass-through block, the
// ASPI request blocks, the package header) goes through these helpers, never through a
// cast of a byte buffer to a struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace troz {

inline void PutBigEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

inline std::uint16_t GetBigEndian16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

inline void PutBigEndian24(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 16);
    PutBigEndian16(at + 1, static_cast<std::uint16_t>(value));
}

inline std::uint32_t GetBigEndian24(const std::uint8_t* at) {
    return (static_cast<std::uint32_t>(at[0]) << 16) | GetBigEndian16(at + 1);
}

// value rounded up to a multiple of alignment: where natural alignment places a field.
constexpr std::size_t AlignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

inline void PutLittleEndian16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint16_t GetLittleEndian16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// Native-endian fields of platform records (the pass-through block, ASPI request blocks).
template <typename T>
inline void PutNative(std::uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof(T));
}

template <typename T>
inline T GetNative(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

inline void PutPointer(std::uint8_t* at, const void* pointer) {
    PutNative(at, pointer);
}

inline void* GetPointer(const std::uint8_t* at) {
    return GetNative<void*>(at);
}

}  // namespace troz
