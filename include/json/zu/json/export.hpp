// Export macro of the zu_json shared library.
//
// Symbols are hidden by default; ZU_JSON_EXPORT marks the public API. The library is
// compiled with ZU_JSON_BUILDING defined, which selects dllexport on Windows.
#pragma once

#if defined(_WIN32)
#  if defined(ZU_JSON_BUILDING)
#    define ZU_JSON_EXPORT __declspec(dllexport)
#  else
#    define ZU_JSON_EXPORT __declspec(dllimport)
#  endif
#else
#  define ZU_JSON_EXPORT __attribute__((visibility("default")))
#endif
