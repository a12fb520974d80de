// Uses each installed library through its umbrella header; the other sources add their
// library's check when the package has it.
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
  int failures = 0;
#if defined(HAVE_zu__descriptor)
  failures += check_descriptor();
#endif
#if defined(HAVE_zu__core)
  failures += check_core();
#endif
#if defined(HAVE_vantrel__core)
  failures += check_vantrel_core();
#endif
#if defined(HAVE_vantrel__mcp_types)
  failures += check_mcp_types();
#endif
  std::puts(failures == 0 ? "consumer: ok" : "consumer: FAILED");
  return failures == 0 ? 0 : 3;
}
