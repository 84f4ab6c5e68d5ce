# What `cmake --install` lays out, and so what the packages hold.
#
# Linux, below any prefix (the .deb uses /usr); every run path is relative,
# so the tree works wherever it is unpacked:
#   bin/velmoran-send               run path $ORIGIN/../lib
#   lib/libhostrt.so.1.0.0          the runtime, with the links .so.1 (SONAME) and .so
#   lib/velmoran/libvelmoran.so     the plug-in, where velmoran-send looks for it
#   include/hostrt/                 the embedding API
#   lib/cmake/hostrt/               find_package(hostrt CONFIG), target hostrt::hostrt
#   share/man/man1/velmoran-send.1
#   share/doc/velmoran/             README, example order, order schema
#
# Windows: one flat folder, as the DLLs are used: velmoran-send.exe, the
# DLLs and the compiler's runtime DLLs side by side, with a README.txt for
# integrators, the example order and the schema.

include(CMakePackageConfigHelpers)

set(_docs ${PROJECT_SOURCE_DIR}/examples/order.json ${PROJECT_SOURCE_DIR}/doc/order.schema.json)

if(WIN32)
  install(PROGRAMS $<TARGET_FILE:velmoran-send> $<TARGET_FILE:velmoran> $<TARGET_FILE:hostrt>
          DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
                 ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${_docs} DESTINATION .)
  unset(_docs)
  return()
endif()

set(_plugin_dir ${CMAKE_INSTALL_LIBDIR}/velmoran)
set(_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/hostrt)

# Run paths from each binary's folder to the runtime's.
file(RELATIVE_PATH _bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH _plugin_to_lib /${_plugin_dir} /${CMAKE_INSTALL_LIBDIR})
string(REGEX REPLACE "/$" "" _plugin_to_lib "${_plugin_to_lib}")
set_target_properties(velmoran-send PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
set_target_properties(velmoran PROPERTIES INSTALL_RPATH "$ORIGIN/${_plugin_to_lib}")
# Both are linked with these run paths, so that installing copies them as
# they are. In the build tree lib leads to bin, where every binary lies, and
# velmoran-send's path finds the runtime there too. (A build-tree run path
# that installing rewrites gets an empty entry at its end to make room, and
# the loader searches the current directory for an empty entry.)
set_target_properties(velmoran-send velmoran PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
file(CREATE_LINK ${CMAKE_INSTALL_BINDIR} ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR} SYMBOLIC)

install(TARGETS hostrt EXPORT hostrtTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/runtime/include/hostrt
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS velmoran LIBRARY DESTINATION ${_plugin_dir})
install(TARGETS velmoran-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT hostrtTargets NAMESPACE hostrt:: DESTINATION ${_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/hostrtConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/packaging/hostrtConfig.cmake
                              INSTALL_DESTINATION ${_cmake_dir})
# The runtime's ABI changes only with the major version.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/hostrtConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/hostrtConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/hostrtConfigVersion.cmake
        DESTINATION ${_cmake_dir})

# The manual page carries the version of project().
configure_file(${PROJECT_SOURCE_DIR}/doc/velmoran-send.1.in ${CMAKE_BINARY_DIR}/doc/velmoran-send.1
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/doc/velmoran-send.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})

unset(_docs)
unset(_plugin_dir)
unset(_cmake_dir)
unset(_bin_to_lib)
unset(_plugin_to_lib)
