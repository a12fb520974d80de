// Export macro of the vantrel_mcp_types shared library.
//
// Symbols are hidden by default; VANTREL_MCP_TYPES_EXPORT marks the public API. The
// library is compiled with VANTREL_MCP_TYPES_BUILDING defined, which selects dllexport on
// Windows. Some members of `vantrel::json` carry this macro rather than the host
// library's: they are compiled into vantrel_mcp_types.
#pragma once

#if defined(_WIN32)
#  if defined(VANTREL_MCP_TYPES_BUILDING)
#    define VANTREL_MCP_TYPES_EXPORT __declspec(dllexport)
#  else
#    define VANTREL_MCP_TYPES_EXPORT __declspec(dllimport)
#  endif
#else
#  define VANTREL_MCP_TYPES_EXPORT __attribute__((visibility("default")))
#endif
