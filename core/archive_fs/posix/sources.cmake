# The POSIX backend of the archive file system. Despite its name it is Linux's: it relies
# on renameat2, statx mount identifiers, file-system magic numbers and /proc.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "The archive file system has no backend for ${CMAKE_SYSTEM_NAME}: "
    "the POSIX one needs Linux (renameat2, statx mount identifiers, /proc).")
endif()
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/capacity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/checked_open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/create.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/identity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/locate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mounts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ownership.cpp
  ${CMAKE_CURRENT_LIST_DIR}/path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/private.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reopen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revisit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sweep.cpp)
