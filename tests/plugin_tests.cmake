# Tests that load the plug-in as the application does: each links only the
# runtime and loads libvelmoran.so with dlopen.
add_library(plugin_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/plugin_fixture.cpp)
target_link_libraries(plugin_fixture PUBLIC hostrt GTest::gtest ${CMAKE_DL_LIBS})
target_compile_definitions(plugin_fixture PUBLIC VELMORAN_PLUGIN_PATH="$<TARGET_FILE:velmoran>")
target_include_directories(plugin_fixture PUBLIC ${CMAKE_CURRENT_LIST_DIR}/.. ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(plugin_fixture velmoran)

foreach(name runtime_object_test exporter_object_test records_test exporter_output_test
             send_test library_load_test plugin_threads_test)
  add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE plugin_fixture GTest::gtest_main)
  velmoran_discover_tests(${name})
endforeach()
target_include_directories(runtime_object_test PRIVATE ${VELMORAN_RUNTIME_INTERNALS})
target_include_directories(exporter_output_test PRIVATE ${VELMORAN_RUNTIME_INTERNALS})
