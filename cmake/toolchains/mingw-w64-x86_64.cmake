# Cross-compiles for 64-bit Windows with Debian's mingw-w64. The compilers are the
# POSIX-thread ones: GCC 12's win32 thread model has no std::thread or std::mutex.
#
# The outside libraries come from the cache that scripts/windows-deps.sh fills
# (ZU_MINGW_CACHE, /var/cache/zu-mingw by default); its prefixes.cmake names the install
# prefix of each, which is searched like a sysroot. Nothing of the host's /usr is used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZU_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZU_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZU_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZU_MINGW_TRIPLET}-windres)

if(DEFINED ENV{ZU_MINGW_CACHE})
  set(ZU_MINGW_CACHE "$ENV{ZU_MINGW_CACHE}")
else()
  set(ZU_MINGW_CACHE /var/cache/zu-mingw)
endif()
set(ZU_MINGW_PREFIXES "")
include("${ZU_MINGW_CACHE}/prefixes.cmake" OPTIONAL)

set(CMAKE_FIND_ROOT_PATH /usr/${ZU_MINGW_TRIPLET} ${ZU_MINGW_PREFIXES})
set(CMAKE_PREFIX_PATH ${ZU_MINGW_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the cache's .pc files, never the host's.
set(zu_pc_dirs "")
foreach(prefix IN LISTS ZU_MINGW_PREFIXES)
  list(APPEND zu_pc_dirs "${prefix}/lib/pkgconfig")
endforeach()
string(REPLACE ";" ":" zu_pc_dirs "${zu_pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${zu_pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
unset(zu_pc_dirs)
