#include <stdexcept>
#include <string>
#include <string_view>

#include "unmodelled_members.hpp"
#include "vantrel/mcp/tool_definition.hpp"

namespace vantrel::mcp {
namespace {

// The members that to_json writes from the record itself; copies of them in `raw` would
// otherwise stand beside the record's values.
bool modelled(std::string_view key) {
  return key == "name" || key == "title" || key == "description" || key == "icons" ||
         key == "inputSchema" || key == "outputSchema" || key == "annotations" ||
         key == "execution" || key == "_meta";
}

}  // namespace

ToolDefinition ToolDefinition::from_json(const vantrel::json& j) {
  if (!j.is_object()) throw std::invalid_argument("MCP tool definition must be an object");
  ToolDefinition tool;
  tool.raw = j;
  tool.name = j.value("name", std::string());
  tool.title = j.value("title", std::string());
  tool.description = j.value("description", std::string());
  tool.icons = j.value("icons", vantrel::json::array());
  tool.input_schema = j.value("inputSchema", vantrel::json::object());
  if (j.contains("outputSchema")) tool.output_schema = j["outputSchema"];
  tool.annotations = j.value("annotations", vantrel::json::object());
  tool.execution = j.value("execution", vantrel::json::object());
  tool.meta = j.value("_meta", vantrel::json::object());

  if (tool.name.empty()) throw std::invalid_argument("MCP tool definition is missing name");
  if (!tool.input_schema.is_object()) throw std::invalid_argument("MCP tool inputSchema must be an object");
  if (!tool.output_schema.is_null() && !tool.output_schema.is_object()) {
    throw std::invalid_argument("MCP tool outputSchema must be an object");
  }
  if (!tool.icons.is_array() || !tool.annotations.is_object() || !tool.execution.is_object() ||
      !tool.meta.is_object()) {
    throw std::invalid_argument("MCP tool metadata has an invalid type");
  }
  return tool;
}

vantrel::json ToolDefinition::to_json() const {
  vantrel::json out = vantrel::json::object();
  detail::copy_unmodelled(raw, out, modelled);
  out["name"] = vantrel::json(name);
  out["inputSchema"] = input_schema;
  if (!title.empty()) out["title"] = vantrel::json(title);
  if (!description.empty()) out["description"] = vantrel::json(description);
  if (!icons.empty()) out["icons"] = icons;
  if (!output_schema.is_null()) out["outputSchema"] = output_schema;
  if (!annotations.empty()) out["annotations"] = annotations;
  if (!execution.empty()) out["execution"] = execution;
  if (!meta.empty()) out["_meta"] = meta;
  return out;
}

}  // namespace vantrel::mcp
