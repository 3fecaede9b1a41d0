#pragma once
// Bitmap 152: the pictures of the three actions in the contact list.

#include "app/resources/PixelArt.h"

namespace velmo {

inline constexpr unsigned IDB_LIST_ICONS = 152;
inline constexpr int kListIconWidth = 26;

// 78 x 16: 0 Accept (envelope, green tick), 1 Silent accept (envelope, muted loudspeaker),
// 2 Dismiss (envelope, red cross); white is the mask.
Bitmap ListBitmap();

}  // namespace velmo
