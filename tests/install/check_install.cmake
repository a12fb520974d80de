# cmake -P script: install BUILD_DIR into WORK_DIR/prefix, then build and run the
# consumer project against it.
include(${CMAKE_CURRENT_LIST_DIR}/consumer.cmake)
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
check_consumer(${prefix} all ${WORK_DIR}/consumer)
message(STATUS "installed package consumed through find_package and pkg-config")
