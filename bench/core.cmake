# Digest framing against a plain SHA-256 of the same JSON text. The writer is internal
# to zu_core, so the program links its objects.
zu_add_bench(zu_digest_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/digest_bench.cpp
  LIBRARIES zu_core_internal)
