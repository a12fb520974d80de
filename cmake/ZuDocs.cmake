# The API reference: `cmake --build <dir> --target docs` (`make docs`) runs Doxygen over
# the public headers of every library into <dir>/docs/html. Warnings fail it. Without
# Doxygen the target is still there, and says what is missing when it is built.
find_package(Doxygen)
find_package(Python3 COMPONENTS Interpreter)
if(NOT DOXYGEN_FOUND OR NOT Python3_Interpreter_FOUND)
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: doxygen or python3 is missing; run scripts/deps.sh"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
  return()
endif()

# The README is the front page; the guarantees of the native archive come next.
set(ZU_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
# Doxygen starts the filter once per header. The interpreter is named by the file it
# runs from, not by a launcher in PATH that would start a second program each time.
execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print(sys.executable)"
  OUTPUT_VARIABLE python OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(ZU_DOCS_FILTER "${python} ${PROJECT_SOURCE_DIR}/docs/header_filter.py")
set(header_dirs "")
get_property(libraries GLOBAL PROPERTY ZU_INSTALLED_LIBRARIES)
foreach(library IN LISTS libraries)
  get_target_property(dirs ${library} INTERFACE_INCLUDE_DIRECTORIES)
  foreach(dir IN LISTS dirs)
    if(dir MATCHES "^\\$<BUILD_INTERFACE:(.*)>$")
      list(APPEND header_dirs "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES header_dirs)
list(JOIN header_dirs " " ZU_DOCS_STRIP)
set(ZU_DOCS_INPUT "${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/native_archive.md ${PROJECT_SOURCE_DIR}/docs/native_replay.md ${ZU_DOCS_STRIP}")
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)

add_custom_target(docs
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZU_DOCS_DIR}
  COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/Doxyfile
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "API reference into ${ZU_DOCS_DIR}/html"
  VERBATIM)
