#pragma once
// Icon 101: the program's icon.

#include "app/resources/PixelArt.h"

namespace velmo {

inline constexpr unsigned IDI_APP_ICON = 101;

// 32 x 32: an envelope with a filter funnel; white is the mask.
Bitmap AppIcon();

}  // namespace velmo
