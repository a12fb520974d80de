// What Windows test programs supply, under Wine only, of the operating system that Wine
// lacks; never part of a shipped DLL.
//
// Wine keeps no security descriptors: a descriptor given when an object is created, or
// written later, is not stored, and reading one returns a fixed default. It also opens
// a volume's device name ("\Device\HarddiskVolume1\") as the mount manager's device, not
// as the volume's root directory. The library relies on both, so under Wine a test
// program gives zu_core.dll two substitutes, through that DLL's import table only (its
// code stays as shipped):
//
// - Security descriptors are kept per file identity (volume serial number and file
//   index) in files of one folder, named by ZU_TEST_WINE_DESCRIPTORS, which the first
//   process of a test makes and its child processes inherit. GetSecurityInfo and
//   SetSecurityInfo read and write them there, and NtCreateFile stores the descriptor an
//   object is created with. An object with no stored descriptor reads as Wine answers.
// - The one open of a volume root by its device name, without a root directory, is
//   made as "\??\X:\" of the drive that QueryDosDeviceW maps to that device.
//
// Everything else, including every check the library makes on what it reads, is Wine's
// or the library's own. On Windows itself nothing is replaced. The tests set their own
// scenes through security_calls(), the same calls the library makes.
#pragma once

#include "windows/windows_headers.hpp"

namespace zu_test::windows {

// under_wine returns whether this process runs under Wine.
bool under_wine();

// SecurityCalls holds the two calls that read and write a file object's security
// descriptor: the system's own, or under Wine the substitute's. (both nonnull)
struct SecurityCalls {
  decltype(&::GetSecurityInfo) get;
  decltype(&::SetSecurityInfo) set;
};

// security_calls returns the calls the library makes once install_substitutes ran.
const SecurityCalls& security_calls();

// install_substitutes, under Wine, points the import table of `library` (zu_core.dll) at
// the substitutes above, says so on standard error (unless `quiet`), and returns true;
// elsewhere it changes nothing and returns false. Call it once, before the library's
// first file-system call.
bool install_substitutes(HMODULE library, bool quiet);

// forget_descriptor drops what is kept for the object behind `handle`, so that an object
// made without the library (which Windows would give an inherited descriptor) does not
// take over a record of an earlier object with the same file index.
void forget_descriptor(HANDLE handle);

// terminate_child ends a child process of this test and waits until it has ended, never
// while it is between creating an object and storing that object's descriptor, which
// Windows does in one call.
void terminate_child(HANDLE process);

// root_redirects returns how many volume-root opens were redirected in this process.
long root_redirects();

}  // namespace zu_test::windows
