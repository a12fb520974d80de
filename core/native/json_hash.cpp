// Canonical JSON hashing: a depth-first walk over an explicit stack.
#include "native/json_hash.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string_view>

namespace zu::digest {
namespace {

enum Tag : std::uint64_t {
  kNull = 0,
  kBool = 1,
  kString = 2,
  kUnsigned = 3,
  kSigned = 4,
  kReal = 5,
  kArray = 6,
  kObject = 7,
};

// Below this many members an insertion sort beats std::stable_sort, which also asks for
// a scratch buffer on every call. Both keep equal keys in document order.
constexpr std::size_t kInsertionSortLimit = 16;

bool key_before(const json::Member& a, const json::Member& b) noexcept {
  // Bytewise as unsigned bytes, the shorter of two prefixes first. Keys of one object
  // mostly differ in their first byte, which is checked before calling memcmp.
  const std::size_t common = std::min(a.key.size(), b.key.size());
  if (common == 0) return a.key.size() < b.key.size();
  const auto first_a = static_cast<unsigned char>(a.key[0]);
  const auto first_b = static_cast<unsigned char>(b.key[0]);
  if (first_a != first_b) return first_a < first_b;
  const int order = std::memcmp(a.key.data(), b.key.data(), common);
  return order != 0 ? order < 0 : a.key.size() < b.key.size();
}

void sort_members(json::Member* first, json::Member* last) {
  if (static_cast<std::size_t>(last - first) > kInsertionSortLimit) {
    std::stable_sort(first, last, key_before);
    return;
  }
  for (json::Member* i = first + 1; i < last; ++i) {
    if (!key_before(*i, *(i - 1))) continue;
    json::Member moving = *i;
    json::Member* j = i;
    for (; j > first && key_before(moving, *(j - 1)); --j) *j = *(j - 1);
    *j = moving;
  }
}

}  // namespace

void JsonHasher::document(Writer& writer, const std::shared_ptr<const json::Document>& document) {
  writer.boolean(document != nullptr);
  if (document) value(writer, document->root());
}

void JsonHasher::value(Writer& writer, json::Value root) {
  frames_.clear();
  members_.clear();
  visit(writer, root, 0);
  json::Value child;
  std::uint64_t depth = 0;
  while (writer.ok() && next_child(writer, child, depth)) visit(writer, child, depth);
}

bool JsonHasher::next_child(Writer& writer, json::Value& child, std::uint64_t& depth) {
  while (!frames_.empty()) {
    Frame& frame = frames_.back();
    if (frame.object) {
      if (frame.next == frame.end) {
        members_.resize(frame.begin);
        frames_.pop_back();
        continue;
      }
      const json::Member member = members_[frame.next++];
      writer.bytes(member.key);
      child = member.value;
    } else {
      if (frame.element == json::Elements::Iterator{}) {
        frames_.pop_back();
        continue;
      }
      child = *frame.element;
      ++frame.element;
    }
    depth = frame.child_depth;
    return true;
  }
  return false;
}

void JsonHasher::visit(Writer& writer, json::Value value, std::uint64_t depth) {
  if (!writer.ok()) return;
  if (depth > writer.resources().max_json_depth || !value.valid()) {
    writer.fail();
    return;
  }
  // The type tests are exclusive, except that every unsigned integer is an integer and
  // every integer a number, so only those three must be asked in this order. Strings
  // and containers, the bulk of provider JSON, are asked first. A string's view points
  // into the document and anything else gives a null view, so as_string() answers
  // is_string() and reads the text in one call.
  if (const std::string_view text = value.as_string(); text.data() != nullptr) {
    writer.u64(kString);
    writer.bytes(text);
  } else if (value.is_object()) {
    open_object(writer, value, depth);
  } else if (value.is_array()) {
    const std::uint64_t size = value.size();
    writer.u64(kArray);
    writer.u64(size);
    if (size > writer.resources().max_json_entries) {
      writer.fail();
      return;
    }
    if (size != 0 && writer.ok())
      frames_.push_back({.object = false, .child_depth = depth + 1,
                         .element = value.elements().begin(), .next = 0, .end = 0, .begin = 0});
  } else if (value.is_uint()) {
    writer.u64(kUnsigned);
    writer.u64(value.as_uint());
  } else if (value.is_int()) {
    writer.u64(kSigned);
    writer.u64(static_cast<std::uint64_t>(value.as_int()));
  } else if (value.is_number()) {
    writer.u64(kReal);
    writer.u64(std::bit_cast<std::uint64_t>(value.as_double()));
  } else if (value.is_bool()) {
    writer.u64(kBool);
    writer.boolean(value.as_bool());
  } else if (value.is_null()) {
    writer.u64(kNull);
  } else {
    writer.fail();
  }
}

void JsonHasher::open_object(Writer& writer, json::Value object, std::uint64_t depth) {
  const std::uint64_t size = object.size();
  writer.u64(kObject);
  writer.u64(size);
  if (size > writer.resources().max_json_entries) {
    writer.fail();
    return;
  }
  if (size == 0 || !writer.ok()) return;
  const std::size_t begin = members_.size();
  members_.resize(begin + static_cast<std::size_t>(size));
  json::Member* slot = members_.data() + begin;
  for (auto it = object.members().begin(); it != json::Members::Iterator{}; ++it, ++slot) {
    // Placement new lets the facade write each member straight into its slot. A copy
    // would read the returned member back in wider loads than the stores that made it,
    // which stalls on every member.
    ::new (static_cast<void*>(slot)) json::Member(*it);
  }
  sort_members(members_.data() + begin, members_.data() + members_.size());
  frames_.push_back({.object = true, .child_depth = depth + 1, .element = {}, .next = begin,
                     .end = members_.size(), .begin = begin});
}

}  // namespace zu::digest
