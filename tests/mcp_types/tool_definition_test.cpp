#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;
using vantrel::mcp::ToolDefinition;

ToolDefinition parse_tool(const char* text) { return ToolDefinition::from_json(json::parse(text)); }

TEST(ToolDefinition, ReadsEveryModelledMember) {
  const ToolDefinition t = parse_tool(
      R"({"name":"search","title":"Search","description":"Finds","icons":[{"src":"i.png"}],)"
      R"("inputSchema":{"type":"object"},"outputSchema":{"type":"object"},"annotations":{"readOnlyHint":true},)"
      R"("execution":{"taskSupport":"optional"},"_meta":{"k":1}})");
  EXPECT_EQ(t.name, "search");
  EXPECT_EQ(t.title, "Search");
  EXPECT_EQ(t.description, "Finds");
  EXPECT_EQ(t.icons, json::parse(R"([{"src":"i.png"}])"));
  EXPECT_EQ(t.input_schema, json::parse(R"({"type":"object"})"));
  EXPECT_EQ(t.output_schema, json::parse(R"({"type":"object"})"));
  EXPECT_EQ(t.annotations, json::parse(R"({"readOnlyHint":true})"));
  EXPECT_EQ(t.execution, json::parse(R"({"taskSupport":"optional"})"));
  EXPECT_EQ(t.meta, json::parse(R"({"k":1})"));
}

TEST(ToolDefinition, AbsentMembersTakeTheirDefaults) {
  const ToolDefinition t = parse_tool(R"({"name":"n","title":5,"_meta":null})");
  EXPECT_EQ(t.title, "") << "a title that is not a string reads as empty";
  EXPECT_TRUE(t.input_schema.is_object() && t.input_schema.empty());
  EXPECT_TRUE(t.output_schema.is_null());
  EXPECT_TRUE(t.icons.is_array() && t.icons.empty());
  EXPECT_TRUE(t.meta.is_object() && t.meta.empty()) << "a null _meta reads as an empty object";
  EXPECT_EQ(t.to_json().dump(), R"({"name":"n","inputSchema":{}})");
}

TEST(ToolDefinition, ChecksRunInOrder) {
  const MessageCase cases[] = {
      {R"([])", "MCP tool definition must be an object"},
      {R"({"name":7,"inputSchema":[]})", "MCP tool definition is missing name"},
      {R"({"name":"","inputSchema":[]})", "MCP tool definition is missing name"},
      {R"({"name":"n","inputSchema":[],"outputSchema":3})", "MCP tool inputSchema must be an object"},
      {R"({"name":"n","outputSchema":3,"icons":{}})", "MCP tool outputSchema must be an object"},
      {R"({"name":"n","outputSchema":[]})", "MCP tool outputSchema must be an object"},
      {R"({"name":"n","icons":{}})", "MCP tool metadata has an invalid type"},
      {R"({"name":"n","annotations":[]})", "MCP tool metadata has an invalid type"},
      {R"({"name":"n","execution":true})", "MCP tool metadata has an invalid type"},
      {R"({"name":"n","_meta":[]})", "MCP tool metadata has an invalid type"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MESSAGE(parse_tool(c.text), std::invalid_argument, c.message);
  }
}

TEST(ToolDefinition, NullOutputSchemaParsesAndIsLeftOut) {
  const ToolDefinition t = parse_tool(R"({"name":"n","outputSchema":null})");
  EXPECT_TRUE(t.output_schema.is_null());
  EXPECT_FALSE(t.to_json().contains("outputSchema"));
}

TEST(ToolDefinition, UnknownMembersSurviveARoundTrip) {
  const ToolDefinition t = parse_tool(
      R"({"x-first":1,"name":"n","x-nested":{"a":[true]},"title":"T","inputSchema":{"type":"object"},"x-last":null})");
  EXPECT_EQ(t.to_json().dump(),
            R"({"x-first":1,"x-nested":{"a":[true]},"x-last":null,"name":"n","inputSchema":{"type":"object"},"title":"T"})");
}

TEST(ToolDefinition, ModelledValuesReplaceOrDropTheirRawCopies) {
  ToolDefinition t = parse_tool(R"({"name":"old","description":"old text","icons":[1],"_meta":{"a":1}})");
  t.name = "new";
  t.description.clear();
  t.icons = json::array();
  t.meta = json::parse(R"({"b":2})");
  EXPECT_EQ(t.to_json().dump(), R"({"name":"new","inputSchema":{},"_meta":{"b":2}})");
}

TEST(ToolDefinition, ToJsonWritesMembersInItsOwnOrder) {
  ToolDefinition t;
  t.name = "n";
  t.title = "T";
  t.description = "D";
  t.icons = json::parse("[1]");
  t.output_schema = json::object();
  t.annotations = json::parse(R"({"a":1})");
  t.execution = json::parse(R"({"e":1})");
  t.meta = json::parse(R"({"m":1})");
  t.raw = json::parse("[\"not an object\"]");
  EXPECT_EQ(t.to_json().dump(),
            R"({"name":"n","inputSchema":{},"title":"T","description":"D","icons":[1],"outputSchema":{},)"
            R"("annotations":{"a":1},"execution":{"e":1},"_meta":{"m":1}})");
}

}  // namespace
