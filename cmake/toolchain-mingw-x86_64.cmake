# Cross build for 64-bit Windows (PE32+) with Debian's mingw-w64 x86_64 toolchain:
#
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
#
# Everything but the target is in toolchain-mingw.cmake.
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
