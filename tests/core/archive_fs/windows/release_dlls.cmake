# The shipped DLLs carry nothing of the test programs' Wine substitutes: they import
# only the system, C and C++ runtime, yyjson and our own DLLs, take the security and
# ntdll calls the substitutes stand in for from the system itself, and hold none of the
# substitutes' names. Run by ctest on the build host:
#   cmake -DOBJDUMP=<mingw objdump> -DDLLS=<dll;...> -P release_dlls.cmake
cmake_minimum_required(VERSION 3.25)

# (USER32 and WS2_32 come with the static libcrypto inside zu_core.dll.)
set(allowed_imports
  "ADVAPI32.dll" "KERNEL32.dll" "USER32.dll" "WS2_32.dll" "msvcrt.dll" "libstdc++-6.dll"
  "libgcc_s_seh-1.dll" "libwinpthread-1.dll" "libyyjson.dll")
# Texts only the substitutes and the test programs' support hold.
set(test_only_texts "ZU_TEST_WINE_DESCRIPTORS" "zu-descriptors-" "wine_get_version"
  "Wine substitutes" "--zu-child")

set(failures "")
foreach(dll IN LISTS DLLS)
  if(dll STREQUAL "")
    continue()
  endif()
  get_filename_component(name "${dll}" NAME)
  execute_process(COMMAND "${OBJDUMP}" -p "${dll}" OUTPUT_VARIABLE table RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(APPEND failures "${name}: objdump failed")
    continue()
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${table}")
  set(names "")
  foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" import "${line}")
    list(APPEND names "${import}")
    if(NOT import IN_LIST allowed_imports AND NOT import MATCHES "^lib(zu|vantrel)_[a-z_]+(-[0-9.]+)?\\.dll$")
      list(APPEND failures "${name} imports ${import}")
    endif()
  endforeach()
  message(STATUS "${name} imports: ${names}")
  # Narrow texts, and the wide ones of Windows calls.
  file(STRINGS "${dll}" narrow_texts)
  file(STRINGS "${dll}" wide_texts ENCODING UTF-16LE)
  foreach(text IN LISTS test_only_texts)
    foreach(kind IN ITEMS narrow wide)
      set(found ${${kind}_texts})
      list(FILTER found INCLUDE REGEX "${text}")
      if(found)
        list(APPEND failures "${name} holds the ${kind} text \"${text}\"")
      endif()
    endforeach()
  endforeach()
  # The archive's file-system layer reads and writes descriptors and finds its three
  # ntdll calls through the system's own exports.
  if(name MATCHES "^libzu_core")
    foreach(call IN ITEMS GetSecurityInfo SetSecurityInfo GetProcAddress GetModuleHandleW)
      if(NOT table MATCHES "[ \t]${call}\n")
        list(APPEND failures "${name} does not import ${call}")
      endif()
    endforeach()
    foreach(call IN ITEMS NtCreateFile NtSetInformationFile NtFlushBuffersFile)
      file(STRINGS "${dll}" found REGEX "^${call}$")
      if(NOT found)
        list(APPEND failures "${name} does not name ${call}")
      endif()
    endforeach()
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "the release DLLs carry test-only code:\n  ${text}")
endif()
message(STATUS "the release DLLs carry no test-only code")
