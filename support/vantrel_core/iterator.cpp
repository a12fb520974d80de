// Walking arrays and objects.
#include <string>
#include <vector>

#include "document.hpp"
#include "vantrel/json.hpp"

namespace vantrel {

json::iterator json::begin() const {
  const auto cursor = reinterpret_cast<std::uintptr_t>(val_);
  if (yyjson_mut_is_arr(val_)) {
    std::vector<yyjson_mut_val*> values;
    values.reserve(yyjson_mut_arr_size(val_));
    yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(val_);
    while (yyjson_mut_val* element = yyjson_mut_arr_iter_next(&it)) values.push_back(element);
    return iterator(doc_, 0, {}, std::move(values), cursor, false);
  }
  if (yyjson_mut_is_obj(val_)) {
    std::vector<yyjson_mut_val*> keys;
    std::vector<yyjson_mut_val*> values;
    keys.reserve(yyjson_mut_obj_size(val_));
    values.reserve(yyjson_mut_obj_size(val_));
    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(val_);
    while (yyjson_mut_val* name = yyjson_mut_obj_iter_next(&it)) {
      keys.push_back(name);
      values.push_back(yyjson_mut_obj_iter_get_val(name));
    }
    return iterator(doc_, 0, std::move(keys), std::move(values), cursor, true);
  }
  return iterator();
}

json::iterator json::end() const {
  const auto cursor = reinterpret_cast<std::uintptr_t>(val_);
  if (yyjson_mut_is_arr(val_) || yyjson_mut_is_obj(val_)) {
    return iterator(doc_, size(), {}, {}, cursor, yyjson_mut_is_obj(val_));
  }
  return iterator();
}

json json::iterator::operator*() const {
  if (detached_ || position_ >= values_.size()) return json();
  return json(doc_, values_[position_]);
}

json json::iterator::value() const { return **this; }

json::iterator& json::iterator::operator++() {
  ++position_;
  return *this;
}

std::string json::iterator::key() const {
  if (detached_ || position_ >= values_.size()) return std::string();
  if (!object_) return std::to_string(position_);
  yyjson_mut_val* name = keys_[position_];
  return std::string(yyjson_mut_get_str(name), yyjson_mut_get_len(name));
}

}  // namespace vantrel
