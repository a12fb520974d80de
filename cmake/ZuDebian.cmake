# Debian packages, made by `cpack -G DEB` (`make package`). Every shared library becomes
# a runtime package named after its SONAME (libzu_json.so.0.1 gives libzu-json0.1) and a
# development package (libzu-json-dev: headers, the link-time name, its CMake targets and
# pkg-config file). The header-only records have a development package only, and the
# CMake package's entry point, which every development package reads, one of its own.
#
# Dependencies on outside libraries come from dpkg-shlibdeps. Dependencies between our
# own packages come from the libraries' links, so they cannot drift from the build: a
# runtime package depends on the runtime packages of the libraries it links, a
# development package on its runtime package and on the development packages of the
# libraries it links publicly (its headers include theirs). Our packages depend on one
# another at exactly the same version: they are built together, and a 0.x library makes
# no promise of a stable ABI from one version to the next.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(ZU_PACKAGE_MAINTAINER "zu maintainers <maintainers@zu.invalid>" CACHE STRING
  "The Maintainer field of the Debian packages")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's description starts with its own summary, not the project's.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(_zu_about "Part of zu: ${PROJECT_DESCRIPTION}.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# _zu_own_links(<out> <target> <property>) gives the project's libraries among the
# entries of a link property, by their real target names.
function(_zu_own_links out target property)
  get_property(libraries GLOBAL PROPERTY ZU_INSTALLED_LIBRARIES)
  get_target_property(links ${target} ${property})
  set(own "")
  foreach(link IN LISTS links)
    if(NOT TARGET "${link}")
      continue()
    endif()
    get_target_property(real "${link}" ALIASED_TARGET)
    if(NOT real)
      set(real "${link}")
    endif()
    if(real IN_LIST libraries)
      list(APPEND own ${real})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES own)
  set(${out} "${own}" PARENT_SCOPE)
endfunction()

# _zu_package_name(<out> <library>) is the Debian name of the library: lib<name>, with
# the underscores Debian does not allow in package names made hyphens.
function(_zu_package_name out library)
  string(REPLACE "_" "-" name "lib${library}")
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# Each package's one-line summary; the long description follows it.
set(_zu_summary_zu_json "strict JSON parsing under limits and bounded writing")
set(_zu_summary_zu_records "usage reports and provider call outcomes")
set(_zu_summary_zu_core "provider-neutral conversations, native replay and the native archive")
set(_zu_summary_vantrel_mcp_types "MCP results, JSON Schema subset checking and usage accounting")
set(_zu_summary_zu_descriptor "validated provider descriptors (stand-in)")
set(_zu_summary_vantrel_core "host JSON value type (stand-in)")

get_property(_zu_libraries GLOBAL PROPERTY ZU_INSTALLED_LIBRARIES)
set(CPACK_COMPONENTS_ALL zu_dev_common)
set(CPACK_DEBIAN_ZU_DEV_COMMON_PACKAGE_NAME libzu-dev-common)
set(CPACK_DEBIAN_ZU_DEV_COMMON_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_ZU_DEV_COMMON_DESCRIPTION
  "zu CMake package entry point\n${_zu_about} find_package(zu CONFIG) reads the targets of each zu development package installed beside it.")
foreach(library IN LISTS _zu_libraries)
  string(TOUPPER ${library} upper)
  _zu_package_name(name ${library})
  get_target_property(type ${library} TYPE)
  _zu_own_links(public ${library} INTERFACE_LINK_LIBRARIES)
  set(dev_depends zu_dev_common)
  foreach(link IN LISTS public)
    list(APPEND dev_depends ${link}_dev)
  endforeach()

  if(type STREQUAL "SHARED_LIBRARY")
    get_target_property(soversion ${library} SOVERSION)
    _zu_own_links(linked ${library} LINK_LIBRARIES)
    set(runtime_depends "")
    foreach(link IN LISTS linked)
      get_target_property(link_type ${link} TYPE)
      if(link_type STREQUAL "SHARED_LIBRARY")
        list(APPEND runtime_depends ${link})
      endif()
    endforeach()
    list(APPEND CPACK_COMPONENTS_ALL ${library})
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${name}${soversion})
    set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION libs)
    set(CPACK_COMPONENT_${upper}_DEPENDS ${runtime_depends})
    set(CPACK_COMPONENT_${upper}_DESCRIPTION
      "zu: ${_zu_summary_${library}}\n${_zu_about} This package holds the shared library ${library}.")
    list(PREPEND dev_depends ${library})
    set(dev_text "This package holds the headers, the pkg-config file and the CMake targets of ${library}.")
  else()
    set(dev_text "This package holds the headers, the pkg-config file and the CMake target of ${library}, which is header-only.")
  endif()

  list(APPEND CPACK_COMPONENTS_ALL ${library}_dev)
  set(CPACK_DEBIAN_${upper}_DEV_PACKAGE_NAME ${name}-dev)
  set(CPACK_DEBIAN_${upper}_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_COMPONENT_${upper}_DEV_DEPENDS ${dev_depends})
  set(CPACK_COMPONENT_${upper}_DEV_DESCRIPTION
    "zu: ${_zu_summary_${library}} (development files)\n${_zu_about} ${dev_text}")
endforeach()

# dpkg-shlibdeps looks for the libraries our libraries link among the installed ones; in
# a build they are still in their build folders, and they are our own packages' anyway.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "")
foreach(library IN LISTS _zu_libraries)
  get_target_property(type ${library} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    get_target_property(dir ${library} BINARY_DIR)
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${dir})
  endif()
endforeach()

include(CPack)
