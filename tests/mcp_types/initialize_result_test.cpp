#include <stdexcept>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;
using vantrel::mcp::InitializeResult;

TEST(InitializeResult, ReadsTheResultAndKeepsItWhole) {
  const json j = json::parse(
      R"({"protocolVersion":"2025-06-18","capabilities":{"tools":{}},"serverInfo":{"name":"s"},)"
      R"("instructions":"be brief","extra":[1]})");
  const InitializeResult r = InitializeResult::from_json(j);
  EXPECT_EQ(r.protocol_version, "2025-06-18");
  EXPECT_EQ(r.capabilities, json::parse(R"({"tools":{}})"));
  EXPECT_EQ(r.server_info, json::parse(R"({"name":"s"})"));
  EXPECT_EQ(r.instructions, "be brief");
  EXPECT_EQ(r.raw, j);
}

TEST(InitializeResult, InstructionsMayBeAbsentButNotNull) {
  const auto base = R"("protocolVersion":"1","capabilities":{},"serverInfo":{})";
  EXPECT_EQ(InitializeResult::from_json(json::parse(std::string("{") + base + "}")).instructions, "");
  EXPECT_THROW_MESSAGE(InitializeResult::from_json(json::parse(std::string("{") + base + R"(,"instructions":null})")),
                       std::invalid_argument, "MCP initialize instructions must be a string");
  EXPECT_THROW_MESSAGE(InitializeResult::from_json(json::parse(std::string("{") + base + R"(,"instructions":7})")),
                       std::invalid_argument, "MCP initialize instructions must be a string");
}

TEST(InitializeResult, ChecksRunInOrder) {
  const MessageCase cases[] = {
      {R"([])", "MCP initialize result must be an object"},
      {R"("x")", "MCP initialize result must be an object"},
      {R"({"instructions":5})", "MCP initialize result must contain a non-empty protocolVersion"},
      {R"({"protocolVersion":""})", "MCP initialize result must contain a non-empty protocolVersion"},
      {R"({"protocolVersion":3,"capabilities":{},"serverInfo":{}})",
       "MCP initialize result must contain a non-empty protocolVersion"},
      {R"({"protocolVersion":"1","capabilities":{},"instructions":5})",
       "MCP initialize result must contain capabilities and serverInfo objects"},
      {R"({"protocolVersion":"1","capabilities":[],"serverInfo":{}})",
       "MCP initialize result must contain capabilities and serverInfo objects"},
      {R"({"protocolVersion":"1","capabilities":{},"serverInfo":null})",
       "MCP initialize result must contain capabilities and serverInfo objects"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MESSAGE(InitializeResult::from_json(json::parse(c.text)), std::invalid_argument, c.message);
  }
}

}  // namespace
