zu_add_fuzzer(json_parse SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/json_parse.cpp LIBRARIES zu::json)
zu_add_fuzzer(json_writer SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/json_writer.cpp LIBRARIES zu::json)
