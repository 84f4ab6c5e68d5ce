# velmoran_layer(name source...): one layer of the plug-in, an object library
# compiled as the plug-in is (hidden symbols, no STB_GNU_UNIQUE symbols, which
# would pin the library in memory at dlclose), with the source tree as its
# include root. Its objects go into the plug-in; nothing else links them.
function(velmoran_layer name)
  add_library(${name} OBJECT ${ARGN})
  target_link_libraries(${name} PUBLIC hostrt)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
endfunction()
