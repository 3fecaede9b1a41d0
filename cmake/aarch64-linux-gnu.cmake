# Cross build for arm64 with Debian's cross toolchain (crossbuild-essential-arm64) and the
# :arm64 development packages installed beside the host's (multiarch), so the root stays /.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Build-time programs (the spam model, the icons, the manual page) and the tests run under
# qemu-user; called by name, they need no binfmt_misc handler.
find_program(VELMO_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMO_QEMU_AARCH64})

# Tools come from the host; headers, libraries and CMake packages from the arm64 multiarch folders.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# The package is named and its dependencies looked up for arm64.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
