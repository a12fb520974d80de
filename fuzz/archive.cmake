# Custody records are read from files that anyone able to write the store could have
# put there; the MAC stops a forger, not a fuzzer, so this target reads behind it.
zu_add_fuzzer(archive_record
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_record.cpp
  LIBRARIES zu_core_internal)
# Replies carrying any JSON the reader accepts, with real replay tokens: what save would
# write must load back with the tokens still valid.
zu_add_fuzzer(archive_messages
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_messages.cpp
  LIBRARIES zu_core_internal)
