// Structural equality, iterative over an explicit stack of pairs.
#include <utility>
#include <vector>

#include "node.hpp"
#include "zu/json/compare.hpp"

namespace zu::json {

bool equal(Value a, Value b) {
  yyjson_val* x = detail::Access::node(a);
  yyjson_val* y = detail::Access::node(b);
  if (x == nullptr || y == nullptr) return false;
  // Scalars compare by the reader library's own equality, which is the documented one:
  // types must match, reals compare by bit pattern, and a signed integer equals an
  // unsigned one when it is non-negative with the same value. It would recurse into
  // containers, so those are walked here instead.
  if (!yyjson_is_ctn(x)) return yyjson_equals(x, y);

  std::vector<std::pair<yyjson_val*, yyjson_val*>> pending;
  pending.emplace_back(x, y);
  while (!pending.empty()) {
    auto [left, right] = pending.back();
    pending.pop_back();
    if (left == nullptr || right == nullptr) return false;
    if (yyjson_is_arr(left)) {
      if (!yyjson_is_arr(right) || yyjson_arr_size(left) != yyjson_arr_size(right)) return false;
      yyjson_arr_iter l = yyjson_arr_iter_with(left);
      yyjson_arr_iter r = yyjson_arr_iter_with(right);
      while (yyjson_val* element = yyjson_arr_iter_next(&l)) {
        pending.emplace_back(element, yyjson_arr_iter_next(&r));
      }
    } else if (yyjson_is_obj(left)) {
      if (!yyjson_is_obj(right) || yyjson_obj_size(left) != yyjson_obj_size(right)) return false;
      yyjson_obj_iter members = yyjson_obj_iter_with(left);
      while (yyjson_val* key = yyjson_obj_iter_next(&members)) {
        if (!yyjson_is_str(key)) return false;
        yyjson_val* match = yyjson_obj_getn(right, yyjson_get_str(key), yyjson_get_len(key));
        if (match == nullptr) return false;
        pending.emplace_back(yyjson_obj_iter_get_val(key), match);
      }
    } else if (!yyjson_equals(left, right)) {
      return false;
    }
  }
  return true;
}

}  // namespace zu::json
