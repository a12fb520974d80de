# Names reach the archive file system from callers and from directory listings of a
# store that others may have written into. The rules are compiled straight into the
# target: they need nothing else of the library, only its public headers and the private
# ones beside its sources.
zu_add_fuzzer(archive_fs_names
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_fs/names.cpp
          ${PROJECT_SOURCE_DIR}/core/archive_fs/names.cpp
          ${PROJECT_SOURCE_DIR}/core/archive_fs/status.cpp)
target_include_directories(fuzz_archive_fs_names PRIVATE
  $<TARGET_PROPERTY:zu_core,INTERFACE_INCLUDE_DIRECTORIES> ${PROJECT_SOURCE_DIR}/core)

# The mount table names mount points that whoever mounts chose; the reader of its lines is
# checked against a plain split of the same text.
zu_add_fuzzer(archive_fs_mounts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/archive_fs/mounts.cpp
  LIBRARIES zu_core_internal)
