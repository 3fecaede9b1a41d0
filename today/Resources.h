#pragma once
// The numbers of the Today item's strings; its pictures are VelmoLight's bitmap 153.

namespace velmo {

inline constexpr unsigned ItemNameString = 1;
inline constexpr unsigned CountersFormatString = 3;

}  // namespace velmo
