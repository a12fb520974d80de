# zu_add_library(<target>
#   EXPORT_SET <zu|vantrel>      which installed package namespace the target joins
#   EXPORT_NAME <name>           the name after the namespace (zu::<name>)
#   BUILDING_MACRO <macro>       defined while compiling the library, selects dllexport
#   SOURCES <files...>)
#
# Every shared library of the project is made the same way: hidden symbols, an export
# macro of its own, the project version as VERSION and the major.minor pair as SONAME,
# and install rules into the export set of its namespace.
function(zu_add_library target)
  cmake_parse_arguments(ARG "" "EXPORT_SET;EXPORT_NAME;BUILDING_MACRO" "SOURCES" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  add_library(${ARG_EXPORT_SET}::${ARG_EXPORT_NAME} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
    EXPORT_NAME ${ARG_EXPORT_NAME})
  target_compile_definitions(${target} PRIVATE ${ARG_BUILDING_MACRO})
  # Calls between a library's own exported functions stay direct (and can be inlined);
  # nobody interposes on our symbols.
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-semantic-interposition>)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:zu_warnings>)
  # Every symbol a library needs must come from its declared dependencies. Sanitized
  # clang builds are the exception: their runtime is linked into the executable only.
  if(NOT MSVC AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  install(TARGETS ${target} EXPORT ${ARG_EXPORT_SET}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  set_property(GLOBAL APPEND PROPERTY ZU_EXPORT_SETS ${ARG_EXPORT_SET})
endfunction()

# zu_add_pkgconfig(<library> DESCRIPTION <text> [REQUIRES <pkgs...>] [REQUIRES_PRIVATE <pkgs...>])
# writes and installs <library>.pc for consumers that do not use CMake.
function(zu_add_pkgconfig library)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "REQUIRES;REQUIRES_PRIVATE" ${ARGN})
  string(REPLACE ";" ", " PC_REQUIRES "${ARG_REQUIRES}")
  string(REPLACE ";" ", " PC_REQUIRES_PRIVATE "${ARG_REQUIRES_PRIVATE}")
  set(PC_NAME ${library})
  file(RELATIVE_PATH PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  set(PC_DESCRIPTION "${ARG_DESCRIPTION}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/library.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
