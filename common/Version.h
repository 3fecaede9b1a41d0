#pragma once
// The one version of Velmo, the CMake project's, for the command line and the About box.

namespace velmo {

extern const char kVersion[];

}  // namespace velmo
