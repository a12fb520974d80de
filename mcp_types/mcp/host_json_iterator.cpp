// Copying, moving and comparing vantrel::json iterators.
#include <utility>

#include "vantrel/json.hpp"

namespace vantrel {

json::iterator::iterator(const iterator& other)
    : doc_(other.doc_),
      position_(other.position_),
      keys_(other.keys_),
      values_(other.values_),
      cursor_(other.cursor_),
      object_(other.object_),
      detached_(other.detached_) {}

// A moved-from iterator is left exactly as a default one: walking nothing.
json::iterator::iterator(iterator&& other) noexcept
    : doc_(std::move(other.doc_)),
      position_(std::exchange(other.position_, 0)),
      keys_(std::move(other.keys_)),
      values_(std::move(other.values_)),
      cursor_(std::exchange(other.cursor_, 0)),
      object_(std::exchange(other.object_, false)),
      detached_(std::exchange(other.detached_, true)) {
  other.keys_.clear();
  other.values_.clear();
}

json::iterator& json::iterator::operator=(const iterator& other) {
  if (this != &other) *this = iterator(other);
  return *this;
}

json::iterator& json::iterator::operator=(iterator&& other) noexcept {
  if (this == &other) return *this;
  doc_ = std::move(other.doc_);
  position_ = std::exchange(other.position_, 0);
  keys_ = std::move(other.keys_);
  values_ = std::move(other.values_);
  cursor_ = std::exchange(other.cursor_, 0);
  object_ = std::exchange(other.object_, false);
  detached_ = std::exchange(other.detached_, true);
  other.keys_.clear();
  other.values_.clear();
  return *this;
}

// Iterators that walk nothing have no container to compare, so only their positions
// count; otherwise they must walk the same container and stand at the same place.
bool json::iterator::operator==(const iterator& other) const noexcept {
  if (detached_ && other.detached_) return position_ == other.position_;
  return position_ == other.position_ && cursor_ == other.cursor_ && detached_ == other.detached_;
}

}  // namespace vantrel
