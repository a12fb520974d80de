// Export macro of the zu_core shared library.
//
// Symbols are hidden by default; ZU_CORE_EXPORT marks the public API. The library is
// compiled with ZU_CORE_BUILDING defined, which selects dllexport on Windows.
#pragma once

#if defined(_WIN32)
#  if defined(ZU_CORE_BUILDING)
#    define ZU_CORE_EXPORT __declspec(dllexport)
#  else
#    define ZU_CORE_EXPORT __declspec(dllimport)
#  endif
#else
#  define ZU_CORE_EXPORT __attribute__((visibility("default")))
#endif
