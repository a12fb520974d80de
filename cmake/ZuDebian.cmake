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

# Each package's one-line summary (with "zu: " before it and " (development files)"
# after it, within Debian's 80 columns), then what the library offers, which opens the
# long description.
set(_zu_summary_zu_json "strict JSON parsing under limits and bounded writing")
set(_zu_about_zu_json "zu_json parses JSON strictly, under byte and nesting limits, and \
refuses repeated object members, naming the offender by its RFC 6901 pointer. It gives \
read-only views of documents, a writer that never passes its byte budget, quoting and \
structural comparison.")
set(_zu_summary_zu_records "usage reports and provider call outcomes")
set(_zu_about_zu_records "The records that zu_core and vantrel_mcp_types share: usage \
reports and the outcome of a provider call, as plain C++ aggregates.")
set(_zu_summary_zu_core "conversations, native replay and the native archive")
set(_zu_about_zu_core "zu_core holds a provider-neutral conversation model; native \
context and replay, which let provider-native material go back only to the same provider \
family, descriptor, configuration and conversation prefix, proven by SHA-256 digests; and \
a tamper-evident local archive of conversations under HMAC custody keys, on an \
owner-only file-system layer.")
set(_zu_summary_vantrel_mcp_types "MCP results, JSON Schema checking and usage accounting")
set(_zu_about_vantrel_mcp_types "vantrel_mcp_types holds typed Model Context Protocol \
results and tool definitions, a checker for a subset of JSON Schema, and a thread-safe \
usage accumulator that reserves and settles token spending against a limit.")
set(_zu_summary_zu_descriptor "validated provider descriptors (stand-in)")
set(_zu_about_zu_descriptor "zu_descriptor stands in for the outside descriptor library: \
validated provider descriptors and their policies, with exactly the surface that zu_core \
reads.")
set(_zu_summary_vantrel_core "host JSON value type (stand-in)")
set(_zu_about_vantrel_core "vantrel_core stands in for the outside host library: the \
host JSON value type vantrel::json, with the surface that vantrel_mcp_types reads, and \
parsing and dumping.")
set(_zu_about "It is part of zu: ${PROJECT_DESCRIPTION}.")

# _zu_description(<out> <synopsis> <text>) is a package description: the synopsis, then
# the text broken at spaces into lines that dpkg's one-space indent keeps within 80
# columns.
function(_zu_description out synopsis text)
  # The words become a CMake list; the text's own semicolons stand aside meanwhile.
  string(ASCII 31 aside)
  string(REPLACE ";" "${aside}" text "${text}")
  string(REGEX REPLACE " +" ";" words "${text}")
  set(result "${synopsis}")
  set(line "")
  foreach(word IN LISTS words)
    string(LENGTH "${line} ${word}" length)
    if(line STREQUAL "")
      set(line "${word}")
    elseif(length GREATER 79)
      string(APPEND result "\n${line}")
      set(line "${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endforeach()
  string(APPEND result "\n${line}")
  string(REPLACE "${aside}" ";" result "${result}")
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Every package carries, in /usr/share/doc/<package>/, the copyright file and the Debian
# changelog (of the source "zu", the same in all of them) that Debian's policy asks of it.
# The changelog's newest entry is of the version being packaged.
set(_zu_debian_doc ${PROJECT_BINARY_DIR}/debian)
set(_zu_changelog ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in)
file(STRINGS ${_zu_changelog} _zu_newest LIMIT_COUNT 1)
string(FIND "${_zu_newest}" "zu (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) " _zu_at)
if(NOT _zu_at EQUAL 0)
  message(FATAL_ERROR "${_zu_changelog} begins \"${_zu_newest}\": a new version adds its "
    "entry there, zu (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}).")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${_zu_debian_doc}/copyright @ONLY)
configure_file(${_zu_changelog} ${_zu_debian_doc}/changelog @ONLY)
# Compressed as Debian does it: at the highest level, without a time stamp.
execute_process(COMMAND gzip -9nc ${_zu_debian_doc}/changelog
  OUTPUT_FILE ${_zu_debian_doc}/changelog.Debian.gz RESULT_VARIABLE _zu_code)
if(NOT _zu_code EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the Debian changelog")
endif()

# Every package also carries its answers to lintian's findings that do not apply to it,
# each with its reason (cmake/debian/*.lintian-overrides): those of all packages, of
# runtime packages, and of one library's runtime package.
set(_zu_overrides ${PROJECT_SOURCE_DIR}/cmake/debian)

# _zu_package_files(<component> <package> <library> <runtime|dev>) installs those files
# for one package.
function(_zu_package_files component package library kind)
  install(FILES ${_zu_debian_doc}/copyright ${_zu_debian_doc}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  set(parts ${_zu_overrides}/all.lintian-overrides)
  if(kind STREQUAL "runtime")
    list(APPEND parts ${_zu_overrides}/runtime.lintian-overrides)
    if(EXISTS ${_zu_overrides}/${library}.lintian-overrides)
      list(APPEND parts ${_zu_overrides}/${library}.lintian-overrides)
    endif()
  endif()
  set(text "")
  foreach(part IN LISTS parts)
    file(READ ${part} content)
    string(APPEND text "${content}")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${part})
  endforeach()
  file(WRITE ${_zu_debian_doc}/lintian/${package} "${text}")
  install(FILES ${_zu_debian_doc}/lintian/${package}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
endfunction()

# A runtime package activates libc's ldconfig trigger, so the loader's cache learns of
# its library. The control files keep the modes Debian gives them.
file(WRITE ${_zu_debian_doc}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

get_property(_zu_libraries GLOBAL PROPERTY ZU_INSTALLED_LIBRARIES)
set(CPACK_COMPONENTS_ALL zu_dev_common)
_zu_package_files(zu_dev_common libzu-dev-common "" dev)
set(CPACK_DEBIAN_ZU_DEV_COMMON_PACKAGE_NAME libzu-dev-common)
set(CPACK_DEBIAN_ZU_DEV_COMMON_PACKAGE_SECTION libdevel)
_zu_description(CPACK_COMPONENT_ZU_DEV_COMMON_DESCRIPTION "zu: CMake package entry point"
  "${_zu_about} find_package(zu CONFIG) reads the targets of each zu development package \
installed beside it; this package holds that entry point and its version file.")
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
    _zu_package_files(${library} ${name}${soversion} ${library} runtime)
    set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA ${_zu_debian_doc}/triggers)
    set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION libs)
    set(CPACK_COMPONENT_${upper}_DEPENDS ${runtime_depends})
    _zu_description(CPACK_COMPONENT_${upper}_DESCRIPTION "zu: ${_zu_summary_${library}}"
      "${_zu_about_${library}} ${_zu_about} This package holds the shared library ${library}.")
    list(PREPEND dev_depends ${library})
    set(dev_text "This package holds the headers, the pkg-config file and the CMake targets of ${library}.")
  else()
    set(dev_text "This package holds the headers, the pkg-config file and the CMake target of ${library}, which is header-only.")
  endif()

  list(APPEND CPACK_COMPONENTS_ALL ${library}_dev)
  set(CPACK_DEBIAN_${upper}_DEV_PACKAGE_NAME ${name}-dev)
  _zu_package_files(${library}_dev ${name}-dev ${library} dev)
  set(CPACK_DEBIAN_${upper}_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_COMPONENT_${upper}_DEV_DEPENDS ${dev_depends})
  _zu_description(CPACK_COMPONENT_${upper}_DEV_DESCRIPTION
    "zu: ${_zu_summary_${library}} (development files)"
    "${_zu_about_${library}} ${_zu_about} ${dev_text}")
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
