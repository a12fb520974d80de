# Finds the outside dependencies. Everything comes from Debian packages installed by
# scripts/deps.sh; nothing is downloaded at build time.

find_package(PkgConfig REQUIRED)

# A Windows build takes every outside library from the cache of scripts/windows-deps.sh,
# which the toolchain file reads.
if(WIN32 AND NOT ZU_MINGW_PREFIXES)
  message(FATAL_ERROR "The Windows builds of yyjson, libcrypto and GoogleTest are missing "
    "from ${ZU_MINGW_CACHE}: run scripts/deps.sh --windows.")
endif()

# Debian's yyjson package ships a CMake config without a version file, so the version is
# read from pkg-config and confirmed against the header.
pkg_check_modules(YYJSON REQUIRED IMPORTED_TARGET yyjson)
if(YYJSON_VERSION VERSION_LESS 0.12)
  message(FATAL_ERROR
    "yyjson ${YYJSON_VERSION} is too old: zu needs yyjson 0.12 or newer. "
    "Run scripts/deps.sh to install libyyjson-dev 0.12 from Debian's unstable suite.")
endif()
include(CheckCSourceCompiles)
set(CMAKE_REQUIRED_INCLUDES ${YYJSON_INCLUDE_DIRS})
check_c_source_compiles([=[
#include <yyjson.h>
#if !defined(YYJSON_VERSION_HEX) || YYJSON_VERSION_HEX < 0x000C00
#error yyjson older than 0.12
#endif
int main(void) { return 0; }
]=] ZU_YYJSON_HEADER_IS_0_12)
unset(CMAKE_REQUIRED_INCLUDES)
if(NOT ZU_YYJSON_HEADER_IS_0_12)
  message(FATAL_ERROR
    "The yyjson header found reports a version older than 0.12 (YYJSON_VERSION_HEX). "
    "Run scripts/deps.sh to install libyyjson-dev 0.12.")
endif()

# The Windows build links the static libcrypto that scripts/windows-deps.sh makes, so that
# zu_core.dll carries it (that script says why).
if(WIN32)
  set(OPENSSL_USE_STATIC_LIBS TRUE)
endif()
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
find_package(Threads REQUIRED)

if(ZU_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ZU_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
