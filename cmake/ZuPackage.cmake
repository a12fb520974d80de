# Installs the public headers and the CMake package: find_package(zu CONFIG) gives the
# targets zu::json, zu::core, zu::descriptor, vantrel::mcp_types and vantrel::core.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.hpp")

set(ZU_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zu)
get_property(export_sets GLOBAL PROPERTY ZU_EXPORT_SETS)
list(REMOVE_DUPLICATES export_sets)
set(ZU_EXPORT_SETS_INSTALLED "")
foreach(set IN LISTS export_sets)
  install(EXPORT ${set}Targets NAMESPACE ${set}:: DESTINATION ${ZU_CMAKE_DIR})
  list(APPEND ZU_EXPORT_SETS_INSTALLED ${set})
endforeach()

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zuConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zuConfig.cmake
  INSTALL_DESTINATION ${ZU_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zuConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zuConfig.cmake ${PROJECT_BINARY_DIR}/zuConfigVersion.cmake
  DESTINATION ${ZU_CMAKE_DIR})
