#include "duplicate_walk.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "member_names.hpp"
#include "node_layout.hpp"

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
      append_escaped(pointer, node_text(frame.key));
    } else {
      append_index(pointer, frame.index);
    }
  }
  append_escaped(pointer, node_text(key));
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
    const std::size_t count = node_length(container);
    if (yyjson_is_arr(container)) {
      if (!has_nested_members(container)) continue;  // empty containers repeat nothing
      yyjson_val* element = first_child(container);
      for (std::size_t i = 0; i < count; ++i, element = next_sibling(element)) {
        if (is_container(element)) stack.push_back({element, nullptr, i, false});
      }
      continue;
    }
    if (yyjson_val* repeated = first_repeated_name(container, scratch)) {
      return pointer_to(stack, top, repeated);
    }
    if (!has_nested_members(container)) continue;  // empty containers repeat nothing
    yyjson_val* key = first_child(container);
    for (std::size_t i = 0; i < count; ++i, key = next_key(key)) {
      yyjson_val* value = member_value(key);
      if (is_container(value)) stack.push_back({value, key, 0, false});
    }
  }
  return std::nullopt;
}

}  // namespace zu::json::detail
