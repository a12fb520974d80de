// The exceptions an MCP client throws.
//
// This library defines them so that hosts and clients agree on their types; it throws
// neither of them itself.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "vantrel/json.hpp"
#include "vantrel/mcp_types_export.hpp"

namespace vantrel::mcp {

// MCPError is a JSON-RPC error object returned by the server: code, message (the what()
// text) and data.
//
// Thread safety: immutable once thrown; may be read from several threads at once.
class VANTREL_MCP_TYPES_EXPORT MCPError : public std::runtime_error {
 public:
  MCPError(int code, std::string message, vantrel::json data);

  // code returns the JSON-RPC error code.
  [[nodiscard]] int code() const noexcept { return code_; }
  // data returns the error's "data" member, null when the server sent none.
  [[nodiscard]] const vantrel::json& data() const noexcept { return data_; }

 private:
  int code_;
  vantrel::json data_;
};

// MCPFailure says which part of a transport failed.
enum class MCPFailure : std::uint32_t {
  // unknown: the transport could not tell.
  unknown = 0,
  // connect: no connection could be made, or the child process could not start.
  connect = 1,
  // timeout: the server did not answer in time.
  timeout = 2,
  // http_status: the server answered with an HTTP error status.
  http_status = 3,
  // protocol: the server's bytes were not valid JSON-RPC for MCP.
  protocol = 4,
  // message_too_large: a message exceeded the configured limit.
  message_too_large = 5,
  // closed: the connection or the child's output ended.
  closed = 6,
  // cancelled: the caller cancelled the request.
  cancelled = 7,
};

// MCPTransportError is a failure below JSON-RPC: the request never got a JSON-RPC answer.
//
// Thread safety: immutable once thrown; may be read from several threads at once.
class VANTREL_MCP_TYPES_EXPORT MCPTransportError : public std::runtime_error {
 public:
  MCPTransportError(MCPFailure failure, std::string message, int http_status);

  // failure returns which part of the transport failed.
  [[nodiscard]] MCPFailure failure() const noexcept { return failure_; }
  // http_status returns the HTTP status, or 0 when there was none.
  [[nodiscard]] int http_status() const noexcept { return http_status_; }

 private:
  MCPFailure failure_;
  int http_status_;
};

}  // namespace vantrel::mcp
