# Cross build for 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu)
# and the arm64 libraries installed beside the native ones through multiarch
# (dpkg --add-architecture arm64; libsdl2-dev:arm64 and so on). No sysroot: the arm64
# libraries live in /usr/lib/aarch64-linux-gnu, which CMake searches once it knows the
# target's library architecture, and the headers they share are the native ones.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Only arm64 libraries and their pkg-config files: a native one found by mistake would
# fail at link time, far from the cause.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config)

# The tests (and gtest_discover_tests listing them at build time) run under qemu-user;
# the arm64 loader and libraries are where multiarch put them, so it needs no prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
