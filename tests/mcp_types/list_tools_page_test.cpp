#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <vantrel/mcp_types.hpp>

#include "expect_message.hpp"

namespace {

using vantrel::json;
using vantrel::mcp::ListToolsPage;

TEST(ListToolsPage, ReadsToolsInOrderWithTheCursor) {
  const json j = json::parse(R"({"tools":[{"name":"a"},{"name":"b"}],"nextCursor":"c2","_meta":{"m":1}})");
  const ListToolsPage page = ListToolsPage::from_json(j);
  ASSERT_EQ(page.tools.size(), 2U);
  EXPECT_EQ(page.tools[0].name, "a");
  EXPECT_EQ(page.tools[1].name, "b");
  EXPECT_EQ(page.next_cursor, "c2");
  EXPECT_EQ(page.meta, json::parse(R"({"m":1})"));
  EXPECT_EQ(page.raw, j);
}

TEST(ListToolsPage, NullOrAbsentCursorMeansLastPage) {
  EXPECT_FALSE(ListToolsPage::from_json(json::parse(R"({"tools":[],"nextCursor":null})")).next_cursor);
  const ListToolsPage page = ListToolsPage::from_json(json::parse(R"({"tools":[],"_meta":null})"));
  EXPECT_FALSE(page.next_cursor);
  EXPECT_TRUE(page.meta.is_object());
}

TEST(ListToolsPage, ChecksRunInOrder) {
  const MessageCase cases[] = {
      {R"([])", "MCP tools/list result must contain a tools array"},
      {R"({"nextCursor":5})", "MCP tools/list result must contain a tools array"},
      {R"({"tools":{}})", "MCP tools/list result must contain a tools array"},
      {R"({"tools":[{"name":"a"},{"name":""},[]],"nextCursor":5})", "MCP tool definition is missing name"},
      {R"({"tools":[{"name":"a"},7]})", "MCP tool definition must be an object"},
      {R"({"tools":[],"nextCursor":5,"_meta":[]})", "MCP tools/list nextCursor must be a string"},
      {R"({"tools":[],"_meta":[]})", "MCP tools/list _meta must be an object"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MESSAGE(ListToolsPage::from_json(json::parse(c.text)), std::invalid_argument, c.message);
  }
}

}  // namespace
