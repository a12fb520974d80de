#include <stdexcept>
#include <string>

#include "vantrel/mcp/list_tools_page.hpp"

namespace vantrel::mcp {

ListToolsPage ListToolsPage::from_json(const vantrel::json& j) {
  if (!j.is_object() || !j["tools"].is_array()) {
    throw std::invalid_argument("MCP tools/list result must contain a tools array");
  }
  ListToolsPage page;
  page.raw = j;
  const vantrel::json tools = j["tools"];
  page.tools.reserve(tools.size());
  for (auto it = tools.begin(), end = tools.end(); it != end; ++it) {
    page.tools.push_back(ToolDefinition::from_json(*it));
  }
  if (j.contains("nextCursor")) {
    const vantrel::json cursor = j["nextCursor"];
    if (!cursor.is_null()) {
      if (!cursor.is_string()) throw std::invalid_argument("MCP tools/list nextCursor must be a string");
      page.next_cursor = cursor.get<std::string>();
    }
  }
  page.meta = j.value("_meta", vantrel::json::object());
  if (!page.meta.is_object()) throw std::invalid_argument("MCP tools/list _meta must be an object");
  return page;
}

}  // namespace vantrel::mcp
