# Warning flags shared by every target of the project, libraries and tests alike.
add_library(zu_warnings INTERFACE)
target_compile_options(zu_warnings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra -Wpedantic>
  $<$<BOOL:${ZU_WERROR}>:-Werror>)

# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s string code once tests
# and benchmarks are optimised (GCC bug 105329); the libraries themselves are clean.
add_library(zu_test_warnings INTERFACE)
target_link_libraries(zu_test_warnings INTERFACE zu_warnings)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(zu_test_warnings INTERFACE -Wno-restrict)
endif()
