#include "duplicate_walk.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "node.hpp"

namespace zu::json::detail {
namespace {

// One container met by the walk. A frame stays on the stack, marked expanded, while its
// children are examined above it; so the expanded frames below any frame are exactly its
// ancestors, and a pointer can be rebuilt from the stack alone when it is needed.
struct Frame {
  yyjson_val* node;   // (nonnull) the container
  yyjson_val* key;    // (nullable) the member name leading to it; null for array elements
  std::uint64_t index;  // its position in the parent array, when key is null
  bool expanded;      // its members were checked and its children pushed
};

std::string_view key_text(yyjson_val* key) noexcept {
  return {unsafe_yyjson_get_str(key), unsafe_yyjson_get_len(key)};
}

bool same_key(yyjson_val* a, yyjson_val* b) noexcept {
  const std::size_t n = unsafe_yyjson_get_len(a);
  return n == unsafe_yyjson_get_len(b) &&
         std::memcmp(unsafe_yyjson_get_str(a), unsafe_yyjson_get_str(b), n) == 0;
}

// Objects up to this many members are checked pair by pair, which beats any set for the
// small objects that make up most documents and allocates nothing.
constexpr std::size_t kPairwiseLimit = 16;

// Larger objects are checked by sorting their names. Unlike a hash set with a fixed hash,
// sorting cannot be driven quadratic by names chosen to collide.
struct NamedMember {
  std::string_view name;
  std::size_t position;
  yyjson_val* key;  // (nonnull)
};

// first_repeat returns the key node of the first member of `object` (in document order)
// whose name an earlier member already has, or null.
yyjson_val* first_repeat(yyjson_val* object, std::vector<NamedMember>& scratch) {
  const std::size_t count = unsafe_yyjson_get_len(object);
  if (count < 2) return nullptr;
  yyjson_val* key = unsafe_yyjson_get_first(object);
  if (count <= kPairwiseLimit) {
    yyjson_val* earlier[kPairwiseLimit];
    for (std::size_t i = 0; i < count; ++i, key = next_sibling(key + 1)) {
      for (std::size_t j = 0; j < i; ++j) {
        if (same_key(earlier[j], key)) return key;
      }
      earlier[i] = key;
    }
    return nullptr;
  }

  scratch.clear();
  scratch.reserve(count);
  for (std::size_t i = 0; i < count; ++i, key = next_sibling(key + 1)) {
    scratch.push_back({key_text(key), i, key});
  }
  std::sort(scratch.begin(), scratch.end(), [](const NamedMember& a, const NamedMember& b) {
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    const int order = std::memcmp(a.name.data(), b.name.data(), a.name.size());
    return order != 0 ? order < 0 : a.position < b.position;
  });
  // Inserting the names in document order would first fail at the earliest second
  // occurrence of any name: the second entry of each run of equal names.
  const NamedMember* found = nullptr;
  for (std::size_t i = 1; i < count; ++i) {
    const bool second_of_run = scratch[i].name == scratch[i - 1].name &&
                               (i < 2 || scratch[i - 2].name != scratch[i].name);
    if (second_of_run && (found == nullptr || scratch[i].position < found->position)) {
      found = &scratch[i];
    }
  }
  return found == nullptr ? nullptr : found->key;
}

void append_escaped(std::string& pointer, std::string_view name) {
  pointer.push_back('/');
  for (char c : name) {
    if (c == '~') {
      pointer += "~0";
    } else if (c == '/') {
      pointer += "~1";
    } else {
      pointer.push_back(c);
    }
  }
}

void append_index(std::string& pointer, std::uint64_t index) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, index);
  pointer.push_back('/');
  pointer.append(digits, result.ptr);
}

// pointer_to builds the pointer of the member `key` inside the frame at `top`.
std::string pointer_to(const std::vector<Frame>& stack, std::size_t top, yyjson_val* key) {
  std::vector<const Frame*> chain;
  for (std::size_t i = top + 1; i-- > 0;) {
    if (i == top || stack[i].expanded) chain.push_back(&stack[i]);
  }
  std::string pointer;
  // The root frame has no step of its own.
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    const Frame& frame = *chain[i];
    if (frame.key != nullptr) {
      append_escaped(pointer, key_text(frame.key));
    } else {
      append_index(pointer, frame.index);
    }
  }
  append_escaped(pointer, key_text(key));
  return pointer;
}

}  // namespace

std::optional<std::string> find_duplicate_member(yyjson_val* root) {
  if (root == nullptr || !is_container(root)) return std::nullopt;
  std::vector<Frame> stack;
  stack.reserve(64);
  std::vector<NamedMember> scratch;
  stack.push_back({root, nullptr, 0, false});
  while (!stack.empty()) {
    const std::size_t top = stack.size() - 1;
    if (stack[top].expanded) {
      stack.pop_back();
      continue;
    }
    stack[top].expanded = true;
    yyjson_val* container = stack[top].node;
    const std::size_t count = unsafe_yyjson_get_len(container);
    if (unsafe_yyjson_is_arr(container)) {
      yyjson_val* element = unsafe_yyjson_get_first(container);
      for (std::size_t i = 0; i < count; ++i, element = next_sibling(element)) {
        if (is_container(element)) stack.push_back({element, nullptr, i, false});
      }
      continue;
    }
    if (yyjson_val* repeated = first_repeat(container, scratch)) {
      return pointer_to(stack, top, repeated);
    }
    yyjson_val* key = unsafe_yyjson_get_first(container);
    for (std::size_t i = 0; i < count; ++i, key = next_sibling(key + 1)) {
      if (is_container(key + 1)) stack.push_back({key + 1, key, 0, false});
    }
  }
  return std::nullopt;
}

}  // namespace zu::json::detail
