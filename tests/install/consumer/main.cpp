// Uses each installed library through its umbrella header; each of the other sources
// checks one library.
#include <cstdio>
#include <string>
#include <variant>

#include <zu/json.hpp>

int check_descriptor();
int check_core();
int check_vantrel_core();
int check_mcp_types();

int main() {
  auto parsed = zu::json::parse(R"({"a":[1,2,{"b":null}]})", {.max_bytes = 64, .max_depth = 4});
  auto* doc = std::get_if<zu::json::Document>(&parsed);
  if (doc == nullptr) return 1;
  std::string out;
  zu::json::BoundedWriter writer({.max_bytes = 64, .max_depth = 4}, &out);
  writer.value(doc->root(), 0);
  if (!writer.ok() || out != R"({"a":[1,2,{"b":null}]})") return 2;
  const zu::json::ParseError error{.code = zu::json::ParseErrorCode::byte_limit};
  if (error.code != zu::json::ParseErrorCode::byte_limit) return 4;
  const int failures = check_descriptor() + check_core() + check_vantrel_core() + check_mcp_types();
  std::puts(failures == 0 ? "consumer: ok" : "consumer: FAILED");
  return failures == 0 ? 0 : 3;
}
