#include "windows/import_patch.hpp"

#include <cstdint>
#include <cstring>

namespace zu_test::windows {
namespace {

// at returns the address `offset` bytes into the image that begins at base.
template <typename T>
T* at(unsigned char* base, std::uint32_t offset) {
  return reinterpret_cast<T*>(base + offset);
}

// replace_entry writes `replacement` into one table entry, which the loader leaves
// read-only once the imports are bound, and returns what it held.
void* replace_entry(ULONG_PTR* entry, void* replacement) {
  DWORD protection = 0;
  if (::VirtualProtect(entry, sizeof(*entry), PAGE_READWRITE, &protection) == 0) return nullptr;
  void* previous = reinterpret_cast<void*>(*entry);
  *entry = reinterpret_cast<ULONG_PTR>(replacement);
  ::VirtualProtect(entry, sizeof(*entry), protection, &protection);
  ::FlushInstructionCache(::GetCurrentProcess(), entry, sizeof(*entry));
  return previous;
}

}  // namespace

void* patch_import(HMODULE module, const char* library, const char* function,
                   void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = at<const IMAGE_NT_HEADERS64>(base, static_cast<std::uint32_t>(dos->e_lfanew));
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* entry = at<IMAGE_IMPORT_DESCRIPTOR>(base, imports.VirtualAddress); entry->Name != 0;
       ++entry) {
    if (::lstrcmpiA(at<const char>(base, entry->Name), library) != 0) continue;
    // The name table lists what is imported; the address table beside it, in the same
    // order, holds where each import was bound.
    const auto* names = at<const IMAGE_THUNK_DATA64>(
        base, entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk);
    auto* addresses = at<IMAGE_THUNK_DATA64>(base, entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if ((names->u1.Ordinal & IMAGE_ORDINAL_FLAG64) != 0) continue;
      const auto* by_name =
          at<const IMAGE_IMPORT_BY_NAME>(base, static_cast<std::uint32_t>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
        return replace_entry(reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function), replacement);
      }
    }
  }
  return nullptr;
}

HMODULE module_of(const void* address) {
  HMODULE module = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (::GetModuleHandleExA(flags, static_cast<const char*>(address), &module) == 0) return nullptr;
  return module;
}

}  // namespace zu_test::windows
