# Warning flags shared by every target of the project, libraries and tests alike.
add_library(zu_warnings INTERFACE)
target_compile_options(zu_warnings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast>
  $<$<COMPILE_LANG_AND_ID:C,GNU,Clang>:-Wall -Wextra -Wpedantic>
  $<$<BOOL:${ZU_WERROR}>:-Werror>)
