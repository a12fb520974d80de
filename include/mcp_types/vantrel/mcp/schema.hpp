// Checking JSON Schemas, and JSON values against them, for the subset of JSON Schema
// that tool definitions rely on.
//
// The subset is "type", "enum", "const", "required", "properties", "items" and
// "additionalProperties"; every other keyword ("description", "minimum", "$ref", ...) is
// ignored, neither checked in the schema nor enforced on values.
//
//   vantrel::json schema = vantrel::json::parse(
//       R"({"type":"object","required":["q"],"properties":{"q":{"type":"string"}}})");
//   vantrel::mcp::validate_json_value(arguments, schema, "search arguments", "");
//   // throws std::invalid_argument("search arguments at  is missing required property q")
//
// Thread safety: both functions only read their arguments.
#pragma once

#include <string>

#include "vantrel/json.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// validate_json_schema checks that `schema` is a schema of the supported subset, `path`
// naming its root in messages. It returns normally or throws std::invalid_argument with
// the first problem found, for instance "JSON Schema at /properties/q must be an object"
// or "unsupported JSON Schema type: Integer". Locations append "/properties/<name>",
// "/items" and "/additionalProperties" to `path`, names unescaped.
// WARNING: nesting is limited to 64 levels below the root; the 65th level is refused
// ("JSON Schema nesting exceeds 64 levels at <location>") before it is looked at.
VANTREL_MCP_TYPES_EXPORT void validate_json_schema(const vantrel::json& schema, const std::string& path);

// validate_json_value checks `schema` exactly as validate_json_schema does, then checks
// `value` against it, and returns normally or throws std::invalid_argument with the
// first violation. Messages read `label` + " at " + location + what is wrong, where the
// location is `path` with "/<member name>" or "/<index>" appended per level. Checks run
// "const", "enum", "type", then for objects "required", "properties" and
// "additionalProperties", then for arrays "items", so a missing required member is
// reported before any problem inside a present one.
// WARNING: "const" and "enum" compare with vantrel::json's equality, under which an
// integer never equals a real (1 is not 1.0); likewise "integer" accepts only numbers
// written without fraction or exponent.
VANTREL_MCP_TYPES_EXPORT void validate_json_value(const vantrel::json& value, const vantrel::json& schema,
                                                  const std::string& label, const std::string& path);

}  // namespace vantrel::mcp
