// A tool as an MCP server describes it in `tools/list`.
#pragma once

#include <string>

#include "vantrel/json.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// ToolDefinition is one tool: its names, its input and output schemas and its metadata.
// `raw` keeps the definition as received, so members this record does not model survive
// a from_json / to_json round trip.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct ToolDefinition {
  std::string name{};
  std::string title{};
  std::string description{};
  vantrel::json icons = vantrel::json::array();
  vantrel::json input_schema = vantrel::json::object();
  // output_schema is null when the tool declares no output schema.
  vantrel::json output_schema{};
  vantrel::json annotations = vantrel::json::object();
  vantrel::json execution = vantrel::json::object();
  // meta is the "_meta" member.
  vantrel::json meta = vantrel::json::object();
  vantrel::json raw = vantrel::json::object();

  // from_json returns the definition read from `j`. Text members that are missing or are
  // not strings read as empty; a missing "inputSchema" reads as an empty object. It
  // throws std::invalid_argument when `j` is not an object ("MCP tool definition must be
  // an object"), and then, in this order, when the name is empty ("MCP tool definition
  // is missing name"), "inputSchema" is not an object ("MCP tool inputSchema must be an
  // object"), "outputSchema" is neither null nor an object ("MCP tool outputSchema must
  // be an object"), or "icons" is not an array or "annotations", "execution" or "_meta"
  // is not an object ("MCP tool metadata has an invalid type"). A null metadata member
  // reads as its default.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT static ToolDefinition from_json(const vantrel::json& j);

  // to_json returns the definition as a JSON object: the members of `raw` that this
  // record does not model, in their order, then "name", "inputSchema", and "title",
  // "description", "icons", "outputSchema", "annotations", "execution" and "_meta" when
  // they are set (non-empty, or for "outputSchema" non-null).
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT vantrel::json to_json() const;
};

}  // namespace vantrel::mcp
