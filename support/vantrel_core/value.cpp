// Construction, type tests and reading.
#include <cstring>
#include <stdexcept>
#include <string>

#include "document.hpp"
#include "vantrel/json.hpp"

namespace vantrel {

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
  return yyjson_mut_equals(val_, other.val_);
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
