# How the Linux binaries that ship (libhostrt.so, libvelmoran.so and
# velmoran-send) are linked (included from the top-level CMakeLists.txt).
#
# Each carries the parts of the C++ runtime it uses (libstdc++, libgcc)
# inside itself, their symbols private to it, as the Windows build does.
# Nothing of C++ crosses between the modules: the runtime's interface is C
# and errors unwind as state, so a private copy per module is enough. The
# process then loads neither libstdc++.so nor libgcc_s.so, nor runs their
# start-up, and touches only the pages of the parts in use.
#
# The sanitizer builds keep the shared C++ runtime: AddressSanitizer and
# ThreadSanitizer intercept it and do not support a static one.
if(WIN32)
  return()
endif()

if(NOT VELMORAN_SANITIZE)
  foreach(_target hostrt velmoran velmoran-send)
    target_link_options(${_target} PRIVATE -static-libstdc++ -static-libgcc
                        LINKER:--exclude-libs,ALL)
  endforeach()
  unset(_target)
endif()
