// A schema of the supported subset, checked once and laid out for checking values.
//
// compile_schema performs every check that validate_json_schema promises, in its order,
// and records what the value check needs per schema object: the keyword nodes, a bit set
// of accepted types, and the "properties" entries in their order. The tree points into
// the schema's document, so it is valid only while that document lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <yyjson.h>

#include "schema_location.hpp"

namespace vantrel::mcp::detail {

// One bit per supported type name. An integer value carries both number bits, so
// "number" accepts it too.
enum TypeBit : std::uint8_t {
  type_null = 1U << 0,
  type_boolean = 1U << 1,
  type_object = 1U << 2,
  type_array = 1U << 3,
  type_number = 1U << 4,
  type_integer = 1U << 5,
  type_string = 1U << 6,
};

inline constexpr std::uint32_t no_node = UINT32_MAX;

enum class Additional : std::uint8_t { absent, allowed, forbidden, schema };

// SchemaNode is one schema object. Node pointers are null when the keyword is absent.
struct SchemaNode {
  yyjson_mut_val* const_value = nullptr;  // "const" (nullable)
  yyjson_mut_val* enum_values = nullptr;  // "enum", an array (nullable)
  yyjson_mut_val* required = nullptr;     // "required", an array of strings (nullable)
  std::uint32_t first_property = 0;       // index into SchemaTree::properties
  std::uint32_t property_count = 0;
  std::uint32_t items = no_node;              // "items" schema
  std::uint32_t additional_schema = no_node;  // "additionalProperties" schema
  Additional additional = Additional::absent;
  bool has_type = false;
  std::uint8_t types = 0;  // TypeBit set; with has_type, 0 accepts nothing
  // Large "properties" objects also get a by-name index: SchemaTree::sorted from
  // first_sorted holds property_count positions (relative to first_property), ordered by
  // name.
  bool has_sorted_index = false;
  std::uint32_t first_sorted = 0;
};

// SchemaProperty is one member of a "properties" object.
struct SchemaProperty {
  const char* name = nullptr;  // points into the schema document (nonnull)
  std::size_t length = 0;
  std::uint32_t node = no_node;
};

struct SchemaTree {
  std::vector<SchemaNode> nodes;  // nodes[0] is the root
  std::vector<SchemaProperty> properties;
  std::vector<std::uint32_t> sorted;
};

// sorted_index_threshold is the "properties" size from which a by-name index pays for
// itself; below it a linear scan is faster.
inline constexpr std::uint32_t sorted_index_threshold = 32;

// max_schema_depth is the deepest nesting below the root that a schema may have.
inline constexpr int max_schema_depth = 64;

// compile_schema checks `schema` (nullable: null is a schema that is not an object)
// rooted at `root` and returns its tree, or throws std::invalid_argument.
SchemaTree compile_schema(yyjson_mut_val* schema, const Location& root);

}  // namespace vantrel::mcp::detail
