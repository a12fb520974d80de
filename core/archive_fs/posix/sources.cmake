# The POSIX backend of the archive file system.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/capacity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/checked_open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/create.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/locate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mounts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ownership.cpp
  ${CMAKE_CURRENT_LIST_DIR}/private.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reopen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_lock.cpp)
