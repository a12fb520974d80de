// json::value must not mistake running out of memory for a failed conversion. This
// program replaces the global allocator, so it is a program of its own.
#include <cstdlib>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/json.hpp>

namespace {
// While non-zero, allocations of at least this many bytes fail, so that exactly one
// conversion runs out of memory.
thread_local std::size_t fail_size = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (fail_size != 0 && size >= fail_size) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// GCC cannot see that these pair with the replacement above.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#if defined(_WIN32)
#include "windows/import_patch.hpp"

namespace {

// On Windows each module calls operator new through its own import of it, bound to the
// DLL that exports it (the C++ runtime's), so the replacement above serves only this
// program's own allocations, never those made inside the libraries' DLLs. The runtime's
// operator new takes its memory from the C runtime's malloc, through its own import of
// it: pointing that import at a malloc that fails the same way makes every module's
// operator new run out of memory as the replacement does on other systems.
using Malloc = void* (*)(std::size_t);
Malloc runtime_malloc = nullptr;

void* failing_malloc(std::size_t size) {
  if (fail_size != 0 && size >= fail_size) return nullptr;
  return runtime_malloc(size);
}

bool fail_in_every_module() {
  if (runtime_malloc != nullptr) return true;
  const HMODULE runtime = ::GetModuleHandleW(L"libstdc++-6.dll");
  if (runtime == nullptr) return false;
  runtime_malloc = reinterpret_cast<Malloc>(zu_test::windows::patch_import(
      runtime, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&failing_malloc)));
  return runtime_malloc != nullptr;
}

}  // namespace
#endif

namespace {

using vantrel::json;

TEST(HostJsonValue, NeverTurnsMemoryExhaustionIntoTheDefault) {
#if defined(_WIN32)
  ASSERT_TRUE(fail_in_every_module()) << "the C++ runtime's malloc import was not found";
#endif
  const std::string long_text(4000, 'x');
  json j = json::object();
  j["s"] = json(long_text);
  const json& reader = j;
  fail_size = long_text.size();
  EXPECT_THROW((void)reader.value("s", std::string()), std::bad_alloc);
  fail_size = 0;
  EXPECT_EQ(reader.value("s", std::string()), long_text);
  EXPECT_EQ(reader.value("missing", std::string("d")), "d");
}

}  // namespace
