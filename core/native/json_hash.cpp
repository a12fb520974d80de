// Canonical JSON hashing: a depth-first walk over an explicit stack.
#include "native/json_hash.hpp"

#include <algorithm>
#include <bit>
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
  // string_view compares as unsigned bytes, the shorter of two prefixes first.
  return a.key < b.key;
}

void sort_members(json::Member* first, json::Member* last) {
  if (std::is_sorted(first, last, key_before)) return;
  if (static_cast<std::size_t>(last - first) > kInsertionSortLimit) {
    std::stable_sort(first, last, key_before);
    return;
  }
  for (json::Member* i = first + 1; i < last; ++i) {
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
  while (!frames_.empty() && writer.ok()) {
    Frame& frame = frames_.back();
    const std::uint64_t depth = frame.child_depth;
    json::Value child;
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
    // `frame` may dangle from here on: visit can push a new frame.
    visit(writer, child, depth);
  }
}

void JsonHasher::visit(Writer& writer, json::Value value, std::uint64_t depth) {
  if (!writer.ok()) return;
  if (depth > writer.resources().max_json_depth || !value.valid()) {
    writer.fail();
    return;
  }
  // The tests are exclusive except that every unsigned integer is an integer and every
  // integer a number, so the order below only matters among those three.
  if (value.is_null()) {
    writer.u64(kNull);
  } else if (value.is_bool()) {
    writer.u64(kBool);
    writer.boolean(value.as_bool());
  } else if (value.is_string()) {
    writer.u64(kString);
    writer.bytes(value.as_string());
  } else if (value.is_uint()) {
    writer.u64(kUnsigned);
    writer.u64(value.as_uint());
  } else if (value.is_int()) {
    writer.u64(kSigned);
    writer.u64(static_cast<std::uint64_t>(value.as_int()));
  } else if (value.is_number()) {
    writer.u64(kReal);
    writer.u64(std::bit_cast<std::uint64_t>(value.as_double()));
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
  } else if (value.is_object()) {
    open_object(writer, value, depth);
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
  for (const json::Member member : object.members()) members_.push_back(member);
  sort_members(members_.data() + begin, members_.data() + members_.size());
  frames_.push_back({.object = true, .child_depth = depth + 1, .element = {}, .next = begin,
                     .end = members_.size(), .begin = begin});
}

}  // namespace zu::digest
