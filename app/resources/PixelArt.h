#pragma once
// The program's pictures are drawn as pixel art in source text: one character a pixel,
// looked up in a palette. The result is plain data, so VelmoToday can use the same
// pictures without any windowing library.

#include <cstdint>
#include <span>
#include <vector>

namespace velmo {

// Colours are 0xRRGGBB; the pictures use white (0xFFFFFF) as their mask colour.
inline constexpr std::uint32_t kMaskColour = 0xFFFFFF;

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // row by row from the top

    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

struct PaletteEntry {
    char symbol;
    std::uint32_t colour;
};

// The picture drawn by rows; an empty bitmap when the rows differ in length or use a
// symbol that the palette lacks.
Bitmap DecodePixelArt(std::span<const char* const> rows, std::span<const PaletteEntry> palette);

// The palette shared by the program's pictures; '.' is the mask colour.
std::span<const PaletteEntry> PicturePalette();

}  // namespace velmo
