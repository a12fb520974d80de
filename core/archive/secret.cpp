#include "archive/secret.hpp"

#include <openssl/crypto.h>

#include <new>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zu::archive {
namespace {

std::size_t whole_pages(std::size_t bytes) {
#ifdef _WIN32
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  const std::size_t page = system.dwPageSize;
#else
  const long reported = ::sysconf(_SC_PAGESIZE);
  const std::size_t page = reported > 0 ? static_cast<std::size_t>(reported) : 4096;
#endif
  return (bytes + page - 1) / page * page;
}

#ifdef _WIN32
// Error reports (and the dumps they carry) can leave a block out only on systems that
// have these calls, so they are looked up rather than linked.
using ExcludeBlock = HRESULT(WINAPI*)(const void*, DWORD);
using IncludeBlock = HRESULT(WINAPI*)(const void*);

template <typename Call>
Call kernel32_call(const char* name) noexcept {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC address = kernel32 != nullptr ? ::GetProcAddress(kernel32, name) : nullptr;
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(address));
}
#endif

}  // namespace

KeyMaterial::KeyMaterial() : size_(whole_pages(sizeof(Contents))) {
#ifdef _WIN32
  void* pages = ::VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (pages == nullptr) throw std::bad_alloc();
  static_cast<void>(::VirtualLock(pages, size_));
  if (const auto exclude = kernel32_call<ExcludeBlock>("WerRegisterExcludedMemoryBlock")) {
    static_cast<void>(exclude(pages, static_cast<DWORD>(size_)));
  }
#else
  void* pages = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  // Both are protections that the system may not offer (a lock over RLIMIT_MEMLOCK, for
  // one); the key is kept either way.
  static_cast<void>(::madvise(pages, size_, MADV_DONTDUMP));
  static_cast<void>(::mlock(pages, size_));
#endif
  contents_ = ::new (pages) Contents{};
}

KeyMaterial::~KeyMaterial() {
  void* pages = contents_;
  OPENSSL_cleanse(pages, size_);
#ifdef _WIN32
  if (const auto include = kernel32_call<IncludeBlock>("WerUnregisterExcludedMemoryBlock")) {
    static_cast<void>(include(pages));
  }
  // Releasing the pages also ends their lock.
  ::VirtualFree(pages, 0, MEM_RELEASE);
#else
  ::munmap(pages, size_);
#endif
}

}  // namespace zu::archive
