// The result of the MCP `tools/call` method.
#pragma once

#include "vantrel/json.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// CallToolResult is what a tool call returned: content blocks, optional structured
// content, and whether the tool reported an error. `raw` keeps the result as received.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct CallToolResult {
  vantrel::json content = vantrel::json::array();
  // structured_content is null when the result has none.
  vantrel::json structured_content{};
  bool is_error = false;
  vantrel::json meta = vantrel::json::object();
  vantrel::json raw = vantrel::json::object();

  // from_json returns the result read from `j`. A missing "content" reads as an empty
  // array, and an "isError" that is missing or not a boolean as false. It throws
  // std::invalid_argument when `j` is not an object ("MCP tools/call result must be an
  // object"), and then, in this order, when "content" is not an array ("MCP tools/call
  // content must be an array"), "structuredContent" is neither null nor an object ("MCP
  // tools/call structuredContent must be an object"), or "_meta" is neither null nor an
  // object ("MCP tools/call _meta must be an object").
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT static CallToolResult from_json(const vantrel::json& j);

  // to_json returns the result as a JSON object: the members of `raw` other than
  // "content", "structuredContent", "isError" and "_meta", in their order, then
  // "content", "structuredContent" when not null, "isError", and "_meta" when not empty.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT vantrel::json to_json() const;
};

}  // namespace vantrel::mcp
