// Configuration records of the MCP client transports.
//
// These records are read by the MCP client transports outside this library; this
// library fixes only their members, their order and their defaults.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vantrel/json.hpp"

namespace vantrel::mcp {

// MCPClientConfig configures an MCP client over HTTP.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct MCPClientConfig {
  // timeout_ms bounds each request, in milliseconds.
  std::int64_t timeout_ms = 30000;
  // headers are sent with every request, in order.
  std::vector<std::pair<std::string, std::string>> headers{};
  // handler receives each message the server sends on its own initiative (a
  // notification or a request), as its JSON-RPC object. Empty means such messages are
  // dropped.
  std::function<void(const vantrel::json& message)> handler;
};

// StdioClientConfig configures an MCP client that runs the server as a child process and
// talks to it over standard input and output.
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
struct StdioClientConfig {
  // command is the program and its arguments.
  std::vector<std::string> command{};
  // working_directory is where the child starts; empty means the caller's.
  std::wstring working_directory{};
  // environment lists the variables set for the child, in order.
  std::vector<std::pair<std::string, std::string>> environment{};
  // flag is the transport's switch; its meaning belongs to the transport.
  bool flag = false;
  // message_limit_bytes bounds one JSON-RPC message (16 MiB).
  std::int64_t message_limit_bytes = 16777216;
  // chunk_limit_bytes bounds one read from the child (64 KiB).
  std::int64_t chunk_limit_bytes = 65536;
  // short_timeout_ms bounds quick exchanges such as shutting the child down.
  std::int64_t short_timeout_ms = 10000;
  // timeout_ms bounds each request, in milliseconds.
  std::int64_t timeout_ms = 30000;
};

}  // namespace vantrel::mcp
