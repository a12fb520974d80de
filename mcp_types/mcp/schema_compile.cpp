// The schema check, which also lays the schema out for the value check.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "schema_tree.hpp"

namespace vantrel::mcp::detail {
namespace {

std::string_view text_of(yyjson_mut_val* string_node) {
  return {yyjson_mut_get_str(string_node), yyjson_mut_get_len(string_node)};
}

// Keywords holds the subset's keywords of one schema object, each the first member of
// its name (as a member lookup would find it), or null when absent.
struct Keywords {
  yyjson_mut_val* type = nullptr;
  yyjson_mut_val* enum_values = nullptr;
  yyjson_mut_val* const_value = nullptr;
  yyjson_mut_val* required = nullptr;
  yyjson_mut_val* properties = nullptr;
  yyjson_mut_val* items = nullptr;
  yyjson_mut_val* additional = nullptr;
};

// gather finds all keywords in one pass over the members instead of one lookup each.
Keywords gather(yyjson_mut_val* object) {
  Keywords found;
  yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(object);
  while (yyjson_mut_val* key = yyjson_mut_obj_iter_next(&it)) {
    yyjson_mut_val* value = yyjson_mut_obj_iter_get_val(key);
    const std::string_view name = text_of(key);
    yyjson_mut_val** slot = nullptr;
    if (name == "type") {
      slot = &found.type;
    } else if (name == "enum") {
      slot = &found.enum_values;
    } else if (name == "const") {
      slot = &found.const_value;
    } else if (name == "required") {
      slot = &found.required;
    } else if (name == "properties") {
      slot = &found.properties;
    } else if (name == "items") {
      slot = &found.items;
    } else if (name == "additionalProperties") {
      slot = &found.additional;
    }
    if (slot != nullptr && *slot == nullptr) *slot = value;
  }
  return found;
}

std::uint8_t type_bit(std::string_view name) {
  if (name == "null") return type_null;
  if (name == "boolean") return type_boolean;
  if (name == "object") return type_object;
  if (name == "array") return type_array;
  if (name == "number") return type_number;
  if (name == "integer") return type_integer;
  if (name == "string") return type_string;
  return 0;
}

std::uint8_t supported_type(yyjson_mut_val* name_node) {
  const std::string_view name = text_of(name_node);
  const std::uint8_t bit = type_bit(name);
  if (bit == 0) throw std::invalid_argument("unsupported JSON Schema type: " + std::string(name));
  return bit;
}

class Compiler {
 public:
  SchemaTree tree;

  std::uint32_t compile(yyjson_mut_val* schema, const Location& at, int depth) {
    if (depth > max_schema_depth) {
      throw std::invalid_argument("JSON Schema nesting exceeds 64 levels at " + at.text());
    }
    if (!yyjson_mut_is_obj(schema)) {
      throw std::invalid_argument("JSON Schema at " + at.text() + " must be an object");
    }
    const Keywords keywords = gather(schema);
    const auto index = static_cast<std::uint32_t>(tree.nodes.size());
    tree.nodes.emplace_back();
    SchemaNode node;
    node.const_value = keywords.const_value;

    if (keywords.type != nullptr) read_type(keywords.type, at, node);

    if (keywords.enum_values != nullptr) {
      if (!yyjson_mut_is_arr(keywords.enum_values)) {
        throw std::invalid_argument("JSON Schema enum at " + at.text() + " must be an array");
      }
      node.enum_values = keywords.enum_values;
    }

    if (keywords.required != nullptr) {
      if (!yyjson_mut_is_arr(keywords.required)) {
        throw std::invalid_argument("JSON Schema required at " + at.text() + " must be an array");
      }
      yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(keywords.required);
      while (yyjson_mut_val* name = yyjson_mut_arr_iter_next(&it)) {
        if (!yyjson_mut_is_str(name)) {
          throw std::invalid_argument("JSON Schema required at " + at.text() + " must contain strings");
        }
      }
      node.required = keywords.required;
    }

    if (keywords.properties != nullptr) read_properties(keywords.properties, at, depth, node);

    if (keywords.items != nullptr) {
      const Location child = Location::step(at, "/items");
      node.items = compile(keywords.items, child, depth + 1);
    }

    if (keywords.additional != nullptr) {
      if (yyjson_mut_is_bool(keywords.additional)) {
        node.additional =
            yyjson_mut_get_bool(keywords.additional) ? Additional::allowed : Additional::forbidden;
      } else if (yyjson_mut_is_obj(keywords.additional)) {
        const Location child = Location::step(at, "/additionalProperties");
        node.additional = Additional::schema;
        node.additional_schema = compile(keywords.additional, child, depth + 1);
      } else {
        throw std::invalid_argument("JSON Schema additionalProperties at " + at.text() +
                                    " must be a boolean or object");
      }
    }

    tree.nodes[index] = node;
    return index;
  }

 private:
  static void read_type(yyjson_mut_val* type, const Location& at, SchemaNode& node) {
    node.has_type = true;
    if (yyjson_mut_is_str(type)) {
      node.types = supported_type(type);
    } else if (yyjson_mut_is_arr(type)) {
      yyjson_mut_arr_iter it = yyjson_mut_arr_iter_with(type);
      while (yyjson_mut_val* name = yyjson_mut_arr_iter_next(&it)) {
        if (!yyjson_mut_is_str(name)) {
          throw std::invalid_argument("JSON Schema type at " + at.text() + " must contain strings");
        }
        node.types = static_cast<std::uint8_t>(node.types | supported_type(name));
      }
    } else {
      throw std::invalid_argument("JSON Schema type at " + at.text() + " must be a string or array");
    }
  }

  void read_properties(yyjson_mut_val* properties, const Location& at, int depth, SchemaNode& node) {
    if (!yyjson_mut_is_obj(properties)) {
      throw std::invalid_argument("JSON Schema properties at " + at.text() + " must be an object");
    }
    // The block is reserved before the members are compiled, so it stays contiguous
    // while nested schemas append blocks of their own after it.
    const auto count = static_cast<std::uint32_t>(yyjson_mut_obj_size(properties));
    const auto first = static_cast<std::uint32_t>(tree.properties.size());
    tree.properties.resize(std::size_t{first} + count);
    node.first_property = first;
    node.property_count = count;
    std::uint32_t i = 0;
    yyjson_mut_obj_iter it = yyjson_mut_obj_iter_with(properties);
    while (yyjson_mut_val* key = yyjson_mut_obj_iter_next(&it)) {
      const std::string_view name = text_of(key);
      const Location child = Location::step(at, "/properties/", name);
      const std::uint32_t compiled = compile(yyjson_mut_obj_iter_get_val(key), child, depth + 1);
      tree.properties[first + i] = SchemaProperty{name.data(), name.size(), compiled};
      ++i;
    }
    index_properties(node);
  }

  // index_properties builds the by-name index of a large block.
  void index_properties(SchemaNode& node) {
    if (node.property_count < sorted_index_threshold) return;
    const SchemaProperty* block = tree.properties.data() + node.first_property;
    auto name_of = [block](std::uint32_t i) { return std::string_view(block[i].name, block[i].length); };
    node.has_sorted_index = true;
    node.first_sorted = static_cast<std::uint32_t>(tree.sorted.size());
    for (std::uint32_t i = 0; i < node.property_count; ++i) tree.sorted.push_back(i);
    std::sort(tree.sorted.begin() + node.first_sorted, tree.sorted.end(),
              [&](std::uint32_t x, std::uint32_t y) { return name_of(x) < name_of(y); });
  }
};

}  // namespace

SchemaTree compile_schema(yyjson_mut_val* schema, const Location& root) {
  Compiler compiler;
  compiler.compile(schema, root, 0);
  return std::move(compiler.tree);
}

}  // namespace vantrel::mcp::detail
