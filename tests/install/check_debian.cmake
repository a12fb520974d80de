# cmake -P script: make the Debian packages of BUILD_DIR with CPACK, check their names,
# dependencies and contents, unpack them (dpkg -x) into scratch roots and build the
# consumer project against each root: every package in one, and in another only
# libvantrel-mcp-types-dev with what its Depends pull in.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/consumer.cmake)
file(REMOVE_RECURSE ${WORK_DIR})

run(${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/packages)

# The packages, and for each the packages of ours it must depend on: exactly those.
# Outside dependencies are judged from each runtime library's own NEEDED entries below.
set(expected
  "libzu-json0.1|"
  "libzu-descriptor0.1|"
  "libzu-core0.1|libzu-json0.1 libzu-descriptor0.1"
  "libvantrel-core0.1|"
  "libvantrel-mcp-types0.1|libvantrel-core0.1"
  "libzu-dev-common|"
  "libzu-records-dev|libzu-dev-common"
  "libzu-json-dev|libzu-json0.1 libzu-dev-common"
  "libzu-descriptor-dev|libzu-descriptor0.1 libzu-dev-common"
  "libzu-core-dev|libzu-core0.1 libzu-json-dev libzu-descriptor-dev libzu-records-dev libzu-dev-common"
  "libvantrel-core-dev|libvantrel-core0.1 libzu-dev-common"
  "libvantrel-mcp-types-dev|libvantrel-mcp-types0.1 libvantrel-core-dev libzu-records-dev libzu-dev-common")

# outside_needs(<out> <deb>) gives the installed packages that hold the outside shared
# libraries the library in the runtime package <deb> names as NEEDED. An optimised
# library may need none at all (everything inlined), and then it depends on nothing.
function(outside_needs out deb)
  get_filename_component(stem ${deb} NAME)
  set(scratch ${WORK_DIR}/needs/${stem})
  file(REMOVE_RECURSE ${scratch})
  file(MAKE_DIRECTORY ${scratch})
  run(dpkg -x ${deb} ${scratch})
  file(GLOB_RECURSE libraries ${scratch}/*.so.*)
  execute_process(COMMAND ldconfig -p OUTPUT_VARIABLE loader_cache)
  set(needs "")
  foreach(library IN LISTS libraries)
    if(IS_SYMLINK ${library})
      continue()
    endif()
    execute_process(COMMAND objdump -p ${library} OUTPUT_VARIABLE headers
      RESULT_VARIABLE code)
    if(NOT code EQUAL 0)
      message(FATAL_ERROR "objdump cannot read ${library}")
    endif()
    string(REGEX MATCHALL "NEEDED +[^\n]+" entries "${headers}")
    foreach(entry IN LISTS entries)
      string(REGEX REPLACE "^NEEDED +" "" soname "${entry}")
      string(STRIP "${soname}" soname)
      if(soname MATCHES "^lib(zu|vantrel)_")
        continue()  # ours: judged by the exact-version rule
      endif()
      # The loader's cache says where the 64-bit library of that name lives. Names such
      # as libstdc++.so.6 are compared as text, not as patterns.
      set(path "")
      string(REPLACE "\n" ";" cache_lines "${loader_cache}")
      foreach(line IN LISTS cache_lines)
        string(STRIP "${line}" line)
        string(FIND "${line}" "${soname} (libc6,x86-64" at)
        if(at EQUAL 0)
          string(FIND "${line}" " => " arrow)
          math(EXPR arrow "${arrow} + 4")
          string(SUBSTRING "${line}" ${arrow} -1 path)
          break()
        endif()
      endforeach()
      if(path STREQUAL "")
        message(FATAL_ERROR "${deb} needs ${soname}, which is not installed here")
      endif()
      execute_process(COMMAND dpkg -S ${path} OUTPUT_VARIABLE owner RESULT_VARIABLE code ERROR_QUIET)
      if(NOT code EQUAL 0)
        file(REAL_PATH ${path} path)
        execute_process(COMMAND dpkg -S ${path} OUTPUT_VARIABLE owner RESULT_VARIABLE code ERROR_QUIET)
      endif()
      if(NOT code EQUAL 0 OR NOT owner MATCHES "^([a-z0-9.+-]+)(:[a-z0-9]+)?: ")
        message(FATAL_ERROR "no installed package holds ${path}, which ${deb} needs")
      endif()
      list(APPEND needs ${CMAKE_MATCH_1})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES needs)
  set(${out} "${needs}" PARENT_SCOPE)
endfunction()

function(field out deb name)
  execute_process(COMMAND dpkg-deb --field ${deb} ${name} RESULT_VARIABLE code
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${deb}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

file(GLOB debs ${WORK_DIR}/packages/*.deb)
set(packages "")
foreach(deb IN LISTS debs)
  field(name ${deb} Package)
  field(version_${name} ${deb} Version)
  field(depends ${deb} Depends)
  set(deb_${name} ${deb})
  set(depends_${name} "${depends}")
  list(APPEND packages ${name})
endforeach()

set(expected_packages "")
foreach(row IN LISTS expected)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 name)
  list(APPEND expected_packages ${name})
endforeach()
list(SORT packages)
list(SORT expected_packages)
if(NOT packages STREQUAL expected_packages)
  message(FATAL_ERROR "cpack made ${packages}\nexpected ${expected_packages}")
endif()

foreach(row IN LISTS expected)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 name)
  list(GET row 1 own)
  separate_arguments(own UNIX_COMMAND "${own}")
  set(outside "")
  if(NOT name MATCHES "-dev(-common)?$")
    outside_needs(outside ${deb_${name}})
  endif()
  # "a (>= 1), b" becomes the list of entries "a (>= 1)" and "b".
  string(REPLACE ", " ";" entries "${depends_${name}}")
  set(own_found "")
  set(outside_found "")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^[a-z0-9.+-]+" dependency "${entry}")
    if(dependency IN_LIST packages)
      # Our packages keep no ABI promise between versions: exactly this build's version.
      if(NOT entry STREQUAL "${dependency} (= ${version_${dependency}})")
        message(FATAL_ERROR "${name} depends on \"${entry}\", not on exactly this version")
      endif()
      list(APPEND own_found ${dependency})
    else()
      execute_process(COMMAND dpkg-query -W -f=\${Status} ${dependency}
        OUTPUT_VARIABLE status ERROR_QUIET)
      if(NOT status STREQUAL "install ok installed")
        message(FATAL_ERROR "${name} depends on ${dependency}, which is no installed package")
      endif()
      list(APPEND outside_found ${dependency})
    endif()
  endforeach()
  list(SORT own)
  list(SORT own_found)
  if(NOT own STREQUAL own_found)
    message(FATAL_ERROR "${name} depends on our packages ${own_found}, expected ${own}")
  endif()
  foreach(dependency IN LISTS outside)
    if(NOT dependency IN_LIST outside_found)
      message(FATAL_ERROR "${name} does not depend on ${dependency}: ${depends_${name}}")
    endif()
  endforeach()
endforeach()

# Runtime packages hold the shared library under its SONAME and, like every package, its
# copyright file, Debian changelog and lintian overrides; no file is in two packages,
# which dpkg would refuse to install.
set(all_files "")
foreach(name IN LISTS packages)
  execute_process(COMMAND dpkg-deb --contents ${deb_${name}} OUTPUT_VARIABLE listing)
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[^d][^ ]* .* \\./([^ ]+)( -> .*)?$")
      set(file ${CMAKE_MATCH_1})
      if(file IN_LIST all_files)
        message(FATAL_ERROR "${file} is in two packages, one of them ${name}")
      endif()
      list(APPEND all_files ${file})
      if(file STREQUAL "usr/share/doc/${name}/copyright")
        set(copyright_${name} ON)
      elseif(file STREQUAL "usr/share/doc/${name}/changelog.Debian.gz")
        set(changelog_${name} ON)
      elseif(file STREQUAL "usr/share/lintian/overrides/${name}")
      elseif(NOT name MATCHES "-dev" AND NOT file MATCHES "^usr/lib/(.*/)?lib[a-z_]+\\.so\\.[0-9.]+$")
        message(FATAL_ERROR "the runtime package ${name} holds ${file}")
      endif()
    endif()
  endforeach()
  if(NOT copyright_${name} OR NOT changelog_${name})
    message(FATAL_ERROR "${name} lacks its copyright file or changelog in usr/share/doc/${name}")
  endif()
endforeach()

# lintian, Debian's own package checker, finds no error and no warning: what it reports
# is mended in cmake/ZuDebian.cmake or answered, with its reason, by an override that the
# package carries (cmake/debian/). Its notes (info) are shown, not judged: they vary with
# the build type, and this build need not be the optimised one that `make package` makes
# (which lintian judges, notes included). Nor need it install into /usr: under another
# prefix the libraries and pkg-config files have no multiarch folder, which lintian
# would report of every development package, and which the /usr of `make package` has.
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is missing: install it (scripts/deps.sh)")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --display-info --tag-display-limit 0
    --suppress-tags pkg-config-unavailable-for-cross-compilation ${debs}
  RESULT_VARIABLE code OUTPUT_VARIABLE report ERROR_VARIABLE report)
message(STATUS "lintian:\n${report}")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "lintian finds errors or warnings in the packages (above)")
endif()

# unpack(<root> <packages...>) unpacks the packages as dpkg would install them.
function(unpack root)
  foreach(name IN LISTS ARGN)
    run(dpkg -x ${deb_${name}} ${root})
  endforeach()
endfunction()

unpack(${WORK_DIR}/root ${packages})
check_consumer(${WORK_DIR}/root/usr all ${WORK_DIR}/consumer)

# What apt would install for libvantrel-mcp-types-dev, among our packages.
set(closure libvantrel-mcp-types-dev)
set(queue libvantrel-mcp-types-dev)
while(queue)
  list(POP_FRONT queue name)
  string(REPLACE ", " ";" entries "${depends_${name}}")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^[a-z0-9.+-]+" dependency "${entry}")
    if(dependency IN_LIST packages AND NOT dependency IN_LIST closure)
      list(APPEND closure ${dependency})
      list(APPEND queue ${dependency})
    endif()
  endforeach()
endwhile()
unpack(${WORK_DIR}/mcp_types_root ${closure})
check_consumer(${WORK_DIR}/mcp_types_root/usr mcp_types ${WORK_DIR}/mcp_types_consumer)
message(STATUS "Debian packages checked and consumed from their unpacked files")
