# The native archive's save and load against a bare durable publish and read of the same
# bytes, and against SQLite, in one run on one file system. Only the public API is
# measured, so the program links the shared library; SQLite is wanted by nothing else.
find_package(SQLite3 REQUIRED)
zu_add_bench(archive_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_bench.cpp
  LIBRARIES zu::core OpenSSL::Crypto SQLite::SQLite3)
