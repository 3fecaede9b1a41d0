#include "app/resources/PixelArt.h"

#include <cstring>

namespace velmo {

namespace {

constexpr PaletteEntry kPalette[] = {
    {'.', kMaskColour}, {'k', 0x303030},  // outline
    {'w', 0xFAF3D7},                      // envelope paper
    {'f', 0x9A8F70},                      // envelope flap
    {'g', 0x2DB42D},                      // tick
    {'G', 0x146414},                      // tick edge
    {'r', 0xE02828},                      // cross
    {'R', 0x8C1010},                      // cross edge
    {'s', 0x8C96A0},                      // loudspeaker
    {'h', 0x505A64},                      // loudspeaker edge
    {'y', 0xE6B41E},                      // clock bells
    {'Y', 0x9C7410},                      // clock bell edge
    {'c', 0xFFFBE6},                      // clock face
    {'b', 0x103C8C},                      // funnel edge
    {'B', 0x3C8CDC},                      // funnel
};

}  // namespace

std::span<const PaletteEntry> PicturePalette() { return kPalette; }

Bitmap DecodePixelArt(std::span<const char* const> rows, std::span<const PaletteEntry> palette) {
    if (rows.empty()) return {};
    Bitmap bitmap;
    bitmap.width = static_cast<int>(std::strlen(rows[0]));
    bitmap.height = static_cast<int>(rows.size());
    bitmap.pixels.reserve(static_cast<std::size_t>(bitmap.width) * rows.size());
    for (const char* row : rows) {
        if (std::strlen(row) != static_cast<std::size_t>(bitmap.width)) return {};
        for (const char* p = row; *p != '\0'; ++p) {
            const PaletteEntry* entry = nullptr;
            for (const auto& candidate : palette) {
                if (candidate.symbol == *p) entry = &candidate;
            }
            if (entry == nullptr) return {};
            bitmap.pixels.push_back(entry->colour);
        }
    }
    return bitmap;
}

}  // namespace velmo
