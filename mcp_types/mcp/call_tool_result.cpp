#include <stdexcept>
#include <string>
#include <string_view>

#include "unmodelled_members.hpp"
#include "vantrel/mcp/call_tool_result.hpp"

namespace vantrel::mcp {
namespace {

bool modelled(std::string_view key) {
  return key == "content" || key == "structuredContent" || key == "isError" || key == "_meta";
}

}  // namespace

CallToolResult CallToolResult::from_json(const vantrel::json& j) {
  if (!j.is_object()) throw std::invalid_argument("MCP tools/call result must be an object");
  CallToolResult result;
  result.raw = j;
  result.content = j.value("content", vantrel::json::array());
  if (j.contains("structuredContent")) result.structured_content = j["structuredContent"];
  result.is_error = j.value("isError", false);
  result.meta = j.value("_meta", vantrel::json::object());

  if (!result.content.is_array()) throw std::invalid_argument("MCP tools/call content must be an array");
  if (!result.structured_content.is_null() && !result.structured_content.is_object()) {
    throw std::invalid_argument("MCP tools/call structuredContent must be an object");
  }
  if (!result.meta.is_object()) throw std::invalid_argument("MCP tools/call _meta must be an object");
  return result;
}

vantrel::json CallToolResult::to_json() const {
  vantrel::json out = vantrel::json::object();
  detail::copy_unmodelled(raw, out, modelled);
  out["content"] = content;
  if (!structured_content.is_null()) out["structuredContent"] = structured_content;
  out["isError"] = vantrel::json(is_error);
  if (!meta.empty()) out["_meta"] = meta;
  return out;
}

}  // namespace vantrel::mcp
