# The archive file system: shared rules at the top, one backend per platform below.
# A backend lists its own files in <backend>/sources.cmake.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/capacity_tally.cpp
  ${CMAKE_CURRENT_LIST_DIR}/independent_key_parent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revisit_by_walking.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status.cpp)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows/sources.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/posix/sources.cmake)
endif()
