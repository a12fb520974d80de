# Native context and replay: the digest framing and message digests every binding is
# made of, the descriptor and configuration digests, contexts with their history
# binding, and replay tokens.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/digest_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/content_digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prefix_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/descriptor_digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/configuration_feeds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/configuration_digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/native_context.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_binding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chat_inputs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/responses_cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/native_replay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/codec_access.cpp)
