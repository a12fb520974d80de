// Structural equality, iterative over an explicit stack of pairs.
#include <cstring>
#include <utility>
#include <vector>

#include "node.hpp"
#include "zu/json/compare.hpp"

namespace zu::json {
namespace {

// same_scalar is the reader library's scalar equality: types must match, reals compare
// by bit pattern, and a signed integer equals an unsigned one when it is non-negative
// with the same value. A real never equals an integer.
bool same_scalar(yyjson_val* a, yyjson_val* b) noexcept {
  const yyjson_type type = unsafe_yyjson_get_type(a);
  if (type != unsafe_yyjson_get_type(b)) return false;
  switch (type) {
    case YYJSON_TYPE_NULL:
      return true;
    case YYJSON_TYPE_BOOL:
      return unsafe_yyjson_get_subtype(a) == unsafe_yyjson_get_subtype(b);
    case YYJSON_TYPE_STR: {
      const std::size_t n = unsafe_yyjson_get_len(a);
      return n == unsafe_yyjson_get_len(b) &&
             std::memcmp(unsafe_yyjson_get_str(a), unsafe_yyjson_get_str(b), n) == 0;
    }
    case YYJSON_TYPE_NUM: {
      const yyjson_subtype sa = unsafe_yyjson_get_subtype(a);
      const yyjson_subtype sb = unsafe_yyjson_get_subtype(b);
      if (sa == sb) return a->uni.u64 == b->uni.u64;
      if (sa == YYJSON_SUBTYPE_REAL || sb == YYJSON_SUBTYPE_REAL) return false;
      // One signed, one unsigned: equal only when the signed one is non-negative.
      const yyjson_val* signed_one = sa == YYJSON_SUBTYPE_SINT ? a : b;
      return signed_one->uni.i64 >= 0 && a->uni.u64 == b->uni.u64;
    }
    default:
      return false;
  }
}

}  // namespace

bool equal(Value a, Value b) {
  yyjson_val* x = detail::Access::node(a);
  yyjson_val* y = detail::Access::node(b);
  if (x == nullptr || y == nullptr) return false;
  if (!detail::is_container(x)) return same_scalar(x, y);

  std::vector<std::pair<yyjson_val*, yyjson_val*>> pending;
  pending.emplace_back(x, y);
  while (!pending.empty()) {
    auto [left, right] = pending.back();
    pending.pop_back();
    if (left == nullptr || right == nullptr) return false;
    if (unsafe_yyjson_is_arr(left)) {
      if (!unsafe_yyjson_is_arr(right)) return false;
      const std::size_t n = unsafe_yyjson_get_len(left);
      if (n != unsafe_yyjson_get_len(right)) return false;
      yyjson_val* l = unsafe_yyjson_get_first(left);
      yyjson_val* r = unsafe_yyjson_get_first(right);
      for (std::size_t i = 0; i < n; ++i) {
        pending.emplace_back(l, r);
        l = detail::next_sibling(l);
        r = detail::next_sibling(r);
      }
    } else if (unsafe_yyjson_is_obj(left)) {
      if (!unsafe_yyjson_is_obj(right)) return false;
      const std::size_t n = unsafe_yyjson_get_len(left);
      if (n != unsafe_yyjson_get_len(right)) return false;
      yyjson_val* key = unsafe_yyjson_get_first(left);
      for (std::size_t i = 0; i < n; ++i, key = detail::next_sibling(key + 1)) {
        if (!unsafe_yyjson_is_str(key)) return false;
        yyjson_val* match = yyjson_obj_getn(right, unsafe_yyjson_get_str(key), unsafe_yyjson_get_len(key));
        if (match == nullptr) return false;
        pending.emplace_back(key + 1, match);
      }
    } else if (!same_scalar(left, right)) {
      return false;
    }
  }
  return true;
}

}  // namespace zu::json
