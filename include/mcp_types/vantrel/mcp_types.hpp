// vantrel_mcp_types: typed MCP results and tool definitions, a checker for a subset of
// JSON Schema, and usage accounting for provider calls.
//
//   vantrel::json result = vantrel::json::parse(response_text);
//   auto page = vantrel::mcp::ListToolsPage::from_json(result);
//   for (const auto& tool : page.tools)
//     vantrel::mcp::validate_json_schema(tool.input_schema, "");
//
// Everything public of the library is reachable from this header; outside code includes
// only it (and vantrel/json.hpp, which it includes).
#pragma once

#include "vantrel/json.hpp"
#include "vantrel/mcp/call_tool_result.hpp"
#include "vantrel/mcp/client_config.hpp"
#include "vantrel/mcp/errors.hpp"
#include "vantrel/mcp/initialize_result.hpp"
#include "vantrel/mcp/list_tools_page.hpp"
#include "vantrel/mcp/schema.hpp"
#include "vantrel/mcp/tool_definition.hpp"
#include "vantrel/usage/provider_failure.hpp"
#include "vantrel/usage/usage_accumulator.hpp"
#include "zu/outcome.hpp"
#include "zu/usage.hpp"
