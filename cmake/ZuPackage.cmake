# The CMake package: find_package(zu CONFIG) gives the targets zu::json, zu::records,
# zu::core, zu::descriptor, vantrel::mcp_types and vantrel::core. Each library installs
# its own headers, export set and pkg-config file (cmake/ZuLibrary.cmake); this file
# installs the entry point that reads them.
include(CMakePackageConfigHelpers)

get_property(ZU_INSTALLED_LIBRARIES GLOBAL PROPERTY ZU_INSTALLED_LIBRARIES)
list(JOIN ZU_INSTALLED_LIBRARIES " " ZU_INSTALLED_LIBRARIES)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zuConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zuConfig.cmake
  INSTALL_DESTINATION ${ZU_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zuConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zuConfig.cmake ${PROJECT_BINARY_DIR}/zuConfigVersion.cmake
  DESTINATION ${ZU_CMAKE_DIR} COMPONENT zu_dev_common)
