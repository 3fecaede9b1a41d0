#pragma once
// Resources carried inside a library or program: it exports one table under the name
// VelmoResources, and LoadStringW and ImageList_LoadImage find that table through the
// module handle they are given.

#include "device/gui/Windows.h"

struct VelmoStringResource {
    UINT id;
    const WCHAR* text;
};

// A bitmap is an XPM image: rows of characters over a palette, so that the pictures
// stay readable and editable as source text.
struct VelmoBitmapResource {
    UINT id;
    const char* const* xpm;
};

struct VelmoResourceTable {
    const VelmoStringResource* strings;
    std::size_t stringCount;
    const VelmoBitmapResource* bitmaps;
    std::size_t bitmapCount;
};

// The table a module exports; a module that carries resources defines it once.
#define VELMO_RESOURCE_TABLE_NAME "VelmoResources"
extern "C" __attribute__((visibility("default"))) const VelmoResourceTable VelmoResources;
