// Export macro of the vantrel_core shared library (the host JSON type).
//
// Symbols are hidden by default; VANTREL_CORE_EXPORT marks the public API. The library is
// compiled with VANTREL_CORE_BUILDING defined, which selects dllexport on Windows.
#pragma once

#if defined(_WIN32)
#  if defined(VANTREL_CORE_BUILDING)
#    define VANTREL_CORE_EXPORT __declspec(dllexport)
#  else
#    define VANTREL_CORE_EXPORT __declspec(dllimport)
#  endif
#else
#  define VANTREL_CORE_EXPORT __attribute__((visibility("default")))
#endif
