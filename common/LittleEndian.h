#pragma once
// The byte order of the program's binary files: little-endian numbers and UTF-16LE magic texts,
// written and read byte by byte so that neither the host's order nor alignment matters.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmo {

inline std::uint32_t LoadLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void StoreLe32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// text as UTF-16LE in Size bytes, the rest zero (a terminating zero unit when there is room).
template <std::size_t Size>
constexpr std::array<std::uint8_t, Size> Utf16LeMagic(std::u16string_view text) {
    std::array<std::uint8_t, Size> bytes{};
    for (std::size_t i = 0; i < text.size() && 2 * i + 1 < Size; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    return bytes;
}

}  // namespace velmo
