#pragma once
// Resources carried inside a library: it exports one table under the name VelmoResources,
// and LoadStringW and ImageList_LoadImage find that table through the handle that
// LoadLibraryW gave for the library.

#include <cstddef>
#include <cstdint>

#include "device/gui/Windows.h"

struct VelmoStringResource {
    UINT id;
    const WCHAR* text;
};

// A bitmap's pixels as 0xRRGGBB, row by row from the top, kept by the module for as
// long as it is loaded.
struct VelmoBitmapPixels {
    int width;
    int height;
    const std::uint32_t* pixels;
};

struct VelmoBitmapResource {
    UINT id;
    VelmoBitmapPixels (*pixels)();
};

struct VelmoResourceTable {
    const VelmoStringResource* strings;
    std::size_t stringCount;
    const VelmoBitmapResource* bitmaps;
    std::size_t bitmapCount;
};

// The table a module exports; a module that carries resources defines it once.
inline constexpr const char16_t* VelmoResourceTableName = u"VelmoResources";
extern "C" __attribute__((visibility("default"))) const VelmoResourceTable VelmoResources;
