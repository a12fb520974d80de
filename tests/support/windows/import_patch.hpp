// Redirecting one imported function of one module, for Windows test programs only.
//
// A Windows module calls the functions of other DLLs through its own import address
// table, filled by the loader with the addresses the exporting DLL gave. Nothing like
// symbol interposition exists there: a function defined in the test program never
// replaces the one a DLL imports. A test that must reach a call made inside a DLL
// rewrites that DLL's table entry instead; the DLL's code is not touched.
#pragma once

#include "windows/windows_headers.hpp"

namespace zu_test::windows {

// patch_import makes `module` call `replacement` wherever it calls `function` imported by
// name from `library` (a DLL name such as "ADVAPI32.dll", compared without regard to
// case), and returns the address the entry held before. It returns nullptr, and changes
// nothing, when the module imports no such function.
void* patch_import(HMODULE module, const char* library, const char* function,
                   void* replacement);

// module_of returns the module that holds `address` (code or data of a loaded DLL or
// program), or nullptr.
HMODULE module_of(const void* address);

}  // namespace zu_test::windows
