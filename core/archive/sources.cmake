# The native archive: the record encoding and its formats (descriptor digest, key file,
# custody record, names), then the archive's lifecycle, save and load.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/record_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/descriptor_digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mac.cpp
  ${CMAKE_CURRENT_LIST_DIR}/names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publish_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/secret.cpp
  ${CMAKE_CURRENT_LIST_DIR}/limits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lifecycle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/save.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stale_staging.cpp)
