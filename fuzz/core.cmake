# Image validation reads untrusted Base64; the content digest walks untrusted provider
# JSON. The digest writer is internal to zu_core, so its target links the objects.
zu_add_fuzzer(valid_image
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/valid_image_fuzz.cpp
  LIBRARIES zu::core)
zu_add_fuzzer(content_digest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/content_digest_fuzz.cpp
  LIBRARIES zu_core_internal)
# Written JSON read back must digest as the value it was written from: the archive proves
# replay tokens across exactly that trip.
zu_add_fuzzer(json_canonical
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_canonical.cpp
  LIBRARIES zu_core_internal)
