#include "tree_check.hpp"

#include <cstring>
#include <vector>

#include "level_stack.hpp"
#include "member_names.hpp"
#include "node_layout.hpp"

namespace zu::json::detail {
namespace {

std::uint64_t length_bit(yyjson_val* key) noexcept {
  return std::uint64_t{1} << (node_length(key) & 63);
}

// An object whose values are all single nodes keeps its keys at fixed steps, so its
// names are reached without following sibling links.
bool flat_object_repeats(yyjson_val* object) noexcept {
  const std::size_t count = node_length(object);
  std::uint64_t seen = 0;
  for (std::size_t i = 0; i < count; ++i) {
    yyjson_val* key = flat_key(object, i);
    const std::uint64_t bit = length_bit(key);
    if ((seen & bit) != 0) {
      for (std::size_t j = 0; j < i; ++j) {
        if (same_name(flat_key(object, j), key)) return true;
      }
    }
    seen |= bit;
  }
  return false;
}

// An open container. Objects of up to kSmallObject members are checked for repeated names
// while their members are visited, so each member is touched once.
struct Open {
  yyjson_val* next;       // (nullable) the next element, or the next member's key
  yyjson_val* first_key;  // (nullable) objects only: the first member's key
  std::size_t remaining;  // children not yet visited
  std::uint64_t seen;     // length filter of the names visited so far
  bool object;
  bool names_checked;     // the whole object was checked when it was opened
};

bool repeats_earlier(yyjson_val* first_key, yyjson_val* key) noexcept {
  for (yyjson_val* k = first_key; k != key; k = next_key(k)) {
    if (same_name(k, key)) return true;
  }
  return false;
}

}  // namespace

TreeVerdict check_tree(yyjson_val* root, std::uint64_t max_depth) {
  if (root == nullptr || !is_container(root)) return TreeVerdict::ok;
  // `current` is the innermost open container while `open` holds; the stack keeps the
  // containers around it.
  LevelStack<Open> outer;
  Open current{};
  bool open = false;
  std::vector<NamedMember> scratch;

  // enter checks one container at `depth`, and makes it the current one when it has
  // containers inside.
  auto enter = [&](yyjson_val* container, std::uint64_t depth) -> TreeVerdict {
    if (depth >= max_depth) return TreeVerdict::too_deep;
    const bool object = yyjson_is_obj(container);
    const std::size_t count = node_length(container);
    const bool nested = has_nested_members(container);
    if (!nested && depth + 1 >= max_depth && count != 0) {
      // Every child is one node, but an empty container among them still sits one level
      // deeper; only at the limit is it worth looking.
      for (std::size_t i = 0; i < count; ++i) {
        if (is_container(flat_child(container, i))) return TreeVerdict::too_deep;
      }
    }
    bool names_checked = false;
    if (object && count > 1) {
      if (count > kSmallObject) {
        if (first_repeated_name(container, scratch) != nullptr) return TreeVerdict::duplicate;
        names_checked = true;
      } else if (!nested) {
        if (flat_object_repeats(container)) return TreeVerdict::duplicate;
      }
    }
    if (nested) {
      if (open) outer.push(current);
      yyjson_val* first = first_child(container);
      current = {first, object ? first : nullptr, count, 0, object, names_checked || !object};
      open = true;
    }
    return TreeVerdict::ok;
  };

  if (const TreeVerdict verdict = enter(root, 0); verdict != TreeVerdict::ok) return verdict;
  while (open) {
    // Visit the current container's remaining children until one of them is a container
    // to descend into.
    yyjson_val* descend = nullptr;
    while (current.remaining != 0) {
      --current.remaining;
      yyjson_val* child = current.next;
      if (current.object) {
        if (!current.names_checked) {
          const std::uint64_t bit = length_bit(child);
          if ((current.seen & bit) != 0 && repeats_earlier(current.first_key, child)) {
            return TreeVerdict::duplicate;
          }
          current.seen |= bit;
        }
        child = member_value(child);
      }
      current.next = next_sibling(child);
      if (is_container(child)) {
        descend = child;
        break;
      }
    }
    if (descend == nullptr) {
      open = !outer.empty();
      if (open) current = outer.pop();
      continue;
    }
    if (const TreeVerdict verdict = enter(descend, outer.size() + 1); verdict != TreeVerdict::ok) {
      return verdict;
    }
  }
  return TreeVerdict::ok;
}

bool nests_too_deep(yyjson_val* root, std::uint64_t max_depth) {
  // The same walk as check_tree's without the names, kept lean: it runs before every
  // whole-container write.
  if (root == nullptr || !is_container(root)) return false;
  if (max_depth == 0) return true;
  struct Cursor {
    yyjson_val* next;
    std::size_t remaining;
    bool object;
  };
  LevelStack<Cursor> outer;
  Cursor current{};
  bool open = false;
  // enter returns true when `container`, at `level`, has a container child that is too
  // deep without needing a look inside; otherwise, when there is more to look into, it
  // makes the container the current one.
  auto enter = [&](yyjson_val* container, std::uint64_t level) {
    const std::size_t count = node_length(container);
    if (has_nested_members(container)) {
      if (open) outer.push(current);
      current = {first_child(container), count, yyjson_is_obj(container)};
      open = true;
      return false;
    }
    if (level + 1 < max_depth || count == 0) return false;
    for (std::size_t i = 0; i < count; ++i) {
      if (is_container(flat_child(container, i))) return true;  // an empty container one level down
    }
    return false;
  };
  if (enter(root, 0)) return true;
  while (open) {
    if (current.remaining == 0) {
      open = !outer.empty();
      if (open) current = outer.pop();
      continue;
    }
    --current.remaining;
    yyjson_val* child = current.object ? member_value(current.next) : current.next;
    current.next = next_sibling(child);
    if (!is_container(child)) continue;
    const std::uint64_t level = outer.size() + 1;
    if (level >= max_depth) return true;
    if (enter(child, level)) return true;
  }
  return false;
}

}  // namespace zu::json::detail
