// Feeds bytes through the host JSON reader and every MCP result reader. Beyond not
// crashing, writers must round-trip: text a writer produced reads back to the same
// record, and the host JSON type reads its own output back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include <vantrel/mcp_types.hpp>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

template <class Read>
void try_read(Read read) {
  try {
    read();
  } catch (const std::invalid_argument&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::json j;
  try {
    j = vantrel::json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::invalid_argument&) {
    return 0;
  }
  require(vantrel::json::parse(j.dump()) == j);

  using namespace vantrel::mcp;
  try_read([&] { (void)InitializeResult::from_json(j); });
  try_read([&] { (void)ListToolsPage::from_json(j); });
  try_read([&] {
    const vantrel::json written = ToolDefinition::from_json(j).to_json();
    require(ToolDefinition::from_json(vantrel::json::parse(written.dump())).to_json() == written);
  });
  try_read([&] {
    const vantrel::json written = CallToolResult::from_json(j).to_json();
    require(CallToolResult::from_json(vantrel::json::parse(written.dump())).to_json() == written);
  });
  return 0;
}
