#include <utility>

#include "vantrel/mcp/errors.hpp"

namespace vantrel::mcp {

MCPError::MCPError(int code, std::string message, vantrel::json data)
    : std::runtime_error(message), code_(code), data_(std::move(data)) {}

MCPTransportError::MCPTransportError(MCPFailure failure, std::string message, int http_status)
    : std::runtime_error(message), failure_(failure), http_status_(http_status) {}

}  // namespace vantrel::mcp
