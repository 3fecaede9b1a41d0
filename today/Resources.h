#pragma once
// The numbers of the Today item's resources.

namespace velmo {

inline constexpr unsigned ItemNameString = 1;
inline constexpr unsigned CountersFormatString = 3;
inline constexpr unsigned StateIconsBitmap = 153;

}  // namespace velmo
