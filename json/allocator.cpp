#include "allocator.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace zu::json::detail {
namespace {

constexpr std::uint64_t kHeader = 8;
constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max() - kHeader;

unsigned char* block_of(void* p) noexcept { return static_cast<unsigned char*>(p) - kHeader; }

void* with_header(void* block, std::uint64_t total) noexcept {
  std::memcpy(block, &total, sizeof total);
  return static_cast<unsigned char*>(block) + kHeader;
}

void* allocate(void*, size_t n) noexcept {
  if (n > kLargest) return nullptr;
  void* block = std::malloc(n + kHeader);
  return block == nullptr ? nullptr : with_header(block, n + kHeader);
}

void release(void*, void* p) noexcept {
  if (p != nullptr) std::free(block_of(p));
}

void* reallocate(void* ctx, void* p, size_t /*old_size*/, size_t n) noexcept {
  if (p == nullptr) return allocate(ctx, n);
  if (n == 0) {
    release(ctx, p);
    return nullptr;
  }
  if (n > kLargest) return nullptr;
  void* block = std::realloc(block_of(p), n + kHeader);
  return block == nullptr ? nullptr : with_header(block, n + kHeader);
}

}  // namespace

yyjson_alc document_allocator() noexcept { return {allocate, reallocate, release, nullptr}; }

bool made_by_document_allocator(const yyjson_alc& alc) noexcept { return alc.free == release; }

std::uint64_t recorded_size(const void* block) noexcept {
  std::uint64_t total = 0;
  std::memcpy(&total, static_cast<const unsigned char*>(block) - kHeader, sizeof total);
  return total;
}

}  // namespace zu::json::detail
