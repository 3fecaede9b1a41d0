#pragma once
// Bitmap 153: the pictures of the program states, shared by VelmoLight and VelmoToday;
// this file and PixelArt.cpp are all that a user of the picture compiles.

#include "app/resources/PixelArt.h"

namespace velmo {

inline constexpr unsigned IDB_STATE_ICONS = 153;
inline constexpr int kStateIconWidth = 26;

// 78 x 16: 0 Active (green tick), 1 Disabled (red cross), 2 Active by schedule
// (alarm clock with a green tick); white is the mask.
Bitmap StateBitmap();

}  // namespace velmo
