// Feeds bytes to the schema checker: the whole input as a schema, and an input of the
// form [schema, value] as a value check. A schema the schema check refuses must make the
// value check refuse too, and a check must leave both documents unchanged. The pair is
// also read as [expected, value]: {"const": expected} accepts the value exactly when the
// host type compares the two equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include <vantrel/mcp_types.hpp>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::json j;
  try {
    j = vantrel::json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::invalid_argument&) {
    return 0;
  }
  const std::string before = j.dump();
  bool schema_valid = true;
  try {
    vantrel::mcp::validate_json_schema(j, "#");
  } catch (const std::invalid_argument&) {
    schema_valid = false;
  }
  const vantrel::json& input = j;
  if (input.is_array() && input.size() == 2) {
    const vantrel::json schema = input[0];
    bool inner_schema_valid = true;
    try {
      vantrel::mcp::validate_json_schema(schema, "");
    } catch (const std::invalid_argument&) {
      inner_schema_valid = false;
    }
    bool value_checked = false;
    try {
      vantrel::mcp::validate_json_value(input[1], schema, "value", "");
      value_checked = true;
    } catch (const std::invalid_argument&) {
    }
    require(inner_schema_valid || !value_checked);

    vantrel::json const_schema = vantrel::json::object();
    const_schema["const"] = input[0];
    bool const_matched = false;
    try {
      vantrel::mcp::validate_json_value(input[1], const_schema, "value", "");
      const_matched = true;
    } catch (const std::invalid_argument&) {
    }
    require(const_matched == (input[0] == input[1]));
  }
  (void)schema_valid;
  require(j.dump() == before);
  return 0;
}
