#include "archive_fs/require.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

// entry returns the address of name in ntdll as the function pointer type Call. The
// detour through void (*)() is the one conversion between function pointer types that
// says on purpose that the real type is known elsewhere.
template <typename Call>
Call entry(HMODULE ntdll, const char* name) {
  const FARPROC address = ::GetProcAddress(ntdll, name);
  require(address != nullptr);
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(address));
}

NtCalls look_up() {
  // ntdll is mapped into every process before any code runs, so it is only found, never
  // loaded, and no search path is ever consulted.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  require(ntdll != nullptr);
  NtCalls calls;
  calls.create_file = entry<NtCreateFileCall>(ntdll, "NtCreateFile");
  calls.set_information_file = entry<NtSetInformationFileCall>(ntdll, "NtSetInformationFile");
  calls.flush_buffers_file = entry<NtFlushBuffersFileCall>(ntdll, "NtFlushBuffersFile");
  return calls;
}

}  // namespace

const NtCalls& nt_calls() {
  // A static whose initialiser throws is initialised again on the next call, so a failed
  // look-up is retried; the language makes the initialisation thread-safe.
  static const NtCalls calls = look_up();
  return calls;
}

}  // namespace zu::archive_fs::windows
