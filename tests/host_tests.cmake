# velmoran-send end to end: the test runs the built program as a user would,
# so it is told where the program, the plug-in and the worked example are.
velmoran_test(host_send_test ${CMAKE_CURRENT_LIST_DIR}/host_send_test.cpp)
target_compile_definitions(host_send_test PRIVATE
  VELMORAN_SEND="$<TARGET_FILE:velmoran-send>"
  VELMORAN_PLUGIN="$<TARGET_FILE:velmoran>"
  VELMORAN_EXAMPLE="${PROJECT_SOURCE_DIR}/examples/order.json"
  VELMORAN_VERSION="${PROJECT_VERSION}")
add_dependencies(host_send_test velmoran-send velmoran)

# The reader of order files on its own, fed in chunks of every size.
velmoran_test(host_json_reader_test ${CMAKE_CURRENT_LIST_DIR}/host_json_reader_test.cpp)
target_link_libraries(host_json_reader_test PRIVATE velmoran_host)
