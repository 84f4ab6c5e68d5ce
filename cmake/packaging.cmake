# CPack: what `make dist` builds from the install rules (cmake/install.cmake).
# Linux: a .deb and a .tar.gz; Windows, for every Windows build: a .zip named
# after the build's word size (win32, win64).

set(VELMORAN_MAINTAINER "Velmoran maintainers <maintainers@velmoran.invalid>"
    CACHE STRING "The packages' maintainer field")

set(CPACK_PACKAGE_NAME velmoran)
set(CPACK_PACKAGE_VENDOR "Velmoran")
set(CPACK_PACKAGE_CONTACT "${VELMORAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "order-export plug-in for a vehicle dealer's business application")
# The long description, in lines as a .deb shows it.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "The plug-in turns a parts order that the application hands it into the"
  "supplier's fixed-column order file velmoran.txt."
  "."
  "Included are velmoran-send, a command-line host that sends orders given"
  "as JSON (manual page velmoran-send(1)); hostrt, the host-runtime layer the"
  "plug-in runs on, with its embedding API for C++ applications"
  "(find_package(hostrt)); and the JSON Schema of the order document.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://velmoran.invalid/")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_STRIP_FILES OFF)  # stripped when linked (cmake/windows.cmake)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  # The .deb installs below /usr (CPack's default for it); the .tar.gz
  # unpacks into one folder named after the package.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends: from the libraries the binaries link, through dpkg-shlibdeps;
  # libhostrt.so.1 comes with the package itself.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
      ${CMAKE_BINARY_DIR}/bin)
endif()
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")

include(CPack)
