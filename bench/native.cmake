# Native contexts over long histories, against a plain SHA-256 of as many bytes. The
# byte count uses the digests that the library does not export, so the program links
# the objects.
zu_add_bench(zu_native_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/native_bench.cpp
  LIBRARIES zu_core_internal)
