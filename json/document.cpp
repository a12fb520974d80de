// Document ownership and the retained-size accounting.
#include <limits>
#include <utility>

#include "allocator.hpp"
#include "node.hpp"
#include "node_layout.hpp"
#include "zu/json/document.hpp"

namespace zu::json {
namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

void release(detail::Doc* doc) noexcept {
  // The reader's free releases the string pool and the value block through the hooks
  // recorded in the document itself, so this is right whichever library calls it.
  if (doc != nullptr) yyjson_doc_free(reinterpret_cast<yyjson_doc*>(doc));
}

}  // namespace

Document::Document(Document&& other) noexcept : doc_(std::exchange(other.doc_, nullptr)) {}

Document& Document::operator=(Document&& other) noexcept {
  if (this != &other) {
    release(doc_);
    doc_ = std::exchange(other.doc_, nullptr);
  }
  return *this;
}

Document::~Document() { release(doc_); }

Value Document::root() const noexcept {
  yyjson_doc* doc = detail::Access::doc(*this);
  return detail::Access::value(doc == nullptr ? nullptr : yyjson_doc_get_root(doc));
}

std::uint64_t Document::retained_bytes() const noexcept {
  const yyjson_doc* doc = detail::Access::doc(*this);
  if (doc == nullptr) return 0;
  if (!detail::made_by_document_allocator(detail::document_allocator_of(doc))) return kUnknown;
  // Every block of the document came through the allocator's hooks, so each one's header
  // gives its size.
  const std::uint64_t values = detail::recorded_size(detail::document_value_block(doc));
  const void* pool = detail::document_string_pool(doc);
  const std::uint64_t strings = pool == nullptr ? 0 : detail::recorded_size(pool);
  constexpr std::uint64_t kLargest = kUnknown - 8;
  if (values > kLargest || strings > kLargest - values) return kUnknown;
  return values + 8 + strings;
}

std::uint64_t retained_size_bound(std::uint64_t n) noexcept {
  constexpr std::uint64_t kSaturatesFrom = 0x13B13B13B13B139CULL;
  if (n >= kSaturatesFrom) return kUnknown;
  return 13 * n + 280;
}

unsigned int retained_size_contract() noexcept { return 1; }

}  // namespace zu::json
