// Construction, type tests and reading.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "document.hpp"
#include "vantrel/json.hpp"

namespace vantrel {
namespace {

// whole_number_equals returns true when `real` is a whole number equal to the value of
// the integer node `integer`. The real is converted, and only inside the integer form's
// range, because there the conversion is exact; converting the integer to a double
// instead could round it (2^53 + 1 would equal 2^53).
bool whole_number_equals(yyjson_mut_val* integer, double real) {
  if (real != std::trunc(real)) return false;
  if (yyjson_mut_is_uint(integer)) {
    return real >= 0.0 && real < 0x1p64 && static_cast<std::uint64_t>(real) == yyjson_mut_get_uint(integer);
  }
  return real >= -0x1p63 && real < 0x1p63 && static_cast<std::int64_t>(real) == yyjson_mut_get_sint(integer);
}

// below_zero returns true for an integer node that holds a negative value.
bool below_zero(yyjson_mut_val* integer) {
  return yyjson_mut_is_sint(integer) && yyjson_mut_get_sint(integer) < 0;
}

// same_number compares two number nodes by their values, whichever of the three forms
// (unsigned, signed, real) each is stored in.
bool same_number(yyjson_mut_val* a, yyjson_mut_val* b) {
  const bool a_real = yyjson_mut_is_real(a);
  const bool b_real = yyjson_mut_is_real(b);
  if (a_real && b_real) return yyjson_mut_get_real(a) == yyjson_mut_get_real(b);
  if (a_real) return whole_number_equals(b, yyjson_mut_get_real(a));
  if (b_real) return whole_number_equals(a, yyjson_mut_get_real(b));
  // Two integers with the same 64 bits are equal unless one of them is negative and the
  // other not: -1 and 2^64 - 1 share their bits.
  return below_zero(a) == below_zero(b) && yyjson_mut_get_uint(a) == yyjson_mut_get_uint(b);
}

// same_value is operator== on two nodes. Member names of a json object are unique, so
// matching each member of `a` by name in `b`, sizes being equal, pairs them all.
bool same_value(yyjson_mut_val* a, yyjson_mut_val* b) {
  const yyjson_type type = yyjson_mut_get_type(a);
  if (type != yyjson_mut_get_type(b)) return false;
  if (type == YYJSON_TYPE_NUM) return same_number(a, b);
  if (type == YYJSON_TYPE_ARR) {
    if (yyjson_mut_arr_size(a) != yyjson_mut_arr_size(b)) return false;
    yyjson_mut_arr_iter left = yyjson_mut_arr_iter_with(a);
    yyjson_mut_arr_iter right = yyjson_mut_arr_iter_with(b);
    while (yyjson_mut_val* element = yyjson_mut_arr_iter_next(&left)) {
      if (!same_value(element, yyjson_mut_arr_iter_next(&right))) return false;
    }
    return true;
  }
  if (type == YYJSON_TYPE_OBJ) {
    if (yyjson_mut_obj_size(a) != yyjson_mut_obj_size(b)) return false;
    yyjson_mut_obj_iter members = yyjson_mut_obj_iter_with(a);
    // One iterator over `b` for all names: it resumes where the previous name was found,
    // so members stored in the same order cost one step each.
    yyjson_mut_obj_iter in_b = yyjson_mut_obj_iter_with(b);
    while (yyjson_mut_val* key = yyjson_mut_obj_iter_next(&members)) {
      yyjson_mut_val* match = yyjson_mut_obj_iter_getn(&in_b, yyjson_mut_get_str(key), yyjson_mut_get_len(key));
      if (match == nullptr || !same_value(yyjson_mut_obj_iter_get_val(key), match)) return false;
    }
    return true;
  }
  return yyjson_mut_equals(a, b);  // null, booleans and strings
}

}  // namespace

json::json(bool b) : doc_(detail::new_document()) {
  val_ = detail::checked(yyjson_mut_bool(doc_.get(), b));
  yyjson_mut_doc_set_root(doc_.get(), val_);
}

json::json(const std::string& s) : doc_(detail::new_document()) {
  val_ = detail::checked(yyjson_mut_strncpy(doc_.get(), s.data(), s.size()));
  yyjson_mut_doc_set_root(doc_.get(), val_);
}

json::json(const char* s) : doc_(detail::new_document()) {
  val_ = detail::checked(yyjson_mut_strncpy(doc_.get(), s, std::strlen(s)));
  yyjson_mut_doc_set_root(doc_.get(), val_);
}

json json::object() {
  auto doc = detail::new_document();
  yyjson_mut_val* node = detail::checked(yyjson_mut_obj(doc.get()));
  yyjson_mut_doc_set_root(doc.get(), node);
  return json(std::move(doc), node);
}

json json::array() {
  auto doc = detail::new_document();
  yyjson_mut_val* node = detail::checked(yyjson_mut_arr(doc.get()));
  yyjson_mut_doc_set_root(doc.get(), node);
  return json(std::move(doc), node);
}

// A document-less json is null; yyjson's own tests answer false for a null node pointer.
bool json::is_null() const noexcept { return val_ == nullptr || yyjson_mut_is_null(val_); }
bool json::is_boolean() const noexcept { return yyjson_mut_is_bool(val_); }
bool json::is_number() const noexcept { return yyjson_mut_is_num(val_); }
bool json::is_number_integer() const noexcept { return yyjson_mut_is_int(val_); }
bool json::is_string() const noexcept { return yyjson_mut_is_str(val_); }
bool json::is_array() const noexcept { return yyjson_mut_is_arr(val_); }
bool json::is_object() const noexcept { return yyjson_mut_is_obj(val_); }

bool json::contains(const char* key) const {
  return key != nullptr && yyjson_mut_is_obj(val_) &&
         yyjson_mut_obj_getn(val_, key, std::strlen(key)) != nullptr;
}

bool json::contains(const std::string& key) const {
  return yyjson_mut_is_obj(val_) && yyjson_mut_obj_getn(val_, key.data(), key.size()) != nullptr;
}

std::size_t json::size() const noexcept {
  if (yyjson_mut_is_arr(val_)) return yyjson_mut_arr_size(val_);
  if (yyjson_mut_is_obj(val_)) return yyjson_mut_obj_size(val_);
  return 0;
}

bool json::empty() const noexcept {
  if (is_null()) return true;
  if (yyjson_mut_is_arr(val_) || yyjson_mut_is_obj(val_)) return size() == 0;
  return false;
}

bool json::operator==(const json& other) const noexcept {
  if (val_ == nullptr || other.val_ == nullptr) return is_null() && other.is_null();
  return same_value(val_, other.val_);
}

json json::member(const char* key, std::size_t length) const {
  if (!yyjson_mut_is_obj(val_)) return json();
  yyjson_mut_val* found = yyjson_mut_obj_getn(val_, key, length);
  return found == nullptr ? json() : json(doc_, found);
}

json json::operator[](const char* key) const& {
  if (key == nullptr) return json();
  return member(key, std::strlen(key));
}

json json::operator[](const std::string& key) const& { return member(key.data(), key.size()); }

json json::operator[](std::size_t index) const& {
  if (!yyjson_mut_is_arr(val_) || index >= yyjson_mut_arr_size(val_)) return json();
  return json(doc_, yyjson_mut_arr_get(val_, index));
}

json json::at(std::size_t index) const& {
  if (!yyjson_mut_is_arr(val_) || index >= yyjson_mut_arr_size(val_)) {
    throw std::out_of_range("vantrel::json::at: index " + std::to_string(index) + " is out of range");
  }
  return json(doc_, yyjson_mut_arr_get(val_, index));
}

std::string json::get_string() const {
  if (!yyjson_mut_is_str(val_)) throw std::invalid_argument("vantrel::json: value is not a string");
  return std::string(yyjson_mut_get_str(val_), yyjson_mut_get_len(val_));
}

bool json::get_bool() const {
  if (!yyjson_mut_is_bool(val_)) throw std::invalid_argument("vantrel::json: value is not a boolean");
  return yyjson_mut_get_bool(val_);
}

}  // namespace vantrel
