// MCP records, the schema checker and the usage bank through the umbrella header.
#include <exception>
#include <stdexcept>
#include <string>

#include <vantrel/mcp_types.hpp>

int check_mcp_types() {
  try {
    const vantrel::json listed = vantrel::json::parse(
        R"({"tools":[{"name":"search","inputSchema":{"type":"object","required":["q"],)"
        R"("properties":{"q":{"type":"string"}}},"x-extra":1}]})");
    const auto page = vantrel::mcp::ListToolsPage::from_json(listed);
    if (page.tools.size() != 1 || page.tools[0].to_json()["x-extra"].dump() != "1") return 1;
    vantrel::mcp::validate_json_value(vantrel::json::parse(R"({"q":"x"})"), page.tools[0].input_schema, "args", "");
    try {
      vantrel::mcp::validate_json_value(vantrel::json::parse("{}"), page.tools[0].input_schema, "args", "");
      return 1;
    } catch (const std::invalid_argument& e) {
      if (std::string(e.what()) != "args at  is missing required property q") return 1;
    }
    // Records name only the members they need.
    const zu::Usage partial{.input_total = zu::UsageCounter{.value = 1}};
    const zu::Failure failure{.code = 429};
    const vantrel::UsageAccumulator::AuthoritySnapshot snapshot{.charged = 3};
    const vantrel::mcp::ToolDefinition declared{.name = "echo"};
    if (!partial.input_total || failure.code != 429 || snapshot.charged != 3 || declared.name != "echo") return 1;
    vantrel::UsageAccumulator bank;
    if (!bank.try_reserve(10, 100)) return 1;
    zu::Usage report;
    report.input_total = zu::UsageCounter{4};
    report.output_total = zu::UsageCounter{2};
    report.state = zu::UsageState::final;
    bank.settle_reservation(10, report);
    return bank.total_tokens_wide() == 6 ? 0 : 1;
  } catch (const std::exception&) {
    return 1;
  }
}
