#include <stdexcept>
#include <type_traits>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

namespace {

using vantrel::json;
using vantrel::mcp::MCPError;
using vantrel::mcp::MCPFailure;
using vantrel::mcp::MCPTransportError;

TEST(McpErrors, CarryTheirPartsAndAreRuntimeErrors) {
  try {
    throw MCPError(-32602, "Invalid params", json::parse(R"({"field":"q"})"));
  } catch (const std::runtime_error& e) {
    const auto& error = dynamic_cast<const MCPError&>(e);
    EXPECT_STREQ(error.what(), "Invalid params");
    EXPECT_EQ(error.code(), -32602);
    EXPECT_EQ(error.data(), json::parse(R"({"field":"q"})"));
  }
  try {
    throw MCPTransportError(MCPFailure::http_status, "HTTP 503", 503);
  } catch (const std::runtime_error& e) {
    const auto& error = dynamic_cast<const MCPTransportError&>(e);
    EXPECT_STREQ(error.what(), "HTTP 503");
    EXPECT_EQ(error.failure(), MCPFailure::http_status);
    EXPECT_EQ(error.http_status(), 503);
  }
  static_assert(sizeof(MCPFailure) == 4);
}

}  // namespace
