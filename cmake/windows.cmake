# What a Windows build, 32-bit or 64-bit, adds to the project (included from the
# top-level CMakeLists.txt when WIN32): velmoran.dll with its fixed exports,
# the compiler's runtime DLLs beside our binaries, and the header-only
# packages the host needs, found without the Linux package search paths.

# velmoran.dll, not libvelmoran.dll; plugin/CMakeLists.txt makes its export list.
set_target_properties(velmoran PROPERTIES PREFIX "")

# The compiler's runtime DLLs (cmake/toolchain-mingw.cmake) go beside
# HOSTRT1.dll and velmoran.dll: a Windows machine needs them there, and the
# tests run from that folder.
# Debian ships them with debug information (libstdc++-6.dll: 21 MB); the
# copies lose it.
if(MINGW_RUNTIME_DLLS)
  file(COPY ${MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  if(CMAKE_STRIP)
    foreach(_dll IN LISTS MINGW_RUNTIME_DLLS)
      get_filename_component(_name ${_dll} NAME)
      execute_process(COMMAND ${CMAKE_STRIP} --strip-debug ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_name}
                      RESULT_VARIABLE _failed)
      if(_failed)
        message(FATAL_ERROR "cannot strip ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_name}")
      endif()
    endforeach()
    unset(_dll)
    unset(_name)
    unset(_failed)
  endif()
endif()

# nlohmann_json is header-only. The toolchain file makes its headers visible
# to the cross compiler; find_package cannot see the Linux package's config
# (the find root is mingw's), so a config naming the same headers is written
# here, with the version check of the installed package.
set(_nlohmann_version /usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
if(NOT nlohmann_json_DIR AND EXISTS ${_nlohmann_version})
  set(_dir ${CMAKE_BINARY_DIR}/mingw-portable-cmake/nlohmann_json)
  file(WRITE ${_dir}/nlohmann_jsonConfig.cmake
       "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
       "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
       "endif()\n")
  file(WRITE ${_dir}/nlohmann_jsonConfigVersion.cmake "include(${_nlohmann_version})\n")
  set(nlohmann_json_DIR ${_dir} CACHE PATH "nlohmann_json for the cross build" FORCE)
  unset(_dir)
endif()
unset(_nlohmann_version)

# The binaries as shipped: without symbols in a release build.
foreach(_target hostrt velmoran)
  target_link_options(${_target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endforeach()
unset(_target)
add_link_options($<$<CONFIG:Release,MinSizeRel>:-s>)  # targets defined from here on
