# Native context and replay. For now: the digest framing and message digests that every
# binding is made of.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/digest_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/content_digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prefix_step.cpp)
