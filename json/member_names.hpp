// Finding a repeated member name within one object.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <string_view>
#include <vector>

namespace zu::json::detail {

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

// has_nested_members returns true when some member value or element of `container` has
// members or elements of its own, read from the span the reader records for the subtree.
// When it is false every child is one node: a scalar or an empty container.
inline bool has_nested_members(yyjson_val* container) noexcept {
  const std::size_t slots_per_child = unsafe_yyjson_is_obj(container) ? 2 : 1;
  const std::size_t flat = (slots_per_child * unsafe_yyjson_get_len(container) + 1) * sizeof(yyjson_val);
  return container->uni.ofs != flat;
}

}  // namespace zu::json::detail
