// Parses arbitrary bytes. Whatever parses must dump, write and embed to text that parses
// back to an equal value; measuring must agree with writing; a duplicate-member error
// must carry its document and pointer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include <zu/json.hpp>

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The raw-byte nesting rule, written out plainly: the verdict parse() must agree with
// whatever order it runs its checks in.
bool too_deep(std::string_view text, std::uint64_t max_depth) {
  std::uint64_t depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (depth == max_depth) return true;
      ++depth;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

zu::json::Document reparse(const std::string& text) {
  auto parsed = zu::json::parse(text, {.max_bytes = text.size(), .max_depth = 1u << 20});
  check(std::holds_alternative<zu::json::Document>(parsed));
  return std::get<zu::json::Document>(std::move(parsed));
}

void round_trip(zu::json::Value root, std::uint64_t depth) {
  const std::string dumped = root.dump();
  check(!dumped.empty());
  check(zu::json::equal(root, reparse(dumped).root()));

  std::string written;
  zu::json::BoundedWriter writer({.max_bytes = dumped.size(), .max_depth = depth}, &written);
  check(writer.value(root, 0).ok() && written == dumped);
  std::string partial;
  zu::json::BoundedWriter too_small({.max_bytes = dumped.size() - 1, .max_depth = depth}, &partial);
  check(!too_small.value(root, 0).ok());
  check(partial.size() < dumped.size() && dumped.compare(0, partial.size(), partial) == 0);
  // The token renderer (which measuring always uses) must count exactly the library's text.
  zu::json::BoundedWriter counted({.max_bytes = dumped.size(), .max_depth = depth}, nullptr);
  check(counted.value(root, 0).ok() && counted.used() == dumped.size());

  std::string embedded;
  zu::json::BoundedWriter embed({.max_bytes = 16 * dumped.size() + 16, .max_depth = depth}, &embedded);
  check(embed.quoted_json(root).ok());
  zu::json::BoundedWriter measure({.max_bytes = 16 * dumped.size() + 16, .max_depth = depth}, nullptr);
  check(measure.quoted_json(root).ok() && measure.used() == embedded.size());
  const auto outer = reparse(embedded);
  check(outer.root().is_string());
  check(zu::json::equal(root, reparse(std::string(outer.root().as_string())).root()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint64_t depth = data[0] % 40;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  auto parsed = zu::json::parse(text, {.max_bytes = 1u << 16, .max_depth = depth});
  const bool nesting = std::holds_alternative<zu::json::ParseError>(parsed) &&
                       std::get<zu::json::ParseError>(parsed).code == zu::json::ParseErrorCode::nesting_limit;
  check(nesting == (text.size() <= (1u << 16) && too_deep(text, depth)));
  if (auto* doc = std::get_if<zu::json::Document>(&parsed)) {
    check(doc->retained_bytes() <= zu::json::retained_size_bound(text.size()));
    round_trip(doc->root(), depth);
    return 0;
  }
  const auto& error = std::get<zu::json::ParseError>(parsed);
  if (error.code == zu::json::ParseErrorCode::duplicate_member) {
    check(!error.pointer.empty() && error.pointer[0] == '/');
    check(error.document.root().valid());
  } else {
    check(error.pointer.empty() && !error.document.root().valid());
  }
  return 0;
}
