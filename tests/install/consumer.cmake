# Shared by the install checks (cmake -P scripts): run() and check_consumer().

# run(<command...>) runs a command and stops the script with its output if it fails.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "failed (${code}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

# check_consumer(<prefix> <scope> <build dir>) builds the consumer project against the
# package installed under <prefix> (CONSUMER_DIR, CXX and FLAGS come from the caller) and
# runs each of its programs: all of them for scope "all", the vantrel_mcp_types host alone
# for scope "mcp_types".
function(check_consumer prefix scope build)
  run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${build}
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
      -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
      -DCMAKE_BUILD_TYPE=Release -DZU_CONSUMER_SCOPE=${scope})
  run(${CMAKE_COMMAND} --build ${build} -j 2)
  set(programs mcp_types_consumer pkgconfig_mcp_types_consumer)
  if(scope STREQUAL "all")
    list(APPEND programs consumer pkgconfig_consumer)
  endif()
  foreach(program IN LISTS programs)
    run(${build}/${program})
  endforeach()
endfunction()
