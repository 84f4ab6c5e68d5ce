# The documents shipped with velmoran-send, checked against the built program:
# the manual page and the order schema.
add_test(NAME manpage COMMAND ${CMAKE_CURRENT_LIST_DIR}/manpage_test.sh
         ${CMAKE_BINARY_DIR}/doc/velmoran-send.1 $<TARGET_FILE:velmoran-send>)

# Debian's python3, which python3-jsonschema serves.
set(VELMORAN_PYTHON /usr/bin/python3 CACHE FILEPATH "python3 with the jsonschema module")
add_test(NAME order_schema COMMAND ${VELMORAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/order_schema_test.py
         ${PROJECT_SOURCE_DIR}/doc/order.schema.json ${PROJECT_SOURCE_DIR}/examples/order.json
         $<TARGET_FILE:velmoran-send>)
