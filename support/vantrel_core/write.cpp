// Copy on write and the member and element handles.
#include <atomic>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

#include "document.hpp"
#include "vantrel/json.hpp"

// ThreadSanitizer cannot follow a fence, so in such builds a document is never trusted
// to be unshared: a value is copied before every write. Values behave the same, only
// with more copying.
#if defined(__SANITIZE_THREAD__)
#define VANTREL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTREL_THREAD_SANITIZER 1
#endif
#endif

namespace vantrel {

// make_writable gives this value a document of its own before it changes, unless it is
// a handle: a handle exists to write into its container's document, which the container
// made its own when it handed the handle out.
void json::make_writable() {
  if (member_handle_) return;
#if !defined(VANTREL_THREAD_SANITIZER)
  if (doc_ != nullptr && doc_.use_count() == 1) {
    // The count is read relaxed. The fence orders this thread's coming writes after
    // whatever other threads read before they dropped their copies.
    std::atomic_thread_fence(std::memory_order_acquire);
    return;
  }
#endif
  auto fresh = detail::new_document();
  yyjson_mut_val* copy = val_ != nullptr ? yyjson_mut_val_mut_copy(fresh.get(), val_)
                                         : yyjson_mut_null(fresh.get());
  detail::checked(copy);
  yyjson_mut_doc_set_root(fresh.get(), copy);
  doc_ = std::move(fresh);
  val_ = copy;
}

json json::member_handle(const char* key, std::size_t length) {
  if (!is_null() && !is_object()) {
    throw std::invalid_argument("vantrel::json: operator[] with a key needs an object");
  }
  make_writable();
  if (yyjson_mut_is_null(val_)) yyjson_mut_set_obj(val_);
  yyjson_mut_val* found = yyjson_mut_obj_getn(val_, key, length);
  if (found == nullptr) {
    yyjson_mut_val* name = detail::checked(yyjson_mut_strncpy(doc_.get(), key, length));
    found = detail::checked(yyjson_mut_null(doc_.get()));
    yyjson_mut_obj_add(val_, name, found);
  }
  return json(doc_, found, true);
}

json json::operator[](const char* key) & {
  if (key == nullptr) throw std::invalid_argument("vantrel::json: operator[] with a null key");
  return member_handle(key, std::strlen(key));
}

json json::operator[](const std::string& key) & { return member_handle(key.data(), key.size()); }

json json::element_handle(std::size_t index) {
  if (!yyjson_mut_is_arr(val_) || index >= yyjson_mut_arr_size(val_)) {
    throw std::out_of_range("vantrel::json: index " + std::to_string(index) + " is out of range");
  }
  make_writable();
  return json(doc_, yyjson_mut_arr_get(val_, index), true);
}

json json::operator[](std::size_t index) & { return element_handle(index); }
json json::at(std::size_t index) & { return element_handle(index); }

// assign_in_place overwrites this handle's node with a copy of `other` made in the same
// document. The node keeps its link to the next entry of its container, so the
// container sees the new value where the old one stood. The copy is made before anything
// is overwritten, so `other` may be this node or lie inside it.
//
// yyjson has no function that replaces a node's content in place: its replace functions
// need the container, which a handle does not know, and its setters cannot give a node a
// copied array's or object's children. So this copies the node's tag and payload fields
// and leaves its link alone, which is right for the version pinned here.
static_assert(YYJSON_VERSION_HEX == 0x000C00, "assign_in_place was written for yyjson 0.12.0's mutable node");
static_assert(offsetof(yyjson_mut_val, tag) == 0 && offsetof(yyjson_mut_val, uni) == 8 &&
                  offsetof(yyjson_mut_val, next) == 16 && sizeof(yyjson_mut_val) == 24,
              "a mutable node is its tag, its payload and its link, in that order");
void json::assign_in_place(const json& other) {
  yyjson_mut_val* copy = other.val_ != nullptr ? yyjson_mut_val_mut_copy(doc_.get(), other.val_)
                                               : yyjson_mut_null(doc_.get());
  detail::checked(copy);
  val_->tag = copy->tag;
  val_->uni = copy->uni;
}

void json::operator=(const json& other) && {
  if (!member_handle_) {
    *this = other;
    return;
  }
  assign_in_place(other);
}

void json::operator=(json&& other) && {
  if (!member_handle_) {
    *this = std::move(other);
    return;
  }
  assign_in_place(other);
}

}  // namespace vantrel
