// Value accessors and the element and member iterators.
#include "node.hpp"
#include "node_layout.hpp"
#include "zu/json/value.hpp"

namespace zu::json {
namespace {

using detail::Access;

yyjson_val* node_of(Value v) noexcept { return Access::node(v); }

}  // namespace

bool Value::is_null() const noexcept { return yyjson_is_null(node_of(*this)); }
bool Value::is_bool() const noexcept { return yyjson_is_bool(node_of(*this)); }
bool Value::is_number() const noexcept { return yyjson_is_num(node_of(*this)); }
bool Value::is_int() const noexcept { return yyjson_is_int(node_of(*this)); }
bool Value::is_uint() const noexcept { return yyjson_is_uint(node_of(*this)); }
bool Value::is_string() const noexcept { return yyjson_is_str(node_of(*this)); }
bool Value::is_array() const noexcept { return yyjson_is_arr(node_of(*this)); }
bool Value::is_object() const noexcept { return yyjson_is_obj(node_of(*this)); }

bool Value::as_bool() const noexcept { return yyjson_is_true(node_of(*this)); }

// The reader's integer getters give any integer's 64 bits, whichever its sign, and 0 for
// anything else; its number getter converts either integer form to a double.
std::int64_t Value::as_int() const noexcept { return yyjson_get_sint(node_of(*this)); }

std::uint64_t Value::as_uint() const noexcept { return yyjson_get_uint(node_of(*this)); }

double Value::as_double() const noexcept { return yyjson_get_num(node_of(*this)); }

std::string_view Value::as_string() const noexcept {
  yyjson_val* node = node_of(*this);
  if (!yyjson_is_str(node)) return {};
  return {yyjson_get_str(node), yyjson_get_len(node)};
}

std::uint64_t Value::size() const noexcept {
  yyjson_val* node = node_of(*this);
  return yyjson_is_ctn(node) ? yyjson_get_len(node) : 0;
}

Value Value::at(std::uint64_t i) const noexcept {
  // The reader's lookup indexes directly when no element has children, and otherwise
  // skips the earlier elements one subtree at a time.
  return Access::value(yyjson_arr_get(node_of(*this), static_cast<size_t>(i)));
}

Value Value::get(std::string_view key) const noexcept {
  if (key.data() == nullptr) return {};
  return Access::value(yyjson_obj_getn(node_of(*this), key.data(), key.size()));
}

Elements Value::elements() const noexcept { return Elements(*this); }
Members Value::members() const noexcept { return Members(*this); }

Elements::Iterator Elements::begin() const noexcept {
  yyjson_val* array = node_of(array_);
  yyjson_val* first = yyjson_arr_get_first(array);
  if (first == nullptr) return {};
  return Access::elements_iterator(first, yyjson_arr_size(array));
}

Value Elements::Iterator::operator*() const noexcept { return Access::value(Access::node(*this)); }

Elements::Iterator& Elements::Iterator::operator++() noexcept {
  if (remaining_ == 0) return *this;
  --remaining_;
  yyjson_val* next = remaining_ == 0 ? nullptr : detail::next_sibling(Access::node(*this));
  *this = Access::elements_iterator(next, remaining_);
  return *this;
}

Elements::Iterator Elements::Iterator::operator++(int) noexcept {
  Iterator before = *this;
  ++*this;
  return before;
}

Members::Iterator Members::begin() const noexcept {
  yyjson_val* object = node_of(object_);
  const std::size_t count = yyjson_obj_size(object);
  if (count == 0) return {};
  return Access::members_iterator(detail::first_child(object), count);
}

Member Members::Iterator::operator*() const noexcept {
  yyjson_val* key = Access::node(*this);
  if (key == nullptr) return {};
  return {detail::node_text(key), Access::value(detail::member_value(key))};
}

Members::Iterator& Members::Iterator::operator++() noexcept {
  if (remaining_ == 0) return *this;
  --remaining_;
  yyjson_val* next = remaining_ == 0 ? nullptr : detail::next_key(Access::node(*this));
  *this = Access::members_iterator(next, remaining_);
  return *this;
}

}  // namespace zu::json
