// validate_json_schema and validate_json_value: the value check over a compiled schema.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "schema_tree.hpp"
#include "vantrel/mcp/schema.hpp"

namespace vantrel::mcp {
namespace {

using detail::Additional;
using detail::Location;
using detail::SchemaNode;
using detail::SchemaProperty;
using detail::SchemaTree;

std::uint8_t type_bits(yyjson_mut_val* value) {
  switch (yyjson_mut_get_type(value)) {
    case YYJSON_TYPE_NULL:
      return detail::type_null;
    case YYJSON_TYPE_BOOL:
      return detail::type_boolean;
    case YYJSON_TYPE_NUM:
      if (yyjson_mut_get_subtype(value) == YYJSON_SUBTYPE_REAL) return detail::type_number;
      return static_cast<std::uint8_t>(detail::type_number | detail::type_integer);
    case YYJSON_TYPE_STR:
      return detail::type_string;
    case YYJSON_TYPE_ARR:
      return detail::type_array;
    case YYJSON_TYPE_OBJ:
      return detail::type_object;
    default:
      return 0;
  }
}

// ===== Equality for "const" and "enum" =====
//
// A value matches "const" or an "enum" entry when it equals it as vantrel::json values
// compare, which is also JSON Schema's own rule: numbers by their value, whether written
// as integers or reals, and everything else by type and content. So 1 matches 1.0, and
// 9007199254740993 does not match 9007199254740992.0.

// integer_value_is returns true when the integer node `integer` holds the whole number
// `real`. Only a real inside the integer form's range is converted, as that conversion
// is exact where the reverse one could round.
bool integer_value_is(yyjson_mut_val* integer, double real) {
  if (std::trunc(real) != real) return false;
  if (!yyjson_mut_is_uint(integer)) {
    return real >= -0x1p63 && real < 0x1p63 && yyjson_mut_get_sint(integer) == static_cast<std::int64_t>(real);
  }
  return real >= 0.0 && real < 0x1p64 && yyjson_mut_get_uint(integer) == static_cast<std::uint64_t>(real);
}

// equal_numbers returns true when two number nodes hold the same value.
bool equal_numbers(yyjson_mut_val* a, yyjson_mut_val* b) {
  if (yyjson_mut_is_real(b)) {
    return yyjson_mut_is_real(a) ? yyjson_mut_get_real(a) == yyjson_mut_get_real(b)
                                 : integer_value_is(a, yyjson_mut_get_real(b));
  }
  if (yyjson_mut_is_real(a)) return integer_value_is(b, yyjson_mut_get_real(a));
  // Integers: equal bits mean equal values unless exactly one is negative.
  const bool a_negative = yyjson_mut_is_sint(a) && yyjson_mut_get_sint(a) < 0;
  const bool b_negative = yyjson_mut_is_sint(b) && yyjson_mut_get_sint(b) < 0;
  return a_negative == b_negative && yyjson_mut_get_uint(a) == yyjson_mut_get_uint(b);
}

// equal_values returns true when `value` equals `expected`, deeply; object members are
// matched by name, in any order (names within one object are unique).
bool equal_values(yyjson_mut_val* value, yyjson_mut_val* expected) {
  if (yyjson_mut_is_num(value) && yyjson_mut_is_num(expected)) return equal_numbers(value, expected);
  if (yyjson_mut_is_arr(value) && yyjson_mut_is_arr(expected)) {
    if (yyjson_mut_arr_size(value) != yyjson_mut_arr_size(expected)) return false;
    yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(value);
    yyjson_mut_arr_iter want = yyjson_mut_arr_iter_with(expected);
    for (yyjson_mut_val* element; (element = yyjson_mut_arr_iter_next(&it)) != nullptr;) {
      if (!equal_values(element, yyjson_mut_arr_iter_next(&want))) return false;
    }
    return true;
  }
  if (yyjson_mut_is_obj(value) && yyjson_mut_is_obj(expected)) {
    if (yyjson_mut_obj_size(value) != yyjson_mut_obj_size(expected)) return false;
    yyjson_mut_obj_iter want = yyjson_mut_obj_iter_with(expected);
    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(value);
    for (yyjson_mut_val* key; (key = yyjson_mut_obj_iter_next(&it)) != nullptr;) {
      yyjson_mut_val* other = yyjson_mut_obj_iter_getn(&want, yyjson_mut_get_str(key), yyjson_mut_get_len(key));
      if (other == nullptr || !equal_values(yyjson_mut_obj_iter_get_val(key), other)) return false;
    }
    return true;
  }
  // Null, booleans and strings, and any two values of different types.
  return yyjson_mut_equals(value, expected);
}

// PropertyFinder looks member names up in one schema node's "properties". Members of a
// value usually come in the schema's order, so each lookup first tries the entry after
// the previous hit, and only then scans or searches the by-name index.
class PropertyFinder {
 public:
  PropertyFinder(const SchemaTree& tree, const SchemaNode& node)
      : tree_(tree), node_(node), block_(tree.properties.data() + node.first_property) {}

  static constexpr std::uint32_t none = detail::no_node;

  // find returns the position of the property named `name`, or none.
  std::uint32_t find(std::string_view name) {
    const std::uint32_t count = node_.property_count;
    if (count == 0) return none;
    if (name_at(next_) == name) return hit(next_);
    if (node_.has_sorted_index) {
      const std::uint32_t* sorted = tree_.sorted.data() + node_.first_sorted;
      const std::uint32_t* end = sorted + count;
      const std::uint32_t* at = std::lower_bound(
          sorted, end, name, [this](std::uint32_t i, std::string_view key) { return name_at(i) < key; });
      return at != end && name_at(*at) == name ? hit(*at) : none;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      if (name_at(i) == name) return hit(i);
    }
    return none;
  }

  [[nodiscard]] std::string_view name_at(std::uint32_t i) const {
    return {block_[i].name, block_[i].length};
  }

 private:
  std::uint32_t hit(std::uint32_t i) {
    next_ = i + 1 == node_.property_count ? 0 : i + 1;
    return i;
  }

  const SchemaTree& tree_;
  const SchemaNode& node_;
  const SchemaProperty* block_;
  std::uint32_t next_ = 0;
};

// small_properties is how many matches an object check keeps on the stack before it
// needs the heap.
constexpr std::uint32_t small_properties = 32;

class ValueChecker {
 public:
  ValueChecker(const SchemaTree& tree, const std::string& label) : tree_(tree), label_(label) {}

  void check(yyjson_mut_val* value, std::uint32_t schema, const Location& at, int depth) const {
    if (depth > detail::max_schema_depth) {
      throw std::invalid_argument("JSON Schema nesting exceeds 64 levels at " + at.text());
    }
    const SchemaNode& node = tree_.nodes[schema];
    if (node.const_value != nullptr && !equal_values(value, node.const_value)) {
      fail(at, " does not match const");
    }
    if (node.enum_values != nullptr && !in_enum(value, node.enum_values)) fail(at, " is not in enum");
    if (node.has_type && (node.types & type_bits(value)) == 0) fail(at, " has the wrong JSON type");
    if (yyjson_mut_is_obj(value)) {
      check_object(value, node, at, depth);
    } else if (yyjson_mut_is_arr(value) && node.items != detail::no_node) {
      std::size_t index = 0;
      yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(value);
      while (yyjson_mut_val* element = yyjson_mut_arr_iter_next(&it)) {
        const Location child = Location::element(at, index);
        check(element, node.items, child, depth + 1);
        ++index;
      }
    }
  }

 private:
  static bool in_enum(yyjson_mut_val* value, yyjson_mut_val* choices) {
    yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(choices);
    while (yyjson_mut_val* choice = yyjson_mut_arr_iter_next(&it)) {
      if (equal_values(value, choice)) return true;
    }
    return false;
  }

  void check_object(yyjson_mut_val* value, const SchemaNode& node, const Location& at, int depth) const {
    if (node.required != nullptr) {
      // One object iterator for all names: it resumes where the previous name was found.
      yyjson_mut_obj_iter members = yyjson_mut_obj_iter_with(value);
      yyjson_mut_arr_iter names = yyjson_mut_arr_iter_with(node.required);
      while (yyjson_mut_val* name = yyjson_mut_arr_iter_next(&names)) {
        if (yyjson_mut_obj_iter_getn(&members, yyjson_mut_get_str(name), yyjson_mut_get_len(name)) == nullptr) {
          fail(at, " is missing required property ",
               std::string_view(yyjson_mut_get_str(name), yyjson_mut_get_len(name)));
        }
      }
    }
    const bool additional_checked =
        node.additional == Additional::forbidden || node.additional == Additional::schema;
    if (node.property_count == 0 && !additional_checked) return;

    PropertyFinder finder(tree_, node);
    if (node.property_count > 0) check_properties(value, node, finder, at, depth);
    if (!additional_checked) return;

    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(value);
    while (yyjson_mut_val* key = yyjson_mut_obj_iter_next(&it)) {
      const std::string_view name(yyjson_mut_get_str(key), yyjson_mut_get_len(key));
      if (finder.find(name) != PropertyFinder::none) continue;
      if (node.additional == Additional::forbidden) fail(at, " has unexpected property ", name);
      const Location child = Location::step(at, "/", name);
      check(yyjson_mut_obj_iter_get_val(key), node.additional_schema, child, depth + 1);
    }
  }

  // check_properties checks, in the schema's order, each property the value has against
  // its schema. The value's members are matched to properties in one pass first, which
  // costs one lookup per member however the two orders differ.
  void check_properties(yyjson_mut_val* value, const SchemaNode& node, PropertyFinder& finder,
                        const Location& at, int depth) const {
    const std::uint32_t count = node.property_count;
    yyjson_mut_val* small[small_properties] = {};
    std::vector<yyjson_mut_val*> large;
    yyjson_mut_val** matches = small;
    if (count > small_properties) {
      large.assign(count, nullptr);
      matches = large.data();
    }
    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(value);
    while (yyjson_mut_val* key = yyjson_mut_obj_iter_next(&it)) {
      const std::uint32_t found = finder.find({yyjson_mut_get_str(key), yyjson_mut_get_len(key)});
      if (found == PropertyFinder::none) continue;
      matches[found] = yyjson_mut_obj_iter_get_val(key);
    }
    const SchemaProperty* block = tree_.properties.data() + node.first_property;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (matches[i] == nullptr) continue;
      const Location child = Location::step(at, "/", finder.name_at(i));
      check(matches[i], block[i].node, child, depth + 1);
    }
  }

  [[noreturn]] void fail(const Location& at, std::string_view what, std::string_view name = {}) const {
    std::string message = label_;
    message.append(" at ").append(at.text()).append(what).append(name);
    throw std::invalid_argument(message);
  }

  const SchemaTree& tree_;
  const std::string& label_;
};

}  // namespace

void validate_json_schema(const vantrel::json& schema, const std::string& path) {
  const Location root = Location::root(path);
  (void)detail::compile_schema(schema.raw_val(), root);
}

void validate_json_value(const vantrel::json& value, const vantrel::json& schema, const std::string& label,
                         const std::string& path) {
  const Location root = Location::root(path);
  const SchemaTree tree = detail::compile_schema(schema.raw_val(), root);
  // A default-constructed json is null without a node; the check compares nodes, so it
  // stands in a null node of its own, made null by the library's own setter.
  yyjson_mut_val null_node{};
  yyjson_mut_set_null(&null_node);
  yyjson_mut_val* node = value.raw_val() != nullptr ? value.raw_val() : &null_node;
  ValueChecker(tree, label).check(node, 0, root, 0);
}

}  // namespace vantrel::mcp
