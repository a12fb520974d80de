// Export macro of the zu_descriptor shared library.
//
// Symbols are hidden by default; ZU_DESCRIPTOR_EXPORT marks the members that live out of
// line in the library. The library is compiled with ZU_DESCRIPTOR_BUILDING defined,
// which selects dllexport on Windows.
#pragma once

#if defined(_WIN32)
#  if defined(ZU_DESCRIPTOR_BUILDING)
#    define ZU_DESCRIPTOR_EXPORT __declspec(dllexport)
#  else
#    define ZU_DESCRIPTOR_EXPORT __declspec(dllimport)
#  endif
#else
#  define ZU_DESCRIPTOR_EXPORT __attribute__((visibility("default")))
#endif
