#include "member_names.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "node_layout.hpp"

namespace zu::json::detail {
namespace {

yyjson_val* first_repeat_small(yyjson_val* first, std::size_t count) noexcept {
  yyjson_val* earlier[kSmallObject];
  std::uint64_t seen = 0;
  yyjson_val* key = first;
  for (std::size_t i = 0; i < count; ++i, key = next_key(key)) {
    const std::uint64_t bit = std::uint64_t{1} << (node_length(key) & 63);
    if ((seen & bit) != 0) {
      for (std::size_t j = 0; j < i; ++j) {
        if (same_name(earlier[j], key)) return key;
      }
    }
    seen |= bit;
    earlier[i] = key;
  }
  return nullptr;
}

}  // namespace

yyjson_val* first_repeated_name(yyjson_val* object, std::vector<NamedMember>& scratch) {
  const std::size_t count = yyjson_obj_size(object);
  if (count < 2) return nullptr;
  yyjson_val* key = first_child(object);
  if (count <= kSmallObject) return first_repeat_small(key, count);

  // Larger objects sort their names: unlike a hash set with a fixed hash, sorting cannot
  // be driven quadratic by names chosen to collide.
  scratch.clear();
  scratch.reserve(count);
  for (std::size_t i = 0; i < count; ++i, key = next_key(key)) {
    scratch.push_back({node_text(key), i, key});
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

}  // namespace zu::json::detail
