#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;
using vantrel::mcp::CallToolResult;

CallToolResult parse_result(const char* text) { return CallToolResult::from_json(json::parse(text)); }

TEST(CallToolResult, ReadsEveryModelledMember) {
  const CallToolResult r = parse_result(
      R"({"content":[{"type":"text","text":"hi"}],"structuredContent":{"n":1},"isError":true,"_meta":{"t":2}})");
  EXPECT_EQ(r.content, json::parse(R"([{"type":"text","text":"hi"}])"));
  EXPECT_EQ(r.structured_content, json::parse(R"({"n":1})"));
  EXPECT_TRUE(r.is_error);
  EXPECT_EQ(r.meta, json::parse(R"({"t":2})"));
}

TEST(CallToolResult, DefaultsForAbsentOrUnreadableMembers) {
  const CallToolResult r = parse_result(R"({"isError":"yes","_meta":null})");
  EXPECT_TRUE(r.content.is_array() && r.content.empty());
  EXPECT_TRUE(r.structured_content.is_null());
  EXPECT_FALSE(r.is_error) << "an isError that is not a boolean reads as false";
  EXPECT_TRUE(r.meta.is_object());
  EXPECT_EQ(r.to_json().dump(), R"({"content":[],"isError":false})");
}

TEST(CallToolResult, ChecksRunInOrder) {
  const MessageCase cases[] = {
      {R"(null)", "MCP tools/call result must be an object"},
      {R"({"content":{},"structuredContent":1,"_meta":[]})", "MCP tools/call content must be an array"},
      {R"({"structuredContent":[],"_meta":[]})", "MCP tools/call structuredContent must be an object"},
      {R"({"_meta":[]})", "MCP tools/call _meta must be an object"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MESSAGE(parse_result(c.text), std::invalid_argument, c.message);
  }
  EXPECT_TRUE(parse_result(R"({"structuredContent":null})").structured_content.is_null());
}

TEST(CallToolResult, UnknownMembersSurviveARoundTrip) {
  const CallToolResult r =
      parse_result(R"({"x":{"deep":[1,2]},"content":[],"isError":true,"structuredContent":{"a":1},"y":"z"})");
  EXPECT_EQ(r.to_json().dump(),
            R"({"x":{"deep":[1,2]},"y":"z","content":[],"structuredContent":{"a":1},"isError":true})");
}

TEST(CallToolResult, ModelledValuesReplaceTheirRawCopies) {
  CallToolResult r = parse_result(R"({"content":[1],"structuredContent":{"a":1},"_meta":{"m":1}})");
  r.content = json::parse("[2]");
  r.structured_content = json();
  r.meta = json::object();
  EXPECT_EQ(r.to_json().dump(), R"({"content":[2],"isError":false})");
}

}  // namespace
