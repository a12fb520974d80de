#include <stdexcept>
#include <string>

#include "vantrel/mcp/initialize_result.hpp"

namespace vantrel::mcp {

InitializeResult InitializeResult::from_json(const vantrel::json& j) {
  if (!j.is_object()) throw std::invalid_argument("MCP initialize result must be an object");
  InitializeResult result;
  result.raw = j;
  const vantrel::json version = j["protocolVersion"];
  if (!version.is_string() || version.get<std::string>().empty()) {
    throw std::invalid_argument("MCP initialize result must contain a non-empty protocolVersion");
  }
  const vantrel::json capabilities = j["capabilities"];
  const vantrel::json server_info = j["serverInfo"];
  if (!capabilities.is_object() || !server_info.is_object()) {
    throw std::invalid_argument("MCP initialize result must contain capabilities and serverInfo objects");
  }
  if (j.contains("instructions") && !j["instructions"].is_string()) {
    throw std::invalid_argument("MCP initialize instructions must be a string");
  }
  result.protocol_version = version.get<std::string>();
  result.capabilities = capabilities;
  result.server_info = server_info;
  result.instructions = j.value("instructions", std::string());
  return result;
}

}  // namespace vantrel::mcp
