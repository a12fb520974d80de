// The result of the MCP `initialize` method.
#pragma once

#include <string>

#include "vantrel/json.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// InitializeResult is a server's answer to `initialize`: the protocol version it speaks,
// what it can do, who it is, and how it would like to be used.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct InitializeResult {
  std::string protocol_version{};
  vantrel::json capabilities = vantrel::json::object();
  vantrel::json server_info = vantrel::json::object();
  std::string instructions{};
  // raw is the whole result as received, members this record does not model included.
  vantrel::json raw = vantrel::json::object();

  // from_json returns the record read from the JSON-RPC result `j`. It throws
  // std::invalid_argument, checking in this order, when `j` is not an object ("MCP
  // initialize result must be an object"), lacks a non-empty string "protocolVersion"
  // ("MCP initialize result must contain a non-empty protocolVersion"), lacks the objects
  // "capabilities" and "serverInfo" ("MCP initialize result must contain capabilities and
  // serverInfo objects"), or has "instructions" that is not a string, null included ("MCP
  // initialize instructions must be a string").
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT static InitializeResult from_json(const vantrel::json& j);
};

}  // namespace vantrel::mcp
