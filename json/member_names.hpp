// Finding a repeated member name within one object.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "node_layout.hpp"

namespace zu::json::detail {

// Objects up to this many members are checked against a 64-bit filter of name lengths,
// comparing names only when a length was seen before in the same object. That beats any
// set for the small objects that make up most documents, reads no name bytes in the
// usual case, and allocates nothing. Larger objects are sorted.
constexpr std::size_t kSmallObject = 16;

// same_name returns true when two key nodes hold the same name: the same length and
// bytes.
inline bool same_name(yyjson_val* a, yyjson_val* b) noexcept {
  const std::size_t n = node_length(a);
  if (n != node_length(b)) return false;
  // Schema-like names of one length often share a prefix and differ a few bytes in
  // ("minimum", "maximum"); a short loop settles those without a library call.
  const char* x = node_text(a).data();
  const char* y = node_text(b).data();
  const std::size_t head = n < 16 ? n : 16;
  for (std::size_t i = 0; i < head; ++i) {
    if (x[i] != y[i]) return false;
  }
  return n == head || std::memcmp(x + head, y + head, n - head) == 0;
}

// Scratch space reused across objects by one walk.
struct NamedMember {
  std::string_view name;
  std::size_t position;
  yyjson_val* key;  // (nonnull)
};

// first_repeated_name returns the key node of the first member of `object` (in document
// order) whose name an earlier member already has, or null. Names are equal when their
// lengths and bytes are. Linear for small objects; O(n log n) for large ones, whatever
// the names, so no choice of names makes it quadratic.
yyjson_val* first_repeated_name(yyjson_val* object, std::vector<NamedMember>& scratch);

}  // namespace zu::json::detail
