// One page of the result of the MCP `tools/list` method.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vantrel/json.hpp"
#include "vantrel/mcp/tool_definition.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// ListToolsPage is one page of a server's tool list, with the cursor of the next page.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct ListToolsPage {
  std::vector<ToolDefinition> tools{};
  // next_cursor is absent on the last page.
  std::optional<std::string> next_cursor{};
  vantrel::json meta = vantrel::json::object();
  vantrel::json raw = vantrel::json::object();

  // from_json returns the page read from `j`. It throws std::invalid_argument when `j`
  // is not an object with an array "tools" ("MCP tools/list result must contain a tools
  // array"), with the error of the first tool that ToolDefinition::from_json refuses,
  // when "nextCursor" is neither absent, null nor a string ("MCP tools/list nextCursor
  // must be a string"), and when "_meta" is not an object or null ("MCP tools/list _meta
  // must be an object").
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT static ListToolsPage from_json(const vantrel::json& j);
};

}  // namespace vantrel::mcp
