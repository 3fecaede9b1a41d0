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

// The exported symbol, declared with default visibility so that it survives a build
// whose other symbols are hidden.
#define VELMO_RESOURCE_TABLE_NAME "VelmoResources"
#define VELMO_EXPORT extern "C" __attribute__((visibility("default")))
