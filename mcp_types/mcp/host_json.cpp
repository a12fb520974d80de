// The vantrel::json members that this library compiles: defaulted member reads, the
// int index forms, the document accessors and the (key, value) range.
#include <cstddef>
#include <new>
#include <string>

#include "vantrel/json.hpp"

namespace vantrel {
namespace {

// read_or_default converts member `key` of `self` with `convert`, falling back to
// `fallback` when there is no usable member. A failed conversion is a type mismatch and
// yields the default, but running out of memory is not a mismatch and must propagate.
template <class T, class Convert>
T read_or_default(const json& self, const std::string& key, const T& fallback, Convert convert) {
  if (!self.is_object()) return fallback;
  const json found = self[key];
  if (found.is_null()) return fallback;
  try {
    return convert(found);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    return fallback;
  }
}

}  // namespace

std::string json::value_string(const std::string& key, const std::string& default_value) const {
  return read_or_default(*this, key, default_value, [](const json& j) { return j.get<std::string>(); });
}

std::string json::value(const std::string& key, const char* default_value) const {
  return value_string(key, std::string(default_value));
}

bool json::value_bool(const std::string& key, bool default_value) const {
  return read_or_default(*this, key, default_value, [](const json& j) { return j.get<bool>(); });
}

json json::value_json(const std::string& key, const json& default_value) const {
  return read_or_default(*this, key, default_value, [](const json& j) { return j.get<json>(); });
}

bool json::operator!=(const json& other) const noexcept { return !(*this == other); }

bool json::is_bool() const noexcept { return is_boolean(); }

// Converting int to size_t is modular, which is exactly sign extension: -1 becomes the
// largest index and reads past the end.
json json::operator[](int index) const& { return (*this)[static_cast<std::size_t>(index)]; }
json json::at(int index) const& { return at(static_cast<std::size_t>(index)); }
json json::operator[](int index) & { return (*this)[static_cast<std::size_t>(index)]; }
json json::at(int index) & { return at(static_cast<std::size_t>(index)); }

yyjson_mut_doc* json::raw_doc() const noexcept { return doc_.get(); }
yyjson_mut_val* json::raw_val() const noexcept { return val_; }

json::items_proxy json::items() const { return items_proxy(*this); }

json::items_proxy::iterator json::items_proxy::begin() const { return iterator(value_.begin()); }
json::items_proxy::iterator json::items_proxy::end() const { return iterator(value_.end()); }

json::items_proxy::iterator::value_type json::items_proxy::iterator::operator*() const {
  return {it_.key(), it_.value()};
}

json::items_proxy::iterator& json::items_proxy::iterator::operator++() {
  ++it_;
  return *this;
}

bool json::items_proxy::iterator::operator==(const iterator& other) const noexcept {
  return it_ == other.it_;
}

}  // namespace vantrel
