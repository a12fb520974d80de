# The Windows build (the `windows` preset: mingw-w64 from Linux).
#
# Programs and DLLs land in one folder, bin/, since Windows looks for a program's DLLs
# beside it. When cross-compiling, every program is run under Wine through bin/../wine-run,
# which the test discovery and ctest use as the emulator: it gives the build a Wine prefix of
# its own (created once, in the build folder) and puts the other DLLs the programs load (the
# mingw-w64 runtime, yyjson) on WINEPATH.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

find_program(ZU_WINE NAMES wine wine64 REQUIRED
  DOC "Wine's loader, which runs the Windows programs of the build")
find_program(ZU_WINESERVER NAMES wineserver wineserver-stable wineserver64
  HINTS /usr/lib/wine REQUIRED)

# The directory of each runtime DLL, as the compiler resolves it.
set(ZU_WINE_DLL_DIRS "")
foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  get_filename_component(dir "${path}" DIRECTORY)
  get_filename_component(dir "${dir}" REALPATH)
  list(APPEND ZU_WINE_DLL_DIRS "${dir}")
endforeach()
list(APPEND ZU_WINE_DLL_DIRS "${YYJSON_PREFIX}/bin")
list(REMOVE_DUPLICATES ZU_WINE_DLL_DIRS)

# Wine takes WINEPATH as Windows paths separated by semicolons, as a CMake list is; its
# drive Z: is the Unix root.
set(ZU_WINEPATH "")
foreach(dir IN LISTS ZU_WINE_DLL_DIRS)
  list(APPEND ZU_WINEPATH "Z:${dir}")
endforeach()

set(ZU_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(ZU_WINEBOOT_SECONDS 240)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)
