# validate_json_value against valijson (header-only, over nlohmann::json), same schemas and
# values, in one run.
find_package(nlohmann_json 3 REQUIRED)
find_package(valijson REQUIRED)
zu_add_bench(schema_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/schema_bench.cpp
  LIBRARIES vantrel::mcp_types nlohmann_json::nlohmann_json valijson)
