#pragma once
// The two handheld platforms VelmoLight is built for differ only in a few drawing
// details; the build picks the default, and tests may draw as either.

namespace velmo {

enum class Platform { WindowsMobile5, PocketPC2003 };

#if defined(VELMO_PLATFORM_PPC2003)
inline constexpr Platform kBuildPlatform = Platform::PocketPC2003;
#else
inline constexpr Platform kBuildPlatform = Platform::WindowsMobile5;
#endif

}  // namespace velmo
