# Cross build for Windows with Debian's mingw-w64 toolchains, shared by the
# 32-bit and the 64-bit build. A thin toolchain file per target sets
# MINGW_TRIPLE and includes this one:
#
#   cmake/toolchain-mingw-i686.cmake     i686-w64-mingw32    32-bit, PE32
#   cmake/toolchain-mingw-x86_64.cmake   x86_64-w64-mingw32  64-bit, PE32+
#
# The posix thread-model compilers are used: the win32 model of GCC 12 has no
# std::mutex, std::shared_mutex or std::thread.
#
# By default these compilers link libgcc and libstdc++ as DLLs, and only then
# can a C++ exception thrown in one DLL unwind through the frames of another:
# every module registers its unwind tables with the one shared unwinder in
# libgcc's DLL (libgcc_s_dw2-1.dll on 32-bit, DWARF tables; libgcc_s_seh-1.dll
# on 64-bit, Windows' own SEH tables). A static libgcc gives each module a
# private unwinder that knows nothing of the others' frames, and a throw that
# crosses a DLL boundary ends in std::terminate. The project itself links
# them statically (the top-level CMakeLists.txt): no exception crosses
# between its modules. scripts/windows/selftest checks the default.
#
# The compiler's runtime DLLs are listed in MINGW_RUNTIME_DLLS (absolute
# paths, resolved through the compiler), for programs that use the default.
# Executables run through CMAKE_CROSSCOMPILING_EMULATOR (wine in a private,
# quiet prefix of the matching architecture, WINE_ARCH), so ctest and
# add_test work unchanged.

if(MINGW_TRIPLE MATCHES "^i686-")
  set(CMAKE_SYSTEM_PROCESSOR x86)
  set(MINGW_LIBGCC_DLL libgcc_s_dw2-1.dll)
  set(WINE_ARCH win32)
elseif(MINGW_TRIPLE MATCHES "^x86_64-")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
  set(MINGW_LIBGCC_DLL libgcc_s_seh-1.dll)
  set(WINE_ARCH win64)
else()
  message(FATAL_ERROR "toolchain-mingw.cmake: unknown MINGW_TRIPLE '${MINGW_TRIPLE}'")
endif()
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_TRIPLE}-windres)
find_program(CMAKE_AR NAMES ${MINGW_TRIPLE}-gcc-ar-posix ${MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${MINGW_TRIPLE}-gcc-ranlib-posix ${MINGW_TRIPLE}-ranlib)
find_program(CMAKE_OBJDUMP NAMES ${MINGW_TRIPLE}-objdump)
find_program(CMAKE_STRIP NAMES ${MINGW_TRIPLE}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime DLLs. Ask the driver rather than hard-coding the GCC
# version directory.
set(MINGW_RUNTIME_DLLS "")
foreach(_dll ${MINGW_LIBGCC_DLL} libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                  OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
    message(FATAL_ERROR "mingw runtime DLL ${_dll} not found (got '${_path}')")
  endif()
  get_filename_component(_path "${_path}" REALPATH)
  list(APPEND MINGW_RUNTIME_DLLS "${_path}")
endforeach()
unset(_dll)
unset(_path)

# Header-only libraries installed for the Linux build are portable, but adding
# /usr/include to the cross compiler's path would let glibc's headers shadow
# mingw's. Each folder named in MINGW_PORTABLE_HEADERS is linked alone into
# a private include directory instead.
if(NOT DEFINED MINGW_PORTABLE_HEADERS)
  set(MINGW_PORTABLE_HEADERS nlohmann rapidjson)
endif()
set(_mingw_include "${CMAKE_BINARY_DIR}/mingw-portable-include")
foreach(_dir IN LISTS MINGW_PORTABLE_HEADERS)
  if(EXISTS "/usr/include/${_dir}" AND NOT EXISTS "${_mingw_include}/${_dir}")
    file(MAKE_DIRECTORY "${_mingw_include}")
    file(CREATE_LINK "/usr/include/${_dir}" "${_mingw_include}/${_dir}" SYMBOLIC)
  endif()
endforeach()
if(EXISTS "${_mingw_include}")
  set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES "${_mingw_include}")
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${_mingw_include}")
endif()
unset(_dir)
unset(_mingw_include)

# Run cross-built programs under wine, in a prefix of the build tree (created
# on first use, about five seconds) with the first-start dialogs silenced.
# WINE_PREFIX_DIR overrides the place, e.g. to share one prefix between builds.
get_filename_component(_mingw_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(NOT WINE_PREFIX_DIR)
  set(WINE_PREFIX_DIR "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_mingw_root}/scripts/windows/wine-env.sh;--arch;${WINE_ARCH};--prefix;${WINE_PREFIX_DIR}")
unset(_mingw_root)
