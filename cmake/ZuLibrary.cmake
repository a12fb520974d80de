# Where the CMake package is installed: find_package(zu CONFIG) reads it from there.
set(ZU_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zu)

# zu_add_library(<target>
#   NAMESPACE <zu|vantrel>       the namespace of its installed target (<namespace>::<name>)
#   EXPORT_NAME <name>           the name after the namespace
#   BUILDING_MACRO <macro>       defined while compiling the library, selects dllexport
#   HEADERS <folder>             its public headers, laid out as they are installed
#   VERSION_SCRIPT <file>        what it exports on Linux, under its own version node
#   SOURCES <files...>)
#
# Every shared library of the project is made the same way: hidden symbols, an export
# macro of its own, the project version as VERSION and the major.minor pair as SONAME.
# On Linux a linker version script then exports only the library's namespaces, each
# symbol under the version node <TARGET>_<major>.<minor> (ZU_CORE_0.1), named after the
# SONAME; Windows exports what the export macros mark, as DLLs do.
# A library sees its own header folder and, through its links, those of its declared
# dependencies only, so a stray include of another library's header does not compile.
# What it installs goes into two components, <target> (the shared library a program
# runs with) and <target>_dev (headers, the link-time name, its CMake targets and
# pkg-config file), which become its runtime and development packages.
function(zu_add_library target)
  cmake_parse_arguments(ARG "" "NAMESPACE;EXPORT_NAME;BUILDING_MACRO;HEADERS;VERSION_SCRIPT"
    "SOURCES" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    if(NOT ARG_VERSION_SCRIPT)
      message(FATAL_ERROR "${target}: a shared library names its VERSION_SCRIPT")
    endif()
    _zu_version_script(${target} ${ARG_VERSION_SCRIPT})
  endif()
  target_compile_definitions(${target} PRIVATE ${ARG_BUILDING_MACRO})
  # Calls between a library's own exported functions stay direct (and can be inlined);
  # nobody interposes on our symbols.
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-semantic-interposition>)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:zu_warnings>)
  # Every symbol a library needs must come from its declared dependencies. Sanitized
  # clang builds are the exception: their runtime is linked into the executable only.
  if(NOT MSVC AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  _zu_install_library(${target} ${ARG_NAMESPACE} ${ARG_EXPORT_NAME} ${ARG_HEADERS} PUBLIC)
endfunction()

# _zu_version_script(<target> <file>) links the library with its version script, after
# checking that the script's one version node is the one the SONAME names.
function(_zu_version_script target script)
  cmake_path(ABSOLUTE_PATH script BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  string(TOUPPER "${target}_${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}" node)
  file(STRINGS ${script} nodes REGEX "^[A-Z0-9_.]+ +{")
  string(REGEX REPLACE " +{.*" "" nodes "${nodes}")
  if(NOT nodes STREQUAL node)
    message(FATAL_ERROR "${script} defines the version node(s) \"${nodes}\"; the SONAME of "
      "${target} asks for ${node}. A new SONAME renames the node.")
  endif()
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# zu_add_header_library(<target> NAMESPACE <ns> EXPORT_NAME <name> HEADERS <folder>)
# is zu_add_library for headers alone: an INTERFACE target with only a development
# component.
function(zu_add_header_library target)
  cmake_parse_arguments(ARG "" "NAMESPACE;EXPORT_NAME;HEADERS" "" ${ARGN})
  add_library(${target} INTERFACE)
  _zu_install_library(${target} ${ARG_NAMESPACE} ${ARG_EXPORT_NAME} ${ARG_HEADERS} INTERFACE)
endfunction()

# The part both kinds share: the alias, the header folder, and the install rules into
# the library's own export set, read back by cmake/zuConfig.cmake.in.
function(_zu_install_library target namespace export_name headers scope)
  add_library(${namespace}::${export_name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  cmake_path(ABSOLUTE_PATH headers BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  # The ABI check reads which types are public from here (tests/abi).
  set_property(TARGET ${target} PROPERTY ZU_PUBLIC_HEADERS ${headers})
  target_include_directories(${target} ${scope}
    $<BUILD_INTERFACE:${headers}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS ${target} EXPORT ${target}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${target}
      NAMELINK_COMPONENT ${target}_dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${target}_dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${target})
  install(DIRECTORY ${headers}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    COMPONENT ${target}_dev FILES_MATCHING PATTERN "*.hpp")
  install(EXPORT ${target}Targets NAMESPACE ${namespace}::
    DESTINATION ${ZU_CMAKE_DIR} COMPONENT ${target}_dev)
  # The package reads the export sets in this order, which is the order the libraries
  # are added: each after those it links.
  set_property(GLOBAL APPEND PROPERTY ZU_INSTALLED_LIBRARIES ${target})
endfunction()

# zu_add_pkgconfig(<library> DESCRIPTION <text> [REQUIRES <modules...>] [HEADER_ONLY])
# writes and installs <library>.pc for consumers that do not use CMake. REQUIRES names
# the modules whose headers the library's own headers include. The libraries are shared
# and link their outside dependencies privately, so nothing else is required.
function(zu_add_pkgconfig library)
  cmake_parse_arguments(ARG "HEADER_ONLY" "DESCRIPTION" "REQUIRES" ${ARGN})
  string(REPLACE ";" ", " PC_REQUIRES "${ARG_REQUIRES}")
  set(PC_NAME ${library})
  if(ARG_HEADER_ONLY)
    set(PC_LIBS "")
  else()
    set(PC_LIBS "-L\${libdir} -l${library}")
  endif()
  file(RELATIVE_PATH PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  set(PC_DESCRIPTION "${ARG_DESCRIPTION}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/library.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${library}_dev)
endfunction()
