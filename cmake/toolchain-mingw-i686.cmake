# Cross build for 32-bit Windows (PE32) with Debian's mingw-w64 i686 toolchain:
#
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
#
# Everything but the target is in toolchain-mingw.cmake.
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
