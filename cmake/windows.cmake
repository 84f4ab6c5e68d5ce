# What a Windows build, 32-bit or 64-bit, adds to the project (included from the
# top-level CMakeLists.txt when WIN32): velmoran.dll with its fixed exports
# and the header-only packages the host needs, found without the Linux package
# search paths. The compiler's runtime is linked into every binary (see the
# top-level CMakeLists.txt); no DLL of it ships.

# velmoran.dll, not libvelmoran.dll; plugin/CMakeLists.txt makes its export list.
set_target_properties(velmoran PROPERTIES PREFIX "")

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
