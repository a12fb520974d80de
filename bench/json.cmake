find_package(nlohmann_json 3 REQUIRED)
zu_add_bench(json_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/json_bench.cpp
  LIBRARIES zu::json PkgConfig::YYJSON nlohmann_json::nlohmann_json)
