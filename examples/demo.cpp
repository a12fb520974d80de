// A first tour of the libraries: strict parsing under limits, the error a duplicate
// member produces, and writing the document back under a byte budget.
#include <cstdio>
#include <string>
#include <variant>

#include "zu/json.hpp"

int main() {
  const std::string text = R"({"model":"m-1","messages":[{"role":"user","content":"hi"},)"
                           R"({"role":"assistant","content":"hello","content":"again"}]})";
  const zu::json::Limits limits{.max_bytes = 4096, .max_depth = 8};

  auto parsed = zu::json::parse(text, limits);
  auto* error = std::get_if<zu::json::ParseError>(&parsed);
  if (error == nullptr) {
    std::puts("unexpected: the document parsed without complaint");
    return 1;
  }
  std::printf("parse refused the document: %s at %s\n", error->message.c_str(),
              error->pointer.c_str());

  // A reader that tolerates repeated names can still use the document: get() returns
  // the first of the equal-named members.
  const zu::json::Value root = error->document.root();
  const zu::json::Value second = root.get("messages").at(1);
  std::printf("the first \"content\" of message 1 is %s\n", second.get("content").dump().c_str());

  for (std::uint64_t budget : {std::uint64_t{64}, std::uint64_t{4096}}) {
    std::string out;
    zu::json::BoundedWriter writer({.max_bytes = budget, .max_depth = 8}, &out);
    writer.value(root, 0);
    std::printf("writing under a budget of %llu bytes: %s (%llu bytes counted)\n",
                static_cast<unsigned long long>(budget), writer.ok() ? "fits" : "refused",
                static_cast<unsigned long long>(writer.used()));
    if (writer.ok()) std::printf("  %s\n", out.c_str());
  }

  zu::json::BoundedWriter measure({.max_bytes = 4096, .max_depth = 8}, nullptr);
  measure.quoted_json(root);
  std::printf("embedded as one JSON string it would take %llu bytes\n",
              static_cast<unsigned long long>(measure.used()));
  return 0;
}
