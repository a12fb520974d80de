# The Windows backend of the archive file system: NT opens relative to directory handles,
# file identities, byte-range locks and security descriptors. ntdll's three entry points
# are looked up at run time; kernel32 and advapi32 are among the libraries every Windows
# toolchain links by default.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/capacity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/create.cpp
  ${CMAKE_CURRENT_LIST_DIR}/disposition.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/identity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/locate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open_relative.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ownership.cpp
  ${CMAKE_CURRENT_LIST_DIR}/private.cpp
  ${CMAKE_CURRENT_LIST_DIR}/private_shape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/query.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/removal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reopen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revisit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/security.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sweep.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
